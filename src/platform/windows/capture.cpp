#include "platform/windows/capture.h"

struct CaptureState {};

Capture::Capture() = default;

Capture::~Capture() { stop(); }

std::expected<void, CaptureError> Capture::start(const CaptureTarget& target) {
  stop();
  return check_capture_target(target);
}

void Capture::stop() { state_.reset(); }
