// winsim's capture platform driven through the Windows API, as the module
// drives it: device creation, the Windows Runtime core, capture items, the
// free-threaded frame pool, frame delivery and readback of frame pixels.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <roapi.h>
#include <winstring.h>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "winsim/control.h"
#include "winsim_listing.h"

namespace {

using winsim_test::live_objects;

using winsim_test::errors;

int fail(const char* operation, HRESULT code, uint32_t times = 1, uint32_t after = 0,
         bool null_object = false) {
  return winsim_fail(operation, static_cast<uint32_t>(code), times, after, null_object, nullptr, 0,
                     nullptr, 0, 0);
}

class WinsimCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    ASSERT_EQ(RoInitialize(RO_INIT_MULTITHREADED) >= 0, true);
  }
  void TearDown() override {
    // Misuse is looked at before reset(), which clears the list.
    EXPECT_EQ(errors(), "");
    winsim_reset();
    EXPECT_EQ(live_objects(), "");
  }
};

// QueryInterface for U; empty when the object does not answer it.
template <class U, class T>
ComPtr<U> ask(const ComPtr<T>& object) {
  ComPtr<U> result;
  if (object && FAILED(object->QueryInterface(InterfaceId<U>::value, result.put_void()))) {
    result.reset();
  }
  return result;
}

struct Device {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
};

Device make_device(D3D_DRIVER_TYPE type = D3D_DRIVER_TYPE_HARDWARE) {
  Device made;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  EXPECT_EQ(D3D11CreateDevice(nullptr, type, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels, 2,
                              D3D11_SDK_VERSION, made.device.put(), nullptr, made.context.put()),
            S_OK);
  return made;
}

ComPtr<winrt_abi::IDirect3DDevice> runtime_device(const ComPtr<ID3D11Device>& device) {
  auto dxgi = ask<IDXGIDevice>(device);
  ComPtr<IInspectable> inspectable;
  EXPECT_EQ(CreateDirect3D11DeviceFromDXGIDevice(dxgi.get(), inspectable.put()), S_OK);
  return ask<winrt_abi::IDirect3DDevice>(inspectable);
}

HSTRING make_string(std::u16string_view text) {
  HSTRING string = nullptr;
  EXPECT_EQ(WindowsCreateString(reinterpret_cast<const WCHAR*>(text.data()),
                                static_cast<UINT32>(text.size()), &string),
            S_OK);
  return string;
}

template <class Factory>
ComPtr<Factory> factory(std::u16string_view name, REFIID iid) {
  HSTRING class_name = make_string(name);
  ComPtr<Factory> result;
  EXPECT_EQ(RoGetActivationFactory(class_name, iid, result.put_void()), S_OK);
  WindowsDeleteString(class_name);
  return result;
}

ComPtr<winrt_abi::IGraphicsCaptureItem> item_for(uintptr_t handle, bool window) {
  auto interop = factory<winrt_abi::IGraphicsCaptureItemInterop>(
      u"Windows.Graphics.Capture.GraphicsCaptureItem", winrt_abi::IID_IGraphicsCaptureItemInterop);
  ComPtr<winrt_abi::IGraphicsCaptureItem> item;
  const HRESULT hr =
      window ? interop->CreateForWindow(reinterpret_cast<HWND>(handle),
                                        winrt_abi::IID_IGraphicsCaptureItem, item.put_void())
             : interop->CreateForMonitor(reinterpret_cast<HMONITOR>(handle),
                                         winrt_abi::IID_IGraphicsCaptureItem, item.put_void());
  EXPECT_EQ(hr, S_OK);
  return item;
}

ComPtr<winrt_abi::IDirect3D11CaptureFramePool> make_pool(const ComPtr<ID3D11Device>& device,
                                                         winrt_abi::SizeInt32 size) {
  auto statics = factory<winrt_abi::IDirect3D11CaptureFramePoolStatics2>(
      u"Windows.Graphics.Capture.Direct3D11CaptureFramePool",
      winrt_abi::IID_IDirect3D11CaptureFramePoolStatics2);
  auto wrapper = runtime_device(device);
  ComPtr<winrt_abi::IDirect3D11CaptureFramePool> pool;
  EXPECT_EQ(
      statics->CreateFreeThreaded(
          wrapper.get(), winrt_abi::DirectXPixelFormat_R8G8B8A8UIntNormalized, 2, size, pool.put()),
      S_OK);
  return pool;
}

// Creates a session for `item` on `pool` and starts it; null if either fails.
ComPtr<winrt_abi::IGraphicsCaptureSession> start_session(
    const ComPtr<winrt_abi::IDirect3D11CaptureFramePool>& pool,
    const ComPtr<winrt_abi::IGraphicsCaptureItem>& item) {
  ComPtr<winrt_abi::IGraphicsCaptureSession> session;
  EXPECT_EQ(pool->CreateCaptureSession(item.get(), session.put()), S_OK);
  if (session && session->StartCapture() != S_OK) {
    ADD_FAILURE() << "StartCapture failed";
    session.reset();
  }
  return session;
}

// Counts its calls and the threads they came on; takes no frame unless told.
class CountingHandler final : public winrt_abi::ITypedEventHandler_FramePool_Inspectable {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable) {
      AddRef();
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Invoke(winrt_abi::IDirect3D11CaptureFramePool* sender,
                                   IInspectable*) override {
    thread = std::this_thread::get_id();
    if (take_frames) {
      ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
      sender->TryGetNextFrame(frame.put());
      if (frame) ++frames;
    }
    if (sleep.count() > 0) std::this_thread::sleep_for(sleep);
    ++calls;
    return S_OK;
  }

  std::atomic<ULONG> references{1};
  std::atomic<int> calls{0};
  std::atomic<int> frames{0};
  bool take_frames = true;
  std::chrono::milliseconds sleep{0};
  std::thread::id thread;
};

TEST_F(WinsimCapture, DeviceCreationChecksItsArgumentsAndFailsInQueueOrder) {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1};
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 1, 6,
                              device.put(), nullptr, context.put()),
            E_INVALIDARG);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, levels, 1,
                              D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
            E_INVALIDARG);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0x10000, levels, 1,
                              D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
            E_INVALIDARG);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 0,
                              D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
            E_INVALIDARG);
  EXPECT_FALSE(device);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 1,
                              D3D11_SDK_VERSION, nullptr, nullptr, nullptr),
            S_FALSE);

  // The hardware try fails with one code, the WARP try with another.
  ASSERT_EQ(fail("D3D11CreateDevice", DXGI_ERROR_UNSUPPORTED), WINSIM_OK);
  ASSERT_EQ(fail("D3D11CreateDevice", E_OUTOFMEMORY), WINSIM_OK);
  for (HRESULT expected : {DXGI_ERROR_UNSUPPORTED, E_OUTOFMEMORY, S_OK}) {
    EXPECT_EQ(
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                          levels, 1, D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
        expected);
  }
  EXPECT_TRUE(device && context);
  EXPECT_EQ(winsim_calls("D3D11CreateDevice"), 8);

  // A success without objects on request.
  ASSERT_EQ(fail("D3D11CreateDevice", S_OK, 1, 0, true), WINSIM_OK);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 1,
                              D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
            S_OK);
  EXPECT_FALSE(device);
  EXPECT_FALSE(context);
}

TEST_F(WinsimCapture, DeviceAnswersMultithreadAndDxgiAndTheRuntimeWrapperReachesIt) {
  Device made = make_device();
  auto multithread = ask<ID3D10Multithread>(made.device);
  ASSERT_TRUE(multithread);
  EXPECT_EQ(multithread->SetMultithreadProtected(TRUE), FALSE);
  EXPECT_EQ(multithread->SetMultithreadProtected(TRUE), TRUE);
  EXPECT_EQ(winsim_calls("SetMultithreadProtected"), 2);
  EXPECT_EQ(winsim_calls("QueryInterface:ID3D10Multithread"), 1);

  auto wrapper = runtime_device(made.device);
  ASSERT_TRUE(wrapper);
  auto access = ask<winrt_abi::IDirect3DDxgiInterfaceAccess>(wrapper);
  ComPtr<ID3D11Device> same;
  ASSERT_EQ(access->GetInterface(IID_ID3D11Device, same.put_void()), S_OK);
  EXPECT_EQ(same.get(), made.device.get());

  ASSERT_EQ(fail("QueryInterface:IDXGIDevice", E_NOINTERFACE), WINSIM_OK);
  EXPECT_FALSE(ask<IDXGIDevice>(made.device));
  ComPtr<IInspectable> none;
  EXPECT_EQ(CreateDirect3D11DeviceFromDXGIDevice(nullptr, none.put()), E_INVALIDARG);
}

TEST_F(WinsimCapture, ApartmentsStringsAndActivation) {
  std::thread([] {
    HSTRING name = make_string(u"Windows.Graphics.Capture.GraphicsCaptureItem");
    void* object = nullptr;
    EXPECT_EQ(RoGetActivationFactory(name, winrt_abi::IID_IGraphicsCaptureItemInterop, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(RoInitialize(RO_INIT_MULTITHREADED), S_OK);
    EXPECT_EQ(RoInitialize(RO_INIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(RoInitialize(RO_INIT_SINGLETHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(RoGetActivationFactory(name, winrt_abi::IID_IGraphicsCaptureItemInterop, &object),
              S_OK);
    ASSERT_NE(object, nullptr);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(live_objects(), "HSTRING\t1\n");
    WindowsDeleteString(name);
    HSTRING unknown = make_string(u"Windows.Nothing.Here");
    EXPECT_EQ(RoGetActivationFactory(unknown, IID_IInspectable, &object), REGDB_E_CLASSNOTREG);
    WindowsDeleteString(unknown);
  }).join();
  // Activation factories are immortal: nothing is left counted.
  EXPECT_EQ(live_objects(), "");
}

// Windows keeps a factory for the process, but a caller still owns each
// reference it was given: releasing more than it got is misuse. (The pool
// factory is left out: the module keeps a reference to it for the process's
// life, which an extra release here would silently take.)
TEST_F(WinsimCapture, ReleasingAnActivationFactoryTooOftenIsMisuse) {
  HSTRING class_name = make_string(u"Windows.Graphics.Capture.GraphicsCaptureItem");
  IUnknown* object = nullptr;
  ASSERT_EQ(RoGetActivationFactory(class_name, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  WindowsDeleteString(class_name);
  object->AddRef();
  IUnknown* again = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
  again->Release();
  object->Release();
  object->Release();
  EXPECT_EQ(errors(), "");
  object->Release();  // one more than it was given
  EXPECT_NE(errors().find("release below zero"), std::string::npos) << errors();
  winsim_reset();
}

TEST_F(WinsimCapture, FramesArriveOnTheDeliveryThreadAndHoldTheirBuffers) {
  winsim_set_frame_delivery(0);
  const uintptr_t window = winsim_add_window(nullptr, 0, 64, 48, 1, 0, 0, 0, 0);
  Device made = make_device();
  auto item = item_for(window, true);
  winrt_abi::SizeInt32 size{};
  ASSERT_EQ(item->get_Size(&size), S_OK);
  EXPECT_EQ(size.Width, 64);
  EXPECT_EQ(size.Height, 48);
  auto pool = make_pool(made.device, size);
  CountingHandler handler;
  handler.take_frames = false;
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  EXPECT_GT(token.value, INT64{0xFFFFFFFF});
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);

  // No frame before present(), with automatic delivery off.
  ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
  ASSERT_EQ(pool->TryGetNextFrame(frame.put()), S_OK);
  EXPECT_FALSE(frame);

  // Two buffers: the third frame cannot be produced while both are held.
  ASSERT_EQ(winsim_present(window, 3), WINSIM_OK);
  EXPECT_EQ(handler.calls.load(), 2);
  EXPECT_NE(handler.thread, std::this_thread::get_id());
  ComPtr<winrt_abi::IDirect3D11CaptureFrame> first, second;
  ASSERT_EQ(pool->TryGetNextFrame(first.put()), S_OK);
  ASSERT_EQ(pool->TryGetNextFrame(second.put()), S_OK);
  ASSERT_TRUE(first && second);
  second.reset();
  ASSERT_EQ(winsim_present(window, 1), WINSIM_OK);
  EXPECT_EQ(handler.calls.load(), 3);

  winrt_abi::SizeInt32 content{};
  ASSERT_EQ(first->get_ContentSize(&content), S_OK);
  EXPECT_EQ(content.Width, 64);

  // After removal the handler is never called again.
  ASSERT_EQ(pool->remove_FrameArrived(token), S_OK);
  first.reset();
  ASSERT_EQ(pool->TryGetNextFrame(frame.put()), S_OK);
  frame.reset();
  ASSERT_EQ(winsim_present(window, 2), WINSIM_OK);
  EXPECT_EQ(handler.calls.load(), 3);

  EXPECT_EQ(ask<winrt_abi::IClosable>(session)->Close(), S_OK);
  EXPECT_EQ(ask<winrt_abi::IClosable>(pool)->Close(), S_OK);
  EXPECT_EQ(winsim_calls("GraphicsCaptureSession.Close"), 1);
  EXPECT_EQ(winsim_calls("Direct3D11CaptureFramePool.Close"), 1);
  EXPECT_EQ(pool->TryGetNextFrame(frame.put()), RO_E_CLOSED);
  EXPECT_EQ(handler.references.load(), 1u);
}

TEST_F(WinsimCapture, RemovalWaitsForARunningHandlerCall) {
  const uintptr_t monitor = winsim_add_monitor(32, 16, 240, nullptr, 0, nullptr, 0);
  Device made = make_device();
  auto item = item_for(monitor, false);
  auto pool = make_pool(made.device, {32, 16});
  CountingHandler handler;
  handler.sleep = std::chrono::milliseconds(50);
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  while (handler.references.load() == 2) std::this_thread::yield();  // a call is running
  ASSERT_EQ(pool->remove_FrameArrived(token), S_OK);
  const int calls = handler.calls.load();
  EXPECT_GE(calls, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(handler.calls.load(), calls);
  session.reset();
  pool.reset();
}

// fork() waits for a FrameArrived call in progress, so that the child
// inherits none still counted as running: removing the handler there returns
// at once. (The module's handler never blocks, so only a test handler can hold
// a call across the fork.)
TEST_F(WinsimCapture, ForkWaitsForARunningHandlerCall) {
  const uintptr_t monitor = winsim_add_monitor(32, 16, 240, nullptr, 0, nullptr, 0);
  Device made = make_device();
  auto item = item_for(monitor, false);
  auto pool = make_pool(made.device, {32, 16});
  CountingHandler handler;
  handler.sleep = std::chrono::milliseconds(50);
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  while (handler.references.load() == 2) std::this_thread::yield();  // a call is running
  const pid_t child = fork();
  if (child == 0) {
    alarm(5);  // a hang ends the child
    const bool finished = handler.calls.load() >= 1;
    const bool removed = pool->remove_FrameArrived(token) == S_OK;
    _exit(finished && removed ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0) << "the child's wait status";
  ASSERT_EQ(pool->remove_FrameArrived(token), S_OK);
  session.reset();
  pool.reset();
}

TEST_F(WinsimCapture, FramePixelsShowTheContentWithinTheTargetSize) {
  winsim_set_frame_delivery(0);
  const uintptr_t window = winsim_add_window(nullptr, 0, 4, 2, 1, 0, 0, 0, 0);
  std::vector<uint8_t> content(3 * 1 * 4);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(10 + i);
  ASSERT_EQ(winsim_set_content(window, content.data(), 3, 1), WINSIM_OK);
  Device made = make_device();
  auto item = item_for(window, true);
  auto pool = make_pool(made.device, {4, 2});
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  ASSERT_EQ(winsim_present(window, 1), WINSIM_OK);
  ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
  ASSERT_EQ(pool->TryGetNextFrame(frame.put()), S_OK);
  ASSERT_TRUE(frame);

  ComPtr<winrt_abi::IDirect3DSurface> surface;
  ASSERT_EQ(frame->get_Surface(surface.put()), S_OK);
  auto access = ask<winrt_abi::IDirect3DDxgiInterfaceAccess>(surface);
  ComPtr<ID3D11Texture2D> texture;
  ASSERT_EQ(access->GetInterface(IID_ID3D11Texture2D, texture.put_void()), S_OK);
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(desc.Height, 2u);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);

  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  ComPtr<ID3D11Texture2D> staging;
  ASSERT_EQ(made.device->CreateTexture2D(&desc, nullptr, staging.put()), S_OK);
  const D3D11_BOX box{0, 0, 0, 4, 2, 1};
  made.context->CopySubresourceRegion(staging.get(), 0, 0, 0, 0, texture.get(), 0, &box);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(made.context->Map(staging.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_EQ(mapped.RowPitch, 256u);
  const auto* bytes = static_cast<const uint8_t*>(mapped.pData);
  EXPECT_EQ(std::memcmp(bytes, content.data(), content.size()), 0);
  const uint8_t black[4] = {0, 0, 0, 255};
  EXPECT_EQ(std::memcmp(bytes + 12, black, 4), 0);       // beyond the content's width
  EXPECT_EQ(std::memcmp(bytes + 256 + 4, black, 4), 0);  // beyond its height
  made.context->Unmap(staging.get(), 0);

  // Changing the content later changes no frame already made.
  content.assign(content.size(), 0);
  ASSERT_EQ(winsim_set_content(window, content.data(), 3, 1), WINSIM_OK);
  made.context->CopySubresourceRegion(staging.get(), 0, 0, 0, 0, texture.get(), 0, &box);
  ASSERT_EQ(made.context->Map(staging.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_EQ(static_cast<const uint8_t*>(mapped.pData)[0], 10);
  made.context->Unmap(staging.get(), 0);
}

TEST_F(WinsimCapture, ADestroyedWindowProducesNoFrames) {
  winsim_set_frame_delivery(0);
  const uintptr_t window = winsim_add_window(nullptr, 0, 8, 8, 1, 0, 0, 0, 0);
  Device made = make_device();
  auto item = item_for(window, true);
  auto pool = make_pool(made.device, {8, 8});
  CountingHandler handler;
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  ASSERT_EQ(winsim_present(window, 1), WINSIM_OK);
  EXPECT_EQ(handler.frames.load(), 1);
  // Child windows cannot be captured.
  const uintptr_t child = winsim_add_window(nullptr, 0, 4, 4, 1, 0, 0, 0, window);
  auto interop = factory<winrt_abi::IGraphicsCaptureItemInterop>(
      u"Windows.Graphics.Capture.GraphicsCaptureItem", winrt_abi::IID_IGraphicsCaptureItemInterop);
  ComPtr<winrt_abi::IGraphicsCaptureItem> none;
  EXPECT_EQ(interop->CreateForWindow(reinterpret_cast<HWND>(child),
                                     winrt_abi::IID_IGraphicsCaptureItem, none.put_void()),
            E_INVALIDARG);
  ASSERT_EQ(winsim_destroy_window(window), WINSIM_OK);
  EXPECT_EQ(winsim_present(window, 1), WINSIM_UNKNOWN_HANDLE);
  winsim_set_frame_delivery(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_EQ(handler.calls.load(), 1);
  pool->remove_FrameArrived(token);
}

TEST_F(WinsimCapture, ManyFramesLeaveABoundedNumberOfZombies) {
  // Each frame's final release keeps a zombie; far more frames than the
  // census keeps must neither grow memory without bound nor crash.
  const uintptr_t monitor = winsim_add_monitor(4, 4, 60, nullptr, 0, nullptr, 0);
  winsim_set_frame_delivery(0);
  Device made = make_device();
  auto item = item_for(monitor, false);
  auto pool = make_pool(made.device, {4, 4});
  CountingHandler handler;
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  ASSERT_EQ(winsim_present(monitor, 5000), WINSIM_OK);
  EXPECT_EQ(handler.frames.load(), 5000);
  pool->remove_FrameArrived(token);
}

}  // namespace

// A delegate that records its calls and the thread they came on; not counted
// among winsim's objects.
template <class Interface, class... Arguments>
class RecordingDelegate final : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Invoke(Arguments...) override {
    thread = std::this_thread::get_id();
    ++calls;
    return S_OK;
  }
  std::atomic<int> references{0};
  std::atomic<int> calls{0};
  std::thread::id thread;
};

using ClosedDelegate =
    RecordingDelegate<winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable,
                      winrt_abi::IGraphicsCaptureItem*, IInspectable*>;
using AnswerDelegate =
    RecordingDelegate<winrt_abi::IAsyncOperationCompletedHandler_AppCapabilityAccessStatus,
                      winrt_abi::IAsyncOperation_AppCapabilityAccessStatus*,
                      winrt_abi::AsyncStatus>;

TEST_F(WinsimCapture, GoneTargetsRaiseClosedOnTheDeliveryThread) {
  const uintptr_t window = winsim_add_window(nullptr, 0, 8, 8, 1, 0, 0, 0, 0);
  const uintptr_t monitor = winsim_add_monitor(8, 8, 60, nullptr, 0, nullptr, 0);
  for (const auto& [handle, is_window] : {std::pair{window, true}, std::pair{monitor, false}}) {
    auto item = item_for(handle, is_window);
    ClosedDelegate closed;
    EventRegistrationToken token{};
    ASSERT_EQ(item->add_Closed(&closed, &token), S_OK);
    EXPECT_GT(static_cast<std::uint64_t>(token.value), 0xFFFFFFFFull);
    EXPECT_EQ(closed.references.load(), 1);
    ASSERT_EQ(is_window ? winsim_destroy_window(handle) : winsim_remove_monitor(handle), WINSIM_OK);
    // Raised before the control call returns, on another thread.
    EXPECT_EQ(closed.calls.load(), 1);
    EXPECT_NE(closed.thread, std::this_thread::get_id());
    EXPECT_EQ(item->remove_Closed(token), S_OK);
    EXPECT_EQ(closed.references.load(), 0);
  }
}

TEST_F(WinsimCapture, TheBordersConsentAnswersThroughAnAsynchronousOperation) {
  using winrt_abi::IAsyncOperation_AppCapabilityAccessStatus;
  const std::u16string_view name = u"Windows.Graphics.Capture.GraphicsCaptureAccess";
  ComPtr<winrt_abi::IGraphicsCaptureAccessStatics> none;
  HSTRING string = make_string(name);
  EXPECT_EQ(
      RoGetActivationFactory(string, winrt_abi::IID_IGraphicsCaptureAccessStatics, none.put_void()),
      REGDB_E_CLASSNOTREG);  // not registered after a reset, as on Windows 10
  WindowsDeleteString(string);

  ASSERT_EQ(winsim_set_border_access(WINSIM_BORDER_ACCESS_DENIED), WINSIM_OK);
  auto statics = factory<winrt_abi::IGraphicsCaptureAccessStatics>(
      name, winrt_abi::IID_IGraphicsCaptureAccessStatics);
  ComPtr<IAsyncOperation_AppCapabilityAccessStatus> operation;
  ASSERT_EQ(
      statics->RequestAccessAsync(winrt_abi::GraphicsCaptureAccessKind_Borderless, operation.put()),
      S_OK);
  // Answered on the delivery thread; a handler set afterwards is called at
  // once, on the thread that sets it, and only one may be set.
  winsim_live_objects(nullptr, 0);  // waits for the answer
  auto info = ask<winrt_abi::IAsyncInfo>(operation);
  winrt_abi::AsyncStatus status = winrt_abi::AsyncStatus_Started;
  ASSERT_EQ(info->get_Status(&status), S_OK);
  EXPECT_EQ(status, winrt_abi::AsyncStatus_Completed);
  AnswerDelegate answered;
  ASSERT_EQ(operation->put_Completed(&answered), S_OK);
  EXPECT_EQ(answered.calls.load(), 1);
  EXPECT_EQ(answered.thread, std::this_thread::get_id());
  EXPECT_EQ(operation->put_Completed(&answered), static_cast<HRESULT>(0x80000018));
  winrt_abi::AppCapabilityAccessStatus access = winrt_abi::AppCapabilityAccessStatus_Allowed;
  ASSERT_EQ(operation->GetResults(&access), S_OK);
  EXPECT_EQ(access, winrt_abi::AppCapabilityAccessStatus_DeniedByUser);
  EXPECT_EQ(info->Close(), S_OK);
  info.reset();
  operation.reset();
  EXPECT_EQ(answered.references.load(), 0);

  // Never answered: no results, and it cannot be closed while it runs.
  ASSERT_EQ(winsim_set_border_access(WINSIM_BORDER_ACCESS_PROMPT_TIMEOUT), WINSIM_OK);
  ASSERT_EQ(
      statics->RequestAccessAsync(winrt_abi::GraphicsCaptureAccessKind_Borderless, operation.put()),
      S_OK);
  AnswerDelegate waiting;
  ASSERT_EQ(operation->put_Completed(&waiting), S_OK);
  EXPECT_EQ(operation->GetResults(&access), E_ILLEGAL_METHOD_CALL);
  EXPECT_EQ(ask<winrt_abi::IAsyncInfo>(operation)->Close(), static_cast<HRESULT>(0x8000000D));
  EXPECT_EQ(waiting.calls.load(), 0);
  operation.reset();
  EXPECT_EQ(waiting.references.load(), 0);
  EXPECT_EQ(winsim_set_border_access(7), WINSIM_INVALID_ARGUMENT);
}

TEST_F(WinsimCapture, ARemovedDeviceFailsItsCallsAndDeliversNothing) {
  winsim_set_frame_delivery(0);
  const uintptr_t monitor = winsim_add_monitor(8, 8, 60, nullptr, 0, nullptr, 0);
  Device made = make_device();
  auto item = item_for(monitor, false);
  auto pool = make_pool(made.device, {8, 8});
  CountingHandler handler;
  EventRegistrationToken token{};
  ASSERT_EQ(pool->add_FrameArrived(&handler, &token), S_OK);
  auto session = start_session(pool, item);
  ASSERT_TRUE(session);
  winsim_remove_device();
  ASSERT_EQ(winsim_present(monitor, 1), WINSIM_OK);
  EXPECT_EQ(handler.calls.load(), 0);
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = desc.Height = 4;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_STAGING;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  ComPtr<ID3D11Texture2D> staging;
  EXPECT_EQ(made.device->CreateTexture2D(&desc, nullptr, staging.put()), DXGI_ERROR_DEVICE_REMOVED);
  EXPECT_EQ(pool->Recreate(runtime_device(made.device).get(),
                           winrt_abi::DirectXPixelFormat_R8G8B8A8UIntNormalized, 2, {8, 8}),
            DXGI_ERROR_DEVICE_REMOVED);
  // A new device works.
  Device fresh = make_device();
  EXPECT_EQ(fresh.device->CreateTexture2D(&desc, nullptr, staging.put()), S_OK);
  pool->remove_FrameArrived(token);
}
