#include "desktop/pointer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "common/fork_guard.h"

namespace winsim::desktop {

namespace {

struct PointerTable {
  std::mutex mutex;
  std::map<std::uintptr_t, PointerSpot> spots;
};

PointerTable& table() {
  static auto* instance = fork::make_joined<PointerTable>(fork::Rank::kPointers);
  return *instance;
}

}  // namespace

void set_pointer(std::uintptr_t target, std::optional<PointerSpot> spot) {
  PointerTable& pointers = table();
  std::lock_guard lock(pointers.mutex);
  if (spot) {
    pointers.spots[target] = *spot;
  } else {
    pointers.spots.erase(target);
  }
}

std::optional<PointerSpot> pointer(std::uintptr_t target) {
  PointerTable& pointers = table();
  std::lock_guard lock(pointers.mutex);
  const auto found = pointers.spots.find(target);
  if (found == pointers.spots.end()) return std::nullopt;
  return found->second;
}

void clear_pointers() {
  PointerTable& pointers = table();
  std::lock_guard lock(pointers.mutex);
  pointers.spots.clear();
}

void draw_pointer_row(PointerSpot spot, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                      std::uint8_t* out) {
  // In 64 bits: a spot near the ends of its range plus the size never wraps.
  const std::int64_t row = y;
  if (row < spot.y || row >= std::int64_t{spot.y} + kPointerSize) return;
  const std::int64_t first = std::max<std::int64_t>(spot.x, x);
  const std::int64_t end =
      std::min<std::int64_t>(std::int64_t{spot.x} + kPointerSize, std::int64_t{x} + count);
  for (std::int64_t column = first; column < end; ++column) {
    std::memcpy(out + (column - x) * 4, kPointerColour.data(), kPointerColour.size());
  }
}

}  // namespace winsim::desktop
