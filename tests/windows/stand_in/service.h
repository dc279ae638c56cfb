// The stand-in graphics-capture service: a test-only DLL that Wine's
// RoGetActivationFactory loads (through the registry) for the two capture
// classes the module activates. It implements them over real Direct3D 11
// textures on the device the module passes in; frames carry a known pattern
// (pattern.h) and are delivered by a worker thread of each session.
//
// Its interfaces are the project's own declarations (capture_abi.h): the IIDs
// and vtable slots it answers are the ones the module calls, so this service
// cannot find a mistake in them. The ABI check against the public headers does.
//
// What the tests control is exported as C functions (service.cpp).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com_object.h"
#include "frame.h"

// IActivationFactory's IID: mingw-w64's import libraries leave it undefined.
// {00000035-0000-0000-C000-000000000046}
inline constexpr IID kIidActivationFactory = {
    0x00000035, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
OPTICATCHER_INTERFACE_ID(IActivationFactory, kIidActivationFactory);

namespace stand_in {

// E_ILLEGAL_METHOD_CALL: a method called in a state that does not allow it.
inline constexpr HRESULT kIllegalMethodCall = static_cast<HRESULT>(0x8000000E);

// --- what the tests control (service.cpp) -------------------------------------

// The code the next call of `operation` is told to fail with, S_OK for none
// (consumed once returned).
HRESULT injected_failure(const char* operation);
// Records a misuse of the service by its caller (read by the tests).
void record_misuse(const std::string& what);
// The content size of delivered frames: the tests' setting, else the item's.
winrt_abi::SizeInt32 content_size(winrt_abi::SizeInt32 item_size);
// Frames per second of automatic delivery; 0: only on request.
int delivery_rate();
// Whether a session delivers a frame as soon as it starts.
bool first_frame_at_start();
// The sequence number of the next frame (also its pattern's seed).
std::uint32_t next_sequence();

// --- the runtime device ----------------------------------------------------------

// A runtime device over a DXGI device: what CreateDirect3D11DeviceFromDXGIDevice
// gives on Windows. IDirect3DDxgiInterfaceAccess reaches the device behind it.
class Device final
    : public ComObject<Inspectable<winrt_abi::IDirect3DDevice>, Inspectable<winrt_abi::IClosable>,
                       winrt_abi::IDirect3DDxgiInterfaceAccess> {
 public:
  explicit Device(ComPtr<IDXGIDevice> device);

  HRESULT STDMETHODCALLTYPE Trim() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** object) override;

 private:
  std::mutex lock_;
  ComPtr<IDXGIDevice> device_;  // guarded by lock_; none once closed
};

// The Direct3D 11 device behind a runtime device.
HRESULT device_behind(winrt_abi::IDirect3DDevice* device, ComPtr<ID3D11Device>& result);

// --- capture items --------------------------------------------------------------

// An item raises Closed when the tests say its target has gone
// (stand_in_close_items), on a thread of the service's.
class Item final : public ComObject<Inspectable<winrt_abi::IGraphicsCaptureItem>> {
 public:
  explicit Item(winrt_abi::SizeInt32 size);
  ~Item() override;

  HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* value) override;
  HRESULT STDMETHODCALLTYPE get_Size(winrt_abi::SizeInt32* value) override;
  HRESULT STDMETHODCALLTYPE
  add_Closed(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler,
             EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_Closed(EventRegistrationToken token) override;

  // Calls every Closed handler on this thread. Removing a handler waits for
  // a call of it in progress.
  void raise_closed();

 private:
  struct Handler {
    INT64 token;
    ComPtr<winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable> handler;
  };

  const winrt_abi::SizeInt32 size_;
  std::mutex lock_;
  std::condition_variable raised_;
  std::vector<Handler> handlers_;  // guarded by lock_
  INT64 next_token_ = 1;           // guarded by lock_
  int raising_ = 0;                // guarded by lock_: calls in progress
};

// Raises Closed on every live item from a thread of its own; returns once
// the handlers ran.
void close_items();

// The GraphicsCaptureItem class's factory.
class ItemFactory final
    : public ComObject<Inspectable<IActivationFactory>, winrt_abi::IGraphicsCaptureItemInterop> {
 public:
  ItemFactory() : ComObject(false) {}

  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override;
  HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID iid, void** result) override;
  HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID iid, void** result) override;
};

// --- frame pools and sessions -----------------------------------------------------

// One buffer of a pool: a texture, busy while a frame holds it.
struct Buffer {
  ComPtr<ID3D11Texture2D> texture;
  std::vector<std::uint8_t> base;  // the pattern for seed 0, the texture's bytes
  UINT pitch = 0;
  std::atomic<bool> busy{false};
};

class Pool final : public ComObject<Inspectable<winrt_abi::IDirect3D11CaptureFramePool>,
                                    Inspectable<winrt_abi::IClosable>> {
 public:
  // The pool of `count` buffers of `size`; E_INVALIDARG for what Windows
  // refuses.
  static HRESULT create(winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format,
                        INT32 count, winrt_abi::SizeInt32 size, ComPtr<Pool>& result);

  HRESULT STDMETHODCALLTYPE Recreate(winrt_abi::IDirect3DDevice* device,
                                     winrt_abi::DirectXPixelFormat format, INT32 count,
                                     winrt_abi::SizeInt32 size) override;
  HRESULT STDMETHODCALLTYPE TryGetNextFrame(winrt_abi::IDirect3D11CaptureFrame** result) override;
  HRESULT STDMETHODCALLTYPE
  add_FrameArrived(winrt_abi::ITypedEventHandler_FramePool_Inspectable* handler,
                   EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE CreateCaptureSession(
      winrt_abi::IGraphicsCaptureItem* item, winrt_abi::IGraphicsCaptureSession** result) override;
  HRESULT STDMETHODCALLTYPE get_DispatcherQueue(winrt_abi::IDispatcherQueue** value) override;
  HRESULT STDMETHODCALLTYPE Close() override;

  // Fills a free buffer with the pattern of a new sequence number, queues its
  // frame and raises FrameArrived (on the calling thread, with no lock held).
  // False when nothing was delivered: the pool is closed or has no free buffer.
  bool deliver(winrt_abi::SizeInt32 item_size);

 private:
  // Buffers for `size` on the device behind `device`.
  HRESULT make_buffers(winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format,
                       INT32 count, winrt_abi::SizeInt32 size);

  struct Handler {
    INT64 token;
    ComPtr<winrt_abi::ITypedEventHandler_FramePool_Inspectable> handler;
  };

  std::mutex lock_;
  bool closed_ = false;                                            // guarded by lock_
  ComPtr<ID3D11Device> device_;                                    // guarded by lock_
  std::vector<std::shared_ptr<Buffer>> buffers_;                   // guarded by lock_
  std::vector<ComPtr<winrt_abi::IDirect3D11CaptureFrame>> queue_;  // guarded by lock_
  std::vector<Handler> handlers_;                                  // guarded by lock_
  INT64 next_token_ = 1;                                           // guarded by lock_
  std::uint32_t bytes_per_pixel_ = 4;                              // guarded by lock_
  // Removed (stand_in_remove_device) when this differs from device_removals():
  // no more frames, and Recreate fails.
  const unsigned removals_ = device_removals().load();
};

// A capture session: once started, a worker thread of its own delivers the
// first frame at once (unless the tests hold it back), then one per period of the delivery rate and
// one per request of the tests, until the session is closed.
class Session final : public ComObject<Inspectable<winrt_abi::IGraphicsCaptureSession>,
                                       Inspectable<winrt_abi::IClosable>> {
 public:
  Session(ComPtr<Pool> pool, winrt_abi::SizeInt32 item_size);
  ~Session() override;

  HRESULT STDMETHODCALLTYPE StartCapture() override;
  HRESULT STDMETHODCALLTYPE Close() override;

  // Asks the worker for `count` frames and waits for them; the number the
  // pool actually delivered.
  int deliver(int count);
  // Wakes the worker to pick up a new delivery rate.
  void wake();

 private:
  void run();

  const winrt_abi::SizeInt32 item_size_;
  std::mutex lock_;
  std::condition_variable changed_;
  ComPtr<Pool> pool_;      // guarded by lock_; none once closed
  std::thread worker_;     // guarded by lock_
  bool started_ = false;   // guarded by lock_
  bool stopping_ = false;  // guarded by lock_
  int requested_ = 0;      // guarded by lock_
  long completed_ = 0;     // guarded by lock_: requests handled
  long delivered_ = 0;     // guarded by lock_: requests that delivered a frame
};

// Sessions whose capture runs (held until they are closed).
void session_started(Session* session);
void session_closed(Session* session);

// The Direct3D11CaptureFramePool class's factory.
class PoolFactory final
    : public ComObject<Inspectable<IActivationFactory>,
                       Inspectable<winrt_abi::IDirect3D11CaptureFramePoolStatics2>> {
 public:
  PoolFactory() : ComObject(false) {}

  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override;
  HRESULT STDMETHODCALLTYPE CreateFreeThreaded(
      winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format, INT32 count,
      winrt_abi::SizeInt32 size, winrt_abi::IDirect3D11CaptureFramePool** result) override;
};

// --- border consent ----------------------------------------------------------------

// How the GraphicsCaptureAccess class answers (stand_in_set_border_access):
// 0 not registered, 1 Allowed, 2 DeniedByUser, 3 never.
int border_access();

// GraphicsCaptureAccess's factory; RequestAccessAsync's operation completes
// on a thread of its own (joined by join_answers).
class AccessFactory final
    : public ComObject<Inspectable<IActivationFactory>,
                       Inspectable<winrt_abi::IGraphicsCaptureAccessStatics>> {
 public:
  AccessFactory() : ComObject(false) {}

  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override;
  HRESULT STDMETHODCALLTYPE
  RequestAccessAsync(winrt_abi::GraphicsCaptureAccessKind kind,
                     winrt_abi::IAsyncOperation_AppCapabilityAccessStatus** result) override;
};

// Waits for the answering threads started so far.
void join_answers();

}  // namespace stand_in
