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
const Operation kGetInterval{"get_MinUpdateInterval", FailureKind::kHresult};
const Operation kPutInterval{"put_MinUpdateInterval", FailureKind::kHresult};
const Operation kGetSecondary{"get_IncludeSecondaryWindows", FailureKind::kHresult};
const Operation kPutSecondary{"put_IncludeSecondaryWindows", FailureKind::kHresult};

// What sessions made from now on offer.
std::atomic<bool> g_cursor_switch{true};
std::atomic<bool> g_border_switch{true};
std::atomic<bool> g_update_interval_switch{true};
std::atomic<bool> g_secondary_windows_switch{true};

SessionInterfaces current_interfaces() {
  return {g_cursor_switch, g_border_switch, g_update_interval_switch, g_secondary_windows_switch};
}

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

void set_session_interfaces(SessionInterfaces interfaces) {
  g_cursor_switch = interfaces.cursor_switch;
  g_border_switch = interfaces.border_switch;
  g_update_interval_switch = interfaces.update_interval_switch;
  g_secondary_windows_switch = interfaces.secondary_windows_switch;
}

std::vector<SessionSwitchState> open_sessions(std::uintptr_t target) {
  std::vector<SessionSwitchState> found;
  OpenSessions& sessions = open();
  std::lock_guard lock(sessions.mutex);
  for (const auto& [number, entry] : sessions.entries) {
    if (entry.first == target) {
      const SessionSwitches& switches = entry.second->switches;
      found.push_back({switches.cursor, switches.border, switches.min_update_interval,
                       switches.secondary_windows});
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
    : RuntimeObject(std::in_place, std::move(core), target), interfaces_(current_interfaces()) {}

bool Session::exposes(REFIID iid) const {
  if (iid == winrt_abi::IID_IGraphicsCaptureSession2) return interfaces_.cursor_switch;
  if (iid == winrt_abi::IID_IGraphicsCaptureSession3) return interfaces_.border_switch;
  if (iid == winrt_abi::IID_IGraphicsCaptureSession5) return interfaces_.update_interval_switch;
  if (iid == winrt_abi::IID_IGraphicsCaptureSession6) return interfaces_.secondary_windows_switch;
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

SessionState* Session::open_state(const faults::Operation& operation, HRESULT& failure) {
  if (auto fault = operation.enter()) {
    failure = fault->null ? S_OK : combase::fail_method(*fault);
    return nullptr;
  }
  SessionState* session = state(operation.name());
  failure = session == nullptr ? E_UNEXPECTED : RO_E_CLOSED;
  return session != nullptr && !session->closed ? session : nullptr;
}

HRESULT Session::get_switch(const faults::Operation& operation,
                            std::atomic<bool> SessionSwitches::*which, winrt_abi::Boolean* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  HRESULT failure = S_OK;
  SessionState* session = open_state(operation, failure);
  if (session == nullptr) return failure;
  *value = (session->core->switches.*which).load() ? 1 : 0;
  return S_OK;
}

HRESULT Session::put_switch(const faults::Operation& operation,
                            std::atomic<bool> SessionSwitches::*which, winrt_abi::Boolean value) {
  HRESULT failure = S_OK;
  SessionState* session = open_state(operation, failure);
  if (session == nullptr) return failure;
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

HRESULT STDMETHODCALLTYPE Session::get_MinUpdateInterval(winrt_abi::TimeSpan* value) try {
  if (value == nullptr) return E_POINTER;
  *value = {};
  HRESULT failure = S_OK;
  SessionState* session = open_state(kGetInterval, failure);
  if (session == nullptr) return failure;
  value->Duration = session->core->switches.min_update_interval;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

// Windows documents no upper bound; a negative interval is refused.
HRESULT STDMETHODCALLTYPE Session::put_MinUpdateInterval(winrt_abi::TimeSpan value) try {
  HRESULT failure = S_OK;
  SessionState* session = open_state(kPutInterval, failure);
  if (session == nullptr) return failure;
  if (value.Duration < 0) return E_INVALIDARG;
  session->core->switches.min_update_interval = value.Duration;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::get_IncludeSecondaryWindows(winrt_abi::Boolean* value) try {
  return get_switch(kGetSecondary, &SessionSwitches::secondary_windows, value);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Session::put_IncludeSecondaryWindows(winrt_abi::Boolean value) try {
  return put_switch(kPutSecondary, &SessionSwitches::secondary_windows, value);
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::capture
