// Monitors: every property compared with what the system answers directly.
#include <algorithm>

#include "check.h"
#include "platform/windows/monitor.h"
#include "platform/windows/system_handles.h"
#include "support.h"

namespace {

// An HMONITOR that names no monitor: user handles never have index 0.
const MonitorHandle kStaleMonitor =
    monitor_handle(reinterpret_cast<HMONITOR>(std::uintptr_t{0x7FFE0000}));

void check_monitor(MonitorHandle monitor, std::size_t position) {
  const std::string name = "monitor " + std::to_string(position + 1) + ": ";
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!check(GetMonitorInfoW(system_handle(monitor), &info) != 0, name + "the system describes it"))
    return;
  const std::string device = utf8_from_system(info.szDevice);

  const auto device_name = monitor_device_name(monitor);
  check(device_name && *device_name == device, name + "device name",
        device_name ? *device_name + " vs " + device : "failed");

  const auto index = monitor_index(monitor);
  check(
      index && device.starts_with("\\\\.\\DISPLAY") && std::to_string(*index) == device.substr(11),
      name + "index is the number in the device name",
      index ? std::to_string(*index) + " from " + device : "failed");

  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  const bool have_mode = EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode) != 0;
  const auto display_mode = monitor_display_mode(monitor);
  if (check(have_mode && display_mode.has_value(), name + "display mode")) {
    check_equal(display_mode->width, mode.dmPelsWidth, name + "width");
    check_equal(display_mode->height, mode.dmPelsHeight, name + "height");
    check_equal(display_mode->refresh_rate, mode.dmDisplayFrequency, name + "refresh rate");
    // A DPI-aware process sees the monitor's rectangle in pixels too.
    check_equal(display_mode->width, static_cast<DWORD>(info.rcMonitor.right - info.rcMonitor.left),
                name + "width is the monitor rectangle's");
    check_equal(display_mode->height,
                static_cast<DWORD>(info.rcMonitor.bottom - info.rcMonitor.top),
                name + "height is the monitor rectangle's");
  }

  DISPLAY_DEVICEW display{};
  display.cb = sizeof display;
  const bool have_display = EnumDisplayDevicesW(info.szDevice, 0, &display, 0) != 0;
  const auto device_string = monitor_device_string(monitor);
  check(have_display && device_string && *device_string == utf8_from_system(display.DeviceString),
        name + "device string", device_string ? *device_string : std::string("failed"));
}

}  // namespace

void check_monitors() {
  const auto monitors = enumerate_monitors();
  if (!check(monitors && !monitors->empty(), "monitors: enumerated")) return;
  check_equal(monitors->size(), static_cast<std::size_t>(GetSystemMetrics(SM_CMONITORS)),
              "monitors: as many as the system counts");

  const MonitorHandle system_primary =
      monitor_handle(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
  const auto primary = primary_monitor();
  check(primary && *primary == system_primary, "monitors: the primary one holds the origin");
  check(std::find(monitors->begin(), monitors->end(), system_primary) != monitors->end(),
        "monitors: the primary one is enumerated");
  for (std::size_t i = 0; i < monitors->size(); ++i) check_monitor((*monitors)[i], i);

  const auto by_default = monitor_from_id(std::nullopt);
  check(by_default && *by_default == system_primary, "monitors: no id is the primary monitor");
  const auto first = monitor_from_id(1);
  check(first && *first == monitors->front(), "monitors: id 1 is the first enumerated");
  const auto zero = monitor_from_id(0);
  check(!zero && zero.error().kind() == MonitorError::Kind::IndexLowerThanOne,
        "monitors: id 0 is refused");
  const auto beyond = monitor_from_id(monitors->size() + 1);
  check(!beyond && beyond.error().kind() == MonitorError::Kind::NotFound,
        "monitors: an id past the last is not found");

  // A handle the system does not know fails every query the same way.
  MONITORINFO info{};
  info.cbSize = sizeof info;
  check(!GetMonitorInfoW(system_handle(kStaleMonitor), &info) &&
            GetLastError() == ERROR_INVALID_MONITOR_HANDLE,
        "stale monitor: the system refuses it (1461)");
  const auto failed = [](const auto& result) {
    return !result && result.error().kind() == MonitorError::Kind::GetInfoFailed;
  };
  check(failed(monitor_display_mode(kStaleMonitor)) && failed(monitor_device_name(kStaleMonitor)) &&
            failed(monitor_device_string(kStaleMonitor)) && failed(monitor_index(kStaleMonitor)),
        "stale monitor: every query fails to get the monitor info");
}
