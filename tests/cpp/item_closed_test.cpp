// The item's Closed handler and the slot's closed target: the mechanics the
// Python tests reach only through winsim's event.
#include "platform/windows/item_closed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(ItemClosed, TheEventEndsEveryWaitForGoodAndKeepsTheSlot) {
  auto slot = std::make_shared<LatestFrameSlot>();
  auto handler = ItemClosedHandler::create(slot);
  std::vector<std::thread> waiters;
  std::atomic<int> closed{0};
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([slot, &closed] {
      const auto result = slot->wait_for_newer(1, std::chrono::steady_clock::now() + 60s);
      if (result == LatestFrameSlot::Wait::Closed) ++closed;
    });
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(slot->target_closed());
  // The sender is not needed, and may be missing.
  EXPECT_EQ(handler->Invoke(nullptr, nullptr), S_OK);
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(closed, 3);
  EXPECT_TRUE(slot->target_closed());
  EXPECT_EQ(slot->wait_for_newer(1, std::chrono::steady_clock::now() + 60s),
            LatestFrameSlot::Wait::Closed);
  // The handler holds the slot until its last reference goes.
  EXPECT_EQ(slot.use_count(), 2);
  handler.reset();
  EXPECT_EQ(slot.use_count(), 1);
}

TEST(ItemClosed, QueryInterfaceAnswersAsAnAgileDelegate) {
  auto handler = ItemClosedHandler::create(std::make_shared<LatestFrameSlot>());
  for (const IID* iid : {&IID_IUnknown, &IID_IAgileObject,
                         &winrt_abi::IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable}) {
    void* object = nullptr;
    ASSERT_EQ(handler->QueryInterface(*iid, &object), S_OK);
    EXPECT_EQ(object, static_cast<IUnknown*>(handler.get()));
    static_cast<IUnknown*>(object)->Release();
  }
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(
      handler->QueryInterface(winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable, &other),
      E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(handler->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
