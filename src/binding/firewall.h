// The firewall: one per entry point. Whatever internal fault escapes the body
// becomes the internal-failure exception, never a crash.
#pragma once

#include <Python.h>

#include <utility>

#include "internal_fault.h"

// Sets the internal-failure exception with `message`; returns nullptr.
PyObject* raise_internal_failure(const char* message);

template <class Body>
PyObject* guarded(Body&& body) {
  return run_guarded(std::forward<Body>(body), raise_internal_failure);
}

template <class Body>
int guarded_status(Body&& body) {
  return run_guarded(std::forward<Body>(body), [](const char* message) {
    raise_internal_failure(message);
    return -1;
  });
}

// For tp_dealloc, which cannot fail: a fault is reported as unraisable.
template <class Body>
void guarded_dealloc(PyObject* self, Body&& body) {
  run_guarded(std::forward<Body>(body), [self](const char* message) {
    raise_internal_failure(message);
    PyErr_WriteUnraisable(self);
  });
}
