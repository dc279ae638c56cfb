#include "desktop/geometry.h"

#include <algorithm>
#include <limits>

namespace winsim::desktop {

namespace {

LONG clamp_long(std::int64_t value) {
  return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
}

std::int64_t area(const RECT& rect) {
  return std::int64_t{rect.right - rect.left} * (std::int64_t{rect.bottom} - rect.top);
}

const PlacedMonitor* primary_of(const std::vector<PlacedMonitor>& monitors) {
  const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                    [](const PlacedMonitor& m) { return m.primary; });
  return primary == monitors.end() ? nullptr : &*primary;
}

}  // namespace

bool contains(const RECT& rect, POINT point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

std::optional<RECT> intersection(const RECT& a, const RECT& b) {
  const RECT rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
  if (rect.left >= rect.right || rect.top >= rect.bottom) {
    return std::nullopt;
  }
  return rect;
}

std::int64_t distance_squared(const RECT& rect, POINT point) {
  const auto axis = [](LONG value, LONG low, LONG high) -> std::int64_t {
    if (value < low) {
      return std::int64_t{low} - value;
    }
    if (value >= high) {
      return std::int64_t{value} - high + 1;
    }
    return 0;
  };
  const std::int64_t dx = axis(point.x, rect.left, rect.right);
  const std::int64_t dy = axis(point.y, rect.top, rect.bottom);
  return dx * dx + dy * dy;
}

LONG scale(LONG value, UINT to_dpi, UINT from_dpi) {
  if (to_dpi == from_dpi || from_dpi == 0) {
    return value;
  }
  const std::int64_t product = std::int64_t{value} * to_dpi;
  const std::int64_t half = from_dpi / 2;
  const std::int64_t rounded =
      product >= 0 ? (product + half) / from_dpi : -((-product + half) / from_dpi);
  return clamp_long(rounded);
}

RECT scale(const RECT& rect, UINT to_dpi, UINT from_dpi) {
  return RECT{scale(rect.left, to_dpi, from_dpi), scale(rect.top, to_dpi, from_dpi),
              scale(rect.right, to_dpi, from_dpi), scale(rect.bottom, to_dpi, from_dpi)};
}

RECT restored_bounds(const Window& window) {
  return RECT{window.x, window.y, clamp_long(std::int64_t{window.x} + window.width),
              clamp_long(std::int64_t{window.y} + window.height)};
}

RECT restored_client_area(const Window& window, UINT dpi) {
  RECT client = restored_bounds(window);
  if ((window.style & WS_CAPTION) == WS_CAPTION) {
    client.top = std::min(client.bottom, clamp_long(std::int64_t{client.top} +
                                                    scale(kCaptionHeight, dpi, kDefaultDpi)));
  }
  return client;
}

const PlacedMonitor* monitor_for_rect(const std::vector<PlacedMonitor>& monitors, const RECT& rect,
                                      DWORD flags) {
  const PlacedMonitor* best = nullptr;
  std::int64_t best_area = 0;
  for (const PlacedMonitor& placed : monitors) {
    if (const auto common = intersection(placed.rect, rect)) {
      if (area(*common) > best_area) {
        best = &placed;
        best_area = area(*common);
      }
    }
  }
  if (best != nullptr || monitors.empty()) {
    return best;
  }
  switch (flags) {
    case MONITOR_DEFAULTTOPRIMARY:
      return primary_of(monitors);
    case MONITOR_DEFAULTTONEAREST:
      return monitor_for_point(monitors,
                               POINT{clamp_long((std::int64_t{rect.left} + rect.right) / 2),
                                     clamp_long((std::int64_t{rect.top} + rect.bottom) / 2)},
                               flags);
    default:
      return nullptr;
  }
}

const PlacedMonitor* monitor_for_point(const std::vector<PlacedMonitor>& monitors, POINT point,
                                       DWORD flags) {
  for (const PlacedMonitor& placed : monitors) {
    if (contains(placed.rect, point)) {
      return &placed;
    }
  }
  if (monitors.empty()) {
    return nullptr;
  }
  switch (flags) {
    case MONITOR_DEFAULTTOPRIMARY:
      return primary_of(monitors);
    case MONITOR_DEFAULTTONEAREST:
      return &*std::min_element(monitors.begin(), monitors.end(),
                                [point](const PlacedMonitor& a, const PlacedMonitor& b) {
                                  return distance_squared(a.rect, point) <
                                         distance_squared(b.rect, point);
                                });
    default:
      return nullptr;
  }
}

UINT window_dpi(const std::vector<PlacedMonitor>& monitors, const Window& window) {
  const PlacedMonitor* monitor =
      monitor_for_rect(monitors, restored_bounds(window), MONITOR_DEFAULTTONEAREST);
  return monitor == nullptr ? kDefaultDpi : monitor->monitor.dpi;
}

}  // namespace winsim::desktop
