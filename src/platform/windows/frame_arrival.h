// Frame arrival: the latest-frame slot shared between the platform's worker
// thread and Python threads, and the FrameArrived delegate that fills it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/win32.h"

// The single most recent frame of a capture, or none. Only the latest frame is
// kept: storing one releases the one it replaces, so at most one of the pool's
// two buffers is ever held here.
//
// The slot also numbers the frames it receives (the first is 1) and keeps the
// number of the newest frame a read returned, so that a caller can wait for a
// frame newer than that one. A waiter holds its own reference to the slot, not
// to the capture: closing the slot (the capture stopping) wakes it, and the
// slot outlives the capture's state for as long as a waiter needs it.
class LatestFrameSlot {
 public:
  using Frame = winrt_abi::IDirect3D11CaptureFrame;

  // A frame with its number.
  struct Numbered {
    ComPtr<Frame> frame;
    std::uint64_t number = 0;
  };

  // How a wait for a newer frame ended.
  enum class Wait { Arrived, Closed, TimedOut };

  LatestFrameSlot() = default;
  LatestFrameSlot(const LatestFrameSlot&) = delete;
  LatestFrameSlot& operator=(const LatestFrameSlot&) = delete;

  // Makes `frame` the latest one and wakes every waiter. The replaced frame is
  // released under the lock; the wake-up happens after unlocking so that the
  // woken threads do not run straight into a held lock.
  void publish(ComPtr<Frame> frame) noexcept;

  // Waits until a frame is present or `timeout` (measured on a monotonic clock
  // from the call) has passed. The frame stays in the slot.
  std::expected<void, CaptureError> wait_for_first_frame(
      std::chrono::steady_clock::duration timeout);

  // A new reference to the latest frame, which stays in the slot; "No frame
  // available yet" when there is none.
  std::expected<ComPtr<Frame>, CaptureError> take_latest() const;
  // The same with the frame's number.
  std::expected<Numbered, CaptureError> take_latest_numbered() const;

  // Records that a read returned the frame numbered `number`: later waits
  // look for a frame newer than the newest one read. Until a read is
  // recorded, the first frame counts as read.
  void mark_read(std::uint64_t number) noexcept;

  // The number of the newest frame read (1 before any read).
  std::uint64_t newest_read() const;

  // Waits until a frame numbered above `number` has arrived (true at once if
  // one has), the slot is closed or its target is, or `deadline` has passed.
  // A closed target ends the wait even when a newer frame is there.
  Wait wait_for_newer(std::uint64_t number, std::chrono::steady_clock::time_point deadline);

  // Drops the latest frame, if any.
  void empty() noexcept;

  // Drops the latest frame and wakes every waiter for good: the capture that
  // filled the slot has stopped.
  void close() noexcept;

  // Records that the captured target has gone (its window closed, its
  // monitor removed) and wakes every waiter for good; the latest frame stays.
  void mark_target_closed() noexcept;
  bool target_closed() const;

  bool holds_frame() const;

 private:
  mutable std::mutex lock_;
  ComPtr<Frame> latest_;           // guarded by lock_
  std::uint64_t received_ = 0;     // frames published; guarded by lock_
  std::uint64_t newest_read_ = 1;  // guarded by lock_
  bool closed_ = false;            // guarded by lock_
  bool target_closed_ = false;     // guarded by lock_
  std::condition_variable frame_arrived_;
};

// The delegate the frame pool calls, on its own worker thread, for every new
// frame: it moves the frame into the slot and grows the pool when the content
// has outgrown it. It never touches the interpreter, allocates nothing and
// copies no pixels per frame. The slot lock and the size lock are never held
// together.
class FrameArrivedHandler final : public winrt_abi::ITypedEventHandler_FramePool_Inspectable {
 public:
  // The new handler with its one reference.
  static ComPtr<FrameArrivedHandler> create(std::shared_ptr<LatestFrameSlot> slot,
                                            ComPtr<ID3D11Device> device,
                                            winrt_abi::SizeInt32 pool_size);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Invoke(winrt_abi::IDirect3D11CaptureFramePool* sender,
                                   IInspectable* args) override;

  // The size the pool's buffers were last created with.
  winrt_abi::SizeInt32 recorded_pool_size() const;

 private:
  FrameArrivedHandler(std::shared_ptr<LatestFrameSlot> slot, ComPtr<ID3D11Device> device,
                      winrt_abi::SizeInt32 pool_size);
  ~FrameArrivedHandler();

  // Invoke's work: store the frame, then grow the pool if it must.
  HRESULT on_frame_arrived(winrt_abi::IDirect3D11CaptureFramePool* sender);

  // The IMarshal of the free-threaded marshaler this object aggregates.
  HRESULT query_marshal(void** object);

  std::shared_ptr<LatestFrameSlot> slot_;
  ComPtr<ID3D11Device> device_;
  mutable std::mutex size_lock_;
  winrt_abi::SizeInt32 pool_size_;  // guarded by size_lock_
  std::atomic<std::uint32_t> references_{1};
  // The aggregated free-threaded marshaler, made on the first IMarshal query
  // and kept until this object dies, since the IMarshal it hands out lives
  // inside it. Its lock is taken only by that query, never with another lock.
  std::mutex marshaler_lock_;
  ComPtr<IUnknown> marshaler_;  // guarded by marshaler_lock_
};
