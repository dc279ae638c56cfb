#include "binding/frame_array.h"

#include <algorithm>
#include <string>
#include <vector>

#include "binding/arguments.h"
#include "binding/python_text.h"
#include "binding/results.h"
#include "internal_fault.h"

// One build serves NumPy 1.21 and later as well as 2.x: only the parts of the
// array API that both share are used (the API table of 1.21, and accessors
// whose fields keep their place in every version), and deprecated 1.x names
// are hidden so that nothing else slips in.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define NPY_TARGET_VERSION NPY_1_21_API_VERSION
#include <numpy/arrayobject.h>

namespace {

constexpr const char* kNumPyApiFailure = "Failed to access NumPy array API capsule";
constexpr const char* kNullObject = "PyObject pointer is null";

bool numpy_api_ready = false;

// Loads NumPy's array API (the `_ARRAY_API` capsule of its multiarray module)
// and checks that the running NumPy provides what this build uses. Runs under
// the interpreter lock; a second thread that enters while the import lets the
// lock go finds the same table.
void ensure_numpy_api() {
  if (numpy_api_ready) return;
  if (_import_array() < 0) {
    PyArray_API = nullptr;  // a table whose version was refused is not used
    internal_fault(std::string(kNumPyApiFailure) + ": " + take_pending_exception_text());
  }
  numpy_api_ready = true;
}

PyTypeObject* array_type() { return &PyArray_Type; }

// A new reference to the uint8 descriptor; NumPy keeps it as a singleton, so
// this never fails in practice, and a failure would be NumPy's fault.
PyArray_Descr* uint8_descriptor() {
  PyArray_Descr* descriptor = PyArray_DescrFromType(NPY_UBYTE);
  if (descriptor == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    internal_fault(kNullObject);
  }
  return descriptor;
}

bool is_uint8_array(PyObject* object, int dimensions) {
  PyTypeObject* type = Py_TYPE(object);
  if (type != array_type() && !PyType_IsSubtype(type, array_type())) return false;
  auto* array = reinterpret_cast<PyArrayObject*>(object);
  if (PyArray_NDIM(array) != dimensions) return false;
  PyArray_Descr* uint8 = uint8_descriptor();
  PyArray_Descr* descriptor = PyArray_DESCR(array);
  const bool equivalent = descriptor == uint8 || PyArray_EquivTypes(descriptor, uint8);
  Py_DECREF(uint8);
  return equivalent;
}

std::vector<std::int64_t> shape_of(PyArrayObject* array) {
  const npy_intp* dims = PyArray_DIMS(array);
  return std::vector<std::int64_t>(dims, dims + PyArray_NDIM(array));
}

// The number of dimensions of a frame array in `layout`.
int frame_dimensions(PixelLayout layout) { return pixel_layout_has_channel_axis(layout) ? 3 : 2; }

}  // namespace

std::expected<std::optional<OwnedArray>, CaptureError> extract_out_array(PyObject* out,
                                                                         PixelLayout layout) {
  if (out == nullptr || out == Py_None) return std::optional<OwnedArray>{};
  ensure_numpy_api();
  if (!is_uint8_array(out, frame_dimensions(layout))) {
    std::string target;
    PyObject* qualname =
        PyObject_GetAttrString(reinterpret_cast<PyObject*>(array_type()), "__qualname__");
    if (qualname == nullptr || !PyUnicode_Check(qualname) || !utf8_of(qualname, target)) {
      PyErr_Clear();
      target = "ndarray";
    }
    Py_XDECREF(qualname);
    return std::unexpected(CaptureError::out_wrong_type(type_qualname(out), std::move(target)));
  }
  Py_INCREF(out);
  return std::optional<OwnedArray>{OwnedArray(out)};
}

std::expected<OwnedArray, CaptureError> prepare_frame_array(std::optional<OwnedArray> out,
                                                            std::uint32_t height,
                                                            std::uint32_t width,
                                                            PixelLayout layout) {
  const int dimensions = frame_dimensions(layout);
  npy_intp dims[3] = {static_cast<npy_intp>(height), static_cast<npy_intp>(width),
                      static_cast<npy_intp>(pixel_layout_bytes(layout))};
  if (out) {
    auto* array = reinterpret_cast<PyArrayObject*>(out->get());
    const npy_intp* shape = PyArray_DIMS(array);
    if (PyArray_NDIM(array) == dimensions && std::equal(dims, dims + dimensions, shape)) {
      return std::move(*out);
    }
    CaptureError refused = CaptureError::out_wrong_shape(
        shape_of(array), std::vector<std::int64_t>(dims, dims + dimensions));
    out.reset();
    return std::unexpected(std::move(refused));
  }

  ensure_numpy_api();
  // The descriptor's reference passes to NumPy, also when it fails.
  PyObject* array = PyArray_NewFromDescr(array_type(), uint8_descriptor(), dimensions, dims,
                                         nullptr, nullptr, 0, nullptr);
  if (array == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    internal_fault(kNullObject);
  }
  return OwnedArray(array);
}

std::expected<std::span<std::byte>, CaptureError> writable_array_bytes(const OwnedArray& owned) {
  auto* array = reinterpret_cast<PyArrayObject*>(owned.get());
  const npy_intp* dims = PyArray_DIMS(array);
  npy_intp count = 1;
  for (int axis = 0; axis < PyArray_NDIM(array); ++axis) count *= dims[axis];
  if (count == 0) return std::span<std::byte>{};

  const int flags = PyArray_FLAGS(array);
  if ((flags & NPY_ARRAY_ALIGNED) == 0 || (flags & NPY_ARRAY_C_CONTIGUOUS) == 0) {
    return std::unexpected(CaptureError::of(CaptureError::Kind::NotContiguous));
  }
  if ((flags & NPY_ARRAY_WRITEABLE) == 0) {
    return std::unexpected(CaptureError::of(CaptureError::Kind::ReadOnly));
  }
  // Elements are single bytes: the element count is the length in bytes.
  return std::span<std::byte>(static_cast<std::byte*>(PyArray_DATA(array)),
                              static_cast<std::size_t>(count));
}
