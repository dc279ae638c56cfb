// The interpreter's pending exception, taken off and put back as one value.
#pragma once

#include <Python.h>

// Python's exception-state calls that the limited API of 3.9 offers are
// deprecated in newer headers; they stay correct on every supported version.
// (MSVC knows neither GCC's pragmas nor its warning names.)
#if defined(_MSC_VER) && !defined(__clang__)
#pragma warning(push)
#pragma warning(disable : 4996)
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
struct PendingException {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;

  void fetch_normalized() {
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  }
  void restore() { PyErr_Restore(type, value, traceback); }
};
#if defined(_MSC_VER) && !defined(__clang__)
#pragma warning(pop)
#else
#pragma GCC diagnostic pop
#endif
