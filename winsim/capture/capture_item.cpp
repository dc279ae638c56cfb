#include "capture/capture_item.h"

#include <algorithm>
#include <map>

#include "capture/frame_delivery.h"
#include "common/fork_guard.h"
#include "oleaut32/error_info.h"
#include "opticatcher/com_ptr.h"
#include "combase/com_failure.h"
#include "combase/hstring.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::capture {

namespace {

const faults::Operation kGetSize{"get_Size", faults::FailureKind::kHresult};
const faults::Operation kGetDisplayName{"get_DisplayName", faults::FailureKind::kHresult};
const faults::Operation kAddClosed{"add_Closed", faults::FailureKind::kHresult};
const faults::Operation kRemoveClosed{"remove_Closed", faults::FailureKind::kHresult};

// Tokens beyond 32 bits, so that a caller who cuts them short is caught.
constexpr std::int64_t kFirstToken = std::int64_t{0x5678} << 32;

// The live items with their targets' handles.
struct LiveItems {
  std::mutex mutex;
  std::map<ItemEvents*, std::pair<std::uintptr_t, std::weak_ptr<ItemEvents>>> entries;
};

LiveItems& live_items() {
  static auto* instance = fork::make_joined<LiveItems>(fork::Rank::kItems);
  return *instance;
}

// Calls the Closed handlers of one item, if it is still alive.
void raise_on(const std::shared_ptr<ItemEvents>& events) {
  ComPtr<winrt_abi::IGraphicsCaptureItem> sender;
  std::vector<std::shared_ptr<ClosedSubscription>> handlers;
  {
    std::lock_guard lock(events->mutex);
    if (events->owner == nullptr || !events->owner->try_add_reference()) return;
    sender = ComPtr<winrt_abi::IGraphicsCaptureItem>::attach(events->owner);
    handlers.reserve(events->subscriptions.size());
    for (const auto& subscription : events->subscriptions) {
      if (subscription->removed) continue;
      ++subscription->running;
      subscription->handler->AddRef();
      handlers.push_back(subscription);
    }
  }
  for (std::size_t i = 0; i < handlers.size(); ++i) {
    const auto& subscription = handlers[i];
    // Called through the ABI: an exception from it ends the process.
    [&]() noexcept { (void)subscription->handler->Invoke(sender.get(), nullptr); }();
    oleaut32::clear_error_info();
    subscription->handler->Release();
    // The sender goes before the last call is reported finished: whoever waits
    // for it (remove_Closed) may release the item for good right after.
    if (i + 1 == handlers.size()) sender.reset();
    {
      std::lock_guard lock(events->mutex);
      --subscription->running;
    }
    events->invocation_done.notify_all();
  }
}

}  // namespace

bool raise_closed(std::uintptr_t target) {
  std::vector<std::shared_ptr<ItemEvents>> closing;
  {
    LiveItems& items = live_items();
    std::lock_guard lock(items.mutex);
    for (const auto& [key, entry] : items.entries) {
      if (entry.first != target) continue;
      if (auto events = entry.second.lock()) closing.push_back(std::move(events));
    }
  }
  if (closing.empty()) return true;
  return run_on_delivery_thread(
      [closing] {
        for (const auto& events : closing) raise_on(events);
      },
      true);
}

ItemState::ItemState(Target target, winrt_abi::SizeInt32 size)
    : target(target), size(size), events(std::make_shared<ItemEvents>()) {
  LiveItems& items = live_items();
  std::lock_guard lock(items.mutex);
  items.entries.emplace(events.get(), std::pair{target.handle(), std::weak_ptr(events)});
}

ItemState::~ItemState() {
  {
    LiveItems& items = live_items();
    std::lock_guard lock(items.mutex);
    items.entries.erase(events.get());
  }
  std::vector<std::shared_ptr<ClosedSubscription>> subscriptions;
  {
    std::lock_guard lock(events->mutex);
    events->owner = nullptr;
    subscriptions.swap(events->subscriptions);
  }
  for (const auto& subscription : subscriptions) subscription->handler->Release();
}

CaptureItem::CaptureItem(Target target, winrt_abi::SizeInt32 size)
    : RuntimeObject(std::in_place, target, size) {
  ItemState* item = state("GraphicsCaptureItem");
  std::lock_guard lock(item->events->mutex);
  item->events->owner = this;
}

HRESULT STDMETHODCALLTYPE CaptureItem::get_DisplayName(HSTRING* value) try {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  if (auto fault = kGetDisplayName.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  ItemState* item = state("get_DisplayName");
  if (item == nullptr) return E_UNEXPECTED;
  *value = combase::make_hstring(target_name(item->target));
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE CaptureItem::get_Size(winrt_abi::SizeInt32* value) try {
  if (value == nullptr) return E_POINTER;
  if (auto fault = kGetSize.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  ItemState* item = state("get_Size");
  if (item == nullptr) return E_UNEXPECTED;
  *value = target_size(item->target).value_or(item->size);
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE
CaptureItem::add_Closed(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler,
                        EventRegistrationToken* token) try {
  if (token == nullptr) return E_POINTER;
  token->value = 0;
  if (auto fault = kAddClosed.enter()) return fault->null ? S_OK : combase::fail_method(*fault);
  ItemState* item = state("add_Closed");
  if (item == nullptr) return E_UNEXPECTED;
  if (handler == nullptr) return E_INVALIDARG;
  auto subscription = std::make_shared<ClosedSubscription>();
  subscription->handler = handler;
  std::lock_guard lock(item->events->mutex);
  ItemEvents& events = *item->events;
  subscription->token = events.last_token == 0 ? kFirstToken : events.last_token + 1;
  events.subscriptions.push_back(subscription);
  // Nothing below can fail: the reference is taken only now.
  handler->AddRef();
  events.last_token = subscription->token;
  token->value = subscription->token;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE CaptureItem::remove_Closed(EventRegistrationToken token) try {
  if (auto fault = kRemoveClosed.enter()) return fault->null ? S_OK : combase::fail_method(*fault);
  ItemState* item = state("remove_Closed");
  if (item == nullptr) return E_UNEXPECTED;
  ItemEvents& events = *item->events;
  std::shared_ptr<ClosedSubscription> removed;
  {
    std::unique_lock lock(events.mutex);
    const auto found =
        std::find_if(events.subscriptions.begin(), events.subscriptions.end(),
                     [&](const auto& subscription) { return subscription->token == token.value; });
    if (found == events.subscriptions.end()) return S_OK;  // unknown tokens are ignored
    removed = *found;
    events.subscriptions.erase(found);
    removed->removed = true;
    if (!on_delivery_thread()) {
      events.invocation_done.wait(lock, [&] { return removed->running == 0; });
    }
  }
  removed->handler->Release();
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

std::optional<Target> CaptureItem::target(std::string_view operation) {
  ItemState* item = state(operation);
  return item != nullptr ? std::optional<Target>(item->target) : std::nullopt;
}

CaptureItem* as_capture_item(winrt_abi::IGraphicsCaptureItem* item) {
  return dynamic_cast<CaptureItem*>(item);
}

}  // namespace winsim::capture
