// Getters, methods and module functions that take no arguments, each one row
// of its table: a template instance around the operation it runs, which gets
// the instance's payload and returns a value, an expected value or nothing
// (see `to_python` in results.h for what each becomes).
//
//   {"width", property_getter<MonitorHandle, monitor_width>, nullptr, "...", nullptr}
//   {"focus", shared_method<WindowHandle, focus_window>, METH_NOARGS, "..."}
//   {"stop", exclusive_method<Capture, &Capture::stop>, METH_NOARGS, "..."}
//   {"primary_monitor", module_function<primary_monitor>, METH_NOARGS, "..."}
#pragma once

#include <Python.h>

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
