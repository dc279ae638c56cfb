// Modules that LoadLibraryExA can load, and the ones GetModuleHandleW finds.
// Only ntdll.dll can be loaded: its message table holds the texts of NT status
// codes. GetModuleHandleW knows ntdll.dll and user32.dll, both mapped into
// every process that uses them; GetProcAddress finds in user32.dll the
// functions that callers look up because older Windows lacks them.
#pragma once

#include <string_view>

#include <windows.h>

namespace winsim::kernel32 {

HMODULE ntdll_module();

// Whether LoadLibraryExA resolves `file_name` to ntdll.dll.
bool names_ntdll(std::string_view file_name);

// Whether user32.dll exports the thread DPI awareness functions
// (SetThreadDpiAwarenessContext, GetThreadDpiAwarenessContext: Windows 10
// version 1607 and later). On after a reset.
void set_dpi_awareness_exports(bool offered);

}  // namespace winsim::kernel32
