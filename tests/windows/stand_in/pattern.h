// The known pattern that stand-in textures are filled with: byte c of the
// pixel at column x, row y, for a given seed (the stand-in service uses the
// frame's sequence number). Neighbouring rows, columns and channels differ, so
// a misplaced row or pixel shows. tests/windows/windows_support.py computes
// the same bytes with NumPy.
#pragma once

#include <cstdint>

namespace stand_in {

inline std::uint8_t pattern_byte(std::uint32_t x, std::uint32_t y, std::uint32_t c,
                                 std::uint32_t seed) {
  return static_cast<std::uint8_t>(x * 7 + y * 131 + c * 61 + seed);
}

}  // namespace stand_in
