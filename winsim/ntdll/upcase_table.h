// The system's upper-case table, as RtlUpcaseUnicodeChar uses it: one UTF-16
// unit to one UTF-16 unit, the same on every machine whatever the user's
// locale. Every case-insensitive comparison of the simulated system (window
// titles, display device names) goes through it, so results never depend on
// the host's locale settings.
#pragma once

#include <string_view>

namespace winsim::ntdll {

// The unit's upper-case form; units without one (surrogates, digits, ...) are
// returned unchanged.
char16_t upcase(char16_t unit);

// Equal length and, unit by unit, equal upper-case forms.
bool equal_ignoring_case(std::u16string_view a, std::u16string_view b);

}  // namespace winsim::ntdll
