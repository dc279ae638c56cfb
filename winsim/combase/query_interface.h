// The interfaces known by name. A QueryInterface for one of them is the
// operation "QueryInterface:<name>": counted, and able to fail on request,
// whichever object is asked.
#pragma once

#include <unknwn.h>

#include "faults/operation.h"
#include "opticatcher/abi/interface_id.h"

namespace winsim::combase {

// Null for an interface not in the table.
const faults::Operation* query_operation(REFIID iid);

// `object` seen as whichever of `Interfaces` `iid` names; null for none.
template <typename... Interfaces, typename Object>
void* interface_pointer(Object* object, REFIID iid) {
  void* found = nullptr;
  (void)(((iid == ::InterfaceId<Interfaces>::value &&
           (found = static_cast<Interfaces*>(object)) != nullptr) ||
          ...));
  return found;
}

}  // namespace winsim::combase
