#include "d3d11/gpu.h"

#include <string>

#include "faults/misuse_log.h"

namespace winsim::d3d11 {

namespace {

std::atomic<UINT> g_alignment{256};
std::atomic<UINT> g_forced_pitch{0};

}  // namespace

GpuGuard::GpuGuard(Gpu& gpu, std::string_view operation) : gpu_(gpu) {
  if (gpu.multithread_protected.load() || gpu.lock.try_lock()) {
    if (gpu.multithread_protected.load()) gpu.lock.lock();
    return;
  }
  faults::record_misuse(std::string(operation) +
                        ": device used by two threads at once without multithread protection");
  gpu.lock.lock();
}

GpuGuard::~GpuGuard() { gpu_.lock.unlock(); }

UINT staging_row_pitch(UINT width) {
  if (const UINT forced = g_forced_pitch.load(); forced != 0) {
    return forced;
  }
  const UINT alignment = g_alignment.load();
  const std::uint64_t row = std::uint64_t{width} * 4;
  return static_cast<UINT>((row + alignment - 1) / alignment * alignment);
}

void set_row_pitch_alignment(UINT alignment) { g_alignment.store(alignment); }

void set_row_pitch(UINT pitch) { g_forced_pitch.store(pitch); }

}  // namespace winsim::d3d11
