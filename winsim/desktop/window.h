// A window of the simulated desktop: a top-level window or a child window.
#pragma once

#include <string>

#include <windows.h>

namespace winsim::desktop {

// A minimized window's rectangles lie here, off every monitor, as on Windows.
inline constexpr LONG kMinimizedPosition = -32000;
// The caption of a window with WS_CAPTION at 96 DPI; it scales with the DPI of
// the window's monitor.
inline constexpr LONG kCaptionHeight = 31;

struct Window {
  HWND handle = nullptr;
  // Null for a top-level window (a child of the desktop window).
  HWND parent = nullptr;
  // Never holds a zero unit.
  std::u16string title;
  std::u16string class_name;
  DWORD style = 0;
  DWORD ex_style = 0;
  DWORD process_id = 0;
  DWORD thread_id = 0;
  // The visible bounds, in physical pixels of the virtual screen: the
  // top-left corner where the window is restored, and the size that captures
  // show. The client area is the same less the caption, if any.
  LONG x = 0;
  LONG y = 0;
  LONG width = 0;
  LONG height = 0;
  bool minimized = false;
};

}  // namespace winsim::desktop
