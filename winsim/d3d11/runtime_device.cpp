#include "d3d11/runtime_device.h"

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"

namespace winsim::d3d11 {

namespace {

// One interface method, whichever object answers it (devices and surfaces).
const faults::Operation kGetInterface{"GetInterface", faults::FailureKind::kHresult};
const faults::Operation kClose{"Direct3DDevice.Close", faults::FailureKind::kHresult};

}  // namespace

RuntimeDeviceState::RuntimeDeviceState(Device* device) : device(device->add_reference()) {}

RuntimeDeviceState::~RuntimeDeviceState() { device->Release(); }

RuntimeDevice::RuntimeDevice(Device* device) : RuntimeObject(std::in_place, device) {}

HRESULT STDMETHODCALLTYPE RuntimeDevice::Trim() try {
  return state("Trim") ? S_OK : E_UNEXPECTED;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE RuntimeDevice::GetInterface(REFIID iid, void** p) try {
  if (p == nullptr) return E_POINTER;
  *p = nullptr;
  if (auto fault = kGetInterface.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  RuntimeDeviceState* wrapper = state("GetInterface");
  if (wrapper == nullptr) return E_UNEXPECTED;
  return wrapper->device->query_internal(iid, p);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE RuntimeDevice::Close() try {
  if (auto fault = kClose.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  return state("Close") ? S_OK : E_UNEXPECTED;
} catch (...) {
  return entry::failed_hresult();
}

Device* RuntimeDevice::device(std::string_view operation) {
  RuntimeDeviceState* wrapper = state(operation);
  return wrapper != nullptr ? wrapper->device->add_reference() : nullptr;
}

RuntimeDevice* as_runtime_device(winrt_abi::IDirect3DDevice* device) {
  return dynamic_cast<RuntimeDevice*>(device);
}

}  // namespace winsim::d3d11
