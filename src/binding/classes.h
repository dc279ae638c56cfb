// The module's Python classes and functions. Each type object is created once
// per process, on first use; the getters return a borrowed reference, or
// nullptr with the interpreter's exception set.
#pragma once

#include <Python.h>

#include "binding/instance.h"
#include "platform/windows/win32.h"

class Capture;

PyTypeObject* monitor_type();
PyTypeObject* window_type();
PyTypeObject* capture_type();

// The class of each payload, for the checks on instances.
template <>
struct PythonClass<HMONITOR> {
  static PyTypeObject* type() { return monitor_type(); }
};
template <>
struct PythonClass<HWND> {
  static PyTypeObject* type() { return window_type(); }
};
template <>
struct PythonClass<Capture> {
  static PyTypeObject* type() { return capture_type(); }
};

// New instances around a system handle.
PyObject* new_monitor(HMONITOR monitor);
PyObject* new_window(HWND window);

extern PyMethodDef enumerate_windows_def;
extern PyMethodDef foreground_window_def;
extern PyMethodDef primary_monitor_def;
extern PyMethodDef enumerate_monitors_def;
