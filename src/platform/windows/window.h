// Top-level windows: finding them, the capturable test, title and focus.
// Nothing is cached; every query goes to the system through the handle.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "errors.h"
#include "platform/windows/handles.h"

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
