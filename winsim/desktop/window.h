// A top-level window of the simulated desktop.
#pragma once

#include <string>

#include <windows.h>

namespace winsim::desktop {

struct Window {
  HWND handle = nullptr;
  // Never holds a zero unit.
  std::u16string title;
  DWORD style = 0;
  DWORD ex_style = 0;
  DWORD process_id = 0;
  DWORD thread_id = 0;
  // Client area size.
  LONG width = 0;
  LONG height = 0;
};

}  // namespace winsim::desktop
