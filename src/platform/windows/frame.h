// Frame readback: copying the latest frame from its GPU texture into the
// caller's memory. The frame's content region is copied on the GPU into a
// CPU-readable staging texture of exactly that size, which is mapped and whose
// rows are then copied into a packed destination: height rows of width pixels
// in the caller's pixel layout, converted on the way (R G B A per pixel, the
// texture's own bytes, by default).
//
// `Capture::read_frame` runs the two halves here with the caller's destination
// prepared between them: `latest_frame_texture` finds the frame and the region
// to read, and `copy_frame_to_buffer` (under the readback lock, while the
// caller may let other work run) does the GPU copy and the row copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <mutex>
#include <span>

#include "errors.h"
#include "pixel_layout.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/win32.h"

// Bytes per pixel of the frame pool's and the staging texture's format
// (8-bit R, G, B, A).
inline constexpr std::uint32_t FRAME_BYTES_PER_PIXEL = 4;

// Which cached staging texture a readback uses. Reads of the whole frame and
// reads of a rectangle keep one each, so that a program alternating between
// the two does not make a new texture on every read.
enum class StagingUse { Frame, Region };

// What frame readback works with. `start` fills the device and context; the
// staging textures are made and cached by readback. Everything here is used
// only under `mutex`, which is never held together with the slot's lock.
struct ReadbackResources {
  std::mutex mutex;
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Texture2D> staging;  // absent until the first readback
  std::uint32_t staging_width = 0;
  std::uint32_t staging_height = 0;
  ComPtr<ID3D11Texture2D> region_staging;  // absent until the first read of a rectangle
  std::uint32_t region_staging_width = 0;
  std::uint32_t region_staging_height = 0;
};

// The rectangle of a frame's texture that is read back: by default at the
// texture's top-left corner.
struct CopyRegion {
  std::uint32_t width = 0;   // columns
  std::uint32_t height = 0;  // rows
  std::uint32_t left = 0;    // first column
  std::uint32_t top = 0;     // first row

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

// Copies `height` rows of `width` pixels from `source`, whose rows of `width`
// * 4 bytes start `row_pitch` bytes apart, into `destination`, where they are
// packed in `layout` (rows of width * pixel_layout_bytes(layout) bytes). In
// RGBA the bytes are moved as they are: when the pitch equals the row length
// the whole block moves in one copy; otherwise each row is copied on its own
// and the padding at the end of each source row is skipped. Another layout
// converts each pixel on the way, the whole block in one pass when the pitch
// is packed. At most as many rows as `destination` holds are written.
//
// A pitch shorter than a row would read rows overlapping each other, and a
// packed block larger than `destination` would write past it: both are faults
// of the caller (a platform that mapped the texture wrongly), reported as an
// internal fault before any byte is written.
void copy_rows(const std::byte* source, std::uint32_t row_pitch, std::uint32_t width,
               std::uint32_t height, std::span<std::byte> destination,
               PixelLayout layout = PixelLayout::RGBA);

// The latest frame of a capture down to its texture. The references are held
// until the readback is done, so that the texture stays the frame's even when
// a newer frame replaces it in the slot meanwhile.
struct FrameTexture {
  ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
  ComPtr<winrt_abi::IDirect3DDxgiInterfaceAccess> access;
  ComPtr<ID3D11Texture2D> texture;
  CopyRegion region;         // what to read of the texture: the frame's content
  std::uint64_t number = 0;  // the frame's number in its slot
  std::int64_t time = 0;     // its SystemRelativeTime, in 100-nanosecond ticks
};

// A new reference to the slot's latest frame (which stays in the slot) with
// its number (taken together under the slot's lock) and its time, its texture
// and the region of it to read; "No frame available yet" or a Windows API
// error otherwise.
std::expected<FrameTexture, CaptureError> latest_frame_texture(const LatestFrameSlot& slot);

// A staging texture of exactly `width` x `height`: the cached one of that use
// when its size matches, else a new one that replaces it in that cache. A
// failure leaves the cache as it was. The caller holds `resources.mutex`.
std::expected<ComPtr<ID3D11Texture2D>, CaptureError> ensure_staging_texture(
    ReadbackResources& resources, std::uint32_t width, std::uint32_t height,
    StagingUse use = StagingUse::Frame);

// Copies `region` of `source` into `destination` (exactly height * width *
// pixel_layout_bytes(layout) bytes, rows packed, pixels in `layout`) through
// the staging texture of that use: the GPU copies only the region (a box),
// into a staging texture of the region's size. Once the texture is mapped it
// is unmapped again whatever happens, also when the row copy is abandoned by
// a fault. The caller holds `resources.mutex`; nothing here touches Python.
std::expected<void, CaptureError> copy_frame_to_buffer(ReadbackResources& resources,
                                                       ID3D11Texture2D* source, CopyRegion region,
                                                       std::span<std::byte> destination,
                                                       StagingUse use = StagingUse::Frame,
                                                       PixelLayout layout = PixelLayout::RGBA);
