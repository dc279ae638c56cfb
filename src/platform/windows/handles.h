// Monitors and top-level windows as the module holds them: the system's
// handles (HMONITOR, HWND), opaque outside the platform code, which converts
// them (system_handles.h). Handles are plain values that are never closed.
#pragma once

#include <cstdint>

enum class MonitorHandle : std::uintptr_t {};
enum class WindowHandle : std::uintptr_t {};

// The handle as the integer Windows code passes around.
inline std::uint64_t monitor_handle_value(MonitorHandle monitor) {
  return static_cast<std::uintptr_t>(monitor);
}
inline std::uint64_t window_handle_value(WindowHandle window) {
  return static_cast<std::uintptr_t>(window);
}
