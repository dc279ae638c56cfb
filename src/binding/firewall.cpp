#include "binding/firewall.h"

#include <string>

#include "binding/results.h"

namespace {

PyObject* panic_exception_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "opticatcher.PanicException",
        "An internal fault of opticatcher: a state its design rules out was reached.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

}  // namespace

PyObject* raise_internal_failure(const char* message) {
  const std::string text(message);  // may throw: the firewall then ends the process
  PyObject* type = panic_exception_type();
  if (type == nullptr) return nullptr;  // the interpreter's own error is pending
  return raise_message(type, text);
}
