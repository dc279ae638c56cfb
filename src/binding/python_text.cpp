#include "binding/python_text.h"

PyObject* new_str(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

bool utf8_of(PyObject* text, std::string& out) {
  PyObject* bytes = PyUnicode_AsUTF8String(text);
  if (bytes == nullptr) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  const bool ok = PyBytes_AsStringAndSize(bytes, &data, &size) == 0;
  if (ok) out.assign(data, static_cast<std::size_t>(size));
  Py_DECREF(bytes);
  return ok;
}

PyObject* raise_message(PyObject* type, const std::string& message) {
  if (PyObject* text = new_str(message)) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  return nullptr;
}
