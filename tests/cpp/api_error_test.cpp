#include "platform/windows/api_error.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/windows/text.h"
#include "winsim/control.h"

namespace {

class ApiError : public ::testing::Test {
 protected:
  void SetUp() override { winsim_reset(); }
  void TearDown() override {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(winsim_live_object_total(), 0) << "platform objects left alive";
  }

  // Attaches error information to this thread as a failing COM method does.
  static void attach(const std::optional<std::string>& description,
                     const std::optional<std::string>& restricted = std::nullopt) {
    const WideString text = to_wide(description.value_or(""));
    const WideString restricted_text = to_wide(restricted.value_or(""));
    winsim_set_error_info(description ? reinterpret_cast<const char16_t*>(text.c_str()) : nullptr,
                          text.size(), reinterpret_cast<const char16_t*>(restricted_text.c_str()),
                          restricted_text.size(), restricted.has_value());
  }

  static std::string text_of(HRESULT hr) { return windows_error_text(hresult_from_com(hr)); }
};

TEST_F(ApiError, SystemMessageWithoutErrorInfo) {
  EXPECT_EQ(text_of(E_ACCESSDENIED), "Access is denied. (0x80070005)");
  EXPECT_EQ(text_of(static_cast<HRESULT>(0x80040154)), "Class not registered (0x80040154)");
  EXPECT_EQ(text_of(static_cast<HRESULT>(0x80071234)), "0x80071234");
}

TEST_F(ApiError, RestrictedDescriptionComesFirst) {
  attach("Plain words", "Restricted words");
  EXPECT_EQ(text_of(E_FAIL), "Restricted words (0x80004005)");
  attach("Plain words", "");
  EXPECT_EQ(text_of(E_FAIL), "Plain words (0x80004005)");
  attach("Only plain");
  EXPECT_EQ(text_of(E_FAIL), "Only plain (0x80004005)");
}

TEST_F(ApiError, EmptyDescriptionLeavesTheCodeAlone) {
  attach("");
  EXPECT_EQ(text_of(E_FAIL), "0x80004005");
  attach(std::nullopt, "");
  EXPECT_EQ(text_of(E_FAIL), "0x80004005");
}

TEST_F(ApiError, TrailingWhitespaceGoesLeadingStays) {
  attach("  spaced out \t\r\n");
  EXPECT_EQ(text_of(E_FAIL), "  spaced out (0x80004005)");
}

TEST_F(ApiError, LoneSurrogatesBecomeReplacementCharacters) {
  const char16_t units[] = {u'a', 0xD800, u'b'};
  winsim_set_error_info(units, 3, nullptr, 0, 0);
  EXPECT_EQ(text_of(E_FAIL),
            "a\xEF\xBF\xBD"
            "b (0x80004005)");
}

TEST_F(ApiError, ComErrorTakesTheThreadsInfo) {
  attach("taken");
  const WindowsApiError error = hresult_from_com(E_FAIL);
  ASSERT_TRUE(error.info);
  IErrorInfo* left = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);
  EXPECT_EQ(left, nullptr);
  // The message is looked up when the text is made, from the kept object.
  EXPECT_EQ(windows_error_text(error), "taken (0x80004005)");
  EXPECT_EQ(windows_error_text(null_object_error()),
            "The operation completed successfully. (0x00000000)");
}

TEST_F(ApiError, LastErrorBecomesAnHresult) {
  const auto code_of = [](DWORD value) {
    SetLastError(value);
    return static_cast<unsigned>(hresult_from_last_error().code);
  };
  EXPECT_EQ(code_of(5), 0x80070005u);
  EXPECT_EQ(code_of(0), 0u);
  EXPECT_EQ(code_of(0x52345), 0x80072345u);
  EXPECT_EQ(code_of(0xC0000022), 0xC0000022u);
  SetLastError(5);
  EXPECT_FALSE(hresult_from_last_error().info);
}

TEST_F(ApiError, NtStatusTextsComeFromNtdll) {
  SetLastError(0xD000000D);
  EXPECT_EQ(windows_error_text(hresult_from_last_error()),
            "An invalid parameter was passed to a service or function. (0xD000000D)");
}

}  // namespace
