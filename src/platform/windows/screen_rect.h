// A rectangle of the virtual screen in physical pixels: its top-left corner
// (negative left of or above the primary monitor) and its size.
#pragma once

#include <cstdint>

struct ScreenRect {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
};
