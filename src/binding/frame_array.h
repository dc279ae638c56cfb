// The NumPy side of frame output: the caller's `out` array, or a new one, as
// the uint8 array a frame is written into ([h, w, 4] in the default pixel
// layout; see pixel_layout.h for the others), and its memory as a plain byte
// region. Image data is never touched here.
//
// NumPy's array API is loaded on first use, not when the module is imported,
// so that importing the module costs nothing for programs that never read a
// frame. Everything here runs with the interpreter lock held.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "errors.h"
#include "pixel_layout.h"
#include "binding/interpreter_exit.h"

// One owned reference to a NumPy array object.
class OwnedArray {
 public:
  // Takes over `array`, a new reference.
  explicit OwnedArray(PyObject* array) : array_(array) {}
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;
  OwnedArray(OwnedArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  OwnedArray& operator=(OwnedArray&& other) noexcept {
    if (this != &other) {
      drop();
      array_ = std::exchange(other.array_, nullptr);
    }
    return *this;
  }
  ~OwnedArray() { drop(); }

  PyObject* get() const { return array_; }
  // Hands the reference to the caller.
  PyObject* release() { return std::exchange(array_, nullptr); }

 private:
  // Also runs when a daemon thread is unwound at interpreter exit, without
  // the interpreter: the reference is then left behind.
  void drop() {
    if (array_ != nullptr && interpreter_usable_here()) Py_DECREF(array_);
    array_ = nullptr;
  }

  PyObject* array_;
};

// Converts the `out` argument (nullptr when absent) for a frame in `layout`.
// None or absent: no array. Otherwise it must be a NumPy array (or an
// instance of a subclass) with the layout's number of dimensions (3, or 2 for
// GRAY) and an element type equivalent to uint8; anything else is the
// wrong-type error, which names the object's type and NumPy's array type.
std::expected<std::optional<OwnedArray>, CaptureError> extract_out_array(
    PyObject* out, PixelLayout layout = PixelLayout::RGBA);

// The array a frame of `height` rows and `width` columns in `layout` is
// written into: `out` itself when its shape is exactly the layout's
// ([height, width, 4], [height, width, 3] or [height, width]; the wrong-shape
// error, holding both shapes, otherwise), or a new C-ordered uint8 array of
// that shape whose memory is left uninitialised, since the frame overwrites
// all of it.
std::expected<OwnedArray, CaptureError> prepare_frame_array(std::optional<OwnedArray> out,
                                                            std::uint32_t height,
                                                            std::uint32_t width,
                                                            PixelLayout layout = PixelLayout::RGBA);

// The memory of `array` as one writable region of row-major bytes. An array
// without elements gives an empty region whatever its flags. Otherwise the
// array must be aligned and C-contiguous (the contiguity error; a
// Fortran-ordered array is refused too, since its rows are not laid out one
// after the other) and writeable (the read-only error: a read-only array is
// never written).
std::expected<std::span<std::byte>, CaptureError> writable_array_bytes(const OwnedArray& array);
