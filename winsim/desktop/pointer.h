// The mouse pointer of the simulated desktop, as captures see it: over a
// monitor or window at a position the control API sets (in the target's
// content coordinates, 0, 0 its top-left pixel), or nowhere. A capture whose
// session has cursor capture on draws it into its frames as a square of
// kPointerSize pixels of kPointerColour, its top-left pixel at that position,
// clipped to the target.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace winsim::desktop {

inline constexpr std::uint32_t kPointerSize = 8;
inline constexpr std::array<std::uint8_t, 4> kPointerColour = {255, 0, 255, 255};  // R G B A

struct PointerSpot {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// Puts the pointer over `target` at `spot`, or (nothing) takes it away from
// there. Each target has its own position, so a test can show the pointer on
// the one it captures.
void set_pointer(std::uintptr_t target, std::optional<PointerSpot> spot);

// Where the pointer is over `target`, if it is.
std::optional<PointerSpot> pointer(std::uintptr_t target);

// Takes the pointer away from every target.
void clear_pointers();

// Draws the pointer at `spot` over the `count` pixels (R, G, B, A bytes) of
// row y from column x on, in `out`.
void draw_pointer_row(PointerSpot spot, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                      std::uint8_t* out);

}  // namespace winsim::desktop
