// EventSubscription: a handler's registration with one event of a Windows
// Runtime object, revoked when the subscription ends. Revoking waits for a
// call of the handler that is already running (the event source's contract),
// so that once it returns the handler is never called again.
#pragma once

#include <expected>
#include <utility>

#include "opticatcher/com_ptr.h"
#include "platform/windows/api_error.h"
#include "platform/windows/com_call.h"
#include "platform/windows/win32.h"

template <class Source>
class EventSubscription {
 public:
  // Revokes the registration `token` of the event with `source` (its
  // remove_ method).
  using Remove = HRESULT (*)(Source& source, EventRegistrationToken token);

  EventSubscription() = default;
  EventSubscription(const EventSubscription&) = delete;
  EventSubscription& operator=(const EventSubscription&) = delete;
  ~EventSubscription() { revoke(); }

  // Registers with the event of `source` through `add(source, &token)` (its
  // add_ method with the handler), to be revoked by `remove`. On success the
  // subscription keeps a reference to `source` until it is revoked; on
  // failure it stays empty and there is nothing to revoke.
  template <class Add>
  std::expected<void, WindowsApiError> subscribe(Source& source, Add&& add, Remove remove) {
    revoke();
    EventRegistrationToken token{};
    if (auto added = com_check(std::forward<Add>(add)(source, &token)); !added) return added;
    source.AddRef();
    source_ = ComPtr<Source>::attach(&source);
    token_ = token;
    remove_ = remove;
    return {};
  }

  // Revokes the registration, if any, and lets go of the source. A failure
  // is ignored: the registration ends either way.
  void revoke() {
    if (!source_) return;
    com_ignore(remove_(*source_.get(), token_));
    source_.reset();
    token_ = {};
  }

  explicit operator bool() const { return static_cast<bool>(source_); }

 private:
  ComPtr<Source> source_;
  EventRegistrationToken token_{};
  Remove remove_ = nullptr;
};
