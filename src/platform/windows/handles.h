// Monitors and top-level windows as the module holds them: the system's
// handles (HMONITOR, HWND), opaque outside the platform code, which converts
// them (system_handles.h). Handles are plain values that are never closed.
#pragma once

#include <cstdint>

enum class MonitorHandle : std::uintptr_t {};
enum class WindowHandle : std::uintptr_t {};
