// A display monitor of the simulated desktop.
#pragma once

#include <cstddef>
#include <string>

#include <windows.h>

namespace winsim::desktop {

// Sizes of the system's buffers for the two texts.
inline constexpr std::size_t kDeviceNameUnits = CCHDEVICENAME;
inline constexpr std::size_t kDeviceStringUnits = 128;

struct Monitor {
  HMONITOR handle = nullptr;
  // Any UTF-16 units, at most kDeviceNameUnits of them.
  std::u16string device_name;
  // Any UTF-16 units, at most kDeviceStringUnits of them.
  std::u16string device_string;
  // The current display mode.
  DWORD width = 0;
  DWORD height = 0;
  DWORD refresh_rate = 0;
};

// A monitor as queries see it: monitors stand side by side from x = 0 in the
// order they were added, so the first one, the primary, holds point (0, 0).
struct PlacedMonitor {
  Monitor monitor;
  RECT rect{};
  bool primary = false;
};

}  // namespace winsim::desktop
