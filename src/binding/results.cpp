#include "binding/results.h"

#include <utility>

#include "internal_fault.h"
#include "binding/interpreter_exit.h"
#include "binding/pending_exception.h"

namespace {

PyObject* exception_class(PythonException exception) {
  switch (exception) {
    case PythonException::ValueError:
      return PyExc_ValueError;
    case PythonException::TypeError:
      return PyExc_TypeError;
    case PythonException::RuntimeError:
      break;
  }
  return PyExc_RuntimeError;
}

// The text is taken before the error (and any error information it holds)
// is released; the exception is raised after.
template <class Error>
PyObject* raise_described(Error error) {
  const ErrorDescription description = describe(error);
  { Error released = std::move(error); }
  return raise_message(exception_class(description.exception), description.message);
}

// A carried exception can be dropped where the interpreter lock is not held
// (an error value leaving a section that released it, a worker thread): the
// lock is taken for the release, whether or not this thread already has it.
// Once the interpreter is ending, other threads leave the reference behind.
void release_python_object(void* object) {
  if (!interpreter_usable_here()) return;
  const PyGILState_STATE state = PyGILState_Ensure();
  Py_DECREF(static_cast<PyObject*>(object));
  PyGILState_Release(state);
}

}  // namespace

PyObject* raise_error(MonitorError error) { return raise_described(std::move(error)); }

PyObject* raise_error(WindowError error) { return raise_described(std::move(error)); }

// A carried exception is raised as it was made, with its own traceback; every
// other case is raised from its description.
PyObject* raise_error(CaptureError error) {
  if (auto* carried = std::get_if<CaptureError::Python>(&error.value)) {
    PyObject* exception = static_cast<PyObject*>(carried->exception.take());
    if (exception == nullptr) internal_fault("a carried Python exception was empty");
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception);
    Py_DECREF(exception);
    return nullptr;
  }
  return raise_described(std::move(error));
}

PyObject* to_python(bool value) { return PyBool_FromLong(value); }

PyObject* to_python(std::uint32_t value) { return PyLong_FromUnsignedLong(value); }

PyObject* to_python(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

PyObject* to_python(double value) { return PyFloat_FromDouble(value); }

PyObject* to_python(const std::string& text) { return new_str(text); }

CarriedException carry_python_exception(PyObject* exception) {
  return CarriedException(exception, release_python_object);
}

PyObject* to_python(PixelLayout layout) { return PyUnicode_FromString(pixel_layout_name(layout)); }

CarriedException carry_pending_exception() {
  PendingException pending;
  pending.fetch_normalized();
  Py_XDECREF(pending.type);
  Py_XDECREF(pending.traceback);  // kept on the value itself
  if (pending.value == nullptr) internal_fault("no pending exception to carry");
  return carry_python_exception(pending.value);
}

std::string take_pending_exception_text() {
  PendingException pending;
  pending.fetch_normalized();
  std::string text;
  if (pending.value != nullptr) {
    PyObject* str = PyObject_Str(pending.value);
    if (str == nullptr || !utf8_of(str, text)) PyErr_Clear();
    Py_XDECREF(str);
  }
  Py_XDECREF(pending.type);
  Py_XDECREF(pending.value);
  Py_XDECREF(pending.traceback);
  return text;
}
