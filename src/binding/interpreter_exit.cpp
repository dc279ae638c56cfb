#include "binding/interpreter_exit.h"

#include <atomic>
#include <thread>

namespace {

std::atomic<std::thread::id> ending_thread{};
std::atomic<bool> ending{false};

PyObject* mark_interpreter_end(PyObject*, PyObject*) {
  ending_thread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ending.store(true, std::memory_order_release);
  Py_RETURN_NONE;
}

PyMethodDef mark_interpreter_end_def = {"_mark_interpreter_end", mark_interpreter_end, METH_NOARGS,
                                        nullptr};

}  // namespace

bool watch_interpreter_exit() {
  // A new interpreter (one embedded again after Py_Finalize) starts unmarked.
  ending.store(false, std::memory_order_relaxed);
  PyObject* atexit = PyImport_ImportModule("atexit");
  if (atexit == nullptr) return false;
  PyObject* callback = PyCFunction_NewEx(&mark_interpreter_end_def, nullptr, nullptr);
  PyObject* registered =
      callback == nullptr ? nullptr : PyObject_CallMethod(atexit, "register", "O", callback);
  Py_XDECREF(registered);
  Py_XDECREF(callback);
  Py_DECREF(atexit);
  return registered != nullptr;
}

bool interpreter_usable_here() {
  if (!ending.load(std::memory_order_acquire)) return true;
  return ending_thread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}
