// Window-title comparison as FindWindowW does it: unit by unit, ignoring case.
#pragma once

#include <string_view>

namespace winsim::user32 {

bool titles_match(std::u16string_view a, std::u16string_view b);

}  // namespace winsim::user32
