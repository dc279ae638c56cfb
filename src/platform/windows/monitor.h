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

// Unsigned decimal parsing: one leading '+' allowed, no whitespace.
std::expected<std::uint64_t, IntParseFailure> parse_u64(std::string_view text);
