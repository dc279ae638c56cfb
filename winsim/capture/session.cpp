#include "capture/session.h"

#include "capture/frame_delivery.h"
#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kStartCapture{"StartCapture", FailureKind::kHresult};
const Operation kClose{"GraphicsCaptureSession.Close", FailureKind::kHresult};

}  // namespace

SessionState::SessionState(std::shared_ptr<PoolCore> core, Target target)
    : core(std::move(core)), target(target) {}

SessionState::~SessionState() {
  if (capture != 0) stop_delivery(capture);
}

Session::Session(std::shared_ptr<PoolCore> core, Target target)
    : RuntimeObject(std::in_place, std::move(core), target) {}

HRESULT STDMETHODCALLTYPE Session::StartCapture() try {
  if (auto fault = kStartCapture.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  SessionState* session = state("StartCapture");
  if (session == nullptr) return E_UNEXPECTED;
  if (session->closed) return RO_E_CLOSED;
  if (session->capture != 0) return E_ILLEGAL_METHOD_CALL;  // started already
  {
    std::lock_guard lock(session->core->mutex);
    if (session->core->closed) return RO_E_CLOSED;
  }
  // A delivery thread that cannot be made fails the call as a lack of memory
  // does; nothing stays registered.
  session->capture = start_delivery(session->core, session->target);
  return session->capture != 0 ? S_OK : E_OUTOFMEMORY;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::Close() try {
  if (auto fault = kClose.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  SessionState* session = state("GraphicsCaptureSession.Close");
  if (session == nullptr) return E_UNEXPECTED;
  session->closed = true;
  if (session->capture != 0) stop_delivery(std::exchange(session->capture, 0));
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::capture
