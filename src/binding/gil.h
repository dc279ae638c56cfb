// Releasing the interpreter lock around work that does not touch Python, so
// that other Python threads run meanwhile:
//
//   auto result = without_gil([&] { return operation_without_python(); });
//   if (!result) return raise_error(...);  // the lock is held again here
//
// The lock is taken back in plain code after the work, never in a destructor:
// taking it back is where a daemon thread is ended at interpreter exit (see
// interpreter_exit.h), and that unwind may not start inside a destructor or
// while a fault of the work is on its way. A fault of the work is carried past
// the lock's return and rethrown once it is held again.
#pragma once

#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

template <class Work>
auto without_gil(Work&& work) -> decltype(work()) {
  using Result = decltype(work());
  PyThreadState* state = PyEval_SaveThread();
  std::exception_ptr fault;
  if constexpr (std::is_void_v<Result>) {
    try {
      work();
    } catch (...) {
      fault = std::current_exception();
      if (!fault) throw;  // a thread exit (see internal_fault.h): no lock to take back
    }
    PyEval_RestoreThread(state);
    if (fault) std::rethrow_exception(fault);
  } else {
    std::optional<Result> result;
    try {
      result.emplace(work());
    } catch (...) {
      fault = std::current_exception();
      if (!fault) throw;  // a thread exit (see internal_fault.h): no lock to take back
    }
    PyEval_RestoreThread(state);
    if (fault) std::rethrow_exception(fault);
    return std::move(*result);
  }
}
