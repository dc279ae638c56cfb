#include "platform/windows/com_call.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/text.h"
#include "winsim/control.h"

namespace {

class ComCall : public ::testing::Test {
 protected:
  void SetUp() override { winsim_reset(); }
  void TearDown() override {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(winsim_live_object_total(), 0) << "platform objects left alive";
    EXPECT_EQ(winsim_errors(nullptr, 0), 1u) << "misuse recorded";  // just the terminator
  }

  // A simulated error object, owned by the caller.
  static ComPtr<IErrorInfo> error_object(bool restricted) {
    const WideString text = to_wide("described");
    winsim_set_error_info(reinterpret_cast<const char16_t*>(text.c_str()), text.size(),
                          reinterpret_cast<const char16_t*>(text.c_str()), text.size(), restricted);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.put()), S_OK);
    return info;
  }

  static void fail_query(const char* interface_name, HRESULT code, bool null_object) {
    const std::string operation = std::string("QueryInterface:") + interface_name;
    winsim_fail(operation.c_str(), static_cast<uint32_t>(code), 1, 0, null_object, nullptr, 0,
                nullptr, 0, 0);
  }
};

TEST_F(ComCall, ObjectCallHandsOverTheDeliveredReference) {
  ComPtr<IErrorInfo> source = error_object(false);
  auto object = com_object<IErrorInfo>([&](IErrorInfo** out) {
    *out = source.clone().detach();
    return S_OK;
  });
  ASSERT_TRUE(object.has_value());
  EXPECT_EQ(object->get(), source.get());
}

TEST_F(ComCall, FailureKeepsTheCodeAndTakesTheThreadsErrorInformation) {
  auto object = com_object<IErrorInfo>([](IErrorInfo**) {
    winsim_set_error_info(nullptr, 0, nullptr, 0, 0);
    return E_ACCESSDENIED;
  });
  ASSERT_FALSE(object.has_value());
  EXPECT_EQ(object.error().code, E_ACCESSDENIED);
  EXPECT_TRUE(object.error().info);
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(GetErrorInfo(0, left.put()), S_FALSE) << "the error information stays on the thread";
}

TEST_F(ComCall, SuccessWithoutAnObjectIsTheNullObjectError) {
  auto object = com_object<IErrorInfo>([](IErrorInfo**) { return S_OK; });
  ASSERT_FALSE(object.has_value());
  EXPECT_EQ(object.error().code, 0);
  EXPECT_FALSE(object.error().info);
}

TEST_F(ComCall, QueryUsesTheInterfacesOwnId) {
  ComPtr<IErrorInfo> info = error_object(false);
  auto unknown = query<IUnknown>(info);
  ASSERT_TRUE(unknown.has_value());
  auto again = query<IErrorInfo>(unknown->get());
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->get(), info.get());
  EXPECT_EQ(winsim_calls("QueryInterface:IErrorInfo"), 1);
}

TEST_F(ComCall, QueryReportsWhatTheObjectSaid) {
  ComPtr<IErrorInfo> info = error_object(false);
  fail_query("IErrorInfo", E_OUTOFMEMORY, false);
  auto failed = query<IErrorInfo>(info);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().code, E_OUTOFMEMORY);

  fail_query("IErrorInfo", S_OK, true);
  auto empty = query<IErrorInfo>(info);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().code, 0);
  EXPECT_FALSE(empty.error().info);
}

TEST_F(ComCall, QueryOnNothingIsAnInternalFault) {
  ComPtr<IErrorInfo> none;
  EXPECT_THROW(static_cast<void>(query<IUnknown>(none)), InternalFault);
}

TEST_F(ComCall, CheckPassesSuccessCodesAndKeepsFailures) {
  EXPECT_TRUE(com_check(S_OK).has_value());
  EXPECT_TRUE(com_check(S_FALSE).has_value());
  auto failed = com_check(E_INVALIDARG);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().code, E_INVALIDARG);
}

}  // namespace
