// RoGetActivationFactory: the runtime classes winsim provides, by name.
#include <roapi.h>

#include <string>

#include "capture/factories.h"
#include "combase/apartment.h"
#include "combase/com_failure.h"
#include "combase/hstring.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace {

const winsim::faults::Operation kRoGetActivationFactory{"RoGetActivationFactory",
                                                        winsim::faults::FailureKind::kHresult};

}  // namespace

HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory) try {
  if (factory != nullptr) {
    *factory = nullptr;
  }
  if (auto fault = kRoGetActivationFactory.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (factory == nullptr) {
    return E_POINTER;
  }
  if (!winsim::combase::thread_has_apartment()) {
    return CO_E_NOTINITIALIZED;
  }
  const auto name = winsim::combase::hstring_text(activatableClassId);
  if (!name) {
    winsim::faults::record_misuse("RoGetActivationFactory with a string that is not alive");
    return E_INVALIDARG;
  }
  if (name->empty()) {
    return E_INVALIDARG;
  }
  // Factories live as long as the process: no reference to count.
  return winsim::capture::query_activation_factory(*name, iid, factory);
} catch (...) {
  return winsim::entry::failed_hresult();
}
