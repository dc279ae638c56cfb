// How a simulated COM (or Windows Runtime) method reports an injected failure.
#pragma once

#include <unknwn.h>

#include "faults/operation.h"

namespace winsim::combase {

// Attaches the fault's error information to the calling thread, when it has
// any, as a failing method does, and returns the fault's code. A fault that
// asks for a missing object is the caller's to handle: it is a success.
HRESULT fail_method(const faults::Fault& fault);

}  // namespace winsim::combase
