#include "platform/windows/frame.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "internal_fault.h"

CopyRegion copy_region_size(std::int32_t content_width, std::int32_t content_height,
                            std::uint32_t texture_width, std::uint32_t texture_height) {
  const auto clamped = [](std::int32_t value) {
    return static_cast<std::uint32_t>(std::max<std::int32_t>(value, 0));
  };
  return {std::min(clamped(content_width), texture_width),
          std::min(clamped(content_height), texture_height)};
}

void copy_rows(const std::byte* source, std::uint32_t row_pitch, std::uint32_t width,
               std::uint32_t height, std::span<std::byte> destination) {
  const std::uint64_t row_bytes = std::uint64_t{width} * FRAME_BYTES_PER_PIXEL;
  if (row_bytes == 0 || height == 0) return;  // an empty region has nothing to move
  if (row_pitch < row_bytes) {
    internal_fault("mapped row pitch " + std::to_string(row_pitch) + " is shorter than a row of " +
                   std::to_string(row_bytes) + " bytes");
  }

  if (row_pitch == row_bytes) {
    const std::uint64_t block = row_bytes * height;
    if (block != destination.size()) {
      internal_fault("a packed frame of " + std::to_string(block) +
                     " bytes does not fit a destination of " + std::to_string(destination.size()) +
                     " bytes");
    }
    std::memcpy(destination.data(), source, static_cast<std::size_t>(block));
    return;
  }

  const std::uint64_t rows = std::min<std::uint64_t>(height, destination.size() / row_bytes);
  const auto length = static_cast<std::size_t>(row_bytes);
  const std::byte* from = source;
  std::byte* to = destination.data();
  for (std::uint64_t row = 0; row < rows; ++row) {
    std::memcpy(to, from, length);
    from += row_pitch;
    to += length;
  }
}
