#include "platform/windows/session_switches.h"

#include <utility>

#include "expected_ops.h"
#include "internal_fault.h"
#include "platform/windows/com_call.h"

namespace {

// The query for the interface that carries a setting, then `put` on it.
// Without the interface, `missing_is_fine` decides between success without a
// call and "needs a newer Windows".
template <class Interface, class Put>
std::expected<void, CaptureError> put_setting(winrt_abi::IGraphicsCaptureSession* session,
                                              SessionSwitch which, bool missing_is_fine, Put put) {
  auto carrier = query<Interface>(session);
  if (!carrier) {
    if (carrier.error().code != E_NOINTERFACE) {
      return std::unexpected(CaptureError::windows(std::move(carrier.error())));
    }
    if (missing_is_fine) return {};
    return std::unexpected(CaptureError::switch_unavailable(which));
  }
  return transform_error(com_check(put(carrier->get())), CaptureError::windows);
}

}  // namespace

std::expected<void, CaptureError> set_session_switch(winrt_abi::IGraphicsCaptureSession* session,
                                                     SessionSwitch which, bool on) {
  const winrt_abi::Boolean value = on ? 1 : 0;
  switch (which) {
    case SessionSwitch::Cursor:
      return put_setting<winrt_abi::IGraphicsCaptureSession2>(
          session, which, on, [&](winrt_abi::IGraphicsCaptureSession2* carrier) {
            return carrier->put_IsCursorCaptureEnabled(value);
          });
    case SessionSwitch::SecondaryWindows:
      return put_setting<winrt_abi::IGraphicsCaptureSession6>(
          session, which, !on, [&](winrt_abi::IGraphicsCaptureSession6* carrier) {
            return carrier->put_IncludeSecondaryWindows(value);
          });
    case SessionSwitch::Border:
      return put_setting<winrt_abi::IGraphicsCaptureSession3>(
          session, which, on, [&](winrt_abi::IGraphicsCaptureSession3* carrier) {
            return carrier->put_IsBorderRequired(value);
          });
    case SessionSwitch::UpdateInterval:
      break;
  }
  internal_fault("the update interval is no on/off switch");
}

std::expected<void, CaptureError> set_session_update_interval(
    winrt_abi::IGraphicsCaptureSession* session, std::int64_t ticks) {
  return put_setting<winrt_abi::IGraphicsCaptureSession5>(
      session, SessionSwitch::UpdateInterval, false,
      [&](winrt_abi::IGraphicsCaptureSession5* carrier) {
        return carrier->put_MinUpdateInterval(winrt_abi::TimeSpan{ticks});
      });
}
