#include "platform/windows/target.h"

#include "platform/windows/window.h"

std::expected<void, CaptureError> check_capture_target(const CaptureTarget& target) {
  if (const auto* window = std::get_if<CaptureTarget::Window>(&target.value)) {
    if (!is_capturable_window(window->handle)) {
      return std::unexpected(CaptureError::of(CaptureError::Kind::InvalidTarget));
    }
  }
  return {};
}
