// Modules that LoadLibraryExA can load. Only ntdll.dll is known: its message
// table holds the texts of NT status codes.
#pragma once

#include <string_view>

#include <windows.h>

namespace winsim::kernel32 {

HMODULE ntdll_module();

// Whether LoadLibraryExA resolves `file_name` to ntdll.dll.
bool names_ntdll(std::string_view file_name);

}  // namespace winsim::kernel32
