// The activation factories of the capture runtime classes. Windows keeps them
// for the life of the process: they are not reference counted and not counted
// among live objects.
#pragma once

#include <string>

#include <unknwn.h>

namespace winsim::capture {

// RoGetActivationFactory for the class `name`: REGDB_E_CLASSNOTREG for a class
// winsim does not provide, E_NOINTERFACE for an interface its factory lacks.
HRESULT query_activation_factory(const std::u16string& name, REFIID iid, void** factory);

}  // namespace winsim::capture
