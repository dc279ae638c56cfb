// Conversions between the UTF-16 text of the Windows API and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/windows/win32.h"

using WideString = std::basic_string<WCHAR>;

// Decodes `count` UTF-16 units; every unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const WCHAR* units, std::size_t count);

// The text of a buffer the system filled: the units before the first zero
// unit, or all `capacity` units when there is none.
std::string wide_buffer_to_string(const WCHAR* buffer, std::size_t capacity);

// UTF-8 text as UTF-16; `c_str()` of the result is the zero-terminated form
// handed to the system (a lone zero unit for empty text). Ill-formed bytes
// become U+FFFD.
WideString to_wide(std::string_view utf8);
