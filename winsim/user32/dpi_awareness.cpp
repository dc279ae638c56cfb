// Thread DPI awareness: SetThreadDpiAwarenessContext, GetThreadDpiAwarenessContext.
#include "user32/dpi_awareness.h"

#include <algorithm>
#include <cstdint>

#include "common/entry_guard.h"
#include "desktop/desktop.h"
#include "desktop/geometry.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"

namespace {

using winsim::desktop::PlacedMonitor;
using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kSetThreadDpiAwarenessContext{"SetThreadDpiAwarenessContext",
                                              FailureKind::kLastError};
const Operation kGetThreadDpiAwarenessContext{"GetThreadDpiAwarenessContext", FailureKind::kNever};

// The contexts are the five documented pseudo-handles; every thread starts
// with the process's, DPI unaware.
thread_local DPI_AWARENESS_CONTEXT t_context = DPI_AWARENESS_CONTEXT_UNAWARE;

bool is_context(DPI_AWARENESS_CONTEXT context) {
  const auto value = reinterpret_cast<std::intptr_t>(context);
  return value <= -1 && value >= -5;
}

bool sees_physical_pixels() {
  return t_context == DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE ||
         t_context == DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2;
}

}  // namespace

namespace winsim::user32 {

UINT seen_dpi(const std::vector<PlacedMonitor>& monitors, UINT monitor_dpi) {
  if (sees_physical_pixels()) {
    return monitor_dpi;
  }
  if (t_context == DPI_AWARENESS_CONTEXT_SYSTEM_AWARE) {
    const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                      [](const PlacedMonitor& m) { return m.primary; });
    return primary == monitors.end() ? desktop::kDefaultDpi : primary->monitor.dpi;
  }
  return desktop::kDefaultDpi;
}

RECT as_seen(const std::vector<PlacedMonitor>& monitors, const RECT& physical, UINT monitor_dpi) {
  return desktop::scale(physical, seen_dpi(monitors, monitor_dpi), monitor_dpi);
}

DPI_AWARENESS_CONTEXT thread_context() { return t_context; }

void set_thread_context(DPI_AWARENESS_CONTEXT context) { t_context = context; }

std::vector<PlacedMonitor> monitors_as_seen() {
  std::vector<PlacedMonitor> monitors = desktop::Desktop::instance().monitors();
  std::vector<PlacedMonitor> seen = monitors;
  for (PlacedMonitor& placed : seen) {
    placed.rect = as_seen(monitors, placed.rect, placed.monitor.dpi);
    placed.work = as_seen(monitors, placed.work, placed.monitor.dpi);
  }
  return seen;
}

}  // namespace winsim::user32

// Returns the thread's previous context; an invalid one changes nothing.
DPI_AWARENESS_CONTEXT WINAPI SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT dpiContext) try {
  if (auto fault = kSetThreadDpiAwarenessContext.enter()) {
    kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (!is_context(dpiContext)) {
    kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const DPI_AWARENESS_CONTEXT previous = t_context;
  t_context = dpiContext;
  return previous;
} catch (...) {
  return winsim::entry::failed_with_last_error(DPI_AWARENESS_CONTEXT{nullptr});
}

DPI_AWARENESS_CONTEXT WINAPI GetThreadDpiAwarenessContext(VOID) try {
  (void)kGetThreadDpiAwarenessContext.enter();
  return t_context;
} catch (...) {
  return winsim::entry::failed_silently(DPI_AWARENESS_CONTEXT_UNAWARE);
}
