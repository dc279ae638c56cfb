// winsim's process-wide state around fork().
//
// A caller may fork while other threads are inside winsim (Python's
// multiprocessing forks by default on Linux). The child has only the forking
// thread: a lock that another thread held at that moment would stay held in
// the child for ever, and the structure it guards could be half changed. So
// the forking thread takes each process-wide lock before fork() and releases
// it afterwards, in the parent and in the child, which thus starts with every
// structure whole and every lock free.
//
// Locks are taken in the order of their ranks: a lock that is ever held while
// another one is taken comes first. Each process-wide structure joins once,
// when it is made.
#pragma once

#include <mutex>

namespace winsim::fork {

enum class Rank {
  kDelivery,  // frame delivery: asks the desktop for refresh rates under its lock
  kDesktop,
  kContent,
  kPointers,
  kSessions,
  kItems,
  kStrings,
  kBstrs,
  kLocalHeap,  // records misuse under its lock
  kCensus,
  kOperations,
  kMisuse,
  kCount,
};

struct Participant {
  void (*prepare)(void* context);  // before fork(), in rank order
  void (*parent)(void* context);   // after fork(), in reverse rank order
  void (*child)(void* context);    // after fork(), in reverse rank order
  void* context;
};

// Makes `participant` the one of `rank`.
void join(Rank rank, Participant participant);

// The usual participant: `mutex` is held by the forking thread across fork()
// and released afterwards on both sides.
void join(Rank rank, std::mutex& mutex);

// A new process-wide structure guarded by its member `mutex`, which joins as
// the participant of `rank`.
template <typename Structure>
Structure* make_joined(Rank rank) {
  auto* made = new Structure;
  join(rank, made->mutex);
  return made;
}

}  // namespace winsim::fork
