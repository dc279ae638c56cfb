// The capture lifecycle and frame readback: an idle capture, or one running on
// a target whose latest frame can be read at any time, from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "errors.h"
#include "function_ref.h"
#include "platform/windows/target.h"

// What a running capture holds: known only to the capture's own code.
struct CaptureState;

// Where `Capture::read_frame` writes a frame: supplied by its caller, which
// decides what the memory is and how the copy runs.
class FrameDestination {
 public:
  using Copy = FunctionRef<std::expected<void, CaptureError>()>;

  // The memory for a frame of `height` rows of `width` pixels: exactly
  // height * width * 4 bytes, rows packed, R G B A per pixel. Called once the
  // frame's size is known, with the frame held.
  virtual std::expected<std::span<std::byte>, CaptureError> prepare(std::uint32_t height,
                                                                    std::uint32_t width) = 0;

  // Runs `copy`, the GPU wait and the copy into the prepared memory, and
  // returns its result. It touches nothing of the caller's but that memory, so
  // the caller may let other work run meanwhile.
  virtual std::expected<void, CaptureError> run_copy(Copy copy) = 0;

 protected:
  ~FrameDestination() = default;
};

class Capture {
 public:
  Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  ~Capture();

  bool active() const { return state_ != nullptr; }

  // Stops a running capture, then sets up a new one on `target` and, when
  // `await_first_frame` is true, waits up to FIRST_FRAME_TIMEOUT for its first
  // frame. After a timeout the capture stays active.
  std::expected<void, CaptureError> start(const CaptureTarget& target, bool await_first_frame);

  // Closes the running capture, if any, and releases everything it held.
  // Platform failures on the way are ignored: this always succeeds.
  void stop();

  // Reads the latest frame into `destination`: "Capture is not running" or
  // "No frame available yet" first, then the frame's content region is sized,
  // `destination.prepare` gives the memory and `destination.run_copy` runs the
  // copy, under the capture's readback lock (taken inside the copy, so that a
  // caller that holds a lock of its own while it waits for that one never
  // blocks a reader). The frame stays the latest one. Safe from several
  // threads at once, as long as none of them runs `start` or `stop`.
  std::expected<void, CaptureError> read_frame(FrameDestination& destination) const;

 private:
  std::unique_ptr<CaptureState> state_;
};
