#include "internal_fault.h"

#include <gtest/gtest.h>

#include <pthread.h>

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

#if defined(__GLIBC__)
// A daemon thread ended by the interpreter at exit is unwound by the C library;
// the firewall lets that unwind through to the thread's start, cleaning up on
// the way, instead of reporting it (which would abort the process).
TEST(RunGuarded, LetsAThreadExitUnwindThrough) {
  struct Seen {
    bool cleaned_up = false;
    bool reported = false;
    bool returned = false;
  } seen;
  pthread_t thread;
  auto body = [](void* argument) -> void* {
    auto& seen = *static_cast<Seen*>(argument);
    run_guarded(
        [&] {
          struct Cleanup {
            bool& flag;
            ~Cleanup() { flag = true; }
          } cleanup{seen.cleaned_up};
          pthread_exit(nullptr);
        },
        [&](const char*) { seen.reported = true; });
    seen.returned = true;
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, nullptr, body, &seen), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  EXPECT_TRUE(seen.cleaned_up);
  EXPECT_FALSE(seen.reported);
  EXPECT_FALSE(seen.returned);
}
#endif

}  // namespace
