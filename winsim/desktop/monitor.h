// A display monitor of the simulated desktop.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <windows.h>

namespace winsim::desktop {

// Sizes of the system's buffers for the two texts.
inline constexpr std::size_t kDeviceNameUnits = CCHDEVICENAME;
inline constexpr std::size_t kDeviceStringUnits = 128;

// The DPI of a monitor at 100 % scale, and the height of the task bar that a
// monitor's default work area leaves out at its bottom edge.
inline constexpr UINT kDefaultDpi = 96;
inline constexpr LONG kTaskBarHeight = 48;

struct Monitor {
  HMONITOR handle = nullptr;
  // Any UTF-16 units, at most kDeviceNameUnits of them.
  std::u16string device_name;
  // Any UTF-16 units, at most kDeviceStringUnits of them.
  std::u16string device_string;
  // The current display mode, as the desktop shows it: a monitor turned by 90
  // or 270 degrees has its portrait size here.
  DWORD width = 0;
  DWORD height = 0;
  DWORD refresh_rate = 0;
  // Top-left corner in the virtual screen, in physical pixels; none: right of
  // the monitors before it that have none either.
  std::optional<POINT> position;
  // The effective DPI: 96 times the scale the user chose.
  UINT dpi = kDefaultDpi;
  // DMDO_DEFAULT, DMDO_90, DMDO_180 or DMDO_270.
  DWORD orientation = DMDO_DEFAULT;
  // In the virtual screen; none: the monitor less the task bar.
  std::optional<RECT> work_area;
};

// A monitor as queries see it, in physical pixels of the virtual screen.
// Monitors without a position stand side by side from x = 0 in the order they
// were added. The primary monitor is the first one whose top-left corner is
// the origin (the first one of all when none is), as on Windows, where the
// primary monitor holds point (0, 0).
struct PlacedMonitor {
  Monitor monitor;
  RECT rect{};
  RECT work{};
  bool primary = false;
};

}  // namespace winsim::desktop
