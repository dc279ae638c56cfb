#include "binding/access_counter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(AccessCounter, SharedAccessesStackAndBlockExclusive) {
  AccessCounter counter;
  {
    SharedAccess first(counter);
    SharedAccess second(counter);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(counter.value(), 2);
    EXPECT_FALSE(ExclusiveAccess(counter));
  }
  EXPECT_EQ(counter.value(), 0);
  ExclusiveAccess exclusive(counter);
  EXPECT_TRUE(exclusive);
  EXPECT_FALSE(SharedAccess(counter));
  EXPECT_FALSE(ExclusiveAccess(counter));
  EXPECT_EQ(counter.value(), -1);
}

TEST(AccessCounter, RefusedAccessLeavesTheCounterAlone) {
  AccessCounter counter;
  {
    ExclusiveAccess exclusive(counter);
    for (int i = 0; i < 3; ++i) SharedAccess refused(counter);
    EXPECT_EQ(counter.value(), -1);
  }
  EXPECT_EQ(counter.value(), 0);
}

// Readers and writers hammer one counter; a writer must never overlap anyone.
TEST(AccessCounter, ExclusiveNeverOverlapsUnderThreads) {
  AccessCounter counter;
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<int> exclusive_grants{0};
  std::atomic<bool> overlap{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20000; ++i) {
        if ((i + t) % 5 == 0) {
          ExclusiveAccess access(counter);
          if (!access) continue;
          ++exclusive_grants;
          if (writers.fetch_add(1) != 0 || readers.load() != 0) overlap = true;
          writers.fetch_sub(1);
        } else {
          SharedAccess access(counter);
          if (!access) continue;
          readers.fetch_add(1);
          if (writers.load() != 0) overlap = true;
          readers.fetch_sub(1);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(overlap);
  EXPECT_GT(exclusive_grants.load(), 0);
  EXPECT_EQ(counter.value(), 0);
}

}  // namespace
