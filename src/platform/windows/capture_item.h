// The capture item of a target, and the free-threaded frame pool.
#pragma once

#include <expected>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/target.h"

// Pixel format (R8G8B8A8UIntNormalized: bytes R, G, B, A) and buffer count of
// every frame pool, at creation and on growth.
inline constexpr winrt_abi::DirectXPixelFormat POOL_PIXEL_FORMAT =
    static_cast<winrt_abi::DirectXPixelFormat>(28);
inline constexpr INT32 POOL_BUFFER_COUNT = 2;

// An item for the monitor or window of `target`. A failure belongs to the
// target's own family: a monitor error for a monitor, a window error for a
// window (both carried by the capture error).
std::expected<ComPtr<winrt_abi::IGraphicsCaptureItem>, CaptureError> create_capture_item(
    const CaptureTarget& target);

// A free-threaded pool (frames arrive on a platform worker thread, with no
// dispatcher queue) of POOL_BUFFER_COUNT buffers of `size`, in
// POOL_PIXEL_FORMAT.
std::expected<ComPtr<winrt_abi::IDirect3D11CaptureFramePool>, CaptureError> create_frame_pool(
    winrt_abi::IDirect3DDevice* device, winrt_abi::SizeInt32 size);
