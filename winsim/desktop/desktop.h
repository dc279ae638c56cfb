// The simulated desktop: its monitors, its top-level windows and the foreground
// window. One per process, shared by the simulated DLLs and the control API,
// guarded by one mutex. Queries return copies, so callers never hold the lock
// while they call back into user code.
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

// What a new top-level window starts with.
struct NewWindow {
  std::u16string title;
  LONG width = 0;
  LONG height = 0;
  bool visible = true;
  DWORD style = 0;
  DWORD ex_style = 0;
  bool own_process = false;
};

class Desktop {
 public:
  static Desktop& instance();

  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // No monitors, no windows, no foreground window.
  void reset();

  // Monitors.

  // A missing device name becomes "\\.\DISPLAY<n>", n = 1 + monitors present.
  // Texts longer than the system's buffers are cut.
  HMONITOR add_monitor(DWORD width, DWORD height, DWORD refresh_rate,
                       std::optional<std::u16string> device_name, std::u16string device_string);
  bool remove_monitor(HMONITOR handle);

  // In the order they were added; the first is the primary monitor.
  std::vector<PlacedMonitor> monitors() const;
  std::optional<PlacedMonitor> monitor(HMONITOR handle) const;
  // The first monitor whose device name (up to its first zero unit) is `name`.
  std::optional<PlacedMonitor> monitor_named(std::u16string_view name) const;

  // Windows.

  HWND add_window(NewWindow setup);
  bool destroy_window(HWND handle);
  bool resize_window(HWND handle, LONG width, LONG height);

  static HWND desktop_window();
  // A live top-level window, or the desktop window.
  std::optional<Window> window(HWND handle) const;
  // Live top-level windows in creation order.
  std::vector<Window> windows() const;

  HWND foreground() const;
  // False for a handle that names no live window; null clears the foreground.
  bool set_foreground(HWND handle);

 private:
  Desktop();

  std::uintptr_t next_handle();
  DWORD next_process_id();
  std::vector<PlacedMonitor> place_monitors() const;
  Window desktop_window_record() const;
  bool is_window(HWND handle) const;

  mutable std::mutex mutex_;
  std::uintptr_t last_handle_;
  DWORD last_process_id_;
  DWORD last_thread_id_;
  DWORD desktop_process_id_;
  std::vector<Monitor> monitors_;
  std::vector<Window> windows_;
  HWND foreground_ = nullptr;
};

}  // namespace winsim::desktop
