#include "platform/windows/capture_item.h"

#include <gtest/gtest.h>

#include "platform/windows/device.h"
#include "winsim/control.h"

namespace {

class CaptureItem : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    // Activation needs the thread's apartment; this test thread joins the
    // multithreaded one once and stays there, as the module does.
    const HRESULT hr = RoInitialize(RO_INIT_MULTITHREADED);
    ASSERT_TRUE(SUCCEEDED(hr));
  }
  void TearDown() override {
    EXPECT_EQ(winsim_live_object_total(), 0) << "platform objects left alive";
  }

  static void fail(const char* operation, HRESULT code) {
    ASSERT_EQ(
        winsim_fail(operation, static_cast<uint32_t>(code), 1, 0, 0, nullptr, 0, nullptr, 0, 0),
        WINSIM_OK);
  }
};

TEST_F(CaptureItem, EachTargetGetsItsItem) {
  const auto monitor =
      static_cast<MonitorHandle>(winsim_add_monitor(640, 480, 60, nullptr, 0, u"Monitor", 7));
  const auto window =
      static_cast<WindowHandle>(winsim_add_window(u"target", 6, 320, 200, 1, 0, 0, 0, 0));
  for (const CaptureTarget& target : {CaptureTarget{CaptureTarget::Monitor{monitor}},
                                      CaptureTarget{CaptureTarget::Window{window}}}) {
    auto item = create_capture_item(target);
    ASSERT_TRUE(item);
    winrt_abi::SizeInt32 size{};
    ASSERT_EQ((*item)->get_Size(&size), S_OK);
    EXPECT_GT(size.Width, 0);
  }
  EXPECT_EQ(winsim_calls("CreateForMonitor"), 1);
  EXPECT_EQ(winsim_calls("CreateForWindow"), 1);
  // The item factory is not kept: one activation per item.
  EXPECT_EQ(winsim_calls("RoGetActivationFactory"), 2);
}

TEST_F(CaptureItem, AWindowFailureIsAWindowError) {
  const auto window =
      static_cast<WindowHandle>(winsim_add_window(u"target", 6, 320, 200, 1, 0, 0, 0, 0));
  fail("CreateForWindow", E_ACCESSDENIED);
  auto item = create_capture_item({CaptureTarget::Window{window}});
  ASSERT_FALSE(item);
  ASSERT_EQ(item.error().kind(), CaptureError::Kind::Window);
  const auto& error = std::get<CaptureError::Window>(item.error().value).error;
  ASSERT_EQ(error.kind(), WindowError::Kind::WindowsError);
  EXPECT_EQ(std::get<WindowError::WindowsError>(error.value).api.code, E_ACCESSDENIED);
}

TEST_F(CaptureItem, AMonitorFailureIsAMonitorError) {
  const auto monitor =
      static_cast<MonitorHandle>(winsim_add_monitor(640, 480, 60, nullptr, 0, u"Monitor", 7));
  for (const char* operation : {"RoGetActivationFactory", "CreateForMonitor"}) {
    fail(operation, REGDB_E_CLASSNOTREG);
    auto item = create_capture_item({CaptureTarget::Monitor{monitor}});
    ASSERT_FALSE(item) << operation;
    ASSERT_EQ(item.error().kind(), CaptureError::Kind::Monitor) << operation;
    const auto& error = std::get<CaptureError::Monitor>(item.error().value).error;
    ASSERT_EQ(error.kind(), MonitorError::Kind::WindowsError);
    EXPECT_EQ(std::get<MonitorError::WindowsError>(error.value).api.code, REGDB_E_CLASSNOTREG);
  }
}

TEST_F(CaptureItem, PoolsHaveTheFixedFormatAndBufferCount) {
  auto device = create_d3d_device();
  ASSERT_TRUE(device);
  auto runtime_device = create_direct3d_device(device->device.get());
  ASSERT_TRUE(runtime_device);
  auto pool = create_frame_pool(runtime_device->get(), {640, 480});
  ASSERT_TRUE(pool);
  fail("CreateFreeThreaded", E_ACCESSDENIED);
  auto refused = create_frame_pool(runtime_device->get(), {640, 480});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), CaptureError::Kind::WindowsError);
}

}  // namespace
