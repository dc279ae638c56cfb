// Window queries: FindWindowW, GetDesktopWindow, EnumChildWindows,
// GetWindowThreadProcessId, IsWindowVisible, GetClientRect, GetWindowLongPtrW,
// GetWindowTextLengthW, GetWindowTextW.
#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>

#include <windows.h>

#include "common/wide_text.h"
#include "control/misuse_log.h"
#include "control/operation.h"
#include "desktop/desktop.h"
#include "kernel32/last_error.h"
#include "user32/title_match.h"

namespace {

using winsim::control::FailureKind;
using winsim::control::Operation;
using winsim::desktop::Desktop;
using winsim::desktop::Window;
namespace kernel32 = winsim::kernel32;

const Operation kFindWindowW{"FindWindowW", FailureKind::kObject};
const Operation kGetDesktopWindow{"GetDesktopWindow", FailureKind::kObject};
const Operation kEnumChildWindows{"EnumChildWindows", FailureKind::kLastError};
const Operation kGetWindowThreadProcessId{"GetWindowThreadProcessId", FailureKind::kLastError};
const Operation kIsWindowVisible{"IsWindowVisible", FailureKind::kLastError};
const Operation kGetClientRect{"GetClientRect", FailureKind::kLastError};
const Operation kGetWindowLongPtrW{"GetWindowLongPtrW", FailureKind::kLastError};
const Operation kGetWindowTextLengthW{"GetWindowTextLengthW", FailureKind::kLastError};
const Operation kGetWindowTextW{"GetWindowTextW", FailureKind::kLastError};

// The window behind a handle; for a stale or unknown handle nothing, with
// ERROR_INVALID_WINDOW_HANDLE as the last error.
std::optional<Window> live_window(HWND handle) {
  std::optional<Window> window = Desktop::instance().window(handle);
  if (!window) {
    kernel32::set_last_error(ERROR_INVALID_WINDOW_HANDLE);
  }
  return window;
}

int text_length(const Window& window) {
  return static_cast<int>(std::min<std::size_t>(window.title.size(), INT_MAX));
}

}  // namespace

// Matches titles ignoring case, hidden windows included; the first match in
// enumeration order wins.
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  if (auto fault = kFindWindowW.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (lpClassName != nullptr) {
    winsim::control::record_unsupported("FindWindowW", "window classes");
    return nullptr;
  }
  for (const Window& window : Desktop::instance().windows()) {
    if (lpWindowName == nullptr || winsim::user32::titles_match(window.title, lpWindowName)) {
      return window.handle;
    }
  }
  return nullptr;
}

HWND WINAPI GetDesktopWindow(VOID) {
  if (auto fault = kGetDesktopWindow.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  return Desktop::desktop_window();
}

// The children of the desktop window are the top-level windows; top-level
// windows have no children. The callback runs without the desktop locked.
BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (auto fault = kEnumChildWindows.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpEnumFunc == nullptr) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hWndParent != nullptr && hWndParent != Desktop::desktop_window()) {
    (void)live_window(hWndParent);
    return FALSE;
  }
  for (const Window& window : Desktop::instance().windows()) {
    if (!lpEnumFunc(window.handle, lParam)) {
      break;
    }
  }
  return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  if (auto fault = kGetWindowThreadProcessId.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  if (!window) {
    return 0;
  }
  if (lpdwProcessId != nullptr) {
    *lpdwProcessId = window->process_id;
  }
  return window->thread_id;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  if (auto fault = kIsWindowVisible.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<Window> window = live_window(hWnd);
  return window && (window->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (auto fault = kGetClientRect.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<Window> window = live_window(hWnd);
  if (!window) {
    return FALSE;
  }
  if (lpRect == nullptr) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpRect = RECT{0, 0, window->width, window->height};
  return TRUE;
}

// Styles are 32-bit values, returned sign-extended as on 64-bit Windows.
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  if (auto fault = kGetWindowLongPtrW.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  if (!window) {
    return 0;
  }
  switch (nIndex) {
    case GWL_STYLE:
      return static_cast<LONG>(window->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(window->ex_style);
    default:
      kernel32::set_last_error(ERROR_INVALID_INDEX);
      return 0;
  }
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
  if (auto fault = kGetWindowTextLengthW.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  return window ? text_length(*window) : 0;
}

// Copies at most nMaxCount - 1 units and a terminator; returns the units
// copied. On failure the buffer holds an empty string.
int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  const bool has_buffer = lpString != nullptr && nMaxCount > 0;
  if (has_buffer) {
    lpString[0] = u'\0';
  }
  if (auto fault = kGetWindowTextW.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  if (!window || !has_buffer) {
    return 0;
  }
  return static_cast<int>(
      winsim::copy_terminated(lpString, static_cast<std::size_t>(nMaxCount), window->title));
}
