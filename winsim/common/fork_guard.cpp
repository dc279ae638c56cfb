#include "common/fork_guard.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>

namespace winsim::fork {

namespace {

constexpr std::size_t kRanks = static_cast<std::size_t>(Rank::kCount);

struct Slot {
  std::atomic<bool> joined{false};
  Participant participant{};
};

Slot g_slots[kRanks];

// The participants this thread prepared: one may join while another thread
// forks, and must then be left alone after fork() as it was before.
thread_local bool t_prepared[kRanks];

void prepare() {
  for (std::size_t rank = 0; rank < kRanks; ++rank) {
    Slot& slot = g_slots[rank];
    t_prepared[rank] = slot.joined.load(std::memory_order_acquire);
    if (t_prepared[rank]) slot.participant.prepare(slot.participant.context);
  }
}

void after_fork(void (*Participant::*side)(void*)) {
  for (std::size_t rank = kRanks; rank-- > 0;) {
    const Participant& participant = g_slots[rank].participant;
    if (t_prepared[rank]) (participant.*side)(participant.context);
    t_prepared[rank] = false;
  }
}

void parent() { after_fork(&Participant::parent); }
void child() { after_fork(&Participant::child); }

[[maybe_unused]] const int g_registered = pthread_atfork(prepare, parent, child);

void lock(void* mutex) { static_cast<std::mutex*>(mutex)->lock(); }
void unlock(void* mutex) { static_cast<std::mutex*>(mutex)->unlock(); }

}  // namespace

void join(Rank rank, Participant participant) {
  Slot& slot = g_slots[static_cast<std::size_t>(rank)];
  slot.participant = participant;
  slot.joined.store(true, std::memory_order_release);
}

void join(Rank rank, std::mutex& mutex) { join(rank, Participant{lock, unlock, unlock, &mutex}); }

}  // namespace winsim::fork
