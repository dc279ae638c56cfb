// The pixel layouts a frame can be read in. The frame pool's texture always
// holds R, G, B, A bytes; the layout says what the row copy out of the mapped
// staging texture writes for each pixel:
//
//   RGBA  4 bytes  R, G, B, A  (the texture's own bytes)
//   BGRA  4 bytes  B, G, R, A
//   RGB   3 bytes  R, G, B
//   BGR   3 bytes  B, G, R
//   GRAY  1 byte   Y = (4899 R + 9617 G + 1868 B + 8192) >> 14
//
// A frame array has the shape [h, w, 4] or [h, w, 3], or [h, w] for GRAY.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class PixelLayout { RGBA, BGRA, RGB, BGR, GRAY };

// Every layout, in the order their names are listed to a caller.
inline constexpr PixelLayout PIXEL_LAYOUTS[] = {
    PixelLayout::RGBA, PixelLayout::BGRA, PixelLayout::RGB, PixelLayout::BGR, PixelLayout::GRAY};

// The grey weights of R, G and B in 1/16384ths; they sum to 16384.
inline constexpr std::uint32_t GRAY_RED_WEIGHT = 4899;
inline constexpr std::uint32_t GRAY_GREEN_WEIGHT = 9617;
inline constexpr std::uint32_t GRAY_BLUE_WEIGHT = 1868;
inline constexpr std::uint32_t GRAY_SHIFT = 14;

// The grey value of one pixel, rounded to the nearest integer.
constexpr std::uint8_t gray_value(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint8_t>((GRAY_RED_WEIGHT * red + GRAY_GREEN_WEIGHT * green +
                                    GRAY_BLUE_WEIGHT * blue + (1u << (GRAY_SHIFT - 1))) >>
                                   GRAY_SHIFT);
}

// "RGBA", "BGRA", "RGB", "BGR" or "GRAY".
const char* pixel_layout_name(PixelLayout layout);

// The layout of exactly that name, if any.
std::optional<PixelLayout> pixel_layout_named(std::string_view name);

// Bytes per pixel: 4, 4, 3, 3 or 1.
std::uint32_t pixel_layout_bytes(PixelLayout layout);

// Whether a frame array of the layout has a third axis, the bytes of a pixel
// (all but GRAY, whose arrays have two axes).
bool pixel_layout_has_channel_axis(PixelLayout layout);
