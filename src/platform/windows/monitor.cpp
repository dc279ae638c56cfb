#include "platform/windows/monitor.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "expected_ops.h"
#include "platform/windows/api_error.h"
#include "platform/windows/physical_pixels.h"
#include "platform/windows/system_handles.h"
#include "platform/windows/text.h"

namespace {

constexpr std::string_view kDisplayPrefix = "\\\\.\\DISPLAY";

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  reinterpret_cast<std::vector<MonitorHandle>*>(list)->push_back(monitor_handle(monitor));
  return TRUE;
}

std::expected<MONITORINFOEXW, MonitorError> monitor_info(MonitorHandle monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof(MONITORINFOEXW);
  if (!GetMonitorInfoW(system_handle(monitor), reinterpret_cast<MONITORINFO*>(&info))) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::GetInfoFailed));
  }
  return info;
}

ScreenRect screen_rect(const RECT& rect) {
  return ScreenRect{rect.left, rect.top, std::int64_t{rect.right} - rect.left,
                    std::int64_t{rect.bottom} - rect.top};
}

}  // namespace

bool monitor_exists(MonitorHandle monitor) {
  if (monitor_info(monitor)) return true;
  GetLastError();  // read and dropped: a monitor that is gone is simply gone
  return false;
}

namespace {

std::string device_name_of(const MONITORINFOEXW& info) {
  return wide_buffer_to_string(info.szDevice, std::size(info.szDevice));
}

std::string remove_display_prefixes(std::string_view name) {
  std::string rest;
  while (!name.empty()) {
    if (name.starts_with(kDisplayPrefix)) {
      name.remove_prefix(kDisplayPrefix.size());
    } else {
      rest.push_back(name.front());
      name.remove_prefix(1);
    }
  }
  return rest;
}

// The current display settings of the monitor's display device.
std::expected<DEVMODEW, MonitorError> current_settings(MonitorHandle monitor) {
  auto info = monitor_info(monitor);
  if (!info) return std::unexpected(std::move(info.error()));
  const WideString device = to_wide(device_name_of(*info));
  DEVMODEW mode{};
  mode.dmSize = sizeof(DEVMODEW);
  mode.dmDriverExtra = 0;
  if (!EnumDisplaySettingsW(device.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::GetSettingsFailed));
  }
  return mode;
}

}  // namespace

std::expected<MonitorHandle, MonitorError> primary_monitor() {
  const HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONULL);
  if (monitor == nullptr || reinterpret_cast<std::uintptr_t>(monitor) == UINTPTR_MAX) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::NotFound));
  }
  return monitor_handle(monitor);
}

std::expected<std::vector<MonitorHandle>, MonitorError> enumerate_monitors() {
  std::vector<MonitorHandle> monitors;
  if (!EnumDisplayMonitors(nullptr, nullptr, collect_monitor,
                           reinterpret_cast<LPARAM>(&monitors))) {
    return std::unexpected(MonitorError::windows(hresult_from_last_error()));
  }
  return monitors;
}

std::expected<MonitorHandle, MonitorError> monitor_from_id(std::optional<std::uint64_t> id) {
  if (!id) return primary_monitor();
  if (*id == 0) return std::unexpected(MonitorError::of(MonitorError::Kind::IndexLowerThanOne));
  auto monitors = enumerate_monitors();
  if (!monitors) return std::unexpected(std::move(monitors.error()));
  if (*id > monitors->size())
    return std::unexpected(MonitorError::of(MonitorError::Kind::NotFound));
  return (*monitors)[*id - 1];
}

std::expected<DisplayMode, MonitorError> monitor_display_mode(MonitorHandle monitor) {
  return transform(current_settings(monitor), [](const DEVMODEW& mode) {
    return DisplayMode{static_cast<std::uint32_t>(mode.dmPelsWidth),
                       static_cast<std::uint32_t>(mode.dmPelsHeight),
                       static_cast<std::uint32_t>(mode.dmDisplayFrequency)};
  });
}

std::expected<ScreenRect, MonitorError> monitor_rect(MonitorHandle monitor) {
  const PhysicalPixelsScope physical;
  return transform(monitor_info(monitor),
                   [](const MONITORINFOEXW& info) { return screen_rect(info.rcMonitor); });
}

std::expected<ScreenRect, MonitorError> monitor_work_area(MonitorHandle monitor) {
  const PhysicalPixelsScope physical;
  return transform(monitor_info(monitor),
                   [](const MONITORINFOEXW& info) { return screen_rect(info.rcWork); });
}

std::expected<bool, MonitorError> monitor_primary(MonitorHandle monitor) {
  return transform(monitor_info(monitor), [](const MONITORINFOEXW& info) {
    return (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  });
}

std::expected<double, MonitorError> monitor_scale(MonitorHandle monitor) {
  const PhysicalPixelsScope physical;
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (FAILED(GetDpiForMonitor(system_handle(monitor), MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)) ||
      dpi_x == 0) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::GetInfoFailed));
  }
  return dpi_x / 96.0;
}

std::expected<std::uint32_t, MonitorError> monitor_orientation(MonitorHandle monitor) {
  auto mode = current_settings(monitor);
  if (!mode) return std::unexpected(std::move(mode.error()));
  // DMDO_DEFAULT, DMDO_90, DMDO_180, DMDO_270: quarter turns.
  if (mode->dmDisplayOrientation > DMDO_270) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::GetSettingsFailed));
  }
  return static_cast<std::uint32_t>(mode->dmDisplayOrientation) * 90;
}

std::expected<MonitorHandle, MonitorError> monitor_from_point(std::int64_t x, std::int64_t y) {
  const auto coordinate = [](std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
  };
  const PhysicalPixelsScope physical;
  const HMONITOR monitor =
      MonitorFromPoint(POINT{coordinate(x), coordinate(y)}, MONITOR_DEFAULTTONEAREST);
  if (monitor == nullptr) return std::unexpected(MonitorError::of(MonitorError::Kind::NotFound));
  return monitor_handle(monitor);
}

std::expected<std::string, MonitorError> monitor_device_name(MonitorHandle monitor) {
  return transform(monitor_info(monitor), device_name_of);
}

std::expected<std::string, MonitorError> monitor_device_string(MonitorHandle monitor) {
  auto info = monitor_info(monitor);
  if (!info) return std::unexpected(std::move(info.error()));
  DISPLAY_DEVICEW device{};
  device.cb = sizeof(DISPLAY_DEVICEW);
  if (!EnumDisplayDevicesW(info->szDevice, 0, &device, 0)) {
    return std::unexpected(MonitorError::of(MonitorError::Kind::GetNameFailed));
  }
  return wide_buffer_to_string(device.DeviceString, std::size(device.DeviceString));
}

std::expected<std::uint64_t, MonitorError> monitor_index(MonitorHandle monitor) {
  auto info = monitor_info(monitor);
  if (!info) return std::unexpected(std::move(info.error()));
  const auto index = parse_u64(remove_display_prefixes(device_name_of(*info)));
  if (!index) return std::unexpected(MonitorError::parse_index(index.error()));
  return *index;
}

std::expected<std::uint64_t, IntParseFailure> parse_u64(std::string_view text) {
  if (text.empty()) return std::unexpected(IntParseFailure::Empty);
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty()) return std::unexpected(IntParseFailure::InvalidDigit);
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::unexpected(IntParseFailure::InvalidDigit);
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::unexpected(IntParseFailure::PosOverflow);
    value = value * 10 + digit;
  }
  return value;
}
