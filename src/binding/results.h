// Results to Python: new objects for values, exceptions for error values.
#pragma once

#include <Python.h>

#include <string>

#include "errors.h"

// Raises `type` with `message` (UTF-8) as its only argument; returns nullptr.
PyObject* raise_message(PyObject* type, const std::string& message);

// Sets the Python exception for an error value (which is consumed) and
// returns nullptr.
PyObject* raise_error(MonitorError error);
PyObject* raise_error(WindowError error);
PyObject* raise_error(CaptureError error);

PyObject* new_str(const std::string& text);

// Wraps an exception object (the reference passes along) for the capture path.
CarriedException carry_python_exception(PyObject* exception);
// Takes the pending exception off the interpreter for the capture path.
CarriedException carry_pending_exception();
// Takes the pending exception off the interpreter and returns its text.
std::string take_pending_exception_text();

// A new list holding `make(item)` for each item, in order.
template <class Items, class Make>
PyObject* new_list(const Items& items, Make&& make) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(items.size()));
  if (list == nullptr) return nullptr;
  Py_ssize_t index = 0;
  for (const auto& item : items) {
    PyObject* element = make(item);
    if (element == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SetItem(list, index++, element);
  }
  return list;
}
