#include "internal_fault.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RunGuarded, PassesTheBodysValueThrough) {
  int reports = 0;
  const int value = run_guarded([] { return 7; }, [&](const char*) { return ++reports, -1; });
  EXPECT_EQ(value, 7);
  EXPECT_EQ(reports, 0);
}

TEST(RunGuarded, TurnsAFaultIntoTheReportedFailure) {
  std::string reported;
  const int value = run_guarded([]() -> int { internal_fault("slot lost its frame"); },
                                [&](const char* message) {
                                  reported = message;
                                  return -1;
                                });
  EXPECT_EQ(value, -1);
  EXPECT_EQ(reported, "slot lost its frame");
}

TEST(RunGuarded, DescribesForeignExceptions) {
  std::string reported;
  run_guarded([] { throw 42; }, [&](const char* message) { reported = message; });
  EXPECT_EQ(reported, "unknown internal fault");
}

TEST(RunGuardedDeathTest, AFaultWhileReportingEndsTheProcess) {
  EXPECT_DEATH(run_guarded([]() -> int { internal_fault("first"); },
                           [](const char*) -> int { internal_fault("second"); }),
               "uncaught panic at ffi boundary");
}

}  // namespace
