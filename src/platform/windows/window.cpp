#include "platform/windows/window.h"

#include "platform/windows/api_error.h"
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
