// Where a frame read from Python goes: the caller's `out` array or a new one,
// with the copy run without the interpreter lock, so that other Python threads
// run meanwhile. Built, used and released with the interpreter lock held.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "binding/frame_array.h"
#include "errors.h"
#include "platform/windows/capture.h"

class ArrayDestination final : public FrameDestination {
 public:
  // `out` is the converted `out` argument: none for a new array.
  explicit ArrayDestination(std::optional<OwnedArray> out);

  std::expected<std::span<std::byte>, CaptureError> prepare(std::uint32_t height,
                                                            std::uint32_t width,
                                                            PixelLayout layout) override;
  std::expected<void, CaptureError> run_copy(Copy copy) override;

  // Hands the array the frame was written into to the caller.
  PyObject* release();

 private:
  std::optional<OwnedArray> out_;
  std::optional<OwnedArray> array_;
};
