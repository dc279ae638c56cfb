// CaptureTarget: what a capture is started on, a monitor or a window.
#pragma once

#include <expected>
#include <variant>

#include "errors.h"
#include "platform/windows/monitor.h"
#include "platform/windows/window.h"

struct CaptureTarget {
  struct Monitor {
    MonitorHandle handle;
  };
  struct Window {
    WindowHandle handle;
  };
  std::variant<Monitor, Window> value;
};

// Whether the target's handle still names a window (IsWindow) or a monitor
// (the query behind the monitor's properties).
bool capture_target_exists(const CaptureTarget& target);

// A window target must be capturable; a monitor target always passes.
std::expected<void, CaptureError> check_capture_target(const CaptureTarget& target);
