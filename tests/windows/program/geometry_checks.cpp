// Where monitors and windows are: every geometry query compared with what the
// system answers to this per-monitor-aware process, asked from a thread that
// made itself DPI unaware (whose context each query must put back).
#include <algorithm>
#include <cstdint>
#include <string>

#include "check.h"
#include "platform/windows/monitor.h"
#include "platform/windows/system_handles.h"
#include "platform/windows/window.h"
#include "support.h"

namespace {

constexpr WCHAR kClassName[] = L"opticatcher-geometry";

bool same_rect(const ScreenRect& rect, const RECT& system) {
  return rect.left == system.left && rect.top == system.top &&
         rect.width == std::int64_t{system.right} - system.left &&
         rect.height == std::int64_t{system.bottom} - system.top;
}

std::string text_of(const ScreenRect& rect) {
  return std::to_string(rect.left) + ", " + std::to_string(rect.top) + ", " +
         std::to_string(rect.width) + ", " + std::to_string(rect.height);
}

template <class Result>
std::string detail_of(const Result& result) {
  return result ? text_of(*result) : "failed: " + error_message(result.error());
}

void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Runs the module's queries as a DPI-unaware thread does; the thread's context
// must be the same afterwards.
class UnawareThread {
 public:
  UnawareThread() : previous_(SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_UNAWARE)) {}
  ~UnawareThread() {
    if (previous_ != nullptr) SetThreadDpiAwarenessContext(previous_);
  }
  UnawareThread(const UnawareThread&) = delete;
  UnawareThread& operator=(const UnawareThread&) = delete;

  bool unchanged() const {
    return AreDpiAwarenessContextsEqual(GetThreadDpiAwarenessContext(),
                                        DPI_AWARENESS_CONTEXT_UNAWARE) != FALSE;
  }

 private:
  DPI_AWARENESS_CONTEXT previous_;
};

void check_monitor_geometry(MonitorHandle monitor, std::size_t position, RECT& bounds) {
  const std::string name = "geometry: monitor " + std::to_string(position + 1) + ": ";
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!check(GetMonitorInfoW(system_handle(monitor), &info) != 0, name + "the system describes it"))
    return;
  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  const bool have_mode = EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode) != 0;
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  const bool have_dpi =
      SUCCEEDED(GetDpiForMonitor(system_handle(monitor), MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y));

  const UnawareThread unaware;
  const auto rect = monitor_rect(monitor);
  check(rect && same_rect(*rect, info.rcMonitor), name + "rect", detail_of(rect));
  const auto work = monitor_work_area(monitor);
  check(work && same_rect(*work, info.rcWork), name + "work area", detail_of(work));
  const auto primary = monitor_primary(monitor);
  check(primary && *primary == ((info.dwFlags & MONITORINFOF_PRIMARY) != 0), name + "primary");
  const auto orientation = monitor_orientation(monitor);
  check(have_mode && orientation && *orientation == mode.dmDisplayOrientation * 90,
        name + "orientation", orientation ? std::to_string(*orientation) : "failed");
  const auto scale = monitor_scale(monitor);
  check(have_dpi && scale && *scale == dpi_x / 96.0, name + "scale",
        scale ? std::to_string(*scale) : "failed");
  const auto found = monitor_from_point(info.rcMonitor.left, info.rcMonitor.top);
  check(found && *found == monitor, name + "holds its top-left pixel");
  check(unaware.unchanged(), name + "the calling thread's DPI context is unchanged");

  bounds = RECT{
      std::min(bounds.left, info.rcMonitor.left), std::min(bounds.top, info.rcMonitor.top),
      std::max(bounds.right, info.rcMonitor.right), std::max(bounds.bottom, info.rcMonitor.bottom)};
}

void check_virtual_screen(const RECT& bounds) {
  const RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                    GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  check(bounds.left == screen.left && bounds.top == screen.top && bounds.right == screen.right &&
            bounds.bottom == screen.bottom,
        "geometry: the monitors' rectangles span the virtual screen");
  // Points off every monitor: the nearest one, as the system picks it.
  const POINT outside[] = {{screen.left - 1, screen.top - 1},
                           {screen.right + 100, screen.bottom + 100},
                           {screen.right, screen.top}};
  const UnawareThread unaware;
  for (const POINT point : outside) {
    const auto found = monitor_from_point(point.x, point.y);
    check(found && system_handle(*found) == MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST),
          "geometry: a point off the monitors gives the nearest monitor");
  }
  check(unaware.unchanged(), "geometry: from a point, the thread's DPI context is unchanged");
}

// The module's rectangles of the window against the system's.
void compare_window(HWND window, const std::string& name) {
  RECT bounds{};
  const bool have_frame = SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS,
                                                          &bounds, sizeof bounds)) ||
                          GetWindowRect(window, &bounds) != 0;
  RECT client{};
  POINT origin{0, 0};
  const bool have_client = GetClientRect(window, &client) && ClientToScreen(window, &origin);
  const HMONITOR system_monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);

  const UnawareThread unaware;
  const auto rect = window_rect(window_handle(window));
  check(have_frame && rect && same_rect(*rect, bounds), name + "rect", detail_of(rect));
  const auto client_rect = window_client_rect(window_handle(window));
  check(have_client && client_rect && client_rect->left == origin.x &&
            client_rect->top == origin.y && client_rect->width == client.right &&
            client_rect->height == client.bottom,
        name + "client rect", detail_of(client_rect));
  const auto monitor = window_monitor(window_handle(window));
  check(monitor && system_handle(*monitor) == system_monitor, name + "monitor");
  check(unaware.unchanged(), name + "the calling thread's DPI context is unchanged");
}

void check_window_geometry() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);
  HWND window =
      CreateWindowExW(0, kClassName, L"opticatcher geometry", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30,
                      40, 500, 350, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!check(window != nullptr, "geometry: window created")) return;
  pump_messages();

  // Moved and sized to known places of the primary monitor's work area.
  MONITORINFO primary{};
  primary.cbSize = sizeof primary;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
  const int places[][4] = {{60, 70, 400, 300}, {200, 150, 640, 480}};
  for (const auto& place : places) {
    const int x = primary.rcWork.left + place[0];
    const int y = primary.rcWork.top + place[1];
    SetWindowPos(window, nullptr, x, y, place[2], place[3], SWP_NOZORDER | SWP_NOACTIVATE);
    pump_messages();
    const std::string name =
        "geometry: window at " + std::to_string(place[0]) + ", " + std::to_string(place[1]) + ": ";
    RECT placed{};
    GetWindowRect(window, &placed);
    check(placed.left == x && placed.top == y && placed.right - placed.left == place[2] &&
              placed.bottom - placed.top == place[3],
          name + "the system placed it");
    compare_window(window, name);
    // The visible bounds lie within the window rectangle, the client area within them.
    const auto rect = window_rect(window_handle(window));
    const auto client = window_client_rect(window_handle(window));
    check(rect && client && rect->left >= placed.left && rect->top >= placed.top &&
              rect->left + rect->width <= placed.right &&
              rect->top + rect->height <= placed.bottom && client->left >= rect->left &&
              client->top >= rect->top &&
              client->left + client->width <= rect->left + rect->width &&
              client->top + client->height <= rect->top + rect->height,
          name + "client area inside the visible bounds inside the window rectangle");
  }

  const auto process = window_process_id(window_handle(window));
  check(process && *process == GetCurrentProcessId(), "geometry: window process id");
  const auto class_name = window_class_name(window_handle(window));
  check(class_name && *class_name == "opticatcher-geometry", "geometry: window class name",
        class_name ? *class_name : "failed");
  const auto shown = window_minimized(window_handle(window));
  check(shown && !*shown, "geometry: a shown window is not minimized");
  ShowWindow(window, SW_MINIMIZE);
  pump_messages();
  const auto minimized = window_minimized(window_handle(window));
  check(minimized && *minimized == (IsIconic(window) != FALSE) && *minimized,
        "geometry: a minimized window is minimized");
  compare_window(window, "geometry: minimized window: ");
  ShowWindow(window, SW_RESTORE);
  pump_messages();

  DestroyWindow(window);
  pump_messages();
  const auto gone = [](const auto& result) {
    return !result && result.error().kind() == WindowError::Kind::Gone &&
           error_message(result.error()) == "The window no longer exists";
  };
  const WindowHandle closed = window_handle(window);
  check(gone(window_rect(closed)) && gone(window_client_rect(closed)) &&
            gone(window_process_id(closed)) && gone(window_class_name(closed)) &&
            gone(window_minimized(closed)) && gone(window_monitor(closed)),
        "geometry: every query of a closed window says it no longer exists");
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

}  // namespace

void check_geometry() {
  const auto monitors = enumerate_monitors();
  if (!check(monitors && !monitors->empty(), "geometry: monitors enumerated")) return;
  RECT bounds{0, 0, 0, 0};
  for (std::size_t i = 0; i < monitors->size(); ++i)
    check_monitor_geometry((*monitors)[i], i, bounds);
  check_virtual_screen(bounds);
  check_window_geometry();
}
