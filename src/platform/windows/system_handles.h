// The system's handles behind the module's opaque monitor and window handles
// (handles.h): converting is all there is.
#pragma once

#include <cstdint>

#include "platform/windows/handles.h"
#include "platform/windows/win32.h"

inline HMONITOR system_handle(MonitorHandle monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(monitor));
}
inline HWND system_handle(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}
inline MonitorHandle monitor_handle(HMONITOR monitor) {
  return static_cast<MonitorHandle>(reinterpret_cast<std::uintptr_t>(monitor));
}
inline WindowHandle window_handle(HWND window) {
  return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
}
