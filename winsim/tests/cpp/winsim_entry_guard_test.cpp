// winsim's entries when memory runs out: an allocation that fails inside
// winsim becomes the entry's documented failure (E_OUTOFMEMORY; FALSE or NULL
// with ERROR_OUTOFMEMORY; WINSIM_OUT_OF_MEMORY), never a C++ exception in the
// caller, and leaves nothing alive or registered behind. Each case fails the
// first allocation on its thread, then the second, and so on, until the calls
// run through; the allocations fail through this program's operator new, which
// libwinsim.so's allocations go through as well.
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <new>
#include <string_view>
#include <thread>

#include <roapi.h>
#include <winstring.h>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "winsim/control.h"
#include "winsim_listing.h"

namespace {

// While armed, the allocation after `t_allocations_before_failure` more fails.
thread_local bool t_armed = false;
thread_local long t_allocations_before_failure = 0;
thread_local bool t_failed = false;

void* allocate(std::size_t size) {
  static const auto next = reinterpret_cast<void* (*)(std::size_t)>(dlsym(RTLD_NEXT, "_Znwm"));
  return next(size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (t_armed && t_allocations_before_failure-- == 0) {
    t_failed = true;
    throw std::bad_alloc();
  }
  return allocate(size);
}

namespace {

using winsim_test::errors;
using winsim_test::live_objects;

// Runs `calls` once with the first allocation on this thread failing, once with
// the second failing, and so on, until they run through with none failing;
// `check` sees the result of each run, out of reach of the failures. Returns
// the number of runs with a failure.
template <class Calls, class Check>
int fail_each_allocation(Calls calls, Check check) {
  for (long before = 0;; ++before) {
    t_allocations_before_failure = before;
    t_failed = false;
    t_armed = true;
    const auto result = calls();
    t_armed = false;
    if (!t_failed) return static_cast<int>(before);
    check(result);
  }
}

// Takes each frame it is told of and counts it.
class FrameCounter final : public winrt_abi::ITypedEventHandler_FramePool_Inspectable {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Invoke(winrt_abi::IDirect3D11CaptureFramePool* sender,
                                   IInspectable*) override {
    ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
    if (SUCCEEDED(sender->TryGetNextFrame(frame.put())) && frame) ++frames;
    return S_OK;
  }

  std::atomic<ULONG> references{1};
  std::atomic<int> frames{0};
};

HRESULT activation_factory(std::u16string_view name, REFIID iid, void** factory) {
  HSTRING class_name = nullptr;
  const HRESULT hr = WindowsCreateString(reinterpret_cast<const WCHAR*>(name.data()),
                                         static_cast<UINT32>(name.size()), &class_name);
  if (FAILED(hr)) return hr;
  const HRESULT found = RoGetActivationFactory(class_name, iid, factory);
  WindowsDeleteString(class_name);
  return found;
}

struct Capture {
  ComPtr<winrt_abi::IDirect3D11CaptureFramePool> pool;
  ComPtr<winrt_abi::IGraphicsCaptureSession> session;
};

// Starts a capture of `monitor` call by call, as the module does; returns the
// first failure, or S_OK.
HRESULT start_capture(HMONITOR monitor, FrameCounter& handler, Capture& capture) {
  ComPtr<ID3D11Device> device;
  const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
  HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                                 D3D11_CREATE_DEVICE_BGRA_SUPPORT, &level, 1, D3D11_SDK_VERSION,
                                 device.put(), nullptr, nullptr);
  if (FAILED(hr)) return hr;
  ComPtr<IDXGIDevice> dxgi;
  if (FAILED(hr = device->QueryInterface(IID_IDXGIDevice, dxgi.put_void()))) return hr;
  ComPtr<IInspectable> inspectable;
  if (FAILED(hr = CreateDirect3D11DeviceFromDXGIDevice(dxgi.get(), inspectable.put()))) return hr;
  ComPtr<winrt_abi::IDirect3DDevice> runtime_device;
  hr = inspectable->QueryInterface(winrt_abi::IID_IDirect3DDevice, runtime_device.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<winrt_abi::IGraphicsCaptureItemInterop> interop;
  hr = activation_factory(u"Windows.Graphics.Capture.GraphicsCaptureItem",
                          winrt_abi::IID_IGraphicsCaptureItemInterop, interop.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<winrt_abi::IGraphicsCaptureItem> item;
  hr = interop->CreateForMonitor(monitor, winrt_abi::IID_IGraphicsCaptureItem, item.put_void());
  if (FAILED(hr)) return hr;
  winrt_abi::SizeInt32 size{};
  if (FAILED(hr = item->get_Size(&size))) return hr;
  ComPtr<winrt_abi::IDirect3D11CaptureFramePoolStatics2> statics;
  hr = activation_factory(u"Windows.Graphics.Capture.Direct3D11CaptureFramePool",
                          winrt_abi::IID_IDirect3D11CaptureFramePoolStatics2, statics.put_void());
  if (FAILED(hr)) return hr;
  hr = statics->CreateFreeThreaded(runtime_device.get(),
                                   winrt_abi::DirectXPixelFormat_R8G8B8A8UIntNormalized, 2, size,
                                   capture.pool.put());
  if (FAILED(hr)) return hr;
  EventRegistrationToken token{};
  if (FAILED(hr = capture.pool->add_FrameArrived(&handler, &token))) return hr;
  if (FAILED(hr = capture.pool->CreateCaptureSession(item.get(), capture.session.put()))) {
    return hr;
  }
  return capture.session->StartCapture();
}

class WinsimOutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    ASSERT_GE(RoInitialize(RO_INIT_MULTITHREADED), 0);
  }
  void TearDown() override {
    RoUninitialize();
    EXPECT_EQ(errors(), "");
    winsim_reset();
    EXPECT_EQ(live_objects(), "");
  }
};

TEST_F(WinsimOutOfMemory, EachStepOfAStartFailsAloneAndTheNextStartGetsFrames) {
  const auto monitor =
      reinterpret_cast<HMONITOR>(winsim_add_monitor(32, 16, 1000, nullptr, 0, nullptr, 0));
  FrameCounter handler;
  Capture capture;
  int out_of_memory = 0;
  int failed_starts = 0;  // StartCapture's own failures: its session was made
  fail_each_allocation([&] { return start_capture(monitor, handler, capture); },
                       [&](HRESULT hr) {
                         // An allocation winsim can do without (a zombie's record)
                         // does not fail the start.
                         EXPECT_TRUE(hr == E_OUTOFMEMORY || hr == S_OK) << hr;
                         out_of_memory += hr == E_OUTOFMEMORY;
                         failed_starts += hr == E_OUTOFMEMORY && capture.session;
                         capture = {};
                         // Nothing of a failed start stays alive: no pool, no
                         // registration holding one.
                         EXPECT_EQ(live_objects(), "");
                       });
  EXPECT_GT(out_of_memory, 20);
  // Its registration and, in a process where no delivery thread runs yet, its
  // thread.
  EXPECT_GE(failed_starts, 1);

  // That run started a capture that gets frames.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (handler.frames.load() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(handler.frames.load(), 3);
  capture = {};
}

TEST_F(WinsimOutOfMemory, FunctionsThatSetTheLastErrorSayOutOfMemory) {
  const auto monitor =
      reinterpret_cast<HMONITOR>(winsim_add_monitor(640, 480, 60, nullptr, 0, nullptr, 0));
  const auto window = reinterpret_cast<HWND>(
      winsim_add_window(reinterpret_cast<const char16_t*>(u"a window title that is long"), 27, 64,
                        48, 1, 0, 0, 0, 0));
  const auto failed_with = [](DWORD error) {
    return [error](BOOL ok) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(GetLastError(), error);
    };
  };
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  EXPECT_GT(fail_each_allocation([&] { return GetMonitorInfoW(monitor, &info); },
                                 failed_with(ERROR_OUTOFMEMORY)),
            0);
  const auto count = [](HMONITOR, HDC, LPRECT, LPARAM) -> BOOL { return TRUE; };
  EXPECT_GT(fail_each_allocation([&] { return EnumDisplayMonitors(nullptr, nullptr, count, 0); },
                                 failed_with(ERROR_OUTOFMEMORY)),
            0);
  WCHAR title[64];
  EXPECT_GT(fail_each_allocation([&] { return GetWindowTextW(window, title, 64); },
                                 failed_with(ERROR_OUTOFMEMORY)),
            0);
  EXPECT_GT(
      fail_each_allocation([&] { return FindWindowW(nullptr, title) == window ? TRUE : FALSE; },
                           failed_with(ERROR_OUTOFMEMORY)),
      0);
}

TEST_F(WinsimOutOfMemory, ControlCallsSayOutOfMemory) {
  EXPECT_GT(fail_each_allocation(
                [] {
                  return winsim_add_window(
                      reinterpret_cast<const char16_t*>(u"a long window title"), 19, 64, 48, 1, 0,
                      0, 0, 0);
                },
                [](uintptr_t window) {
                  EXPECT_EQ(window, 0u);
                  EXPECT_EQ(winsim_take_failure(), WINSIM_OUT_OF_MEMORY);
                  EXPECT_EQ(winsim_take_failure(), WINSIM_OK);  // taken
                }),
            0);
  EXPECT_EQ(winsim_take_failure(), WINSIM_OK);
}

// A thread ended inside a callback (pthread_exit, thread cancellation) unwinds
// through winsim's entry: the guard lets that through instead of taking it for
// a failure, which would abort the process.
TEST_F(WinsimOutOfMemory, AForcedUnwindGoesThroughAnEntry) {
  winsim_add_monitor(640, 480, 60, nullptr, 0, nullptr, 0);
  static std::atomic<bool> returned{false};
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, nullptr,
                [](void*) -> void* {
                  const auto end_thread = [](HMONITOR, HDC, LPRECT, LPARAM) -> BOOL {
                    pthread_exit(nullptr);
                  };
                  EnumDisplayMonitors(nullptr, nullptr, end_thread, 0);
                  returned = true;
                  return nullptr;
                },
                nullptr),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  EXPECT_FALSE(returned.load());
}

}  // namespace
