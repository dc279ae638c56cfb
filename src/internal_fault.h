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

// A fault while a fault is being reported cannot be reported: end the process.
template <class Report>
auto report_or_terminate(Report& report, const char* message) noexcept {
  try {
    return report(message);
  } catch (...) {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
  }
}

}  // namespace internal_fault_detail

// Runs `body`. Whatever it throws is described and handed to `report`, whose
// result (the entry point's failure value) is returned instead.
template <class Body, class Report>
auto run_guarded(Body&& body, Report&& report) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::exception& fault) {
    return internal_fault_detail::report_or_terminate(report, fault.what());
  } catch (...) {
    return internal_fault_detail::report_or_terminate(report, "unknown internal fault");
  }
}
