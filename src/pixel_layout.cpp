#include "pixel_layout.h"

const char* pixel_layout_name(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::RGBA:
      return "RGBA";
    case PixelLayout::BGRA:
      return "BGRA";
    case PixelLayout::RGB:
      return "RGB";
    case PixelLayout::BGR:
      return "BGR";
    case PixelLayout::GRAY:
      break;
  }
  return "GRAY";
}

std::optional<PixelLayout> pixel_layout_named(std::string_view name) {
  for (PixelLayout layout : PIXEL_LAYOUTS) {
    if (name == pixel_layout_name(layout)) return layout;
  }
  return std::nullopt;
}

std::uint32_t pixel_layout_bytes(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::RGBA:
    case PixelLayout::BGRA:
      return 4;
    case PixelLayout::RGB:
    case PixelLayout::BGR:
      return 3;
    case PixelLayout::GRAY:
      break;
  }
  return 1;
}

bool pixel_layout_has_channel_axis(PixelLayout layout) { return layout != PixelLayout::GRAY; }
