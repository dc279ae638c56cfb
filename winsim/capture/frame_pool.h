// Direct3D11CaptureFramePool, created free-threaded: its FrameArrived event is
// raised on winsim's delivery thread. The pool renders each captured frame into
// one of its buffers; a frame keeps its buffer busy for as long as anyone holds
// it, and with no free buffer no frame is produced.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/target.h"
#include "combase/runtime_object.h"
#include "d3d11/device.h"
#include "d3d11/texture.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

class FramePool;
class Frame;

// One FrameArrived subscription.
struct Subscription {
  winrt_abi::ITypedEventHandler_FramePool_Inspectable* handler = nullptr;  // one reference
  std::int64_t token = 0;
  bool removed = false;
  int running = 0;  // invocations in progress
};

// The switches of a capture session (IGraphicsCaptureSession2, 3, 5 and 6),
// kept with the pool whose frames they shape: frame rendering and delivery
// read them on the delivery thread, the session's setters write them on any
// thread. The module makes one session per pool; sessions of one pool share
// them.
struct SessionSwitches {
  std::atomic<bool> cursor{true};  // the pointer is drawn into frames
  std::atomic<bool> border{true};  // Windows draws its border around the target
  // The shortest time between two frames, in 100-nanosecond ticks: 0, no
  // minimum beyond the target's refresh.
  std::atomic<std::int64_t> min_update_interval{0};
  // The target window's pop-up windows are drawn into its frames.
  std::atomic<bool> secondary_windows{false};
};

// What the pool object, its session, its frames and the delivery thread share.
struct PoolCore {
  PoolCore() = default;
  PoolCore(const PoolCore&) = delete;
  PoolCore& operator=(const PoolCore&) = delete;

  std::mutex mutex;
  std::condition_variable invocation_done;
  FramePool* owner = nullptr;  // no reference; null once the pool is gone
  bool closed = false;
  d3d11::Device* device = nullptr;  // one reference
  DXGI_FORMAT format = DXGI_FORMAT_R8G8B8A8_UNORM;
  winrt_abi::SizeInt32 size{};
  struct Buffer {
    d3d11::Texture2D* texture;  // one reference
    bool busy;
  };
  std::vector<Buffer> buffers;
  std::deque<Frame*> ready;  // one reference each
  std::vector<std::shared_ptr<Subscription>> subscriptions;
  std::int64_t last_token = 0;
  SessionSwitches switches;

  // Releases the buffer `texture` for later frames (a frame going away).
  void free_buffer(d3d11::Texture2D* texture);
};

// Validates the arguments shared by CreateFreeThreaded and Recreate; makes the
// buffers. E_INVALIDARG for bad ones.
HRESULT configure_pool(PoolCore& core, winrt_abi::IDirect3DDevice* device,
                       winrt_abi::DirectXPixelFormat pixel_format, INT32 buffer_count,
                       winrt_abi::SizeInt32 size, const char* operation);

struct PoolState {
  explicit PoolState(std::shared_ptr<PoolCore> core);
  ~PoolState();
  PoolState(const PoolState&) = delete;
  PoolState& operator=(const PoolState&) = delete;
  std::shared_ptr<PoolCore> core;
};

class FramePool final
    : public combase::RuntimeObject<FramePool, PoolState, winrt_abi::IDirect3D11CaptureFramePool,
                                    winrt_abi::IClosable> {
 public:
  static constexpr std::string_view kClassName = "Direct3D11CaptureFramePool";
  explicit FramePool(std::shared_ptr<PoolCore> core);

  HRESULT STDMETHODCALLTYPE Recreate(winrt_abi::IDirect3DDevice* device,
                                     winrt_abi::DirectXPixelFormat pixel_format,
                                     INT32 number_of_buffers, winrt_abi::SizeInt32 size) override;
  HRESULT STDMETHODCALLTYPE TryGetNextFrame(winrt_abi::IDirect3D11CaptureFrame** result) override;
  HRESULT STDMETHODCALLTYPE
  add_FrameArrived(winrt_abi::ITypedEventHandler_FramePool_Inspectable* handler,
                   EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE CreateCaptureSession(
      winrt_abi::IGraphicsCaptureItem* item, winrt_abi::IGraphicsCaptureSession** result) override;
  HRESULT STDMETHODCALLTYPE get_DispatcherQueue(winrt_abi::IDispatcherQueue** value) override;
  HRESULT STDMETHODCALLTYPE Close() override;
};

// Closes the pool: no more frames or handler calls; buffers and queued frames
// are released. Also run when the pool object goes away.
void close_pool(PoolCore& core);

}  // namespace winsim::capture
