#include "platform/windows/window.h"

#include <cstdint>
#include <iterator>
#include <utility>

#include "platform/windows/api_error.h"
#include "platform/windows/physical_pixels.h"
#include "platform/windows/system_handles.h"
#include "platform/windows/text.h"

namespace {

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
  if (!is_capturable_window(window_handle(window))) return TRUE;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == GetCurrentProcessId()) return TRUE;
  reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(window_handle(window));
  return TRUE;
}

// The longest class name Windows registers, in UTF-16 units.
constexpr int kMaxClassNameUnits = 256;

// After a failed call on the window: gone when the handle names no window any
// more, else the system's error (read before anything else is called).
WindowError window_call_failed(HWND window) {
  WindowsApiError api = hresult_from_last_error();
  if (!IsWindow(window)) return WindowError::of(WindowError::Kind::Gone);
  return WindowError::windows(std::move(api));
}

ScreenRect screen_rect(const RECT& rect) {
  return ScreenRect{rect.left, rect.top, std::int64_t{rect.right} - rect.left,
                    std::int64_t{rect.bottom} - rect.top};
}

}  // namespace

bool is_capturable_window(WindowHandle handle) {
  const HWND window = system_handle(handle);
  if (!IsWindowVisible(window)) return false;
  RECT client{};
  if (!GetClientRect(window, &client)) {
    GetLastError();  // read and dropped: an unreadable window is simply not capturable
    return false;
  }
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  const LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  return (style & WS_CHILD) == 0 && (ex_style & WS_EX_TOOLWINDOW) == 0;
}

bool window_exists(WindowHandle window) { return IsWindow(system_handle(window)) != FALSE; }

std::expected<WindowHandle, WindowError> find_window(const std::string& name) {
  const WideString wide_name = to_wide(name);
  const HWND window = FindWindowW(nullptr, wide_name.c_str());
  if (window == nullptr) return std::unexpected(WindowError::not_found(name));
  return window_handle(window);
}

std::expected<std::vector<WindowHandle>, WindowError> enumerate_windows() {
  std::vector<WindowHandle> windows;
  if (!EnumChildWindows(GetDesktopWindow(), collect_window, reinterpret_cast<LPARAM>(&windows))) {
    return std::unexpected(WindowError::windows(hresult_from_last_error()));
  }
  return windows;
}

std::expected<WindowHandle, WindowError> foreground_window() {
  const HWND window = GetForegroundWindow();
  if (window == nullptr) return std::unexpected(WindowError::of(WindowError::Kind::NoActiveWindow));
  return window_handle(window);
}

std::string window_name(WindowHandle handle) {
  const HWND window = system_handle(handle);
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  WideString buffer(static_cast<std::size_t>(length) + 1, WCHAR{0});
  GetWindowTextW(window, buffer.data(), length + 1);
  return wide_buffer_to_string(buffer.data(), buffer.size());
}

bool window_focused(WindowHandle window) { return GetForegroundWindow() == system_handle(window); }

void focus_window(WindowHandle window) { SetForegroundWindow(system_handle(window)); }

std::expected<ScreenRect, WindowError> window_rect(WindowHandle handle) {
  const HWND window = system_handle(handle);
  const PhysicalPixelsScope physical;
  RECT bounds{};
  if (SUCCEEDED(
          DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &bounds, sizeof(bounds)))) {
    return screen_rect(bounds);
  }
  if (!GetWindowRect(window, &bounds)) return std::unexpected(window_call_failed(window));
  return screen_rect(bounds);
}

std::expected<ScreenRect, WindowError> window_client_rect(WindowHandle handle) {
  const HWND window = system_handle(handle);
  const PhysicalPixelsScope physical;
  RECT client{};
  POINT origin{0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) {
    return std::unexpected(window_call_failed(window));
  }
  return ScreenRect{origin.x, origin.y, std::int64_t{client.right} - client.left,
                    std::int64_t{client.bottom} - client.top};
}

std::expected<std::uint32_t, WindowError> window_process_id(WindowHandle handle) {
  const HWND window = system_handle(handle);
  DWORD process_id = 0;
  if (GetWindowThreadProcessId(window, &process_id) == 0) {
    return std::unexpected(window_call_failed(window));
  }
  return static_cast<std::uint32_t>(process_id);
}

std::expected<std::string, WindowError> window_class_name(WindowHandle handle) {
  const HWND window = system_handle(handle);
  WCHAR buffer[kMaxClassNameUnits + 1] = {};
  // A class name is never empty: 0 is a failure.
  if (GetClassNameW(window, buffer, static_cast<int>(std::size(buffer))) == 0) {
    return std::unexpected(window_call_failed(window));
  }
  return wide_buffer_to_string(buffer, std::size(buffer));
}

std::expected<bool, WindowError> window_minimized(WindowHandle handle) {
  const HWND window = system_handle(handle);
  if (IsIconic(window)) return true;
  // FALSE is also the answer for a handle that names no window.
  if (!IsWindow(window)) return std::unexpected(WindowError::of(WindowError::Kind::Gone));
  return false;
}

std::expected<MonitorHandle, WindowError> window_monitor(WindowHandle handle) {
  const HWND window = system_handle(handle);
  // Asked first: some systems answer the nearest monitor for a handle that
  // names no window.
  if (!IsWindow(window)) return std::unexpected(WindowError::of(WindowError::Kind::Gone));
  const PhysicalPixelsScope physical;
  const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  if (monitor != nullptr) return monitor_handle(monitor);
  if (!IsWindow(window)) return std::unexpected(WindowError::of(WindowError::Kind::Gone));
  return std::unexpected(WindowError::of(WindowError::Kind::NoMonitor));
}
