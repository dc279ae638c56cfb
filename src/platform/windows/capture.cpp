#include "platform/windows/capture.h"

#include <cmath>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "expected_ops.h"
#include "platform/windows/apartment.h"
#include "platform/windows/capture_session.h"
#include "platform/windows/com_call.h"
#include "platform/windows/frame.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/win32.h"

namespace {

// Whether the target of a running capture has gone: the item said so, or a
// look at its handle finds it gone now (which the slot then records).
bool target_gone(LatestFrameSlot& slot, const CaptureTarget& target) {
  if (slot.target_closed()) return true;
  if (capture_target_exists(target)) return false;
  slot.mark_target_closed();
  return true;
}

// Windows Runtime times and intervals count 100-nanosecond ticks.
constexpr double kTicksPerSecond = 1e7;

// An interval already checked to lie within 0 to MAX_UPDATE_INTERVAL seconds.
std::int64_t interval_ticks(double seconds) { return std::llround(seconds * kTicksPerSecond); }

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
  // Frames are numbered anew from each start, also one that fails.
  stopped_number_ = 0;
  stopped_time_ = 0;
  if (auto checked = check_capture_target(target); !checked) return checked;
  if (auto apartment = initialise_apartment(); !apartment) return apartment;

  std::optional<std::int64_t> interval;
  if (min_update_interval_) interval = interval_ticks(*min_update_interval_);
  auto session =
      CaptureSession::open(target, SessionSettings{.cursor = cursor_,
                                                   .border = border_,
                                                   .secondary_windows = secondary_windows_,
                                                   .min_update_interval = interval});
  if (!session) return std::unexpected(std::move(session.error()));
  running_ = std::move(*session);

  if (await_first_frame) {
    // The capture stays active after a timeout: frames may still come.
    if (auto first = running_->slot()->wait_for_first_frame(FIRST_FRAME_TIMEOUT); !first) {
      return first;
    }
  }
  return {};
}

void Capture::stop() {
  if (!running_) return;
  // The last read stays known until the next start.
  std::tie(stopped_number_, stopped_time_) = last_read();
  // Inactive from here on; the session's destruction is the teardown.
  running_.reset();
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
  if (!running_) return std::unexpected(CaptureError::of(CaptureError::Kind::NotRunning));
  auto source = latest_frame_texture(*running_->slot());
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
  const ReadRecord read{source->number, source->time};
  if (rectangle != nullptr && (region.width == 0 || region.height == 0)) {
    running_->slot()->mark_read(read);
    return {};
  }
  ReadbackResources& readback = running_->readback();
  const StagingUse use = rectangle != nullptr ? StagingUse::Region : StagingUse::Frame;
  auto copied = destination.run_copy([&] {
    std::lock_guard lock(readback.mutex);
    return copy_frame_to_buffer(readback, source->texture.get(), region, *bytes, use, layout);
  });
  if (copied) running_->slot()->mark_read(read);
  return copied;
}

std::expected<FrameWait, CaptureError> Capture::frame_wait() const {
  if (!running_) return std::unexpected(CaptureError::of(CaptureError::Kind::NotRunning));
  return FrameWait(running_->slot(), running_->slot()->newest_read(), running_->target());
}

bool FrameWait::target_gone() const { return ::target_gone(*slot_, target_); }

bool Capture::target_closed() const {
  return running_ != nullptr && ::target_gone(*running_->slot(), running_->target());
}

std::expected<void, CaptureError> Capture::set_switch(SessionSwitch which, bool on, bool& setting) {
  if (running_) {
    if (auto set = running_->set_switch(which, on); !set) return set;
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

std::expected<void, CaptureError> Capture::set_secondary_windows(bool on) {
  return set_switch(SessionSwitch::SecondaryWindows, on, secondary_windows_);
}

std::expected<void, CaptureError> Capture::set_min_update_interval(std::optional<double> seconds) {
  if (seconds && !(std::isfinite(*seconds) && *seconds >= 0 && *seconds <= MAX_UPDATE_INTERVAL)) {
    return std::unexpected(CaptureError::of(CaptureError::Kind::InvalidUpdateInterval));
  }
  if (running_ && seconds) {
    if (auto set = running_->set_update_interval(interval_ticks(*seconds)); !set) return set;
  }
  min_update_interval_ = seconds;
  return {};
}

std::pair<std::uint64_t, std::int64_t> Capture::last_read() const {
  if (!running_) return {stopped_number_, stopped_time_};
  const ReadRecord read = running_->slot()->last_read();
  return {read.number, read.time};
}

std::uint64_t Capture::frame_number() const { return last_read().first; }

std::optional<double> Capture::frame_time() const {
  const auto [number, time] = last_read();
  if (number == 0) return std::nullopt;
  return static_cast<double>(time) / kTicksPerSecond;
}
