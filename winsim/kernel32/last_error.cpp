#include "kernel32/last_error.h"

#include "common/entry_guard.h"

namespace winsim::kernel32 {

namespace {

thread_local DWORD t_last_error = ERROR_SUCCESS;

}  // namespace

DWORD last_error() { return t_last_error; }

void set_last_error(DWORD code) { t_last_error = code; }

void set_last_error(const faults::Fault& fault) {
  if (!fault.null) {
    t_last_error = fault.code;
  }
}

}  // namespace winsim::kernel32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kGetLastError{"GetLastError", FailureKind::kNever};
const Operation kSetLastError{"SetLastError", FailureKind::kNever};

}  // namespace

DWORD WINAPI GetLastError(VOID) try {
  (void)kGetLastError.enter();
  return winsim::kernel32::last_error();
} catch (...) {
  return winsim::entry::failed_silently(winsim::kernel32::last_error());
}

VOID WINAPI SetLastError(DWORD dwErrCode) try {
  (void)kSetLastError.enter();
  winsim::kernel32::set_last_error(dwErrCode);
} catch (...) {
  winsim::entry::ignore_exception();
}
