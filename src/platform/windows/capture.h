// The capture lifecycle: an idle capture, or one running on a target.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>

#include "errors.h"
#include "platform/windows/capture_abi.h"
#include "platform/windows/com_ptr.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/target.h"
#include "platform/windows/win32.h"

// Longest wait of `start` for the first frame.
inline constexpr std::chrono::seconds FIRST_FRAME_TIMEOUT{5};

// What frame readback works with. `start` fills the device and context; the
// staging texture is made and cached by readback. Everything here is used only
// under `mutex`, which is never held together with the slot's lock.
struct ReadbackResources {
  std::mutex mutex;
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Texture2D> staging;  // absent until the first readback
  std::uint32_t staging_width = 0;
  std::uint32_t staging_height = 0;
};

// What a running capture holds. The frame-arrival handler holds the other
// reference to the slot (and is itself held by the pool).
struct CaptureState {
  ComPtr<winrt_abi::IDirect3D11CaptureFramePool> frame_pool;
  ComPtr<winrt_abi::IGraphicsCaptureSession> session;
  std::shared_ptr<LatestFrameSlot> slot;
  EventRegistrationToken frame_arrived_token{};
  ReadbackResources readback;
};

class Capture {
 public:
  Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  ~Capture();

  bool active() const { return state_ != nullptr; }

  // The running capture's state; null when inactive.
  CaptureState* state() const { return state_.get(); }

  // Stops a running capture, then sets up a new one on `target` and, when
  // `await_first_frame` is true, waits up to FIRST_FRAME_TIMEOUT for its first
  // frame. After a timeout the capture stays active.
  std::expected<void, CaptureError> start(const CaptureTarget& target, bool await_first_frame);

  // Closes the running capture, if any, and releases everything it held.
  // Platform failures on the way are ignored: this always succeeds.
  void stop();

 private:
  std::unique_ptr<CaptureState> state_;
};
