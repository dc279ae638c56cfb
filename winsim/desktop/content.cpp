#include "desktop/content.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "common/fork_guard.h"

namespace winsim::desktop {

namespace {

struct ContentTable {
  std::mutex mutex;
  std::map<std::uintptr_t, std::shared_ptr<const Snapshot>> snapshots;
};

ContentTable& table() {
  static auto* instance = fork::make_joined<ContentTable>(fork::Rank::kContent);
  return *instance;
}

}  // namespace

void set_content(std::uintptr_t target, std::uint32_t width, std::uint32_t height,
                 const std::uint8_t* rgba) {
  auto snapshot = std::make_shared<Snapshot>();
  snapshot->width = width;
  snapshot->height = height;
  snapshot->rgba.assign(rgba, rgba + std::size_t{width} * height * 4);
  ContentTable& contents = table();
  std::lock_guard lock(contents.mutex);
  contents.snapshots[target] = std::move(snapshot);
}

std::shared_ptr<const Snapshot> content(std::uintptr_t target) {
  ContentTable& contents = table();
  std::lock_guard lock(contents.mutex);
  const auto found = contents.snapshots.find(target);
  return found == contents.snapshots.end() ? nullptr : found->second;
}

void clear_content() {
  std::map<std::uintptr_t, std::shared_ptr<const Snapshot>> dropped;
  ContentTable& contents = table();
  std::lock_guard lock(contents.mutex);
  dropped.swap(contents.snapshots);
}

void read_content_row(const Snapshot* snapshot, std::uint32_t x, std::uint32_t y,
                      std::uint32_t count, std::uint8_t* out) {
  if (snapshot == nullptr) {
    for (std::uint32_t i = 0; i < count; ++i) {
      out[4 * i + 0] = static_cast<std::uint8_t>((x + i) & 0xFF);
      out[4 * i + 1] = static_cast<std::uint8_t>(y & 0xFF);
      out[4 * i + 2] = 128;
      out[4 * i + 3] = 255;
    }
    return;
  }
  std::uint32_t inside = 0;
  if (y < snapshot->height && x < snapshot->width) {
    inside = std::min(count, snapshot->width - x);
    std::memcpy(out, snapshot->rgba.data() + (std::size_t{y} * snapshot->width + x) * 4,
                std::size_t{inside} * 4);
  }
  for (std::uint32_t i = inside; i < count; ++i) {
    out[4 * i + 0] = 0;
    out[4 * i + 1] = 0;
    out[4 * i + 2] = 0;
    out[4 * i + 3] = 255;
  }
}

void draw_overlay_row(const Overlay& overlay, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                      std::uint8_t* out) {
  // In 64 bits: an overlay near the ends of its range plus its size never wraps.
  const std::int64_t row = std::int64_t{y} - overlay.top;
  if (row < 0 || row >= overlay.height) return;
  const std::int64_t first = std::max<std::int64_t>(overlay.left, x);
  const std::int64_t end =
      std::min<std::int64_t>(std::int64_t{overlay.left} + overlay.width, std::int64_t{x} + count);
  if (first >= end) return;
  read_content_row(overlay.snapshot.get(), static_cast<std::uint32_t>(first - overlay.left),
                   static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(end - first),
                   out + (first - x) * 4);
}

}  // namespace winsim::desktop
