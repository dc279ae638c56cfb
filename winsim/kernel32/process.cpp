#include <unistd.h>

#include <windows.h>

#include "control/operation.h"

namespace {

const winsim::control::Operation kGetCurrentProcessId{"GetCurrentProcessId",
                                                      winsim::control::FailureKind::kNever};

}  // namespace

DWORD WINAPI GetCurrentProcessId(VOID) {
  (void)kGetCurrentProcessId.enter();
  return static_cast<DWORD>(::getpid());
}
