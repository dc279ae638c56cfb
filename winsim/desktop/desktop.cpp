#include "desktop/desktop.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <string>

#include "common/wide_text.h"

namespace winsim::desktop {

namespace {

// Where the desktop window's handle usually is on Windows.
constexpr std::uintptr_t kDesktopWindowHandle = 0x00010010;
constexpr std::uintptr_t kFirstHandle = 0x00020000;
// Windows process and thread ids are multiples of 4.
constexpr DWORD kIdStep = 4;

std::u16string default_device_name(std::size_t present) {
  std::u16string name = u"\\\\.\\DISPLAY";
  for (const char digit : std::to_string(present + 1)) {
    name += static_cast<char16_t>(digit);
  }
  return name;
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
  monitor.handle = to_handle<HMONITOR>(next_handle());
  monitor.device_name =
      device_name ? std::move(*device_name) : default_device_name(monitors_.size());
  monitor.device_name.resize(std::min(monitor.device_name.size(), kDeviceNameUnits));
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

std::vector<PlacedMonitor> Desktop::place_monitors() const {
  std::vector<PlacedMonitor> placed;
  placed.reserve(monitors_.size());
  // Desktop coordinates are LONGs; absurd sizes are clamped rather than wrapped.
  const auto clamp = [](std::int64_t value) {
    return static_cast<LONG>(std::min<std::int64_t>(value, std::numeric_limits<LONG>::max()));
  };
  std::int64_t left = 0;
  for (const Monitor& monitor : monitors_) {
    const std::int64_t right = left + monitor.width;
    placed.push_back(
        {monitor, RECT{clamp(left), 0, clamp(right), clamp(monitor.height)}, placed.empty()});
    left = right;
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
    if (up_to_terminator(placed.monitor.device_name) == name) {
      return std::move(placed);
    }
  }
  return std::nullopt;
}

HWND Desktop::add_window(NewWindow setup) {
  std::lock_guard lock(mutex_);
  Window window;
  window.handle = to_handle<HWND>(next_handle());
  // A window title is a zero-terminated string.
  window.title = std::u16string(up_to_terminator(setup.title));
  window.style = setup.visible ? (setup.style | WS_VISIBLE) : (setup.style & ~DWORD{WS_VISIBLE});
  window.ex_style = setup.ex_style;
  window.process_id = setup.own_process ? static_cast<DWORD>(::getpid()) : next_process_id();
  last_thread_id_ += kIdStep;
  window.thread_id = last_thread_id_;
  window.width = setup.width;
  window.height = setup.height;
  windows_.push_back(std::move(window));
  return windows_.back().handle;
}

bool Desktop::destroy_window(HWND handle) {
  std::lock_guard lock(mutex_);
  if (std::erase_if(windows_, [handle](const Window& w) { return w.handle == handle; }) == 0) {
    return false;
  }
  if (foreground_ == handle) {
    foreground_ = nullptr;
  }
  return true;
}

bool Desktop::resize_window(HWND handle, LONG width, LONG height) {
  std::lock_guard lock(mutex_);
  for (Window& window : windows_) {
    if (window.handle == handle) {
      window.width = width;
      window.height = height;
      return true;
    }
  }
  return false;
}

HWND Desktop::desktop_window() { return to_handle<HWND>(kDesktopWindowHandle); }

// The desktop window covers every monitor.
Window Desktop::desktop_window_record() const {
  Window desktop;
  desktop.handle = desktop_window();
  desktop.style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  desktop.process_id = desktop_process_id_;
  desktop.thread_id = desktop_process_id_ + kIdStep;
  for (const PlacedMonitor& placed : place_monitors()) {
    desktop.width = std::max(desktop.width, placed.rect.right);
    desktop.height = std::max(desktop.height, placed.rect.bottom);
  }
  return desktop;
}

bool Desktop::is_window(HWND handle) const {
  return handle == desktop_window() ||
         std::any_of(windows_.begin(), windows_.end(),
                     [handle](const Window& w) { return w.handle == handle; });
}

std::optional<Window> Desktop::window(HWND handle) const {
  std::lock_guard lock(mutex_);
  if (handle == desktop_window()) {
    return desktop_window_record();
  }
  for (const Window& window : windows_) {
    if (window.handle == handle) {
      return window;
    }
  }
  return std::nullopt;
}

std::vector<Window> Desktop::windows() const {
  std::lock_guard lock(mutex_);
  return windows_;
}

HWND Desktop::foreground() const {
  std::lock_guard lock(mutex_);
  return foreground_;
}

bool Desktop::set_foreground(HWND handle) {
  std::lock_guard lock(mutex_);
  if (handle != nullptr && !is_window(handle)) {
    return false;
  }
  foreground_ = handle;
  return true;
}

}  // namespace winsim::desktop
