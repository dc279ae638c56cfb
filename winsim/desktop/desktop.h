// The simulated desktop: its monitors, its windows (top-level windows and their
// child windows, in Z-order) and the foreground window. One per process, shared by the simulated
// DLLs and the control API, guarded by one mutex. Queries return copies, so callers never hold the
// lock while they call back into user code.
//
// Handles are never reused, not even after reset().
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "desktop/monitor.h"
#include "desktop/window.h"

namespace winsim::desktop {

// What a new window starts with.
struct NewWindow {
  std::u16string title;
  LONG width = 0;
  LONG height = 0;
  bool visible = true;
  DWORD style = 0;
  DWORD ex_style = 0;
  bool own_process = false;
  // Null for a top-level window; else the live window it becomes a child of.
  HWND parent = nullptr;
  // The top-left corner of its visible bounds in the virtual screen.
  LONG x = 0;
  LONG y = 0;
  std::u16string class_name = u"WinsimWindow";
  bool minimized = false;
};

// Where a monitor is and how it is set up (see Monitor).
struct MonitorGeometry {
  std::optional<POINT> position;
  UINT dpi = kDefaultDpi;
  DWORD orientation = DMDO_DEFAULT;
  std::optional<RECT> work_area;
};

class Desktop {
 public:
  static Desktop& instance();

  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // No monitors, no windows, no foreground window.
  void reset();

  // Monitors.

  // A missing device name becomes "\\.\DISPLAY<n>" with the lowest n no monitor
  // present uses. Texts longer than the system's buffers are cut. Adapter names
  // are unique: a name already in use, compared ignoring case, is refused (null).
  HMONITOR add_monitor(DWORD width, DWORD height, DWORD refresh_rate,
                       std::optional<std::u16string> device_name, std::u16string device_string);
  bool remove_monitor(HMONITOR handle);
  bool set_monitor_geometry(HMONITOR handle, const MonitorGeometry& geometry);

  // In the order they were added; the first is the primary monitor.
  std::vector<PlacedMonitor> monitors() const;
  std::optional<PlacedMonitor> monitor(HMONITOR handle) const;
  // The monitor whose device name (up to its first zero unit) is `name`,
  // ignoring case.
  std::optional<PlacedMonitor> monitor_named(std::u16string_view name) const;

  // Windows.

  // The new window goes on top of its siblings. Null when the parent named is
  // no live window.
  HWND add_window(NewWindow setup);
  // Destroys the window and, with it, all its descendants.
  bool destroy_window(HWND handle);
  bool resize_window(HWND handle, LONG width, LONG height);
  // Moves the top-left corner of the window's visible bounds.
  bool move_window(HWND handle, LONG x, LONG y);
  bool set_minimized(HWND handle, bool minimized);
  bool set_class_name(HWND handle, std::u16string class_name);

  static HWND desktop_window();
  // A live window, or the desktop window.
  std::optional<Window> window(HWND handle) const;
  // Live top-level windows, topmost first.
  std::vector<Window> windows() const;
  // The direct children of a live window (of the desktop window: the top-level
  // windows), topmost first; nothing for a handle that names no window.
  std::vector<HWND> children(HWND parent) const;
  bool is_window(HWND handle) const;
  // WS_VISIBLE on the window and on every ancestor; false for a dead handle.
  bool visible(HWND handle) const;

  HWND foreground() const;
  // Makes a top-level window the foreground window and raises it to the top of
  // the Z-order. False for a handle that names no live window, and for a child
  // window, which cannot be the foreground window; null clears the foreground.
  bool set_foreground(HWND handle);

 private:
  Desktop();

  std::uintptr_t next_handle();
  DWORD next_process_id();
  std::vector<PlacedMonitor> place_monitors() const;
  Window desktop_window_record() const;
  bool is_window_locked(HWND handle) const;
  std::vector<Window>::iterator find_window(HWND handle);
  std::vector<Window>::const_iterator find_window(HWND handle) const;

  mutable std::mutex mutex_;
  std::uintptr_t last_handle_;
  DWORD last_process_id_;
  DWORD last_thread_id_;
  DWORD desktop_process_id_;
  std::vector<Monitor> monitors_;
  // Every live window, children included. Siblings keep their Z-order here,
  // topmost first; windows of different parents are in no particular order.
  std::vector<Window> windows_;
  HWND foreground_ = nullptr;
};

}  // namespace winsim::desktop
