// Windows Runtime strings: immutable UTF-16 texts behind HSTRING handles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <hstring.h>

namespace winsim::combase {

// The text of a live string (empty for null); nothing for a handle that is not
// a live string.
std::optional<std::u16string> hstring_text(HSTRING string);

// A new string owned by the caller (as a method that returns an HSTRING does).
HSTRING make_hstring(const std::u16string& text);

std::int64_t live_hstrings();

}  // namespace winsim::combase
