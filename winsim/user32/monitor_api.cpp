// Monitor queries: MonitorFromPoint, MonitorFromWindow, EnumDisplayMonitors,
// GetMonitorInfoW. Rectangles and points are in the calling thread's
// coordinates (user32/dpi_awareness.h).
#include <algorithm>
#include <cstdint>
#include <optional>

#include <windows.h>

#include "common/entry_guard.h"
#include "common/wide_text.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "desktop/desktop.h"
#include "desktop/geometry.h"
#include "kernel32/last_error.h"
#include "user32/dpi_awareness.h"

namespace {

using winsim::desktop::Desktop;
using winsim::desktop::PlacedMonitor;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kMonitorFromPoint{"MonitorFromPoint", FailureKind::kObject};
const Operation kMonitorFromWindow{"MonitorFromWindow", FailureKind::kObject};
const Operation kEnumDisplayMonitors{"EnumDisplayMonitors", FailureKind::kLastError};
const Operation kGetMonitorInfoW{"GetMonitorInfoW", FailureKind::kLastError};

}  // namespace

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) try {
  if (auto fault = kMonitorFromPoint.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  const std::vector<PlacedMonitor> monitors = winsim::user32::monitors_as_seen();
  const PlacedMonitor* found = winsim::desktop::monitor_for_point(monitors, pt, dwFlags);
  return found == nullptr ? nullptr : found->monitor.handle;
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

// The monitor the window overlaps most, in physical pixels, whatever the
// thread's awareness; a minimized window counts where it was restored.
HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD dwFlags) try {
  if (auto fault = kMonitorFromWindow.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  const std::optional<winsim::desktop::Window> window = Desktop::instance().window(hwnd);
  if (!window) {
    kernel32::set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const std::vector<PlacedMonitor> monitors = Desktop::instance().monitors();
  const PlacedMonitor* found = winsim::desktop::monitor_for_rect(
      monitors, winsim::desktop::restored_bounds(*window), dwFlags);
  return found == nullptr ? nullptr : found->monitor.handle;
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

// Calls the callback for each monitor in order, without the desktop locked;
// stops early when it returns FALSE.
BOOL WINAPI EnumDisplayMonitors(HDC hdc, LPCRECT lprcClip, MONITORENUMPROC lpfnEnum,
                                LPARAM dwData) try {
  if (auto fault = kEnumDisplayMonitors.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpfnEnum == nullptr) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hdc != nullptr) {
    winsim::faults::record_unsupported("EnumDisplayMonitors", "device contexts");
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (const PlacedMonitor& placed : winsim::user32::monitors_as_seen()) {
    std::optional<RECT> rect = placed.rect;
    if (lprcClip != nullptr) {
      rect = winsim::desktop::intersection(*rect, *lprcClip);
    }
    if (rect && !lpfnEnum(placed.monitor.handle, nullptr, &*rect, dwData)) {
      break;
    }
  }
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi) try {
  if (auto fault = kGetMonitorInfoW.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpmi == nullptr ||
      (lpmi->cbSize != sizeof(MONITORINFO) && lpmi->cbSize != sizeof(MONITORINFOEXW))) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::vector<PlacedMonitor> monitors = winsim::user32::monitors_as_seen();
  const auto placed = std::find_if(monitors.begin(), monitors.end(), [hMonitor](const auto& m) {
    return m.monitor.handle == hMonitor;
  });
  if (placed == monitors.end()) {
    kernel32::set_last_error(ERROR_INVALID_MONITOR_HANDLE);
    return FALSE;
  }
  lpmi->rcMonitor = placed->rect;
  lpmi->rcWork = placed->work;
  lpmi->dwFlags = placed->primary ? MONITORINFOF_PRIMARY : 0;
  if (lpmi->cbSize == sizeof(MONITORINFOEXW)) {
    winsim::fill_buffer(static_cast<LPMONITORINFOEXW>(lpmi)->szDevice, placed->monitor.device_name);
  }
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}
