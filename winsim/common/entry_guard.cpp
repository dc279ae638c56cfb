#include "common/entry_guard.h"

#include <cxxabi.h>

#include <new>
#include <system_error>
#include <utility>

#include "kernel32/last_error.h"
#include "winsim/control.h"

namespace winsim::entry {

namespace {

enum class Failure { kOutOfMemory, kInternal };

// What the exception in flight stands for. A forced unwind goes on: it is no
// C++ exception and has no type (binding abi::__forced_unwind& to it would
// bind a reference to nothing), nor has any other foreign exception.
Failure classify() {
  if (abi::__cxa_current_exception_type() == nullptr) throw;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Failure::kOutOfMemory;
  } catch (const std::system_error& error) {
    // A thread (or other system resource) that could not be had.
    const std::error_code code = error.code();
    return code == std::errc::not_enough_memory || code == std::errc::resource_unavailable_try_again
               ? Failure::kOutOfMemory
               : Failure::kInternal;
  } catch (...) {
    return Failure::kInternal;
  }
}

thread_local int t_control_failure = WINSIM_OK;

}  // namespace

HRESULT failed_hresult() {
  return classify() == Failure::kOutOfMemory ? E_OUTOFMEMORY : E_UNEXPECTED;
}

void set_last_error_from_exception() {
  kernel32::set_last_error(classify() == Failure::kOutOfMemory ? ERROR_OUTOFMEMORY
                                                               : ERROR_INTERNAL_ERROR);
}

void ignore_exception() { (void)classify(); }

int failed_control_call() {
  const int status =
      classify() == Failure::kOutOfMemory ? WINSIM_OUT_OF_MEMORY : WINSIM_INTERNAL_ERROR;
  t_control_failure = status;
  return status;
}

void record_control_failure(int status) { t_control_failure = status; }

int take_control_failure() { return std::exchange(t_control_failure, WINSIM_OK); }

}  // namespace winsim::entry
