// Display settings and devices: EnumDisplaySettingsW, EnumDisplayDevicesW.
// Each monitor has exactly one display mode, its current one, in physical
// pixels whatever the caller's DPI awareness, and one monitor
// device under its device name. Device names are matched ignoring case, as
// Windows matches them.
#include <cstring>
#include <optional>
#include <string>

#include <windows.h>

#include "common/entry_guard.h"
#include "common/wide_text.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "desktop/desktop.h"
#include "kernel32/last_error.h"

namespace {

using winsim::desktop::Desktop;
using winsim::desktop::kDeviceNameUnits;
using winsim::desktop::PlacedMonitor;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kEnumDisplaySettingsW{"EnumDisplaySettingsW", FailureKind::kLastError};
const Operation kEnumDisplayDevicesW{"EnumDisplayDevicesW", FailureKind::kLastError};

constexpr DWORD kBitsPerPixel = 32;

// The monitor whose device name is the zero-terminated `name`, compared in
// full, ignoring case; null means the primary monitor.
std::optional<PlacedMonitor> monitor_for_settings(LPCWSTR name) {
  if (name == nullptr) {
    for (const PlacedMonitor& placed : Desktop::instance().monitors()) {
      if (placed.primary) {
        return placed;
      }
    }
    return std::nullopt;
  }
  // A name longer than any device name matches none: read one unit past.
  const winsim::BoundedText text = winsim::read_bounded(name, kDeviceNameUnits + 1);
  if (!text.terminated) {
    return std::nullopt;
  }
  return Desktop::instance().monitor_named(text.text);
}

}  // namespace

BOOL WINAPI EnumDisplaySettingsW(LPCWSTR lpszDeviceName, DWORD iModeNum, DEVMODEW* lpDevMode) try {
  if (auto fault = kEnumDisplaySettingsW.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpDevMode == nullptr || lpDevMode->dmSize != sizeof(DEVMODEW)) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::optional<PlacedMonitor> placed = monitor_for_settings(lpszDeviceName);
  if (!placed) {
    return FALSE;
  }
  // Mode 0 is the only entry of the mode list.
  if (iModeNum != ENUM_CURRENT_SETTINGS && iModeNum != ENUM_REGISTRY_SETTINGS && iModeNum != 0) {
    return FALSE;
  }
  const WORD size = lpDevMode->dmSize;
  const WORD driver_extra = lpDevMode->dmDriverExtra;
  std::memset(lpDevMode, 0, sizeof(DEVMODEW));
  lpDevMode->dmSpecVersion = DM_SPECVERSION;
  lpDevMode->dmSize = size;
  lpDevMode->dmDriverExtra = driver_extra;
  lpDevMode->dmFields = DM_POSITION | DM_DISPLAYORIENTATION | DM_DISPLAYFIXEDOUTPUT |
                        DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS |
                        DM_DISPLAYFREQUENCY;
  lpDevMode->dmPosition = POINTL{placed->rect.left, placed->rect.top};
  lpDevMode->dmDisplayOrientation = placed->monitor.orientation;
  lpDevMode->dmDisplayFixedOutput = DMDFO_DEFAULT;
  lpDevMode->dmBitsPerPel = kBitsPerPixel;
  lpDevMode->dmPelsWidth = placed->monitor.width;
  lpDevMode->dmPelsHeight = placed->monitor.height;
  lpDevMode->dmDisplayFrequency = placed->monitor.refresh_rate;
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

// With a display device name, device 0 is the monitor attached to it.
BOOL WINAPI EnumDisplayDevicesW(LPCWSTR lpDevice, DWORD iDevNum, PDISPLAY_DEVICEW lpDisplayDevice,
                                DWORD dwFlags) try {
  (void)dwFlags;
  if (auto fault = kEnumDisplayDevicesW.enter()) {
    kernel32::set_last_error(*fault);
    return FALSE;
  }
  if (lpDisplayDevice == nullptr || lpDisplayDevice->cb != sizeof(DISPLAY_DEVICEW)) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpDevice == nullptr) {
    winsim::faults::record_unsupported("EnumDisplayDevicesW",
                                       "enumerating display adapters (null device name)");
    return FALSE;
  }
  if (iDevNum != 0) {
    return FALSE;
  }
  // Device names are at most CCHDEVICENAME units; no more are read, so the
  // szDevice buffer of MONITORINFOEXW can be passed even when it is full.
  const std::u16string_view name = winsim::read_bounded(lpDevice, kDeviceNameUnits).text;
  const std::optional<PlacedMonitor> placed = Desktop::instance().monitor_named(name);
  if (!placed) {
    return FALSE;
  }
  const DWORD cb = lpDisplayDevice->cb;
  std::memset(lpDisplayDevice, 0, sizeof(DISPLAY_DEVICEW));
  lpDisplayDevice->cb = cb;
  // The adapter's own spelling of its name, not the caller's.
  const std::u16string monitor_name =
      std::u16string(winsim::up_to_terminator(placed->monitor.device_name)) + u"\\Monitor0";
  winsim::copy_terminated(lpDisplayDevice->DeviceName, std::size(lpDisplayDevice->DeviceName),
                          monitor_name);
  winsim::fill_buffer(lpDisplayDevice->DeviceString, placed->monitor.device_string);
  lpDisplayDevice->StateFlags = DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED;
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}
