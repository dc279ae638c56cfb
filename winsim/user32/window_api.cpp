// Window queries: FindWindowW, GetDesktopWindow, EnumChildWindows,
// GetWindowThreadProcessId, IsWindowVisible, GetClientRect, GetWindowLongPtrW,
// GetWindowTextLengthW, GetWindowTextW, IsWindow, IsIconic, GetWindowRect,
// ClientToScreen, GetClassNameW. Rectangles and points are in the calling
// thread's coordinates (user32/dpi_awareness.h): scaled by the DPI of the
// monitor the window is on unless the thread is per-monitor aware.
#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

#include <windows.h>

#include "common/entry_guard.h"
#include "common/wide_text.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "desktop/desktop.h"
#include "desktop/geometry.h"
#include "kernel32/last_error.h"
#include "ntdll/upcase_table.h"
#include "user32/dpi_awareness.h"
#include "user32/text_length_overreport.h"

namespace {

using winsim::desktop::Desktop;
using winsim::desktop::Window;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
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
const Operation kIsWindow{"IsWindow", FailureKind::kNever};
const Operation kIsIconic{"IsIconic", FailureKind::kLastError};
const Operation kGetWindowRect{"GetWindowRect", FailureKind::kLastError};
const Operation kClientToScreen{"ClientToScreen", FailureKind::kLastError};
const Operation kGetClassNameW{"GetClassNameW", FailureKind::kLastError};

// The window behind a handle; for a stale or unknown handle nothing, with
// ERROR_INVALID_WINDOW_HANDLE as the last error.
std::optional<Window> live_window(HWND handle) {
  std::optional<Window> window = Desktop::instance().window(handle);
  if (!window) {
    kernel32::set_last_error(ERROR_INVALID_WINDOW_HANDLE);
  }
  return window;
}

// A window's rectangles as the calling thread sees them.
struct SeenWindow {
  RECT bounds;  // the window rectangle
  RECT client;  // the client area, in screen coordinates
};

SeenWindow seen_window(const Window& window) {
  using namespace winsim::desktop;
  const std::vector<PlacedMonitor> monitors = Desktop::instance().monitors();
  const UINT dpi = window_dpi(monitors, window);
  RECT bounds = winsim::user32::as_seen(monitors, restored_bounds(window), dpi);
  RECT client = winsim::user32::as_seen(monitors, restored_client_area(window, dpi), dpi);
  if (window.minimized) {
    // Parked off the monitors, with no client area.
    const LONG dx = kMinimizedPosition - bounds.left;
    const LONG dy = kMinimizedPosition - bounds.top;
    bounds = RECT{bounds.left + dx, bounds.top + dy, bounds.right + dx, bounds.bottom + dy};
    client = RECT{bounds.left, bounds.top, bounds.left, bounds.top};
  }
  return {bounds, client};
}

// The rectangles of a live window for a query that writes into `out`:
// ERROR_INVALID_WINDOW_HANDLE for a handle that names none, then
// ERROR_INVALID_PARAMETER for no place to write them.
std::optional<SeenWindow> seen_window_for(HWND handle, const void* out) {
  const std::optional<Window> window = live_window(handle);
  if (!window) return std::nullopt;
  if (out == nullptr) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  return seen_window(*window);
}

int text_length(const Window& window) {
  if (window.title.empty()) {
    return 0;
  }
  const std::size_t reported =
      window.title.size() + static_cast<std::size_t>(winsim::user32::text_length_overreport());
  return static_cast<int>(std::min<std::size_t>(reported, INT_MAX));
}

// Calls back for each window of `list` and, right after it, for its
// descendants; ends early when the callback returns FALSE. As on Windows, a
// window's children are listed before its own callback runs, and a window
// destroyed by an earlier callback is skipped.
bool enumerate_descendants(const std::vector<HWND>& list, WNDENUMPROC callback, LPARAM data) {
  const Desktop& desktop = Desktop::instance();
  for (const HWND handle : list) {
    if (!desktop.is_window(handle)) {
      continue;
    }
    const std::vector<HWND> children = desktop.children(handle);
    if (!callback(handle, data)) {
      return false;
    }
    if (!children.empty() && !enumerate_descendants(children, callback, data)) {
      return false;
    }
  }
  return true;
}

}  // namespace

// Searches the top-level windows only, hidden ones included, from the top of
// the Z-order down; titles are compared ignoring case with the system's case
// table, never the user's locale.
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) try {
  if (auto fault = kFindWindowW.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (lpClassName != nullptr) {
    winsim::faults::record_unsupported("FindWindowW", "window classes");
    return nullptr;
  }
  // The name is read up to its terminator; nothing past it takes part.
  const std::u16string_view name =
      lpWindowName == nullptr ? std::u16string_view() : std::u16string_view(lpWindowName);
  for (const Window& window : Desktop::instance().windows()) {
    if (lpWindowName == nullptr || winsim::ntdll::equal_ignoring_case(window.title, name)) {
      return window.handle;
    }
  }
  return nullptr;
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

HWND WINAPI GetDesktopWindow(VOID) try {
  if (auto fault = kGetDesktopWindow.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  return Desktop::desktop_window();
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

// Every descendant of the window, depth first: each child, then its own
// descendants, siblings from the top of the Z-order down. The descendants of
// the desktop window are the top-level windows and all their child windows.
// The callback runs without the desktop locked, and may destroy windows.
BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) try {
  if (auto fault = kEnumChildWindows.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpEnumFunc == nullptr) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const HWND parent = hWndParent == nullptr ? Desktop::desktop_window() : hWndParent;
  if (!live_window(parent)) {
    return FALSE;
  }
  enumerate_descendants(Desktop::instance().children(parent), lpEnumFunc, lParam);
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) try {
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
} catch (...) {
  return winsim::entry::failed_with_last_error(DWORD{0});
}

BOOL WINAPI IsWindowVisible(HWND hWnd) try {
  if (auto fault = kIsWindowVisible.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (!live_window(hWnd)) {
    return FALSE;
  }
  // A window with WS_VISIBLE stays unseen while any ancestor is hidden.
  return Desktop::instance().visible(hWnd) ? TRUE : FALSE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) try {
  if (auto fault = kGetClientRect.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<SeenWindow> seen = seen_window_for(hWnd, lpRect);
  if (!seen) return FALSE;
  const RECT client = seen->client;
  *lpRect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

// Styles are 32-bit values, returned sign-extended as on 64-bit Windows.
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) try {
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
} catch (...) {
  return winsim::entry::failed_with_last_error(LONG_PTR{0});
}

int WINAPI GetWindowTextLengthW(HWND hWnd) try {
  if (auto fault = kGetWindowTextLengthW.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  return window ? text_length(*window) : 0;
} catch (...) {
  return winsim::entry::failed_with_last_error(0);
}

// Copies at most nMaxCount - 1 units and a terminator; returns the units
// copied. On failure the buffer holds an empty string.
int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) try {
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
} catch (...) {
  return winsim::entry::failed_with_last_error(0);
}

BOOL WINAPI IsWindow(HWND hWnd) try {
  (void)kIsWindow.enter();
  return Desktop::instance().is_window(hWnd) ? TRUE : FALSE;
} catch (...) {
  return winsim::entry::failed_silently(FALSE);
}

BOOL WINAPI IsIconic(HWND hWnd) try {
  if (auto fault = kIsIconic.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<Window> window = live_window(hWnd);
  return window && window->minimized ? TRUE : FALSE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) try {
  if (auto fault = kGetWindowRect.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<SeenWindow> seen = seen_window_for(hWnd, lpRect);
  if (!seen) return FALSE;
  *lpRect = seen->bounds;
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) try {
  if (auto fault = kClientToScreen.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  const std::optional<SeenWindow> seen = seen_window_for(hWnd, lpPoint);
  if (!seen) return FALSE;
  const RECT client = seen->client;
  lpPoint->x += client.left;
  lpPoint->y += client.top;
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

// Copies at most nMaxCount - 1 units and a terminator; returns the units
// copied, 0 on failure.
int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) try {
  if (auto fault = kGetClassNameW.enter()) {
    kernel32::set_last_error(*fault);
    return 0;
  }
  const std::optional<Window> window = live_window(hWnd);
  if (!window) {
    return 0;
  }
  if (lpClassName == nullptr || nMaxCount <= 0) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(winsim::copy_terminated(lpClassName, static_cast<std::size_t>(nMaxCount),
                                                  window->class_name));
} catch (...) {
  return winsim::entry::failed_with_last_error(0);
}
