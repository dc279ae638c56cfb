// The simulated GPU behind one Direct3D 11 device, shared by the device, its
// immediate context and its resources. CPU memory stands for GPU memory.
#pragma once

#include <atomic>
#include <mutex>
#include <string_view>

#include <d3d11.h>

namespace winsim::d3d11 {

struct Gpu {
  D3D_DRIVER_TYPE driver_type = D3D_DRIVER_TYPE_HARDWARE;
  D3D_FEATURE_LEVEL feature_level = D3D_FEATURE_LEVEL_11_0;
  UINT creation_flags = 0;
  std::atomic<bool> multithread_protected{false};
  // Set when the device is removed (a driver update, a reset, ...): from then
  // on its calls fail with DXGI_ERROR_DEVICE_REMOVED. Never cleared: a new
  // device is needed.
  std::atomic<bool> removed{false};
  // Held during every operation on the device (and by ID3D10Multithread::Enter).
  std::recursive_mutex lock;
};

// Holds the device for one operation. Without multithread protection two
// threads must never use the device at once; an overlap is recorded as misuse.
class GpuGuard {
 public:
  GpuGuard(Gpu& gpu, std::string_view operation);
  ~GpuGuard();
  GpuGuard(const GpuGuard&) = delete;
  GpuGuard& operator=(const GpuGuard&) = delete;

 private:
  Gpu& gpu_;
};

// Staging rows are this many bytes apart: width * 4 rounded up to the
// alignment (a power of two), or a forced pitch.
UINT staging_row_pitch(UINT width);
void set_row_pitch_alignment(UINT alignment);
void set_row_pitch(UINT pitch);  // 0: back to the alignment

}  // namespace winsim::d3d11
