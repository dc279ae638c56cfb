#include "capture/session.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "capture/frame_delivery.h"
#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "common/fork_guard.h"
#include "faults/operation.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kStartCapture{"StartCapture", FailureKind::kHresult};
const Operation kClose{"GraphicsCaptureSession.Close", FailureKind::kHresult};
const Operation kGetCursor{"get_IsCursorCaptureEnabled", FailureKind::kHresult};
const Operation kPutCursor{"put_IsCursorCaptureEnabled", FailureKind::kHresult};
const Operation kGetBorder{"get_IsBorderRequired", FailureKind::kHresult};
const Operation kPutBorder{"put_IsBorderRequired", FailureKind::kHresult};

std::atomic<bool> g_cursor_switch{true};
std::atomic<bool> g_border_switch{true};

// The open sessions, by a number that grows with each: the control API lists
// them. An entry holds the session's pool core, which outlives the entry.
struct OpenSessions {
  std::mutex mutex;
  std::uint64_t last = 0;
  std::map<std::uint64_t, std::pair<std::uintptr_t, std::shared_ptr<PoolCore>>> entries;
};

OpenSessions& open() {
  static auto* instance = fork::make_joined<OpenSessions>(fork::Rank::kSessions);
  return *instance;
}

void unlist(std::uint64_t& listing) {
  if (listing == 0) return;
  OpenSessions& sessions = open();
  std::lock_guard lock(sessions.mutex);
  sessions.entries.erase(std::exchange(listing, 0));
}

}  // namespace

void set_session_interfaces(bool cursor_switch, bool border_switch) {
  g_cursor_switch = cursor_switch;
  g_border_switch = border_switch;
}

std::vector<SessionSwitchState> open_sessions(std::uintptr_t target) {
  std::vector<SessionSwitchState> found;
  OpenSessions& sessions = open();
  std::lock_guard lock(sessions.mutex);
  for (const auto& [number, entry] : sessions.entries) {
    if (entry.first == target) {
      found.push_back({entry.second->switches.cursor, entry.second->switches.border});
    }
  }
  return found;
}

SessionState::SessionState(std::shared_ptr<PoolCore> core, Target target)
    : core(std::move(core)), target(target) {
  OpenSessions& sessions = open();
  std::lock_guard lock(sessions.mutex);
  listing = ++sessions.last;
  sessions.entries.emplace(listing, std::pair{target.handle(), this->core});
}

SessionState::~SessionState() {
  unlist(listing);
  if (capture != 0) stop_delivery(capture);
}

Session::Session(std::shared_ptr<PoolCore> core, Target target)
    : RuntimeObject(std::in_place, std::move(core), target),
      cursor_switch_(g_cursor_switch),
      border_switch_(g_border_switch) {}

bool Session::exposes(REFIID iid) const {
  if (iid == winrt_abi::IID_IGraphicsCaptureSession2) return cursor_switch_;
  if (iid == winrt_abi::IID_IGraphicsCaptureSession3) return border_switch_;
  return true;
}

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
  unlist(session->listing);
  if (session->capture != 0) stop_delivery(std::exchange(session->capture, 0));
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT Session::get_switch(const faults::Operation& operation,
                            std::atomic<bool> SessionSwitches::*which, winrt_abi::Boolean* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  if (auto fault = operation.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  SessionState* session = state(operation.name());
  if (session == nullptr) return E_UNEXPECTED;
  if (session->closed) return RO_E_CLOSED;
  *value = (session->core->switches.*which).load() ? 1 : 0;
  return S_OK;
}

HRESULT Session::put_switch(const faults::Operation& operation,
                            std::atomic<bool> SessionSwitches::*which, winrt_abi::Boolean value) {
  if (auto fault = operation.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  SessionState* session = state(operation.name());
  if (session == nullptr) return E_UNEXPECTED;
  if (session->closed) return RO_E_CLOSED;
  (session->core->switches.*which).store(value != 0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::get_IsCursorCaptureEnabled(winrt_abi::Boolean* value) try {
  return get_switch(kGetCursor, &SessionSwitches::cursor, value);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::put_IsCursorCaptureEnabled(winrt_abi::Boolean value) try {
  return put_switch(kPutCursor, &SessionSwitches::cursor, value);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::get_IsBorderRequired(winrt_abi::Boolean* value) try {
  return get_switch(kGetBorder, &SessionSwitches::border, value);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::put_IsBorderRequired(winrt_abi::Boolean value) try {
  return put_switch(kPutBorder, &SessionSwitches::border, value);
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::capture
