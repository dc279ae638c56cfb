// Frame delivery: winsim's own worker thread, standing for the capture
// service's. It renders frames of started sessions into their pools and raises
// FrameArrived: automatically (the first frame right after StartCapture, then
// at the target's refresh rate), or, with automatic delivery off, only when the
// control API asks (present). The thread ends when no session needs it and is
// detached, so it never keeps the process from exiting.
//
// A thread that cannot be made (out of memory or threads) leaves nothing
// behind: the call that needed it fails and the next one tries again. After
// fork(), the child has no delivery thread; see frame_delivery.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "capture/frame_pool.h"
#include "capture/target.h"

namespace winsim::capture {

// Registers a started session; returns its registration, or 0 (nothing
// registered) when the delivery thread cannot be made.
std::uint64_t start_delivery(std::shared_ptr<PoolCore> core, Target target);
// Stops it: no frame is started for it afterwards.
void stop_delivery(std::uint64_t capture);

// False when automatic delivery is switched on but the delivery thread cannot
// be made; a later start or present tries again.
bool set_automatic_delivery(bool automatic);

// Delivers `count` frames to every started capture of `target` now (or tries
// to: a pool without a free buffer gets none) and returns after their
// FrameArrived handlers have run; at once when no capture of `target` runs.
// False, with nothing delivered, when the delivery thread cannot be made.
bool present(std::uintptr_t target, std::uint32_t count);

// Waits until no delivery is in progress and no task is queued.
void wait_for_deliveries();

// Runs `task` on the delivery thread, after the deliveries already asked for
// (the thread is started for it when none runs). With `wait`, returns once it
// has run (at once, running it here, when called on the delivery thread). A
// task counts as a delivery in progress while it runs. False, with nothing
// run, when the delivery thread cannot be made.
bool run_on_delivery_thread(std::function<void()> task, bool wait);

// Marks the Direct3D device of every started capture removed.
void remove_capture_devices();

bool on_delivery_thread();

}  // namespace winsim::capture
