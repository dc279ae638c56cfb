#include "platform/windows/capture.h"

#include <mutex>
#include <optional>
#include <utility>

#include "expected_ops.h"
#include "platform/windows/api_error.h"
#include "opticatcher/abi/capture_abi.h"
#include "platform/windows/capture_item.h"
#include "platform/windows/com_call.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/device.h"
#include "platform/windows/frame.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/session_switches.h"
#include "platform/windows/win32.h"

// What a running capture holds. The frame-arrival handler holds the other
// reference to the slot (and is itself held by the pool).
struct CaptureState {
  ComPtr<winrt_abi::IDirect3D11CaptureFramePool> frame_pool;
  ComPtr<winrt_abi::IGraphicsCaptureSession> session;
  std::shared_ptr<LatestFrameSlot> slot;
  EventRegistrationToken frame_arrived_token{};
  ReadbackResources readback;
};

namespace {

using FramePool = winrt_abi::IDirect3D11CaptureFramePool;
using Session = winrt_abi::IGraphicsCaptureSession;

// Whether this thread has joined the multithreaded apartment (or already had
// an apartment of another kind, which serves as well). The apartment is never
// left again.
thread_local bool apartment_initialised = false;

std::expected<void, CaptureError> initialise_apartment() {
  if (apartment_initialised) return {};
  const HRESULT hr = RoInitialize(RO_INIT_MULTITHREADED);
  if (SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE) {
    apartment_initialised = true;
    return {};
  }
  // The flag stays false: the next start on this thread tries again.
  return transform_error(com_check(hr), CaptureError::windows);
}

// A failure that is deliberately ignored still takes the thread's error
// information with it, so that it cannot be mistaken later for the
// information of an unrelated failure.
void ignore(HRESULT hr) { static_cast<void>(com_check(hr)); }

void close(IUnknown* object) {
  if (object == nullptr) return;
  if (auto closable = query<winrt_abi::IClosable>(object)) ignore((*closable)->Close());
}

// Shuts down whatever of a pipeline exists: the session first, so that no new
// frame is produced, then the handler's subscription (which waits for a call
// already running), then the pool, and last the slot, now that nobody can fill
// it again; closing it wakes whoever waits for a frame. Every failure is
// ignored.
void shut_down(CaptureState& state, bool subscribed) {
  close(state.session.get());
  if (subscribed) ignore(state.frame_pool->remove_FrameArrived(state.frame_arrived_token));
  close(state.frame_pool.get());
  if (state.slot) state.slot->close();
}

// Lets go of every reference a state holds, in a fixed order.
void release(CaptureState& state) {
  state.frame_pool.reset();
  state.session.reset();
  state.slot.reset();
  state.readback.device.reset();
  state.readback.context.reset();
  state.readback.staging.reset();
  state.readback.region_staging.reset();
}

// Tears down a pipeline that `start` could not complete.
template <class Error>
std::unexpected<CaptureError> abandon(CaptureState& state, bool subscribed, Error&& error) {
  shut_down(state, subscribed);
  release(state);
  if constexpr (std::is_same_v<std::decay_t<Error>, CaptureError>) {
    return std::unexpected(std::forward<Error>(error));
  } else {
    return std::unexpected(CaptureError::windows(std::forward<Error>(error)));
  }
}

// The region of `content` (the frame's readable size) that `region` names,
// when it lies inside: no negative part, and its far edges within the content.
std::optional<CopyRegion> region_inside(const FrameRectangle& region, CopyRegion content) {
  if (region.left < 0 || region.top < 0 || region.width < 0 || region.height < 0) {
    return std::nullopt;
  }
  // Compared without adding two parts, whose sum may pass 2^63.
  const std::int64_t width = content.width;
  const std::int64_t height = content.height;
  if (region.left > width || region.width > width - region.left || region.top > height ||
      region.height > height - region.top) {
    return std::nullopt;
  }
  return CopyRegion{
      static_cast<std::uint32_t>(region.width), static_cast<std::uint32_t>(region.height),
      static_cast<std::uint32_t>(region.left), static_cast<std::uint32_t>(region.top)};
}

}  // namespace

FrameWait::Result FrameWait::wait_until(std::chrono::steady_clock::time_point deadline) const {
  switch (slot_->wait_for_newer(newest_read_, deadline)) {
    case LatestFrameSlot::Wait::Arrived:
      return Result::Arrived;
    case LatestFrameSlot::Wait::Closed:
      return Result::Stopped;
    case LatestFrameSlot::Wait::TimedOut:
      break;
  }
  return Result::TimedOut;
}

Capture::Capture() = default;

Capture::~Capture() { stop(); }

std::expected<void, CaptureError> Capture::start(const CaptureTarget& target,
                                                 bool await_first_frame) {
  stop();
  if (auto checked = check_capture_target(target); !checked) return checked;
  if (auto apartment = initialise_apartment(); !apartment) return apartment;

  // The item is needed only while the pipeline is built; it goes when start
  // returns, whatever the outcome.
  auto item = create_capture_item(target);
  if (!item) return std::unexpected(std::move(item.error()));

  auto device = create_d3d_device();
  // Built in place: a moved-through temporary trips a false uninitialised-use
  // warning of g++ -O3 in the Windows build.
  if (!device) return std::expected<void, CaptureError>(std::unexpect, std::move(device.error()));

  winrt_abi::SizeInt32 size{};
  if (auto read = com_check((*item)->get_Size(&size)); !read) {
    return transform_error(std::move(read), CaptureError::windows);
  }

  auto pool = [&]() -> std::expected<ComPtr<FramePool>, CaptureError> {
    auto runtime_device =
        transform_error(create_direct3d_device(device->device.get()), CaptureError::windows);
    if (!runtime_device) return std::unexpected(std::move(runtime_device.error()));
    // The runtime device wrapper goes as soon as the pool has been made.
    return create_frame_pool(runtime_device->get(), size);
  }();
  if (!pool) return std::unexpected(std::move(pool.error()));

  auto state = std::make_unique<CaptureState>();
  state->frame_pool = std::move(*pool);
  state->slot = std::make_shared<LatestFrameSlot>();

  {
    // The pool keeps its own reference to the handler; this one goes at the
    // end of the block.
    auto handler = FrameArrivedHandler::create(state->slot, device->device.clone(), size);
    if (auto added = com_check(
            state->frame_pool->add_FrameArrived(handler.get(), &state->frame_arrived_token));
        !added) {
      return abandon(*state, false, std::move(added.error()));
    }
  }

  auto session = com_object<Session>(
      [&](Session** out) { return state->frame_pool->CreateCaptureSession(item->get(), out); });
  if (!session) return abandon(*state, true, std::move(session.error()));
  state->session = std::move(*session);

  // Switches that are off apply before the first frame; the session has the
  // others on by default, so they need no call.
  for (const auto& [which, on] :
       {std::pair{SessionSwitch::Cursor, cursor_}, std::pair{SessionSwitch::Border, border_}}) {
    if (on) continue;
    if (auto set = set_session_switch(state->session.get(), which, false); !set) {
      return abandon(*state, true, std::move(set.error()));
    }
  }

  if (auto started = com_check(state->session->StartCapture()); !started) {
    return abandon(*state, true, std::move(started.error()));
  }

  state->readback.device = std::move(device->device);
  state->readback.context = std::move(device->context);
  state_ = std::move(state);

  if (await_first_frame) {
    // The capture stays active after a timeout: frames may still come.
    if (auto first = state_->slot->wait_for_first_frame(FIRST_FRAME_TIMEOUT); !first) {
      return first;
    }
  }
  return {};
}

void Capture::stop() {
  std::unique_ptr<CaptureState> state = std::move(state_);
  if (!state) return;
  shut_down(*state, true);
  release(*state);
}

std::expected<void, CaptureError> Capture::read_frame(FrameDestination& destination) const {
  return read(nullptr, destination);
}

std::expected<void, CaptureError> Capture::read_region(const FrameRectangle& region,
                                                       FrameDestination& destination) const {
  return read(&region, destination);
}

std::expected<void, CaptureError> Capture::read(const FrameRectangle* rectangle,
                                                FrameDestination& destination) const {
  if (!state_) return std::unexpected(CaptureError::of(CaptureError::Kind::NotRunning));
  auto source = latest_frame_texture(*state_->slot);
  if (!source) return std::unexpected(std::move(source.error()));
  CopyRegion region = source->region;
  if (rectangle != nullptr) {
    auto inside = region_inside(*rectangle, region);
    if (!inside) {
      return std::unexpected(CaptureError::region_outside(*rectangle, region.width, region.height));
    }
    region = *inside;
  }
  const PixelLayout layout = pixel_layout_;
  auto bytes = destination.prepare(region.height, region.width, layout);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  // An empty rectangle has nothing to copy (and a texture cannot be empty).
  if (rectangle != nullptr && (region.width == 0 || region.height == 0)) {
    state_->slot->mark_read(source->number);
    return {};
  }
  ReadbackResources& readback = state_->readback;
  const StagingUse use = rectangle != nullptr ? StagingUse::Region : StagingUse::Frame;
  auto copied = destination.run_copy([&] {
    std::lock_guard lock(readback.mutex);
    return copy_frame_to_buffer(readback, source->texture.get(), region, *bytes, use, layout);
  });
  if (copied) state_->slot->mark_read(source->number);
  return copied;
}

std::expected<FrameWait, CaptureError> Capture::frame_wait() const {
  if (!state_) return std::unexpected(CaptureError::of(CaptureError::Kind::NotRunning));
  return FrameWait(state_->slot, state_->slot->newest_read());
}

std::expected<void, CaptureError> Capture::set_switch(SessionSwitch which, bool on, bool& setting) {
  if (state_) {
    if (auto set = set_session_switch(state_->session.get(), which, on); !set) return set;
  }
  setting = on;
  return {};
}

std::expected<void, CaptureError> Capture::set_cursor(bool on) {
  return set_switch(SessionSwitch::Cursor, on, cursor_);
}

std::expected<void, CaptureError> Capture::set_border(bool on) {
  return set_switch(SessionSwitch::Border, on, border_);
}
