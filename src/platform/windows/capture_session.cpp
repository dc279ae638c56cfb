#include "platform/windows/capture_session.h"

#include <utility>

#include "expected_ops.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/capture_item.h"
#include "platform/windows/com_call.h"
#include "platform/windows/device.h"
#include "platform/windows/item_closed.h"
#include "platform/windows/session_switches.h"
#include "platform/windows/win32.h"

std::expected<std::unique_ptr<CaptureSession>, CaptureError> CaptureSession::open(
    const CaptureTarget& target, const SessionSettings& settings) {
  // The item stays with the session, for its Closed subscription.
  auto item = create_capture_item(target);
  if (!item) return std::unexpected(std::move(item.error()));

  // Built member by member; an early return destroys the part built so far.
  std::unique_ptr<CaptureSession> built(new CaptureSession(target));
  built->item_ = std::move(*item);

  auto device = create_d3d_device();
  // Built in place: a moved-through temporary trips a false uninitialised-use
  // warning of g++ -O3 in the Windows build.
  if (!device) {
    return std::expected<std::unique_ptr<CaptureSession>, CaptureError>(std::unexpect,
                                                                        std::move(device.error()));
  }
  built->readback_.device = std::move(device->device);
  built->readback_.context = std::move(device->context);

  winrt_abi::SizeInt32 size{};
  if (auto read = com_check(built->item_->get_Size(&size)); !read) {
    return std::unexpected(CaptureError::windows(std::move(read.error())));
  }

  {
    auto runtime_device = transform_error(create_direct3d_device(built->readback_.device.get()),
                                          CaptureError::windows);
    if (!runtime_device) return std::unexpected(std::move(runtime_device.error()));
    // The runtime device wrapper goes as soon as the pool has been made.
    auto pool = create_frame_pool(runtime_device->get(), size);
    if (!pool) return std::unexpected(std::move(pool.error()));
    built->pool_.reset(std::move(*pool));
  }

  {
    // The pool keeps its own reference to the handler; this one goes at the
    // end of the block.
    auto handler =
        FrameArrivedHandler::create(built->slot_.get(), built->readback_.device.clone(), size);
    auto subscribed = built->frame_arrived_.subscribe(
        *built->pool_.get(),
        [&](FramePool& pool, EventRegistrationToken* token) {
          return pool.add_FrameArrived(handler.get(), token);
        },
        [](FramePool& pool, EventRegistrationToken token) {
          return pool.remove_FrameArrived(token);
        });
    if (!subscribed) return std::unexpected(CaptureError::windows(std::move(subscribed.error())));
  }

  {
    // The item keeps its own reference to the handler.
    auto handler = ItemClosedHandler::create(built->slot_.get());
    auto subscribed = built->closed_.subscribe(
        *built->item_.get(),
        [&](Item& item, EventRegistrationToken* token) {
          return item.add_Closed(handler.get(), token);
        },
        [](Item& item, EventRegistrationToken token) { return item.remove_Closed(token); });
    if (!subscribed) return std::unexpected(CaptureError::windows(std::move(subscribed.error())));
  }

  auto session = com_object<Session>(
      [&](Session** out) { return built->pool_->CreateCaptureSession(built->item_.get(), out); });
  if (!session) return std::unexpected(CaptureError::windows(std::move(session.error())));
  built->session_.reset(std::move(*session));

  if (auto applied = built->apply(settings); !applied) {
    return std::unexpected(std::move(applied.error()));
  }

  if (auto started = com_check(built->session_->StartCapture()); !started) {
    return std::unexpected(CaptureError::windows(std::move(started.error())));
  }
  return built;
}

std::expected<void, CaptureError> CaptureSession::apply(const SessionSettings& settings) {
  // The session has every switch on by default: only those that are off
  // need a call.
  for (const auto& [which, on] : {std::pair{SessionSwitch::Cursor, settings.cursor},
                                  std::pair{SessionSwitch::Border, settings.border}}) {
    if (on) continue;
    if (auto set = set_session_switch(session_.get(), which, false); !set) return set;
  }
  return {};
}

std::expected<void, CaptureError> CaptureSession::set_switch(SessionSwitch which, bool on) {
  return set_session_switch(session_.get(), which, on);
}
