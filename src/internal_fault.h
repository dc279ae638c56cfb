// Internal faults: a state the design rules out. They are thrown where they are
// found and stopped at the entry point by `run_guarded`, so that no fault ever
// crosses into the interpreter as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

class InternalFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void internal_fault(const std::string& message) {
  throw InternalFault(message);
}

namespace internal_fault_detail {

// In a catch-all: rethrows when what is caught is no C++ exception. That is how
// the C library's thread exit (pthread_exit) unwinds C++ frames, and it must
// go on to the thread's start: swallowing it aborts the process. It can only be
// caught where no other exception is being handled (the C++ runtime ends the
// process otherwise), so nothing that may call into Python runs inside a
// catch block here.
inline void pass_thread_exit() {
  if (!std::current_exception()) throw;
}

// What a caught fault says. The text lives as long as `fault`.
inline const char* describe(const std::exception_ptr& fault) {
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown internal fault";
  }
}

// A fault while a fault is being reported cannot be reported: end the process.
template <class Report>
auto report_or_terminate(Report& report, const char* message) {
  try {
    return report(message);
  } catch (...) {
    pass_thread_exit();  // the report called into Python, where the thread was ended
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
  }
}

}  // namespace internal_fault_detail

// Runs `body`. Whatever it throws is described and handed to `report`, whose
// result (the entry point's failure value) is returned instead. The one thing
// that passes is the unwinding of a thread that the C library is ending (a
// daemon thread at interpreter exit, see interpreter_exit.h): it must reach
// the thread's start, so nothing on its way may be `noexcept`.
template <class Body, class Report>
auto run_guarded(Body&& body, Report&& report) -> decltype(body()) {
  std::exception_ptr fault;
  try {
    return body();
  } catch (...) {
    fault = std::current_exception();
    internal_fault_detail::pass_thread_exit();
  }
  return internal_fault_detail::report_or_terminate(report, internal_fault_detail::describe(fault));
}
