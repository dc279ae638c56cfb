#include "platform/windows/frame_arrival.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

#include "common/fake_frame_pool.h"
#include "platform/windows/capture_item.h"
#include "platform/windows/device.h"
#include "winsim/control.h"

namespace {

using namespace std::chrono_literals;

// IUnknown and IInspectable for the hand-made test doubles below, with a
// count the tests can read.
template <class Interface>
class Fake : public Interface {
 public:
  explicit Fake(ULONG initial_references) : references(initial_references) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IInspectable || iid == InterfaceId<Interface>::value) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }

  // Lives on the stack: the count only tells who still holds it.
  std::atomic<ULONG> references;
};

class FakeFrame final : public Fake<winrt_abi::IDirect3D11CaptureFrame> {
 public:
  // Nobody holds a new frame.
  explicit FakeFrame(winrt_abi::SizeInt32 content = {800, 600}) : Fake(0), content(content) {}
  HRESULT STDMETHODCALLTYPE get_Surface(winrt_abi::IDirect3DSurface**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(winrt_abi::TimeSpan*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_ContentSize(winrt_abi::SizeInt32* size) override {
    if (size_failure != S_OK) return size_failure;
    *size = content;
    return S_OK;
  }

  winrt_abi::SizeInt32 content;
  HRESULT size_failure = S_OK;
};

// The shared pool double, checking what every Recreate is asked for.
class FakePool final : public FakeFramePool<Fake<winrt_abi::IDirect3D11CaptureFramePool>> {
 public:
  FakePool() : FakeFramePool(1) {}

  HRESULT STDMETHODCALLTYPE Recreate(winrt_abi::IDirect3DDevice* device,
                                     winrt_abi::DirectXPixelFormat format, INT32 buffers,
                                     winrt_abi::SizeInt32 size) override {
    EXPECT_NE(device, nullptr);
    EXPECT_EQ(format, POOL_PIXEL_FORMAT);
    EXPECT_EQ(buffers, POOL_BUFFER_COUNT);
    // The frame that showed the growth is already published.
    if (slot != nullptr) {
      EXPECT_TRUE(slot->holds_frame());
    }
    return FakeFramePool::Recreate(device, format, buffers, size);
  }

  // Queues a frame that lives on the test's stack.
  void queue(FakeFrame& frame) {
    frame.AddRef();
    frames.push_back(ComPtr<winrt_abi::IDirect3D11CaptureFrame>::attach(&frame));
  }

  LatestFrameSlot* slot = nullptr;
};

class FrameArrival : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    auto created = create_d3d_device();
    ASSERT_TRUE(created);
    device = std::move(*created);
  }
  void TearDown() override {
    handler.reset();
    slot.reset();
    device = {};
    EXPECT_EQ(winsim_live_object_total(), 0) << "platform objects left alive";
  }

  void make_handler(winrt_abi::SizeInt32 pool_size = {800, 600}) {
    handler = FrameArrivedHandler::create(slot, device.device.clone(), pool_size);
  }

  HRESULT arrive(FakeFrame& frame) {
    pool.queue(frame);
    return handler->Invoke(&pool, nullptr);
  }

  D3DDevice device;
  std::shared_ptr<LatestFrameSlot> slot = std::make_shared<LatestFrameSlot>();
  ComPtr<FrameArrivedHandler> handler;
  FakePool pool;
};

// ---------------------------------------------------------------------------
// The slot

ComPtr<LatestFrameSlot::Frame> hold(FakeFrame& frame) {
  frame.AddRef();
  return ComPtr<LatestFrameSlot::Frame>::attach(&frame);
}

TEST(LatestFrameSlot, EmptyUntilAFrameArrives) {
  LatestFrameSlot slot;
  auto taken = slot.take_latest();
  ASSERT_FALSE(taken);
  EXPECT_EQ(taken.error().kind(), CaptureError::Kind::NoFrameYet);
  auto waited = slot.wait_for_first_frame(20ms);
  ASSERT_FALSE(waited);
  EXPECT_EQ(waited.error().kind(), CaptureError::Kind::FirstFrameTimeout);
}

TEST(LatestFrameSlot, KeepsOnlyTheLatestFrameAndHandsOutReferences) {
  FakeFrame first, second;
  {
    LatestFrameSlot slot;
    slot.publish(hold(first));
    EXPECT_TRUE(slot.wait_for_first_frame(0ms));  // already there: no wait
    slot.publish(hold(second));
    EXPECT_EQ(first.references, 0u);  // released when replaced
    {
      auto taken = slot.take_latest();
      auto again = slot.take_latest();
      ASSERT_TRUE(taken && again);
      EXPECT_EQ(taken->get(), again->get());  // the frame stays in the slot
      EXPECT_EQ(taken->get(), &second);
      EXPECT_EQ(second.references, 3u);  // the slot's and the two taken
    }
    slot.empty();
    EXPECT_EQ(second.references, 0u);
    EXPECT_FALSE(slot.take_latest());
    slot.publish(hold(first));
  }
  EXPECT_EQ(first.references, 0u);  // the dying slot released its frame
}

TEST(LatestFrameSlot, AWaiterWakesWhenTheFirstFrameArrives) {
  LatestFrameSlot slot;
  FakeFrame frame;
  std::thread worker([&] {
    std::this_thread::sleep_for(20ms);
    slot.publish(hold(frame));
  });
  EXPECT_TRUE(slot.wait_for_first_frame(60s));
  worker.join();
  slot.empty();
}

TEST(LatestFrameSlot, NumbersFramesAndWaitsForOneNewerThanTheNewestRead) {
  LatestFrameSlot slot;
  FakeFrame frame;
  const auto soon = [] { return std::chrono::steady_clock::now() + 10ms; };
  EXPECT_EQ(slot.newest_read(), 1u);  // the first frame counts as read
  EXPECT_EQ(slot.wait_for_newer(1, soon()), LatestFrameSlot::Wait::TimedOut);
  slot.publish(hold(frame));
  EXPECT_EQ(slot.wait_for_newer(1, soon()), LatestFrameSlot::Wait::TimedOut);
  slot.publish(hold(frame));
  slot.publish(hold(frame));
  auto latest = slot.take_latest_numbered();
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->number, 3u);
  EXPECT_EQ(slot.wait_for_newer(slot.newest_read(), soon()), LatestFrameSlot::Wait::Arrived);
  slot.mark_read(3);
  slot.mark_read(2);  // a slower reader of an older frame does not go back
  EXPECT_EQ(slot.newest_read(), 3u);
  EXPECT_EQ(slot.wait_for_newer(3, soon()), LatestFrameSlot::Wait::TimedOut);
  latest->frame.reset();
  slot.empty();
}

TEST(LatestFrameSlot, ClosingWakesEveryWaiterForGood) {
  auto slot = std::make_shared<LatestFrameSlot>();
  FakeFrame frame;
  slot->publish(hold(frame));
  std::vector<std::thread> waiters;
  std::atomic<int> closed{0};
  for (int i = 0; i < 3; ++i) {
    // Each waiter holds the slot, as a wait for a frame does.
    waiters.emplace_back([slot, &closed] {
      const auto result = slot->wait_for_newer(1, std::chrono::steady_clock::now() + 60s);
      if (result == LatestFrameSlot::Wait::Closed) ++closed;
    });
  }
  std::this_thread::sleep_for(20ms);
  slot->close();
  EXPECT_EQ(frame.references, 0u);  // closing drops the frame
  slot.reset();                     // the capture's reference goes; the waiters keep theirs
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(closed, 3);
}

// ---------------------------------------------------------------------------
// The handler

TEST_F(FrameArrival, QueryInterfaceAnswers) {
  make_handler();
  IUnknown* unknown = nullptr;
  for (const IID* iid : {&IID_IUnknown, &IID_IAgileObject,
                         &winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable}) {
    void* object = nullptr;
    ASSERT_EQ(handler->QueryInterface(*iid, &object), S_OK);
    ASSERT_NE(object, nullptr);
    // Every answer is the one object.
    static_cast<IUnknown*>(object)->QueryInterface(IID_IUnknown,
                                                   reinterpret_cast<void**>(&unknown));
    EXPECT_EQ(unknown, static_cast<IUnknown*>(handler.get()));
    unknown->Release();
    static_cast<IUnknown*>(object)->Release();
  }

  // IMarshal comes from the free-threaded marshaler, made on the first query
  // (a failure to make it is passed on, and the next query tries again) and
  // then kept for the handler's life.
  ASSERT_EQ(winsim_fail("CoCreateFreeThreadedMarshaler", static_cast<uint32_t>(E_OUTOFMEMORY), 1, 0,
                        0, nullptr, 0, nullptr, 0, 0),
            WINSIM_OK);
  void* marshal = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler->QueryInterface(IID_IMarshal, &marshal), E_OUTOFMEMORY);
  EXPECT_EQ(marshal, nullptr);
  for (int query = 0; query < 2; ++query) {
    ASSERT_EQ(handler->QueryInterface(IID_IMarshal, &marshal), S_OK);
    ASSERT_NE(marshal, nullptr);
    static_cast<IUnknown*>(marshal)->Release();
  }
  EXPECT_EQ(winsim_calls("CoCreateFreeThreadedMarshaler"), 2);

  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler->QueryInterface(IID_IInspectable, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(handler->QueryInterface(IID_IErrorInfo, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(handler->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  // A null identifier, passed the way a C caller passes it: through the
  // interface table, where REFIID is a plain pointer.
  using RawQueryInterface = HRESULT(STDMETHODCALLTYPE*)(void*, const IID*, void**);
  void* const self = static_cast<IUnknown*>(handler.get());
  const auto raw_query = reinterpret_cast<RawQueryInterface>((*static_cast<void***>(self))[0]);
  EXPECT_EQ(raw_query(self, nullptr, &other), E_POINTER);
  EXPECT_EQ(other, nullptr);

  EXPECT_EQ(handler->AddRef(), 2u);
  EXPECT_EQ(handler->Release(), 1u);
}

TEST_F(FrameArrival, ReleasingTheLastReferenceFreesTheHandler) {
  make_handler();
  std::weak_ptr<LatestFrameSlot> watched = slot;
  slot.reset();
  EXPECT_FALSE(watched.expired());  // the handler holds the other reference
  handler.reset();
  EXPECT_TRUE(watched.expired());
}

TEST_F(FrameArrival, InvokeStoresTheFrame) {
  make_handler();
  FakeFrame first, second;
  EXPECT_EQ(arrive(first), S_OK);
  EXPECT_TRUE(slot->wait_for_first_frame(0ms));
  EXPECT_EQ(first.references, 1u);  // held by the slot only
  EXPECT_EQ(arrive(second), S_OK);
  EXPECT_EQ(first.references, 0u);
  EXPECT_EQ(slot->take_latest()->get(), &second);
  EXPECT_TRUE(pool.recreated.empty());
  slot->empty();
}

TEST_F(FrameArrival, InvokeFailuresLeaveTheSlotAlone) {
  make_handler();
  FakeFrame stored, broken({900, 900});
  ASSERT_EQ(arrive(stored), S_OK);

  EXPECT_EQ(handler->Invoke(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(handler->Invoke(&pool, nullptr), S_OK);  // no frame ready
  pool.next_failure = E_ACCESSDENIED;
  EXPECT_EQ(handler->Invoke(&pool, nullptr), E_ACCESSDENIED);
  pool.next_failure = S_OK;
  broken.size_failure = E_FAIL;
  EXPECT_EQ(arrive(broken), E_FAIL);
  EXPECT_EQ(broken.references, 0u);  // released by the handler

  EXPECT_EQ(slot->take_latest()->get(), &stored);
  EXPECT_TRUE(pool.recreated.empty());
  EXPECT_EQ(handler->recorded_pool_size().Width, 800);
  slot->empty();
}

TEST_F(FrameArrival, ThePoolGrowsAfterTheFrameIsPublished) {
  make_handler({800, 600});
  pool.slot = slot.get();
  auto arrive_sized = [&](INT32 width, INT32 height) {
    FakeFrame frame({width, height});
    const HRESULT hr = arrive(frame);
    EXPECT_EQ(slot->take_latest()->get(), &frame);  // stored even when growth fails
    slot->empty();
    return hr;
  };

  EXPECT_EQ(arrive_sized(640, 480), S_OK);  // shrinking recreates nothing
  EXPECT_TRUE(pool.recreated.empty());
  EXPECT_EQ(arrive_sized(1024, 768), S_OK);
  ASSERT_EQ(pool.recreated.size(), 1u);
  EXPECT_EQ(pool.recreated[0].Width, 1024);
  EXPECT_EQ(pool.recreated[0].Height, 768);
  EXPECT_EQ(arrive_sized(700, 900), S_OK);  // taller only: recorded as it is
  EXPECT_EQ(handler->recorded_pool_size().Width, 700);
  EXPECT_EQ(handler->recorded_pool_size().Height, 900);
  EXPECT_EQ(arrive_sized(800, 600), S_OK);
  EXPECT_EQ(pool.recreated.size(), 3u);

  pool.recreate_failure = E_OUTOFMEMORY;
  EXPECT_EQ(arrive_sized(1600, 1200), E_OUTOFMEMORY);
  EXPECT_EQ(handler->recorded_pool_size().Width, 800);  // unchanged
  pool.recreate_failure = S_OK;
  EXPECT_EQ(arrive_sized(1600, 1200), S_OK);  // tried again
  EXPECT_EQ(pool.recreated.size(), 5u);
  EXPECT_EQ(handler->recorded_pool_size().Height, 1200);
}

TEST_F(FrameArrival, ConcurrentInvocationsAndReaders) {
  make_handler({100, 100});
  constexpr int kFrames = 2000;
  std::deque<FakeFrame> frames;
  for (int i = 0; i < kFrames; ++i) frames.emplace_back(winrt_abi::SizeInt32{100 + i % 7, 100});
  std::atomic<int> next{0};
  std::atomic<bool> done{false};

  // Each invocation gets its own pool double, as the frames come from
  // different buffers; both growth and publication run concurrently.
  auto invoker = [&] {
    FakePool own;
    for (int i; (i = next.fetch_add(1)) < kFrames;) {
      own.queue(frames[i]);
      EXPECT_EQ(handler->Invoke(&own, nullptr), S_OK);
    }
  };
  std::thread reader([&] {
    while (!done) {
      if (auto frame = slot->take_latest()) {
        EXPECT_NE(frame->get(), nullptr);
      }
    }
  });
  std::thread a(invoker), b(invoker);
  a.join();
  b.join();
  done = true;
  reader.join();
  slot->empty();
  for (const auto& frame : frames) EXPECT_EQ(frame.references, 0u);
  EXPECT_EQ(handler->recorded_pool_size().Width, 106);
}

}  // namespace
