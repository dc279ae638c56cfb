// What monitors and windows show: an immutable snapshot of RGBA pixels per
// target, set by the control API. Frames refer to snapshots instead of copying
// pixels, so a frame's cost does not grow with its size.
//
// A target whose content was never set shows the test pattern: the pixel at
// column x, row y is R = x mod 256, G = y mod 256, B = 128, A = 255.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace winsim::desktop {

// Tightly packed rows of R, G, B, A bytes; never changes once made.
struct Snapshot {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

// Copies the pixels once. `rgba` holds height rows of width * 4 bytes.
void set_content(std::uintptr_t target, std::uint32_t width, std::uint32_t height,
                 const std::uint8_t* rgba);

// The target's current snapshot; null means the test pattern.
std::shared_ptr<const Snapshot> content(std::uintptr_t target);

// Forgets every target's content.
void clear_content();

// Another window's content drawn over a target: the snapshot (null: the test
// pattern) seen through a window of width x height pixels whose top-left
// pixel lies at (left, top) of the target.
struct Overlay {
  std::shared_ptr<const Snapshot> snapshot;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Draws `overlay` over the `count` pixels (R, G, B, A bytes) of row y from
// column x on, in `out`.
void draw_overlay_row(const Overlay& overlay, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                      std::uint8_t* out);

// Writes `count` pixels of row y, from column x on, as R, G, B, A bytes: the
// snapshot's pixels where it has them and black (opaque) beyond; the test
// pattern for a null snapshot.
void read_content_row(const Snapshot* snapshot, std::uint32_t x, std::uint32_t y,
                      std::uint32_t count, std::uint8_t* out);

}  // namespace winsim::desktop
