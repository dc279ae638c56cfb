// ntdll's message table: the texts of NT status codes, which FormatMessageW
// reads with FORMAT_MESSAGE_FROM_HMODULE and ntdll's module handle.
#pragma once

#include <optional>
#include <string_view>

#include <windows.h>

namespace winsim::ntdll {

std::optional<std::u16string_view> status_message(DWORD status);

}  // namespace winsim::ntdll
