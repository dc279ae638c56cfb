// CaptureTarget: what a capture is started on, a monitor or a window.
#pragma once

#include <expected>
#include <variant>

#include "errors.h"
#include "platform/windows/win32.h"

struct CaptureTarget {
  struct Monitor {
    HMONITOR handle;
  };
  struct Window {
    HWND handle;
  };
  std::variant<Monitor, Window> value;
};

// A window target must be capturable; a monitor target always passes.
std::expected<void, CaptureError> check_capture_target(const CaptureTarget& target);
