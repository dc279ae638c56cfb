// The thread's last-error value, as the other simulated DLLs set it.
#pragma once

#include <windows.h>

#include "faults/operation.h"

namespace winsim::kernel32 {

DWORD last_error();

void set_last_error(DWORD code);

// How an injected failure of a function that reports through the last-error
// value shows: the code becomes the last error, unless the fault only asks for
// a missing object.
void set_last_error(const faults::Fault& fault);

}  // namespace winsim::kernel32
