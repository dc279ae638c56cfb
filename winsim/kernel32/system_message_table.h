// The system message table that FORMAT_MESSAGE_FROM_SYSTEM reads: English
// texts, each ending in a line break.
#pragma once

#include <optional>
#include <string_view>

#include <windows.h>

namespace winsim::kernel32 {

// The text of a Win32 error value or HRESULT, keyed by the full 32-bit id.
// HRESULTs of FACILITY_WIN32 share the text of their Win32 error.
std::optional<std::u16string_view> system_message(DWORD message_id);

}  // namespace winsim::kernel32
