// The pixel layouts pixel by pixel, as plainly as they can be written: what
// the conversions and the row copy are checked against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixel_layout.h"

// `count` pixels of R, G, B, A bytes at `source` in `layout`.
inline std::vector<std::byte> reference_pixels(const std::byte* source, std::size_t count,
                                               PixelLayout layout) {
  std::vector<std::byte> out;
  out.reserve(count * 4);
  for (std::size_t pixel = 0; pixel < count; ++pixel) {
    const std::byte r = source[pixel * 4], g = source[pixel * 4 + 1], b = source[pixel * 4 + 2],
                    a = source[pixel * 4 + 3];
    switch (layout) {
      case PixelLayout::RGBA:
        out.insert(out.end(), {r, g, b, a});
        break;
      case PixelLayout::BGRA:
        out.insert(out.end(), {b, g, r, a});
        break;
      case PixelLayout::RGB:
        out.insert(out.end(), {r, g, b});
        break;
      case PixelLayout::BGR:
        out.insert(out.end(), {b, g, r});
        break;
      case PixelLayout::GRAY:
        out.push_back(static_cast<std::byte>((4899 * std::to_integer<unsigned>(r) +
                                              9617 * std::to_integer<unsigned>(g) +
                                              1868 * std::to_integer<unsigned>(b) + 8192) >>
                                             14));
        break;
    }
  }
  return out;
}
