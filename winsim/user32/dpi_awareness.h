// The DPI awareness of each thread and the coordinates it sees.
//
// A thread that has set no context has the process's awareness, which is
// DPI unaware (as for an interpreter that declares none): it sees every
// monitor at 96 DPI, so that the rectangles of a monitor, and of the windows
// on it, come divided by the monitor's scale. A system-aware thread sees every
// monitor at the primary monitor's DPI; a per-monitor aware thread (either
// version) sees physical pixels.
#pragma once

#include <vector>

#include <windows.h>

#include "desktop/monitor.h"

namespace winsim::user32 {

// The DPI at which the calling thread sees a monitor of `monitor_dpi`.
UINT seen_dpi(const std::vector<desktop::PlacedMonitor>& monitors, UINT monitor_dpi);

// A physical rectangle on a monitor of `monitor_dpi` as the calling thread sees it.
RECT as_seen(const std::vector<desktop::PlacedMonitor>& monitors, const RECT& physical,
             UINT monitor_dpi);

// The calling thread's context, for the control API: read and set without
// counting a call.
DPI_AWARENESS_CONTEXT thread_context();
void set_thread_context(DPI_AWARENESS_CONTEXT context);

// The monitors with their rectangles and work areas as the calling thread sees them.
std::vector<desktop::PlacedMonitor> monitors_as_seen();

}  // namespace winsim::user32
