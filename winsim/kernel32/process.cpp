#include <unistd.h>

#include <windows.h>

#include "common/entry_guard.h"
#include "control/operation.h"

namespace {

const winsim::control::Operation kGetCurrentProcessId{"GetCurrentProcessId",
                                                      winsim::control::FailureKind::kNever};

}  // namespace

DWORD WINAPI GetCurrentProcessId(VOID) try {
  (void)kGetCurrentProcessId.enter();
  return static_cast<DWORD>(::getpid());
} catch (...) {
  return winsim::entry::failed_silently(static_cast<DWORD>(::getpid()));
}
