#include "errors.h"
#include "platform/windows/api_error.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(ErrorValues, FactoriesBuildTheirCase) {
  using MK = MonitorError::Kind;
  EXPECT_EQ(MonitorError::of(MK::GetNameFailed).kind(), MK::GetNameFailed);
  EXPECT_EQ(MonitorError::parse_index(IntParseFailure::PosOverflow).kind(), MK::ParseIndex);
  EXPECT_EQ(MonitorError::windows(null_object_error()).kind(), MK::WindowsError);

  using WK = WindowError::Kind;
  EXPECT_EQ(WindowError::of(WK::NoActiveWindow).kind(), WK::NoActiveWindow);
  EXPECT_EQ(WindowError::not_found("x").kind(), WK::NotFound);
  EXPECT_EQ(WindowError::windows(null_object_error()).kind(), WK::WindowsError);

  using CK = CaptureError::Kind;
  EXPECT_EQ(CaptureError::of(CK::NotContiguous).kind(), CK::NotContiguous);
  EXPECT_EQ(CaptureError::windows(null_object_error()).kind(), CK::WindowsError);
  EXPECT_EQ(CaptureError::from(MonitorError::of(MK::NotFound)).kind(), CK::Monitor);
  EXPECT_EQ(CaptureError::from(WindowError::of(WK::NoActiveWindow)).kind(), CK::Window);
  EXPECT_EQ(CaptureError::carrying({}).kind(), CK::Python);
}

TEST(ErrorValues, CaseWithAPayloadCannotBeBuiltWithout) {
  EXPECT_THROW(static_cast<void>(MonitorError::of(MonitorError::Kind::ParseIndex)), InternalFault);
  EXPECT_THROW(static_cast<void>(WindowError::of(WindowError::Kind::NotFound)), InternalFault);
  EXPECT_THROW(static_cast<void>(CaptureError::of(CaptureError::Kind::Python)), InternalFault);
  EXPECT_THROW(static_cast<void>(CaptureError::of(CaptureError::Kind::Window)), InternalFault);
}

TEST(ErrorValues, NestedErrorsKeepTheirText) {
  EXPECT_EQ(
      error_message(CaptureError::from(MonitorError::parse_index(IntParseFailure::InvalidDigit))),
      "Failed to parse monitor index: invalid digit found in string");
  EXPECT_EQ(error_message(CaptureError::from(WindowError::not_found("Editor"))),
            "Failed to find window with name 'Editor'");
  EXPECT_EQ(error_message(CaptureError::of(CaptureError::Kind::FirstFrameTimeout)),
            "No frame arrived within 5s");
}

TEST(ErrorValues, OutRefusalsAreDescribedFromTheirData) {
  const struct {
    CaptureError error;
    PythonException exception;
    const char* message;
  } cases[] = {
      {CaptureError::out_wrong_type("list", "ndarray"), PythonException::TypeError,
       "'list' object is not an instance of 'ndarray'"},
      {CaptureError::out_wrong_shape({1080, 1920, 3}, {1080, 1920, 4}), PythonException::ValueError,
       "out has shape [1080, 1920, 3], expected [1080, 1920, 4]"},
      // The shapes are plain lists: any number of dimensions on either side.
      {CaptureError::out_wrong_shape({0}, {2, 3}), PythonException::ValueError,
       "out has shape [0], expected [2, 3]"},
  };
  for (const auto& [error, exception, message] : cases) {
    const ErrorDescription description = describe(error);
    EXPECT_EQ(description.exception, exception) << message;
    EXPECT_EQ(description.message, message);
  }
}

int released = 0;
void count_release(void*) { ++released; }

TEST(ErrorValues, CarriedExceptionIsReleasedOnceWithTheError) {
  released = 0;
  int token = 0;
  {
    CaptureError error = CaptureError::carrying(CarriedException(&token, count_release));
    CaptureError moved = std::move(error);
    EXPECT_EQ(released, 0);
  }
  EXPECT_EQ(released, 1);
}

}  // namespace
