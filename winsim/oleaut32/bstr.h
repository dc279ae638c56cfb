// BSTR allocation: a 4-byte byte-length prefix, the units, a zero unit. Live
// BSTRs are counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <oleauto.h>

namespace winsim::oleaut32 {

// Allocates a BSTR without counting a SysAllocString call (for methods that
// return strings). Null when out of memory.
BSTR allocate_bstr(std::u16string_view text);

// A fresh BSTR of the text, or NULL for no text.
BSTR allocate_bstr(const std::optional<std::u16string>& text);

// Frees a BSTR (NULL allowed) without counting a SysFreeString call; freeing
// anything but a live BSTR is recorded as misuse.
void free_bstr(BSTR text);

std::int64_t live_bstrs();

}  // namespace winsim::oleaut32
