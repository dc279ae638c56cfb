#include "platform/windows/session_switches.h"

#include <utility>

#include "expected_ops.h"
#include "platform/windows/com_call.h"

namespace {

// The query for the interface that carries a switch, and the switch's setter.
template <class Interface, class Put>
std::expected<void, CaptureError> put_switch(winrt_abi::IGraphicsCaptureSession* session,
                                             SessionSwitch which, bool on, Put put) {
  auto carrier = query<Interface>(session);
  if (!carrier) {
    if (carrier.error().code != E_NOINTERFACE) {
      return std::unexpected(CaptureError::windows(std::move(carrier.error())));
    }
    if (on) return {};
    return std::unexpected(CaptureError::switch_unavailable(which));
  }
  const winrt_abi::Boolean value = on ? 1 : 0;
  return transform_error(com_check(put(carrier->get(), value)), CaptureError::windows);
}

}  // namespace

std::expected<void, CaptureError> set_session_switch(winrt_abi::IGraphicsCaptureSession* session,
                                                     SessionSwitch which, bool on) {
  switch (which) {
    case SessionSwitch::Cursor:
      return put_switch<winrt_abi::IGraphicsCaptureSession2>(
          session, which, on, [](winrt_abi::IGraphicsCaptureSession2* carrier, auto value) {
            return carrier->put_IsCursorCaptureEnabled(value);
          });
    case SessionSwitch::Border:
      break;
  }
  return put_switch<winrt_abi::IGraphicsCaptureSession3>(
      session, which, on, [](winrt_abi::IGraphicsCaptureSession3* carrier, auto value) {
        return carrier->put_IsBorderRequired(value);
      });
}
