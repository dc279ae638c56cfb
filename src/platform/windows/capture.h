// The capture lifecycle: an idle capture, or one running on a target.
#pragma once

#include <chrono>
#include <expected>
#include <memory>

#include "errors.h"
#include "platform/windows/target.h"

// Longest wait of `start` for the first frame.
inline constexpr std::chrono::seconds FIRST_FRAME_TIMEOUT{5};

// What a running capture holds.
struct CaptureState;

class Capture {
 public:
  Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  ~Capture();

  bool active() const { return state_ != nullptr; }

  // Stops a running capture, then checks the target. The engine that follows
  // the check is not part of this build yet: the caller reports that.
  std::expected<void, CaptureError> start(const CaptureTarget& target);

  // Closes the running capture, if any, and releases everything it held.
  void stop();

 private:
  std::unique_ptr<CaptureState> state_;
};
