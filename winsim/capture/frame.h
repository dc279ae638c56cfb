// Direct3D11CaptureFrame and its surface (IDirect3DSurface, which reaches the
// buffer texture through IDirect3DDxgiInterfaceAccess).
#pragma once

#include <chrono>
#include <memory>

#include "capture/frame_pool.h"
#include "combase/runtime_object.h"
#include "d3d11/texture.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

struct FrameState {
  FrameState(std::shared_ptr<PoolCore> core, d3d11::Texture2D* buffer,
             winrt_abi::SizeInt32 content_size, winrt_abi::TimeSpan time);
  ~FrameState();
  FrameState(const FrameState&) = delete;
  FrameState& operator=(const FrameState&) = delete;

  std::shared_ptr<PoolCore> core;
  d3d11::Texture2D* buffer;  // one reference; busy until this frame goes
  winrt_abi::SizeInt32 content_size;
  winrt_abi::TimeSpan time;  // SystemRelativeTime: when it was composed
};

// SystemRelativeTime counts 100-nanosecond ticks on the clock of
// QueryPerformanceCounter; winsim's is steady_clock, CLOCK_MONOTONIC, the
// clock of Python's time.perf_counter() on Linux.
winrt_abi::TimeSpan system_relative_time(std::chrono::steady_clock::time_point when);

class Frame final
    : public combase::RuntimeObject<Frame, FrameState, winrt_abi::IDirect3D11CaptureFrame> {
 public:
  static constexpr std::string_view kClassName = "Direct3D11CaptureFrame";
  Frame(std::shared_ptr<PoolCore> core, d3d11::Texture2D* buffer, winrt_abi::SizeInt32 content_size,
        winrt_abi::TimeSpan time);

  HRESULT STDMETHODCALLTYPE get_Surface(winrt_abi::IDirect3DSurface** value) override;
  HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(winrt_abi::TimeSpan* value) override;
  HRESULT STDMETHODCALLTYPE get_ContentSize(winrt_abi::SizeInt32* value) override;
};

struct SurfaceState {
  explicit SurfaceState(d3d11::Texture2D* texture);
  ~SurfaceState();
  SurfaceState(const SurfaceState&) = delete;
  SurfaceState& operator=(const SurfaceState&) = delete;
  d3d11::Texture2D* texture;  // one reference
};

class Surface final
    : public combase::RuntimeObject<Surface, SurfaceState, winrt_abi::IDirect3DSurface,
                                    winrt_abi::IDirect3DDxgiInterfaceAccess> {
 public:
  static constexpr std::string_view kClassName = "Direct3DSurface";
  explicit Surface(d3d11::Texture2D* texture);

  HRESULT STDMETHODCALLTYPE get_Description(winrt_abi::Direct3DSurfaceDescription* value) override;
  HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** p) override;
};

}  // namespace winsim::capture
