#include <unistd.h>

#include <windows.h>

#include "common/entry_guard.h"
#include "faults/operation.h"

namespace {

const winsim::faults::Operation kGetCurrentProcessId{"GetCurrentProcessId",
                                                     winsim::faults::FailureKind::kNever};

}  // namespace

DWORD WINAPI GetCurrentProcessId(VOID) try {
  (void)kGetCurrentProcessId.enter();
  return static_cast<DWORD>(::getpid());
} catch (...) {
  return winsim::entry::failed_silently(static_cast<DWORD>(::getpid()));
}
