#include "capture/frame_delivery.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "capture/frame.h"
#include "common/fork_guard.h"
#include "desktop/content.h"
#include "desktop/pointer.h"
#include "oleaut32/error_info.h"
#include "opticatcher/com_ptr.h"

namespace winsim::capture {

namespace {

using Clock = std::chrono::steady_clock;

// How long the worker waits before it tries again when it had no memory to
// choose the frames due.
constexpr auto kRetryDelay = std::chrono::milliseconds(10);

struct ActiveCapture {
  std::shared_ptr<PoolCore> core;
  Target target;
  Clock::time_point due;
};

struct PresentRequest {
  std::uintptr_t target = 0;
  std::uint32_t count = 0;
  bool done = false;
};

struct Task {
  std::function<void()> run;
  bool done = false;
};

struct Delivery {
  std::mutex mutex;
  std::condition_variable wake;      // the worker
  std::condition_variable finished;  // presenters, reset() and fork()
  std::map<std::uint64_t, ActiveCapture> captures;
  std::vector<PresentRequest*> requests;
  std::vector<std::shared_ptr<Task>> tasks;
  std::uint64_t last_capture = 0;
  bool automatic = true;
  bool worker_running = false;
  int in_progress = 0;
  int forks_waiting = 0;  // threads in fork() waiting for the delivery in progress
};

thread_local bool t_delivery_thread = false;

// After fork().
//
// Only the forking thread goes on in the child, so the child has no delivery
// thread. Before fork() the forking thread waits for the delivery in progress
// (no new one starts meanwhile) and keeps the delivery lock until fork() has
// returned: no frame is half delivered in the child (no pool or texture lock
// held by the delivery, no handler call still counted as running).
//
// In the child, captures started in the parent are forgotten: they get no
// further frames there (an opticatcher capture keeps its last frame, which
// frame() still reads), and stopping or releasing them returns at once.
// Captures started in the child get frames from a delivery thread of the
// child's own, made when the first one starts, and present() works for them.
// A fork from the delivery thread itself (inside a FrameArrived handler) keeps
// everything: that thread goes on delivering in the child.
void prepare_fork(void* context) {
  auto& state = *static_cast<Delivery*>(context);
  std::unique_lock lock(state.mutex);
  if (!t_delivery_thread) {
    ++state.forks_waiting;
    state.finished.wait(lock, [&] { return state.in_progress == 0; });
    --state.forks_waiting;
  }
  (void)lock.release();  // held across fork()
}

void parent_after_fork(void* context) {
  auto& state = *static_cast<Delivery*>(context);
  state.wake.notify_all();  // deliveries held back for the fork go on
  state.mutex.unlock();
}

void child_after_fork(void* context) {
  auto& state = *static_cast<Delivery*>(context);
  // Threads of the parent may have been waiting on these: they are made anew,
  // not destroyed, since destroying waits for the waiters.
  new (&state.wake) std::condition_variable;
  new (&state.finished) std::condition_variable;
  state.requests.clear();  // their presenters are in the parent
  state.tasks.clear();
  if (!t_delivery_thread) {
    state.captures.clear();
    state.worker_running = false;
  }
  state.mutex.unlock();
}

// Never destroyed: the detached worker may outlive static destruction.
Delivery& delivery() {
  static auto* instance = [] {
    auto* state = new Delivery;
    fork::join(fork::Rank::kDelivery,
               fork::Participant{prepare_fork, parent_after_fork, child_after_fork, state});
    return state;
  }();
  return *instance;
}

// Renders one frame of `target` into the pool and raises FrameArrived. When
// memory runs out on the way the frame is not made, and nothing it took is
// left held.
void deliver_frame(const std::shared_ptr<PoolCore>& core, const Target& target) {
  const auto size = target_size(target);
  if (!size) return;  // the window is gone: no more frames
  auto content = desktop::content(target.handle());
  auto pointer = core->switches.cursor ? desktop::pointer(target.handle()) : std::nullopt;

  ComPtr<d3d11::Texture2D> buffer;
  ComPtr<FramePool> pool;
  {
    std::lock_guard lock(core->mutex);
    if (core->closed || core->owner == nullptr) return;
    // A removed device makes no more frames.
    if (core->device == nullptr || core->device->removed()) return;
    PoolCore::Buffer* idle = nullptr;
    for (PoolCore::Buffer& candidate : core->buffers) {
      if (!candidate.busy) {
        idle = &candidate;
        break;
      }
    }
    if (idle == nullptr) return;  // every buffer is held: no new frame
    if (!core->owner->try_add_reference()) return;
    pool = ComPtr<FramePool>::attach(core->owner);
    idle->busy = true;
    buffer = ComPtr<d3d11::Texture2D>::attach(idle->texture->add_reference());
  }
  ComPtr<Frame> frame;
  try {
    frame = ComPtr<Frame>::attach(Frame::create(core, buffer.get(), *size));
  } catch (...) {
    core->free_buffer(buffer.get());  // no frame holds it
    throw;
  }
  // From here on the frame keeps the buffer busy until it goes.
  if (d3d11::TextureState* texture = buffer->texture_state()) {
    d3d11::GpuGuard busy(*texture->gpu, "frame rendering");
    buffer->show({std::move(content), static_cast<UINT>(size->Width),
                  static_cast<UINT>(size->Height), pointer});
  }
  buffer.reset();

  std::vector<std::shared_ptr<Subscription>> handlers;
  {
    std::lock_guard lock(core->mutex);
    if (core->closed) return;  // the pool closed meanwhile: the frame goes
    handlers.reserve(core->subscriptions.size());
    core->ready.push_back(frame.get());
    (void)frame.detach();  // the queue's reference now
    for (const auto& subscription : core->subscriptions) {
      if (!subscription->removed) {
        ++subscription->running;
        subscription->handler->AddRef();
        handlers.push_back(subscription);
      }
    }
  }

  for (std::size_t i = 0; i < handlers.size(); ++i) {
    const auto& subscription = handlers[i];
    // The handler is called through the ABI: an exception from it ends the
    // process, as it would on Windows.
    [&]() noexcept { (void)subscription->handler->Invoke(pool.get(), nullptr); }();
    // Error information the handler left on this thread is not carried over
    // to the next call.
    oleaut32::clear_error_info();
    subscription->handler->Release();
    // The sender goes before the last call is reported finished: whoever waits
    // for it (remove_FrameArrived) may release the pool for good right after.
    if (i + 1 == handlers.size()) pool.reset();
    {
      std::lock_guard lock(core->mutex);
      --subscription->running;
    }
    core->invocation_done.notify_all();
  }
}

// One turn of the worker: the frames a presenter asked for, or those due now,
// or a wait. Called and left with the lock held; throws only while it holds
// the lock, before it has taken anything out of the state.
void deliver_turn(Delivery& state, std::unique_lock<std::mutex>& lock) {
  if (state.forks_waiting > 0) {
    state.wake.wait(lock);
    return;
  }
  if (!state.tasks.empty()) {
    std::shared_ptr<Task> task = state.tasks.front();
    state.tasks.erase(state.tasks.begin());
    ++state.in_progress;
    lock.unlock();
    try {
      task->run();
    } catch (const std::exception&) {
      // Out of memory inside the task: it did not complete.
    }
    lock.lock();
    --state.in_progress;
    task->done = true;
    state.finished.notify_all();
    return;
  }
  std::vector<std::pair<std::shared_ptr<PoolCore>, Target>> batch;
  PresentRequest* request = nullptr;
  std::uint32_t repeat = 1;
  if (!state.requests.empty()) {
    for (auto& [id, capture] : state.captures) {
      if (capture.target.handle() == state.requests.front()->target) {
        batch.emplace_back(capture.core, capture.target);
      }
    }
    request = state.requests.front();
    state.requests.erase(state.requests.begin());
    repeat = request->count;
  } else if (state.automatic) {
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (auto& [id, capture] : state.captures) {
      if (capture.due <= now) {
        batch.emplace_back(capture.core, capture.target);
        const auto period = frame_period(capture.target);
        capture.due += period;
        if (capture.due <= now) capture.due = now + period;  // fell behind: skip
      }
      next = std::min(next, capture.due);
    }
    if (batch.empty()) {
      state.wake.wait_until(lock, next);
      return;
    }
  } else {
    state.wake.wait(lock);
    return;
  }
  ++state.in_progress;
  lock.unlock();
  for (std::uint32_t i = 0; i < repeat; ++i) {
    for (auto& [core, target] : batch) {
      try {
        deliver_frame(core, target);
      } catch (const std::exception&) {
        // Out of memory: this frame is not made.
      }
    }
  }
  batch.clear();
  lock.lock();
  --state.in_progress;
  if (request != nullptr) request->done = true;
  state.finished.notify_all();
}

void worker() {
  t_delivery_thread = true;
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  while (!state.captures.empty() || !state.requests.empty() || !state.tasks.empty()) {
    try {
      deliver_turn(state, lock);
    } catch (const std::exception&) {
      // Out of memory while choosing the frames: none this time.
      state.wake.wait_for(lock, kRetryDelay);
    }
  }
  state.worker_running = false;
}

// Makes sure the worker runs; false when no thread can be made. The caller
// holds the delivery lock.
bool ensure_worker(Delivery& state) {
  if (state.worker_running) {
    state.wake.notify_all();
    return true;
  }
  try {
    std::thread(worker).detach();
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Only now: the new thread looks at the state once this lock is released.
  state.worker_running = true;
  return true;
}

}  // namespace

std::uint64_t start_delivery(std::shared_ptr<PoolCore> core, Target target) {
  Delivery& state = delivery();
  std::lock_guard lock(state.mutex);
  const std::uint64_t id = state.last_capture + 1;
  state.captures.emplace(id, ActiveCapture{std::move(core), target, Clock::now()});
  if (!ensure_worker(state)) {
    state.captures.erase(id);
    return 0;
  }
  state.last_capture = id;
  return id;
}

void stop_delivery(std::uint64_t capture) {
  std::shared_ptr<PoolCore> core;
  Delivery& state = delivery();
  {
    std::lock_guard lock(state.mutex);
    const auto found = state.captures.find(capture);
    if (found == state.captures.end()) return;
    core = std::move(found->second.core);
    state.captures.erase(found);
    state.wake.notify_all();
  }
}

bool set_automatic_delivery(bool automatic) {
  Delivery& state = delivery();
  std::lock_guard lock(state.mutex);
  state.automatic = automatic;
  if (automatic && !state.captures.empty()) {
    // Frames are due from now on, not for the time delivery was off.
    for (auto& [id, capture] : state.captures) capture.due = Clock::now();
    return ensure_worker(state);
  }
  return true;
}

bool present(std::uintptr_t target, std::uint32_t count) {
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  bool found = false;
  for (auto& [id, capture] : state.captures) found = found || capture.target.handle() == target;
  // A handler presenting from the delivery thread would wait for itself.
  if (!found || count == 0 || t_delivery_thread) return true;
  PresentRequest request{target, count, false};
  state.requests.push_back(&request);
  if (!ensure_worker(state)) {
    state.requests.pop_back();
    return false;
  }
  state.finished.wait(lock, [&] { return request.done; });
  return true;
}

void wait_for_deliveries() {
  if (t_delivery_thread) return;
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  // Tasks already queued count too: an answer on its way holds its operation.
  state.finished.wait(lock, [&] { return state.in_progress == 0 && state.tasks.empty(); });
}

bool run_on_delivery_thread(std::function<void()> task, bool wait) {
  if (wait && t_delivery_thread) {
    task();
    return true;
  }
  Delivery& state = delivery();
  auto queued = std::make_shared<Task>();
  queued->run = std::move(task);
  std::unique_lock lock(state.mutex);
  state.tasks.push_back(queued);
  if (!ensure_worker(state)) {
    state.tasks.pop_back();
    return false;
  }
  if (wait) state.finished.wait(lock, [&] { return queued->done; });
  return true;
}

void remove_capture_devices() {
  Delivery& state = delivery();
  std::lock_guard lock(state.mutex);
  for (auto& [id, capture] : state.captures) {
    std::lock_guard core_lock(capture.core->mutex);
    if (capture.core->device != nullptr) capture.core->device->mark_removed();
  }
}

bool on_delivery_thread() { return t_delivery_thread; }

}  // namespace winsim::capture
