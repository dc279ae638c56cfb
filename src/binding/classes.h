// The module's Python classes and functions. Each type object is created once
// per process, on first use; the getters return a borrowed reference, or
// nullptr with the interpreter's exception set.
#pragma once

#include <Python.h>

#include "binding/instance.h"
#include "platform/windows/monitor.h"
#include "platform/windows/window.h"

class Capture;

PyTypeObject* monitor_type();
PyTypeObject* window_type();
PyTypeObject* capture_type();
// The named tuple of screen rectangles (left, top, width, height).
PyTypeObject* rect_type();

// The class of each payload, for the checks on instances.
template <>
struct PythonClass<MonitorHandle> {
  static PyTypeObject* type() { return monitor_type(); }
};
template <>
struct PythonClass<WindowHandle> {
  static PyTypeObject* type() { return window_type(); }
};
template <>
struct PythonClass<Capture> {
  static PyTypeObject* type() { return capture_type(); }
};

// New instances around a system handle.
PyObject* to_python(MonitorHandle monitor);
PyObject* to_python(WindowHandle window);
// A new Rect.
PyObject* to_python(const ScreenRect& rect);

extern PyMethodDef enumerate_windows_def;
extern PyMethodDef foreground_window_def;
extern PyMethodDef primary_monitor_def;
extern PyMethodDef enumerate_monitors_def;
