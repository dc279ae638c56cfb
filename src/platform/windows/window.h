// Top-level windows: finding them, the capturable test, title and focus,
// where they are and what they are. Nothing is cached; every query goes to the
// system through the handle.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "errors.h"
#include "platform/windows/handles.h"
#include "platform/windows/screen_rect.h"

// Visible, client area readable, neither a child nor a tool window. Never fails.
bool is_capturable_window(WindowHandle window);

// Whether the handle still names a window (IsWindow). Never fails.
bool window_exists(WindowHandle window);

// The window whose title matches `name` (the system's comparison).
std::expected<WindowHandle, WindowError> find_window(const std::string& name);

// The capturable windows of other processes, in the system's order.
std::expected<std::vector<WindowHandle>, WindowError> enumerate_windows();

std::expected<WindowHandle, WindowError> foreground_window();

// The title, cut at its first zero unit; empty when the system has none.
std::string window_name(WindowHandle window);
bool window_focused(WindowHandle window);
// Asks the system to bring the window to the foreground; refusal is not an error.
void focus_window(WindowHandle window);

// Where the window is, in physical pixels of the virtual screen whatever the
// calling thread's DPI awareness (see physical_pixels.h): its visible bounds
// (the Desktop Window Manager's extended frame bounds, the window rectangle
// where that fails), which a window capture's frames show, and its client
// area. A minimized window is where Windows parks it, off every monitor.
// A closed window gives WindowError::Gone, here and below.
std::expected<ScreenRect, WindowError> window_rect(WindowHandle window);
std::expected<ScreenRect, WindowError> window_client_rect(WindowHandle window);
std::expected<std::uint32_t, WindowError> window_process_id(WindowHandle window);
std::expected<std::string, WindowError> window_class_name(WindowHandle window);
std::expected<bool, WindowError> window_minimized(WindowHandle window);
// The monitor the window overlaps most, else the nearest one; a minimized
// window counts where it is restored to.
std::expected<MonitorHandle, WindowError> window_monitor(WindowHandle window);
