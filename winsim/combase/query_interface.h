// The interfaces known by name. A QueryInterface for one of them is the
// operation "QueryInterface:<name>": counted, and able to fail on request,
// whichever object is asked.
#pragma once

#include <unknwn.h>

#include "control/operation.h"

namespace winsim::combase {

// Null for an interface not in the table.
const control::Operation* query_operation(REFIID iid);

}  // namespace winsim::combase
