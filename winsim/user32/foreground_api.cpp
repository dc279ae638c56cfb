// The foreground window: GetForegroundWindow, SetForegroundWindow.
#include <windows.h>

#include "common/entry_guard.h"
#include "faults/operation.h"
#include "desktop/desktop.h"
#include "kernel32/last_error.h"

namespace {

using winsim::desktop::Desktop;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kGetForegroundWindow{"GetForegroundWindow", FailureKind::kObject};
const Operation kSetForegroundWindow{"SetForegroundWindow", FailureKind::kLastError};

}  // namespace

// NULL when no window is in the foreground.
HWND WINAPI GetForegroundWindow(VOID) try {
  if (auto fault = kGetForegroundWindow.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  return Desktop::instance().foreground();
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) try {
  if (auto fault = kSetForegroundWindow.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (hWnd == nullptr || !Desktop::instance().is_window(hWnd)) {
    kernel32::set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // A child window is refused without an error code: it is a window, just not
  // one that can be in the foreground.
  return Desktop::instance().set_foreground(hWnd) ? TRUE : FALSE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}
