#include "capture/frame_delivery.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "capture/frame.h"
#include "desktop/content.h"
#include "desktop/pointer.h"
#include "oleaut32/error_info.h"

namespace winsim::capture {

namespace {

using Clock = std::chrono::steady_clock;

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

struct Delivery {
  std::mutex mutex;
  std::condition_variable wake;      // the worker
  std::condition_variable finished;  // presenters and reset()
  std::map<std::uint64_t, ActiveCapture> captures;
  std::vector<PresentRequest*> requests;
  std::uint64_t last_capture = 0;
  bool automatic = true;
  bool worker_running = false;
  int in_progress = 0;
};

// Never destroyed: the detached worker may outlive static destruction.
Delivery& delivery() {
  static auto* instance = new Delivery;
  return *instance;
}

thread_local bool t_delivery_thread = false;

// Renders one frame of `target` into the pool and raises FrameArrived.
void deliver_frame(const std::shared_ptr<PoolCore>& core, const Target& target) {
  const auto size = target_size(target);
  if (!size) return;  // the window is gone: no more frames
  auto content = desktop::content(target.handle());
  auto pointer = core->switches.cursor ? desktop::pointer(target.handle()) : std::nullopt;

  d3d11::Texture2D* buffer = nullptr;
  FramePool* pool = nullptr;
  {
    std::lock_guard lock(core->mutex);
    if (core->closed || core->owner == nullptr) return;
    for (PoolCore::Buffer& candidate : core->buffers) {
      if (!candidate.busy) {
        buffer = candidate.texture;
        break;
      }
    }
    if (buffer == nullptr) return;  // every buffer is held: no new frame
    if (!core->owner->try_add_reference()) return;
    pool = core->owner;
    for (PoolCore::Buffer& candidate : core->buffers) {
      if (candidate.texture == buffer) candidate.busy = true;
    }
    buffer->AddRef();
  }
  if (d3d11::TextureState* texture = buffer->texture_state()) {
    d3d11::GpuGuard busy(*texture->gpu, "frame rendering");
    buffer->show({std::move(content), static_cast<UINT>(size->Width),
                  static_cast<UINT>(size->Height), pointer});
  }
  Frame* frame = Frame::create(core, buffer, *size);
  buffer->Release();

  std::vector<std::shared_ptr<Subscription>> handlers;
  {
    std::lock_guard lock(core->mutex);
    if (!core->closed) {
      core->ready.push_back(std::exchange(frame, nullptr));
      for (const auto& subscription : core->subscriptions) {
        if (!subscription->removed) {
          ++subscription->running;
          subscription->handler->AddRef();
          handlers.push_back(subscription);
        }
      }
    }
  }
  if (frame != nullptr) frame->Release();  // the pool closed meanwhile

  for (std::size_t i = 0; i < handlers.size(); ++i) {
    const auto& subscription = handlers[i];
    (void)subscription->handler->Invoke(pool, nullptr);
    // Error information the handler left on this thread is not carried over
    // to the next call.
    oleaut32::clear_error_info();
    subscription->handler->Release();
    // The sender goes before the last call is reported finished: whoever waits
    // for it (remove_FrameArrived) may release the pool for good right after.
    if (i + 1 == handlers.size()) std::exchange(pool, nullptr)->Release();
    {
      std::lock_guard lock(core->mutex);
      --subscription->running;
    }
    core->invocation_done.notify_all();
  }
  if (pool != nullptr) pool->Release();
}

void worker() {
  t_delivery_thread = true;
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  while (true) {
    if (state.captures.empty() && state.requests.empty()) {
      state.worker_running = false;
      return;
    }
    std::vector<std::pair<std::shared_ptr<PoolCore>, Target>> batch;
    PresentRequest* request = nullptr;
    std::uint32_t repeat = 1;
    if (!state.requests.empty()) {
      request = state.requests.front();
      state.requests.erase(state.requests.begin());
      repeat = request->count;
      for (auto& [id, capture] : state.captures) {
        if (capture.target.handle() == request->target)
          batch.emplace_back(capture.core, capture.target);
      }
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
        continue;
      }
    } else {
      state.wake.wait(lock);
      continue;
    }
    ++state.in_progress;
    lock.unlock();
    for (std::uint32_t i = 0; i < repeat; ++i) {
      for (auto& [core, target] : batch) deliver_frame(core, target);
    }
    batch.clear();
    lock.lock();
    --state.in_progress;
    if (request != nullptr) request->done = true;
    state.finished.notify_all();
  }
}

// The caller holds the delivery lock.
void ensure_worker(Delivery& state) {
  if (state.worker_running) {
    state.wake.notify_all();
    return;
  }
  state.worker_running = true;
  std::thread(worker).detach();
}

}  // namespace

std::uint64_t start_delivery(std::shared_ptr<PoolCore> core, Target target) {
  Delivery& state = delivery();
  std::lock_guard lock(state.mutex);
  const std::uint64_t id = ++state.last_capture;
  state.captures.emplace(id, ActiveCapture{std::move(core), target, Clock::now()});
  ensure_worker(state);
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

void set_automatic_delivery(bool automatic) {
  Delivery& state = delivery();
  std::lock_guard lock(state.mutex);
  state.automatic = automatic;
  if (automatic && !state.captures.empty()) {
    // Frames are due from now on, not for the time delivery was off.
    for (auto& [id, capture] : state.captures) capture.due = Clock::now();
    ensure_worker(state);
  }
}

bool present(std::uintptr_t target, std::uint32_t count) {
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  bool found = false;
  for (auto& [id, capture] : state.captures) found = found || capture.target.handle() == target;
  // A handler presenting from the delivery thread would wait for itself.
  if (!found || count == 0 || t_delivery_thread) return found;
  PresentRequest request{target, count, false};
  state.requests.push_back(&request);
  ensure_worker(state);
  state.finished.wait(lock, [&] { return request.done; });
  return true;
}

void wait_for_deliveries() {
  if (t_delivery_thread) return;
  Delivery& state = delivery();
  std::unique_lock lock(state.mutex);
  state.finished.wait(lock, [&] { return state.in_progress == 0; });
}

bool on_delivery_thread() { return t_delivery_thread; }

}  // namespace winsim::capture
