// GraphicsCaptureAccess: the consent Windows 11 asks for before it leaves the
// border off a capture. RequestAccessAsync answers through an asynchronous
// operation that completes on winsim's delivery thread, as the system's
// broker answers on a thread of its own.
#pragma once

#include <unknwn.h>

namespace winsim::capture {

// How the simulated Windows answers a request for Borderless access.
enum class BorderAccess {
  kNotRegistered,  // no GraphicsCaptureAccess class (Windows 10): REGDB_E_CLASSNOTREG
  kAllowed,        // completes with Allowed
  kDenied,         // completes with DeniedByUser
  kPromptTimeout,  // a prompt nobody answers: the operation never completes
};

void set_border_access(BorderAccess access);

// The class's activation factory, or REGDB_E_CLASSNOTREG while it is not
// registered.
HRESULT query_access_factory(REFIID iid, void** factory);

}  // namespace winsim::capture
