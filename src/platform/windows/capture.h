// The capture lifecycle and frame readback: an idle capture, or one running on
// a target whose latest frame can be read at any time, from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "errors.h"
#include "function_ref.h"
#include "pixel_layout.h"
#include "platform/windows/target.h"

// What a running capture holds: known only to the capture's own code.
class CaptureSession;
class LatestFrameSlot;

// Where `Capture::read_frame` writes a frame: supplied by its caller, which
// decides what the memory is and how the copy runs.
class FrameDestination {
 public:
  using Copy = FunctionRef<std::expected<void, CaptureError>()>;

  // The memory for a frame of `height` rows of `width` pixels in `layout`:
  // exactly height * width * pixel_layout_bytes(layout) bytes, rows packed.
  // Called once the frame's size is known, with the frame held.
  virtual std::expected<std::span<std::byte>, CaptureError> prepare(std::uint32_t height,
                                                                    std::uint32_t width,
                                                                    PixelLayout layout) = 0;

  // Runs `copy`, the GPU wait and the copy into the prepared memory, and
  // returns its result. It touches nothing of the caller's but that memory, so
  // the caller may let other work run meanwhile.
  virtual std::expected<void, CaptureError> run_copy(Copy copy) = 0;

 protected:
  ~FrameDestination() = default;
};

// A wait for a frame newer than the newest one a read of the capture has
// returned. It holds the capture's latest-frame slot, not the capture: the
// capture may stop (or start anew) meanwhile, which ends the wait, and the
// slot stays alive for as long as the wait needs it. Any thread may wait.
class FrameWait {
 public:
  enum class Result { Arrived, Stopped, TimedOut };

  // Waits until a newer frame has arrived (at once if one has), the capture
  // has stopped or its target has gone (both Stopped), or `deadline` has
  // passed.
  Result wait_until(std::chrono::steady_clock::time_point deadline) const;

  // Looks at the target's handle: true, and every wait of the capture ended,
  // once the target has gone. For a waiter to call between waits.
  bool target_gone() const;

 private:
  friend class Capture;
  FrameWait(std::shared_ptr<LatestFrameSlot> slot, std::uint64_t newest_read, CaptureTarget target)
      : slot_(std::move(slot)), newest_read_(newest_read), target_(target) {}

  std::shared_ptr<LatestFrameSlot> slot_;
  std::uint64_t newest_read_;
  CaptureTarget target_;
};

class Capture {
 public:
  Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  ~Capture();

  bool active() const { return running_ != nullptr; }

  // Whether the running capture's target has gone: the item raised Closed, or
  // its handle no longer names a window (IsWindow) or a monitor. Looking
  // checks the handle. False when idle. The capture stays active and its
  // last frame readable until stop.
  bool target_closed() const;

  // Stops a running capture, then sets up a new one on `target` and, when
  // `await_first_frame` is true, waits up to FIRST_FRAME_TIMEOUT for its first
  // frame. After a timeout the capture stays active.
  std::expected<void, CaptureError> start(const CaptureTarget& target, bool await_first_frame);

  // Closes the running capture, if any, and releases everything it held.
  // Platform failures on the way are ignored: this always succeeds.
  void stop();

  // Reads the latest frame into `destination`, in the capture's pixel layout:
  // "Capture is not running" or
  // "No frame available yet" first, then the frame's content region is sized,
  // `destination.prepare` gives the memory and `destination.run_copy` runs the
  // copy, under the capture's readback lock (taken inside the copy, so that a
  // caller that holds a lock of its own while it waits for that one never
  // blocks a reader). The frame stays the latest one. Safe from several
  // threads at once, as long as none of them runs `start` or `stop`.
  std::expected<void, CaptureError> read_frame(FrameDestination& destination) const;

  // Reads the rectangle `region` of the latest frame into `destination`, as
  // read_frame reads the whole frame: the GPU copies only the rectangle, into
  // a staging texture of its own size that is cached apart from
  // read_frame's. A rectangle that does not lie inside the frame's content
  // (or has a negative part) is refused once the content's size is known; an
  // empty one gets its memory prepared and nothing copied.
  std::expected<void, CaptureError> read_region(const FrameRectangle& region,
                                                FrameDestination& destination) const;

  // A wait for a frame newer than the newest one read_frame or read_region
  // has returned since start (newer than the first frame before any read);
  // "Capture is not running" when idle.
  std::expected<FrameWait, CaptureError> frame_wait() const;

  // Whether the mouse pointer is drawn into the frames, and whether Windows
  // draws its border around the captured target: on unless switched off.
  // Switching applies to the running session at once (a failure keeps the
  // old setting) and to every later start. See set_session_switch for the
  // Windows versions that lack a switch.
  bool cursor() const { return cursor_; }
  std::expected<void, CaptureError> set_cursor(bool on);
  bool border() const { return border_; }
  std::expected<void, CaptureError> set_border(bool on);

  // Whether the target's pop-up windows are drawn into its frames (off unless
  // switched on), with the same rules; on needs Windows 11 version 24H2.
  bool secondary_windows() const { return secondary_windows_; }
  std::expected<void, CaptureError> set_secondary_windows(bool on);

  // The shortest time between two frames that the session is asked for, in
  // seconds, or none (the system's pacing: no call is made). A value applies
  // to the running session at once and to every later start; none makes no
  // call, so a running session keeps the interval it was given until the
  // next start. A value that is negative, not finite or above
  // MAX_UPDATE_INTERVAL is refused; it goes to Windows in 100-nanosecond
  // ticks, rounded to the nearest. Needs Windows 11 version 24H2.
  std::optional<double> min_update_interval() const { return min_update_interval_; }
  std::expected<void, CaptureError> set_min_update_interval(std::optional<double> seconds);

  // The number (from 1 in arrival order since start) and the
  // SystemRelativeTime (in seconds) of the frame the read recorded last
  // returned: 0 and none before any read since start. After stop they still
  // describe the last read, until the next start (even one that fails).
  std::uint64_t frame_number() const;
  std::optional<double> frame_time() const;

  static constexpr double MAX_UPDATE_INTERVAL = 3600.0;  // seconds

  // The layout read_frame and read_region write pixels in: RGBA unless set.
  // A change applies to every later read, running or not.
  PixelLayout pixel_layout() const { return pixel_layout_; }
  void set_pixel_layout(PixelLayout layout) { pixel_layout_ = layout; }

 private:
  std::expected<void, CaptureError> read(const FrameRectangle* region,
                                         FrameDestination& destination) const;
  std::expected<void, CaptureError> set_switch(SessionSwitch which, bool on, bool& setting);
  // What the last read since start returned, from the slot while running.
  std::pair<std::uint64_t, std::int64_t> last_read() const;

  std::unique_ptr<CaptureSession> running_;
  bool cursor_ = true;
  bool border_ = true;
  bool secondary_windows_ = false;
  std::optional<double> min_update_interval_;
  // The last read of the capture that stop ended: number (0: none) and time.
  std::uint64_t stopped_number_ = 0;
  std::int64_t stopped_time_ = 0;
  PixelLayout pixel_layout_ = PixelLayout::RGBA;
};
