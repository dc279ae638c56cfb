// The Python type Rect: a rectangle of the virtual screen as a named tuple
// (left, top, width, height), the argument order of Capture.frame_region.
#include "binding/binding.h"
#include "binding/classes.h"

namespace {

PyStructSequence_Field rect_fields[] = {
    {"left", "The x coordinate of the left edge in the virtual screen."},
    {"top", "The y coordinate of the top edge in the virtual screen."},
    {"width", "The width in pixels."},
    {"height", "The height in pixels."},
    {nullptr, nullptr},
};

PyStructSequence_Desc rect_desc = {
    "opticatcher.Rect",
    "Rect(left, top, width, height)\n\n"
    "A rectangle of the virtual screen in physical pixels, a tuple of its left and top\n"
    "coordinates (negative left of or above the primary monitor) and its width and height.",
    rect_fields,
    4,
};

}  // namespace

PyTypeObject* rect_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = PyStructSequence_NewType(&rect_desc);
  return type;
}

PyObject* to_python(const ScreenRect& rect) {
  PyTypeObject* type = rect_type();
  if (type == nullptr) return nullptr;
  PyObject* result = PyStructSequence_New(type);
  if (result == nullptr) return nullptr;
  const std::int64_t values[] = {rect.left, rect.top, rect.width, rect.height};
  Py_ssize_t index = 0;
  for (const std::int64_t value : values) {
    PyObject* item = PyLong_FromLongLong(value);
    if (item == nullptr) {
      Py_DECREF(result);
      return nullptr;
    }
    PyStructSequence_SetItem(result, index++, item);
  }
  return result;
}
