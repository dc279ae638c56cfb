// Frame readback: copying the latest frame from its GPU texture into the
// caller's memory. The frame's content region is copied on the GPU into a
// CPU-readable staging texture of exactly that size, which is mapped and whose
// rows are then copied into a packed destination (height rows of width * 4
// bytes, R G B A per pixel).
//
// This header holds the parts that need no GPU: the size of the region to
// copy and the row copy out of a mapped texture. The staging-texture cache and
// the GPU copy build on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Bytes per pixel of the frame pool's and the staging texture's format
// (8-bit R, G, B, A).
inline constexpr std::uint32_t FRAME_BYTES_PER_PIXEL = 4;

// The rectangle at the top-left corner of a frame's texture that is read back.
struct CopyRegion {
  std::uint32_t width = 0;   // columns
  std::uint32_t height = 0;  // rows

  friend bool operator==(const CopyRegion&, const CopyRegion&) = default;
};

// The region to read from a frame whose content has the given (signed) size
// and whose texture has the given size. The content may be smaller than the
// texture (a window that shrank: only its top-left part is valid) or larger
// (a window that grew before the pool was recreated: the texture holds what
// there is). A negative content dimension counts as 0, never as a huge
// unsigned one.
CopyRegion copy_region_size(std::int32_t content_width, std::int32_t content_height,
                            std::uint32_t texture_width, std::uint32_t texture_height);

// Copies `height` rows of `width` * 4 bytes from `source`, whose rows start
// `row_pitch` bytes apart, into `destination`, where they are packed. When the
// pitch equals the row length the whole block moves in one copy; otherwise
// each row is copied on its own and the padding at the end of each source row
// is skipped. At most as many rows as `destination` holds are written.
//
// A pitch shorter than a row would read rows overlapping each other, and a
// packed block larger than `destination` would write past it: both are faults
// of the caller (a platform that mapped the texture wrongly), reported as an
// internal fault before any byte is written.
void copy_rows(const std::byte* source, std::uint32_t row_pitch, std::uint32_t width,
               std::uint32_t height, std::span<std::byte> destination);
