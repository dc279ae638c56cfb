#include "desktop/desktop.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

#include "common/fork_guard.h"
#include "common/wide_text.h"
#include "ntdll/upcase_table.h"

namespace winsim::desktop {

namespace {

// Where the desktop window's handle usually is on Windows.
constexpr std::uintptr_t kDesktopWindowHandle = 0x00010010;
constexpr std::uintptr_t kFirstHandle = 0x00020000;
// Windows process and thread ids are multiples of 4.
constexpr DWORD kIdStep = 4;

std::u16string numbered_device_name(std::size_t number) {
  std::u16string name = u"\\\\.\\DISPLAY";
  for (const char digit : std::to_string(number)) {
    name += static_cast<char16_t>(digit);
  }
  return name;
}

// Device names as the display queries compare them.
bool same_device_name(std::u16string_view stored, std::u16string_view name) {
  return ntdll::equal_ignoring_case(up_to_terminator(stored), up_to_terminator(name));
}

bool name_in_use(const std::vector<Monitor>& monitors, std::u16string_view name) {
  return std::any_of(monitors.begin(), monitors.end(),
                     [name](const Monitor& m) { return same_device_name(m.device_name, name); });
}

// The lowest-numbered "\\.\DISPLAY<n>" that no monitor present uses, so that
// removing a monitor and adding another never gives two monitors one name.
std::u16string free_device_name(const std::vector<Monitor>& monitors) {
  for (std::size_t number = 1;; ++number) {
    std::u16string name = numbered_device_name(number);
    if (!name_in_use(monitors, name)) {
      return name;
    }
  }
}

template <typename Handle>
Handle to_handle(std::uintptr_t value) {
  return reinterpret_cast<Handle>(value);
}

}  // namespace

Desktop& Desktop::instance() {
  // Never destroyed: the simulated DLLs may be called during process exit.
  static auto* desktop = new Desktop;
  return *desktop;
}

Desktop::Desktop() : last_handle_(kFirstHandle), last_process_id_(0x1000), last_thread_id_(0x2000) {
  fork::join(fork::Rank::kDesktop, mutex_);
  desktop_process_id_ = next_process_id();
  // What a newly started process sees before any reset().
  add_monitor(1920, 1080, 60, std::nullopt, u"Generic PnP Monitor");
}

void Desktop::reset() {
  std::lock_guard lock(mutex_);
  monitors_.clear();
  windows_.clear();
  foreground_ = nullptr;
}

std::uintptr_t Desktop::next_handle() {
  last_handle_ += 2;
  return last_handle_;
}

DWORD Desktop::next_process_id() {
  // A made-up process id is never this process's id.
  const auto own = static_cast<DWORD>(::getpid());
  do {
    last_process_id_ += kIdStep;
  } while (last_process_id_ == own);
  return last_process_id_;
}

HMONITOR Desktop::add_monitor(DWORD width, DWORD height, DWORD refresh_rate,
                              std::optional<std::u16string> device_name,
                              std::u16string device_string) {
  std::lock_guard lock(mutex_);
  Monitor monitor;
  monitor.device_name = device_name ? std::move(*device_name) : free_device_name(monitors_);
  monitor.device_name.resize(std::min(monitor.device_name.size(), kDeviceNameUnits));
  if (name_in_use(monitors_, monitor.device_name)) {
    return nullptr;
  }
  monitor.handle = to_handle<HMONITOR>(next_handle());
  monitor.device_string = std::move(device_string);
  monitor.device_string.resize(std::min(monitor.device_string.size(), kDeviceStringUnits));
  monitor.width = width;
  monitor.height = height;
  monitor.refresh_rate = refresh_rate;
  monitors_.push_back(std::move(monitor));
  return monitors_.back().handle;
}

bool Desktop::remove_monitor(HMONITOR handle) {
  std::lock_guard lock(mutex_);
  return std::erase_if(monitors_, [handle](const Monitor& m) { return m.handle == handle; }) > 0;
}

bool Desktop::set_monitor_geometry(HMONITOR handle, const MonitorGeometry& geometry) {
  std::lock_guard lock(mutex_);
  for (Monitor& monitor : monitors_) {
    if (monitor.handle == handle) {
      monitor.position = geometry.position;
      monitor.dpi = geometry.dpi;
      monitor.orientation = geometry.orientation;
      monitor.work_area = geometry.work_area;
      return true;
    }
  }
  return false;
}

std::vector<PlacedMonitor> Desktop::place_monitors() const {
  std::vector<PlacedMonitor> placed;
  placed.reserve(monitors_.size());
  // Desktop coordinates are LONGs; absurd sizes are clamped rather than wrapped.
  const auto clamp = [](std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
  };
  std::int64_t next_left = 0;
  for (const Monitor& monitor : monitors_) {
    std::int64_t left = next_left;
    std::int64_t top = 0;
    if (monitor.position) {
      left = monitor.position->x;
      top = monitor.position->y;
    } else {
      next_left += monitor.width;
    }
    const RECT rect{clamp(left), clamp(top), clamp(left + monitor.width),
                    clamp(top + monitor.height)};
    RECT work = rect;
    work.bottom = std::max(work.top, clamp(std::int64_t{work.bottom} - kTaskBarHeight));
    placed.push_back({monitor, rect, monitor.work_area.value_or(work), false});
  }
  const auto at_origin = std::find_if(placed.begin(), placed.end(), [](const PlacedMonitor& m) {
    return m.rect.left == 0 && m.rect.top == 0;
  });
  if (at_origin != placed.end()) {
    at_origin->primary = true;
  } else if (!placed.empty()) {
    placed.front().primary = true;
  }
  return placed;
}

std::vector<PlacedMonitor> Desktop::monitors() const {
  std::lock_guard lock(mutex_);
  return place_monitors();
}

std::optional<PlacedMonitor> Desktop::monitor(HMONITOR handle) const {
  std::lock_guard lock(mutex_);
  for (PlacedMonitor& placed : place_monitors()) {
    if (placed.monitor.handle == handle) {
      return std::move(placed);
    }
  }
  return std::nullopt;
}

std::optional<PlacedMonitor> Desktop::monitor_named(std::u16string_view name) const {
  std::lock_guard lock(mutex_);
  for (PlacedMonitor& placed : place_monitors()) {
    if (same_device_name(placed.monitor.device_name, name)) {
      return std::move(placed);
    }
  }
  return std::nullopt;
}

std::vector<Window>::iterator Desktop::find_window(HWND handle) {
  return std::find_if(windows_.begin(), windows_.end(),
                      [handle](const Window& w) { return w.handle == handle; });
}

std::vector<Window>::const_iterator Desktop::find_window(HWND handle) const {
  return std::find_if(windows_.begin(), windows_.end(),
                      [handle](const Window& w) { return w.handle == handle; });
}

HWND Desktop::add_window(NewWindow setup) {
  std::lock_guard lock(mutex_);
  Window window;
  DWORD style = setup.style;
  if (setup.parent != nullptr) {
    const auto parent = find_window(setup.parent);
    if (parent == windows_.end()) {
      return nullptr;
    }
    window.parent = parent->handle;
    style |= WS_CHILD;
    // A child window normally lives on its parent's thread.
    window.process_id = parent->process_id;
    window.thread_id = parent->thread_id;
  } else {
    window.process_id = next_process_id();
    last_thread_id_ += kIdStep;
    window.thread_id = last_thread_id_;
  }
  if (setup.own_process) {
    window.process_id = static_cast<DWORD>(::getpid());
  }
  window.handle = to_handle<HWND>(next_handle());
  // A window title is a zero-terminated string.
  window.title = std::u16string(up_to_terminator(setup.title));
  window.style = setup.visible ? (style | WS_VISIBLE) : (style & ~DWORD{WS_VISIBLE});
  window.ex_style = setup.ex_style;
  window.width = setup.width;
  window.height = setup.height;
  window.x = setup.x;
  window.y = setup.y;
  window.class_name = std::move(setup.class_name);
  window.minimized = setup.minimized;
  // New windows open on top of their siblings.
  windows_.insert(windows_.begin(), std::move(window));
  return windows_.front().handle;
}

bool Desktop::destroy_window(HWND handle) {
  std::lock_guard lock(mutex_);
  if (find_window(handle) == windows_.end()) {
    return false;
  }
  // The window and every descendant: `doomed` grows while it is walked, so
  // grandchildren are found through their parents.
  std::vector<HWND> doomed{handle};
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (const Window& window : windows_) {
      if (window.parent == doomed[i]) {
        doomed.push_back(window.handle);
      }
    }
  }
  const auto is_doomed = [&doomed](HWND h) {
    return std::find(doomed.begin(), doomed.end(), h) != doomed.end();
  };
  std::erase_if(windows_, [&](const Window& w) { return is_doomed(w.handle); });
  if (is_doomed(foreground_)) {
    foreground_ = nullptr;
  }
  return true;
}

bool Desktop::resize_window(HWND handle, LONG width, LONG height) {
  std::lock_guard lock(mutex_);
  const auto window = find_window(handle);
  if (window == windows_.end()) {
    return false;
  }
  window->width = width;
  window->height = height;
  return true;
}

bool Desktop::move_window(HWND handle, LONG x, LONG y) {
  std::lock_guard lock(mutex_);
  const auto window = find_window(handle);
  if (window == windows_.end()) {
    return false;
  }
  window->x = x;
  window->y = y;
  return true;
}

bool Desktop::set_minimized(HWND handle, bool minimized) {
  std::lock_guard lock(mutex_);
  const auto window = find_window(handle);
  if (window == windows_.end()) {
    return false;
  }
  window->minimized = minimized;
  return true;
}

bool Desktop::set_class_name(HWND handle, std::u16string class_name) {
  std::lock_guard lock(mutex_);
  const auto window = find_window(handle);
  if (window == windows_.end()) {
    return false;
  }
  window->class_name = std::move(class_name);
  return true;
}

HWND Desktop::desktop_window() { return to_handle<HWND>(kDesktopWindowHandle); }

// The desktop window covers every monitor.
Window Desktop::desktop_window_record() const {
  Window desktop;
  desktop.handle = desktop_window();
  desktop.class_name = u"#32769";
  desktop.style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  desktop.process_id = desktop_process_id_;
  desktop.thread_id = desktop_process_id_ + kIdStep;
  const std::vector<PlacedMonitor> placed = place_monitors();
  if (!placed.empty()) {
    RECT bounds = placed.front().rect;
    for (const PlacedMonitor& monitor : placed) {
      bounds = RECT{
          std::min(bounds.left, monitor.rect.left), std::min(bounds.top, monitor.rect.top),
          std::max(bounds.right, monitor.rect.right), std::max(bounds.bottom, monitor.rect.bottom)};
    }
    desktop.x = bounds.left;
    desktop.y = bounds.top;
    desktop.width = bounds.right - bounds.left;
    desktop.height = bounds.bottom - bounds.top;
  }
  return desktop;
}

bool Desktop::is_window_locked(HWND handle) const {
  return handle == desktop_window() || find_window(handle) != windows_.end();
}

bool Desktop::is_window(HWND handle) const {
  std::lock_guard lock(mutex_);
  return is_window_locked(handle);
}

std::optional<Window> Desktop::window(HWND handle) const {
  std::lock_guard lock(mutex_);
  if (handle == desktop_window()) {
    return desktop_window_record();
  }
  const auto window = find_window(handle);
  return window == windows_.end() ? std::nullopt : std::optional(*window);
}

std::vector<Window> Desktop::windows() const {
  std::lock_guard lock(mutex_);
  std::vector<Window> top_level;
  std::copy_if(windows_.begin(), windows_.end(), std::back_inserter(top_level),
               [](const Window& w) { return w.parent == nullptr; });
  return top_level;
}

std::vector<HWND> Desktop::children(HWND parent) const {
  std::lock_guard lock(mutex_);
  std::vector<HWND> found;
  if (!is_window_locked(parent)) {
    return found;
  }
  // Top-level windows are stored with a null parent.
  const HWND stored_parent = parent == desktop_window() ? nullptr : parent;
  for (const Window& window : windows_) {
    if (window.parent == stored_parent) {
      found.push_back(window.handle);
    }
  }
  return found;
}

bool Desktop::visible(HWND handle) const {
  std::lock_guard lock(mutex_);
  if (handle == desktop_window()) {
    return true;
  }
  // A window is shown only while every ancestor is.
  for (HWND current = handle; current != nullptr;) {
    const auto window = find_window(current);
    if (window == windows_.end() || (window->style & WS_VISIBLE) == 0) {
      return false;
    }
    current = window->parent;
  }
  return true;
}

HWND Desktop::foreground() const {
  std::lock_guard lock(mutex_);
  return foreground_;
}

bool Desktop::set_foreground(HWND handle) {
  std::lock_guard lock(mutex_);
  if (handle == nullptr || handle == desktop_window()) {
    foreground_ = handle;
    return true;
  }
  const auto window = find_window(handle);
  if (window == windows_.end() || window->parent != nullptr) {
    return false;
  }
  // The foreground window comes to the top of the Z-order.
  std::rotate(windows_.begin(), window, window + 1);
  foreground_ = handle;
  return true;
}

}  // namespace winsim::desktop
