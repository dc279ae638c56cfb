// Rectangles of the simulated desktop: where windows are, which monitor a
// point or a window is on, and coordinates scaled between two DPIs, as
// Windows scales them for a thread that is not per-monitor DPI aware.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <windows.h>

#include "desktop/monitor.h"
#include "desktop/window.h"

namespace winsim::desktop {

bool contains(const RECT& rect, POINT point);
std::optional<RECT> intersection(const RECT& a, const RECT& b);
// Squared distance from the point to the nearest pixel of the rectangle.
std::int64_t distance_squared(const RECT& rect, POINT point);

// value * to_dpi / from_dpi, rounded half away from zero (MulDiv's rounding),
// clamped to a LONG.
LONG scale(LONG value, UINT to_dpi, UINT from_dpi);
RECT scale(const RECT& rect, UINT to_dpi, UINT from_dpi);

// Where the window's visible bounds are when it is not minimized.
RECT restored_bounds(const Window& window);
// The client area of the restored window in the virtual screen: its bounds
// less the caption (kCaptionHeight at 96 DPI, scaled to `dpi`) when its style
// has WS_CAPTION.
RECT restored_client_area(const Window& window, UINT dpi);

// The monitor that `rect` overlaps most; if it overlaps none, per `flags`
// (MONITOR_DEFAULTTONULL, ...TOPRIMARY, ...TONEAREST: the monitor nearest to
// the rectangle's centre). Null when there is none to give.
const PlacedMonitor* monitor_for_rect(const std::vector<PlacedMonitor>& monitors, const RECT& rect,
                                      DWORD flags);
// The monitor holding the point; if none does, per `flags` as above.
const PlacedMonitor* monitor_for_point(const std::vector<PlacedMonitor>& monitors, POINT point,
                                       DWORD flags);
// The DPI of the monitor a window is on (nearest); 96 without monitors.
UINT window_dpi(const std::vector<PlacedMonitor>& monitors, const Window& window);

}  // namespace winsim::desktop
