// Results to Python: new objects for values, exceptions for error values.
//
// `to_python` is one overload set: a plain value becomes its Python object
// (bool, int, float, str, None for an empty optional, a list of them, a
// Monitor or Window for a handle: see classes.h), and an expected value
// becomes its value's object or, for an error, the exception the error
// describes (nullptr returned).
#pragma once

#include <Python.h>

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/python_text.h"
#include "errors.h"
#include "pixel_layout.h"

// Sets the Python exception for an error value (which is consumed) and
// returns nullptr.
PyObject* raise_error(MonitorError error);
PyObject* raise_error(WindowError error);
PyObject* raise_error(CaptureError error);

PyObject* to_python(bool value);
PyObject* to_python(std::uint32_t value);
PyObject* to_python(std::uint64_t value);
PyObject* to_python(double value);
PyObject* to_python(const std::string& text);
PyObject* to_python(PixelLayout layout);  // its name

// None for nothing.
template <class T>
PyObject* to_python(const std::optional<T>& value) {
  if (!value) Py_RETURN_NONE;
  return to_python(*value);
}

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

template <class T>
PyObject* to_python(const std::vector<T>& items) {
  return new_list(items, [](const T& item) { return to_python(item); });
}

template <class T, class Error>
PyObject* to_python(std::expected<T, Error> result) {
  if (!result) return raise_error(std::move(result.error()));
  if constexpr (std::is_void_v<T>) {
    Py_RETURN_NONE;
  } else {
    return to_python(std::move(*result));
  }
}

// The Python result of calling `operation(args...)`: None for nothing.
template <class Operation, class... Args>
PyObject* call_to_python(Operation&& operation, Args&&... args) {
  using Result = std::invoke_result_t<Operation, Args...>;
  if constexpr (std::is_void_v<Result>) {
    std::invoke(std::forward<Operation>(operation), std::forward<Args>(args)...);
    Py_RETURN_NONE;
  } else {
    return to_python(std::invoke(std::forward<Operation>(operation), std::forward<Args>(args)...));
  }
}

// The one path of a Python exception through the capture path (see
// CarriedException in errors.h), for exceptions that are not the module's own:
// the module's refusals are error cases, raised from describe()'s table.
// Wraps an exception object (the reference passes along).
CarriedException carry_python_exception(PyObject* exception);
// Takes the pending exception off the interpreter.
CarriedException carry_pending_exception();
// Takes the pending exception off the interpreter and returns its text.
std::string take_pending_exception_text();
