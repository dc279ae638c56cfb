#include "platform/windows/target.h"

#include "platform/windows/monitor.h"
#include "platform/windows/window.h"

bool capture_target_exists(const CaptureTarget& target) {
  if (const auto* window = std::get_if<CaptureTarget::Window>(&target.value)) {
    return window_exists(window->handle);
  }
  return monitor_exists(std::get<CaptureTarget::Monitor>(target.value).handle);
}

std::expected<void, CaptureError> check_capture_target(const CaptureTarget& target) {
  if (const auto* window = std::get_if<CaptureTarget::Window>(&target.value)) {
    if (!is_capturable_window(window->handle)) {
      return std::unexpected(CaptureError::of(CaptureError::Kind::InvalidTarget));
    }
  }
  return {};
}
