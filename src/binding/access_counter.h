// The per-instance access counter: many shared accesses or one exclusive one.
#pragma once

#include <atomic>
#include <cstdint>

class AccessCounter {
 public:
  bool try_share() {
    std::intptr_t current = count_.load(std::memory_order_relaxed);
    do {
      if (current == kExclusive) return false;
    } while (!count_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                           std::memory_order_relaxed));
    return true;
  }
  void release_shared() { count_.fetch_sub(1, std::memory_order_release); }

  bool try_exclusive() {
    std::intptr_t expected = 0;
    return count_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }
  void release_exclusive() { count_.store(0, std::memory_order_release); }

  std::intptr_t value() const { return count_.load(std::memory_order_relaxed); }

 private:
  static constexpr std::intptr_t kExclusive = -1;
  std::atomic<std::intptr_t> count_{0};
};

// Holds a shared access for its lifetime, when it was granted.
class SharedAccess {
 public:
  explicit SharedAccess(AccessCounter& counter)
      : counter_(counter.try_share() ? &counter : nullptr) {}
  SharedAccess(const SharedAccess&) = delete;
  SharedAccess& operator=(const SharedAccess&) = delete;
  ~SharedAccess() {
    if (counter_) counter_->release_shared();
  }
  explicit operator bool() const { return counter_ != nullptr; }

 private:
  AccessCounter* counter_;
};

// Holds the exclusive access for its lifetime, when it was granted.
class ExclusiveAccess {
 public:
  explicit ExclusiveAccess(AccessCounter& counter)
      : counter_(counter.try_exclusive() ? &counter : nullptr) {}
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
  ~ExclusiveAccess() {
    if (counter_) counter_->release_exclusive();
  }
  explicit operator bool() const { return counter_ != nullptr; }

 private:
  AccessCounter* counter_;
};
