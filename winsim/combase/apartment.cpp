#include "combase/apartment.h"

#include <roapi.h>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::combase {

namespace {

// Per thread, as on Windows: the apartment type and how many successful
// RoInitialize calls a RoUninitialize has to balance.
struct ThreadApartment {
  bool initialised = false;
  RO_INIT_TYPE type = RO_INIT_MULTITHREADED;
  unsigned count = 0;
};

thread_local ThreadApartment t_apartment;

const faults::Operation kRoInitialize{"RoInitialize", faults::FailureKind::kHresult};
const faults::Operation kRoUninitialize{"RoUninitialize", faults::FailureKind::kNever};

}  // namespace

bool thread_has_apartment() { return t_apartment.initialised; }

}  // namespace winsim::combase

using winsim::combase::t_apartment;

HRESULT WINAPI RoInitialize(RO_INIT_TYPE initType) try {
  if (auto fault = winsim::combase::kRoInitialize.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (initType != RO_INIT_SINGLETHREADED && initType != RO_INIT_MULTITHREADED) {
    return E_INVALIDARG;
  }
  if (t_apartment.initialised) {
    if (t_apartment.type != initType) {
      return RPC_E_CHANGED_MODE;
    }
    ++t_apartment.count;
    return S_FALSE;
  }
  if (initType == RO_INIT_SINGLETHREADED) {
    // A single-threaded apartment needs a message loop, which winsim has not.
    // Asking for one on a thread that has joined the multithreaded apartment
    // is refused above, and simulated.
    winsim::faults::record_unsupported("RoInitialize", "single-threaded apartments");
  }
  t_apartment = {true, initType, 1};
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}

void WINAPI RoUninitialize() try {
  (void)winsim::combase::kRoUninitialize.enter();
  if (!t_apartment.initialised) {
    winsim::faults::record_misuse("RoUninitialize without a matching RoInitialize");
    return;
  }
  if (--t_apartment.count == 0) {
    t_apartment.initialised = false;
  }
} catch (...) {
  winsim::entry::ignore_exception();
}
