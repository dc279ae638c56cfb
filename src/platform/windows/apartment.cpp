#include "platform/windows/apartment.h"

#include "expected_ops.h"
#include "platform/windows/com_call.h"
#include "platform/windows/win32.h"

namespace {

// Whether this thread has joined an apartment.
thread_local bool apartment_initialised = false;

}  // namespace

std::expected<void, CaptureError> initialise_apartment() {
  if (apartment_initialised) return {};
  const HRESULT hr = RoInitialize(RO_INIT_MULTITHREADED);
  if (SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE) {
    apartment_initialised = true;
    return {};
  }
  // The flag stays false: the next call on this thread tries again.
  return transform_error(com_check(hr), CaptureError::windows);
}
