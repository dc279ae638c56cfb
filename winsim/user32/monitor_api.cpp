// Monitor queries: MonitorFromPoint, EnumDisplayMonitors, GetMonitorInfoW.
#include <algorithm>
#include <cstdint>
#include <optional>

#include <windows.h>

#include "common/entry_guard.h"
#include "common/wide_text.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "desktop/desktop.h"
#include "kernel32/last_error.h"

namespace {

using winsim::desktop::Desktop;
using winsim::desktop::PlacedMonitor;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kMonitorFromPoint{"MonitorFromPoint", FailureKind::kObject};
const Operation kEnumDisplayMonitors{"EnumDisplayMonitors", FailureKind::kLastError};
const Operation kGetMonitorInfoW{"GetMonitorInfoW", FailureKind::kLastError};

bool contains(const RECT& rect, POINT point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

// Squared distance from the point to the nearest pixel of the rectangle.
std::int64_t distance_squared(const RECT& rect, POINT point) {
  const auto axis = [](LONG value, LONG low, LONG high) -> std::int64_t {
    if (value < low) {
      return std::int64_t{low} - value;
    }
    if (value >= high) {
      return std::int64_t{value} - high + 1;
    }
    return 0;
  };
  const std::int64_t dx = axis(point.x, rect.left, rect.right);
  const std::int64_t dy = axis(point.y, rect.top, rect.bottom);
  return dx * dx + dy * dy;
}

std::optional<RECT> intersection(const RECT& a, const RECT& b) {
  const RECT rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
  if (rect.left >= rect.right || rect.top >= rect.bottom) {
    return std::nullopt;
  }
  return rect;
}

}  // namespace

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) try {
  if (auto fault = kMonitorFromPoint.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  const std::vector<PlacedMonitor> monitors = Desktop::instance().monitors();
  for (const PlacedMonitor& placed : monitors) {
    if (contains(placed.rect, pt)) {
      return placed.monitor.handle;
    }
  }
  if (monitors.empty()) {
    return nullptr;
  }
  switch (dwFlags) {
    case MONITOR_DEFAULTTOPRIMARY:
      return monitors.front().monitor.handle;
    case MONITOR_DEFAULTTONEAREST:
      return std::min_element(monitors.begin(), monitors.end(),
                              [pt](const PlacedMonitor& a, const PlacedMonitor& b) {
                                return distance_squared(a.rect, pt) < distance_squared(b.rect, pt);
                              })
          ->monitor.handle;
    default:
      return nullptr;
  }
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
  for (const PlacedMonitor& placed : Desktop::instance().monitors()) {
    std::optional<RECT> rect = placed.rect;
    if (lprcClip != nullptr) {
      rect = intersection(*rect, *lprcClip);
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
  const std::optional<PlacedMonitor> placed = Desktop::instance().monitor(hMonitor);
  if (!placed) {
    kernel32::set_last_error(ERROR_INVALID_MONITOR_HANDLE);
    return FALSE;
  }
  lpmi->rcMonitor = placed->rect;
  // No taskbar: the work area is the whole monitor.
  lpmi->rcWork = placed->rect;
  lpmi->dwFlags = placed->primary ? MONITORINFOF_PRIMARY : 0;
  if (lpmi->cbSize == sizeof(MONITORINFOEXW)) {
    winsim::fill_buffer(static_cast<LPMONITORINFOEXW>(lpmi)->szDevice, placed->monitor.device_name);
  }
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}
