// Top-level windows: finding them, the capturable test, title and focus.
// Nothing is cached; every query goes to the system through the handle.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "errors.h"
#include "platform/windows/win32.h"

// Visible, client area readable, neither a child nor a tool window. Never fails.
bool is_capturable_window(HWND window);

// The window whose title matches `name` (the system's comparison).
std::expected<HWND, WindowError> find_window(const std::string& name);

// The capturable windows of other processes, in the system's order.
std::expected<std::vector<HWND>, WindowError> enumerate_windows();

std::expected<HWND, WindowError> foreground_window();

// The title, cut at its first zero unit; empty when the system has none.
std::string window_name(HWND window);
bool window_focused(HWND window);
// Asks the system to bring the window to the foreground; refusal is not an error.
void focus_window(HWND window);
