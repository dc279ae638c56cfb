// The binding layer: what every entry point from Python shares. Argument
// parsing and conversion, per-instance access, the internal-fault firewall, and
// the conversion of error values into Python exceptions.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "access_counter.h"
#include "errors.h"
#include "internal_fault.h"

// The limited API of 3.9 does not name the vectorcall convention, which every
// supported interpreter implements.
#ifndef METH_FASTCALL
#define METH_FASTCALL 0x0080
#endif

using FastCallWithKeywords = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames);

// ---------------------------------------------------------------------------
// Instances: every Python object of the module is a payload behind an access
// counter.

template <class Payload>
struct Instance {
  PyObject ob_base;
  AccessCounter access;
  Payload payload;
};

template <class Payload>
Instance<Payload>* as_instance(PyObject* object) {
  return reinterpret_cast<Instance<Payload>*>(object);
}

// The type made from `spec` on first use and reused afterwards; nullptr with
// the interpreter's exception set when the interpreter refuses the spec.
inline PyTypeObject* type_once(PyObject*& cache, PyType_Spec& spec) {
  if (cache == nullptr) cache = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(cache);
}

// A new instance of `type` around a payload built from `args`. A null `type`
// (its creation failed) passes the failure on.
template <class Payload, class... Args>
PyObject* new_instance(PyTypeObject* type, Args&&... args) {
  if (type == nullptr) return nullptr;
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object == nullptr) return nullptr;
  auto* instance = as_instance<Payload>(object);
  new (&instance->access) AccessCounter();
  new (&instance->payload) Payload(std::forward<Args>(args)...);
  return object;
}

template <class Payload>
void destroy_instance(PyObject* object) {
  auto* instance = as_instance<Payload>(object);
  instance->payload.~Payload();
  instance->access.~AccessCounter();
  PyTypeObject* type = Py_TYPE(object);
  auto free_object = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_object(object);
  Py_DECREF(type);
}

PyObject* raise_shared_access_refused();
PyObject* raise_exclusive_access_refused();

// Runs `operation(payload)` under a shared access; a refusal raises.
template <class Payload, class Operation>
PyObject* with_shared_access(PyObject* self, Operation&& operation) {
  auto* instance = as_instance<Payload>(self);
  SharedAccess access(instance->access);
  if (!access) return raise_shared_access_refused();
  return operation(instance->payload);
}

// Runs `operation(payload)` under the exclusive access; a refusal raises.
template <class Payload, class Operation>
PyObject* with_exclusive_access(PyObject* self, Operation&& operation) {
  auto* instance = as_instance<Payload>(self);
  ExclusiveAccess access(instance->access);
  if (!access) return raise_exclusive_access_refused();
  return operation(instance->payload);
}

// ---------------------------------------------------------------------------
// The firewall: one per entry point.

// Sets the internal-failure exception with `message`; returns nullptr.
PyObject* raise_internal_failure(const char* message);

template <class Body>
PyObject* guarded(Body&& body) noexcept {
  return run_guarded(std::forward<Body>(body), raise_internal_failure);
}

template <class Body>
int guarded_status(Body&& body) noexcept {
  return run_guarded(std::forward<Body>(body), [](const char* message) {
    raise_internal_failure(message);
    return -1;
  });
}

// For tp_dealloc, which cannot fail: a fault is reported as unraisable.
template <class Body>
void guarded_dealloc(PyObject* self, Body&& body) noexcept {
  run_guarded(std::forward<Body>(body), [self](const char* message) {
    raise_internal_failure(message);
    PyErr_WriteUnraisable(self);
  });
}

// ---------------------------------------------------------------------------
// Arguments.

struct ArgumentSpec {
  const char* full_name;               // "Capture.start()"
  std::span<const char* const> names;  // parameter names, in order
  std::size_t required;                // leading parameters that must be given
};

// Places the arguments into `slots` (one per parameter: a borrowed reference,
// or nullptr when absent). Raises TypeError and returns false on a mismatch.
bool parse_arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> slots);
// The same for a constructor's argument tuple and keyword dict.
bool parse_arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> slots);

// Converters: true on success; otherwise a Python exception is set.
bool convert_index_u64(PyObject* value, std::optional<std::uint64_t>& out);  // None or int
bool convert_str(PyObject* value, std::string& out);
bool convert_await_first_frame(PyObject* value, bool& out);

// Adds the note "while processing '<parameter>'" to the pending exception.
void add_conversion_note(const char* parameter);

// Runs a converter; a failure gets the note naming the parameter.
template <class Convert>
bool convert_argument(const char* parameter, Convert&& convert) {
  if (convert()) return true;
  add_conversion_note(parameter);
  return false;
}

// "'<type>' object is not an instance of '<target>'" (or the None form).
std::string type_mismatch_text(PyObject* value, const char* target);
PyObject* raise_type_mismatch(PyObject* value, const char* target);

// The UTF-8 text of a str; false with the interpreter's error set otherwise.
bool utf8_of(PyObject* text, std::string& out);

// ---------------------------------------------------------------------------
// Results.

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
