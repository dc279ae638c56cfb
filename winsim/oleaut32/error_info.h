// The calling thread's error information object.
#pragma once

#include <optional>
#include <string>

#include <oleauto.h>

namespace winsim::oleaut32 {

// Attaches a new error object to the calling thread, replacing any other, as a
// failing method does.
void originate_error(HRESULT code, const std::optional<std::u16string>& description,
                     const std::optional<std::u16string>& restricted_description);

// Releases the calling thread's error object, if any.
void clear_error_info();

}  // namespace winsim::oleaut32
