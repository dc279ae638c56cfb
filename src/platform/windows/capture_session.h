// A running capture: the session on its target, the frame pool that feeds it,
// the handler's subscription to the pool, the capture item with the Closed
// handler's subscription to it, the latest-frame slot both handlers mark, and
// the resources of frame readback, all held by one owner. `open`
// builds it whole or not at all; destroying it is the whole teardown.
#pragma once

#include <expected>
#include <memory>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"
#include "platform/windows/closing_ptr.h"
#include "platform/windows/event_subscription.h"
#include "platform/windows/frame.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/target.h"

// What a session is set up with before its first frame: the capture's
// settings at the time of the start.
struct SessionSettings {
  bool cursor = true;  // the mouse pointer drawn into the frames
  bool border = true;  // the border Windows draws around the target
};

class CaptureSession {
 public:
  // A session capturing `target` with `settings`, started: frames arrive in
  // its slot from now on. The caller has checked the target and joined an
  // apartment. A failure at any step returns it, and what was built up to
  // that step is torn down as a whole session is.
  static std::expected<std::unique_ptr<CaptureSession>, CaptureError> open(
      const CaptureTarget& target, const SessionSettings& settings);

  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // The teardown, in the order of the members below; never fails.
  ~CaptureSession() = default;

  // The latest-frame slot: a waiter keeps its own reference, which outlives
  // the session.
  const std::shared_ptr<LatestFrameSlot>& slot() const { return slot_.get(); }

  // The target the session captures.
  const CaptureTarget& target() const { return target_; }

  // What frame readback works with (used under its mutex).
  ReadbackResources& readback() { return readback_; }

  // Sets one switch of the running session (see set_session_switch).
  std::expected<void, CaptureError> set_switch(SessionSwitch which, bool on);

 private:
  using FramePool = winrt_abi::IDirect3D11CaptureFramePool;
  using Session = winrt_abi::IGraphicsCaptureSession;
  using Item = winrt_abi::IGraphicsCaptureItem;

  // The latest-frame slot, made with the session and closed when the session
  // lets go of it: by then nothing can fill it again, and closing it wakes
  // whoever waits for a frame. The handler holds the other reference while
  // the pool holds the handler.
  class ClosingSlot {
   public:
    ClosingSlot() : slot_(std::make_shared<LatestFrameSlot>()) {}
    ClosingSlot(const ClosingSlot&) = delete;
    ClosingSlot& operator=(const ClosingSlot&) = delete;
    ~ClosingSlot() { slot_->close(); }

    const std::shared_ptr<LatestFrameSlot>& get() const { return slot_; }

   private:
    std::shared_ptr<LatestFrameSlot> slot_;
  };

  explicit CaptureSession(const CaptureTarget& target) : target_(target) {}

  // Applies the settings that differ from a new session's before its first
  // frame.
  std::expected<void, CaptureError> apply(const SessionSettings& settings);

  // Members are destroyed from the last to the first, so they are declared
  // in the reverse of the teardown: the session is closed first (no new
  // frame), then the handler's subscription is revoked (which waits for a
  // call already running), then the pool is closed, then the slot (waking
  // its waiters), and last the readback resources are released. Each member
  // ignores the platform's failures as it goes, and each releases its own
  // references once. A member that is not built yet does nothing.
  //
  // More that a session holds takes its place by the same rule: an event
  // subscription beside frame_arrived_ (revoked after the session is closed,
  // before anything it calls into goes), and an object that is subscribed to
  // just above the subscriptions (released after them, and after the
  // session).
  //
  // The item is such an object: kept for as long as the session runs, so
  // that its Closed subscription can be revoked (after the frame handler's,
  // which waits likewise for a call in progress), and released after it.
  const CaptureTarget target_;
  ReadbackResources readback_;
  ClosingSlot slot_;
  ClosingPtr<FramePool> pool_;
  ComPtr<Item> item_;
  EventSubscription<Item> closed_;
  EventSubscription<FramePool> frame_arrived_;
  ClosingPtr<Session> session_;
};
