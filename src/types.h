// The module's Python classes and functions. Each type object is created once
// per process, on first use; the getters return a borrowed reference, or
// nullptr with the interpreter's exception set.
#pragma once

#include <Python.h>

#include "platform/windows/win32.h"

PyTypeObject* monitor_type();
PyTypeObject* window_type();
PyTypeObject* capture_type();

// New instances around a system handle.
PyObject* new_monitor(HMONITOR monitor);
PyObject* new_window(HWND window);

extern PyMethodDef enumerate_windows_def;
extern PyMethodDef foreground_window_def;
extern PyMethodDef primary_monitor_def;
extern PyMethodDef enumerate_monitors_def;
