// Monitors: finding them and asking the system about them. Nothing is cached;
// every query goes to the system through the handle.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "platform/windows/handles.h"
#include "platform/windows/screen_rect.h"

// The monitor that holds the origin of the virtual screen.
std::expected<MonitorHandle, MonitorError> primary_monitor();

// Every monitor, in the system's enumeration order.
std::expected<std::vector<MonitorHandle>, MonitorError> enumerate_monitors();

// None: the primary monitor; n >= 1: the n-th monitor in enumeration order.
std::expected<MonitorHandle, MonitorError> monitor_from_id(std::optional<std::uint64_t> id);

struct DisplayMode {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t refresh_rate;
};

// Whether the system still knows the monitor: the query behind the
// properties succeeds. Never fails.
bool monitor_exists(MonitorHandle monitor);

// The monitor's current display mode.
std::expected<DisplayMode, MonitorError> monitor_display_mode(MonitorHandle monitor);
std::expected<std::string, MonitorError> monitor_device_name(MonitorHandle monitor);
std::expected<std::string, MonitorError> monitor_device_string(MonitorHandle monitor);
// The number in the device name, "\\.\DISPLAY12" giving 12.
std::expected<std::uint64_t, MonitorError> monitor_index(MonitorHandle monitor);

// Where the monitor is, in physical pixels of the virtual screen, whatever the
// calling thread's DPI awareness (see physical_pixels.h): the whole monitor
// (rcMonitor) and its work area, the monitor less the task bar and docked
// toolbars (rcWork).
std::expected<ScreenRect, MonitorError> monitor_rect(MonitorHandle monitor);
std::expected<ScreenRect, MonitorError> monitor_work_area(MonitorHandle monitor);
std::expected<bool, MonitorError> monitor_primary(MonitorHandle monitor);
// The effective DPI divided by 96: 1.5 at a scale of 150 %.
std::expected<double, MonitorError> monitor_scale(MonitorHandle monitor);
// The rotation of the current display mode in degrees: 0, 90, 180 or 270.
std::expected<std::uint32_t, MonitorError> monitor_orientation(MonitorHandle monitor);
// The monitor holding a point of the virtual screen (physical pixels), else
// the nearest one; "Failed to find monitor" without monitors. Coordinates
// beyond the system's 32-bit range count as the farthest point it has.
std::expected<MonitorHandle, MonitorError> monitor_from_point(std::int64_t x, std::int64_t y);

// Unsigned decimal parsing: one leading '+' allowed, no whitespace.
std::expected<std::uint64_t, IntParseFailure> parse_u64(std::string_view text);
