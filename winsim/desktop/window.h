// A window of the simulated desktop: a top-level window or a child window.
#pragma once

#include <string>

#include <windows.h>

namespace winsim::desktop {

struct Window {
  HWND handle = nullptr;
  // Null for a top-level window (a child of the desktop window).
  HWND parent = nullptr;
  // Never holds a zero unit.
  std::u16string title;
  DWORD style = 0;
  DWORD ex_style = 0;
  DWORD process_id = 0;
  DWORD thread_id = 0;
  // Client area size.
  LONG width = 0;
  LONG height = 0;
  // The owner of an owned top-level window (a pop-up or tool window of
  // another), and where the owned window's client area lies in the owner's
  // client coordinates: winsim places no window on the desktop, so an owned
  // window is placed against its owner.
  HWND owner = nullptr;
  LONG left = 0;
  LONG top = 0;
};

}  // namespace winsim::desktop
