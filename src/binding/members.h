// Getters, methods and module functions that take no arguments, each one row
// of its table: a template instance around the operation it runs, which gets
// the instance's payload and returns a value, an expected value or nothing
// (see `to_python` in results.h for what each becomes).
//
//   {"width", property_getter<MonitorHandle, monitor_width>, nullptr, "...", nullptr}
//   {"cursor", property_getter<Capture, &Capture::cursor>,
//    exclusive_setter<Capture, bool, convert_bool, &Capture::set_cursor>, "...", nullptr}
//   {"focus", shared_method<WindowHandle, focus_window>, METH_NOARGS, "..."}
//   {"stop", exclusive_method<Capture, &Capture::stop>, METH_NOARGS, "..."}
//   {"primary_monitor", module_function<primary_monitor>, METH_NOARGS, "..."}
//   {"from_handle", from_handle<WindowHandle>, METH_O | METH_CLASS, "..."}
#pragma once

#include <Python.h>

#include <cstdint>

#include "binding/arguments.h"
#include "binding/firewall.h"
#include "binding/instance.h"
#include "binding/results.h"

// A property read under a shared access to the instance.
template <class Payload, auto Read>
PyObject* property_getter(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<Payload>(
        self, [](Payload& payload) { return call_to_python(Read, payload); });
  });
}

// A property write under the exclusive access to the instance: `Convert`
// turns the value into a Value (false with the exception set), checked before
// the instance is looked at, and `Write(payload, value)` applies it. Deleting
// the property is refused.
template <class Payload, class Value, auto Convert, auto Write>
int exclusive_setter(PyObject* self, PyObject* value, void*) {
  return guarded_status([&]() -> int {
    if (value == nullptr) {
      PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
      return -1;
    }
    Value converted{};
    if (!Convert(value, converted)) return -1;
    PyObject* result = with_exclusive_access<Payload>(
        self, [&](Payload& payload) { return call_to_python(Write, payload, converted); });
    if (result == nullptr) return -1;
    Py_DECREF(result);
    return 0;
  });
}

// A method run under a shared access to the instance.
template <class Payload, auto Run>
PyObject* shared_method(PyObject* self, PyObject*) {
  return guarded([&] {
    return with_shared_access<Payload>(
        self, [](Payload& payload) { return call_to_python(Run, payload); });
  });
}

// A method run under the exclusive access to the instance.
template <class Payload, auto Run>
PyObject* exclusive_method(PyObject* self, PyObject*) {
  return guarded([&] {
    return with_exclusive_access<Payload>(
        self, [](Payload& payload) { return call_to_python(Run, payload); });
  });
}

// A module function.
template <auto Run>
PyObject* module_function(PyObject*, PyObject*) {
  return guarded([] { return call_to_python(Run); });
}

// A class method that makes an instance of the class around a handle given as
// an int (the "handle" argument), unchecked, as the module functions make
// instances around the handles the system gives.
template <class Handle>
PyObject* from_handle(PyObject* type, PyObject* handle) {
  return guarded([&]() -> PyObject* {
    std::uintptr_t value = 0;
    if (!convert_argument("handle", [&] { return convert_handle(handle, value); })) return nullptr;
    return new_instance<Handle>(reinterpret_cast<PyTypeObject*>(type), static_cast<Handle>(value));
  });
}
