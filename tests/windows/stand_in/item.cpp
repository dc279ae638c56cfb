// Capture items for monitors and windows, and their factory.
#include "service.h"

#include <algorithm>
#include <set>
#include <string>
#include <thread>

namespace stand_in {

namespace {

// The live items, for close_items.
struct Items {
  std::mutex lock;
  std::set<Item*> live;
};

Items& items() {
  static Items& instance = *new Items();
  return instance;
}

// Hands `item` out as the interface `iid` asks for.
HRESULT hand_out(const ComPtr<Item>& item, REFIID iid, void** result) {
  return item->QueryInterface(iid, result);
}

}  // namespace

Item::Item(winrt_abi::SizeInt32 size) : size_(size) {
  std::lock_guard lock(items().lock);
  items().live.insert(this);
}

Item::~Item() {
  std::lock_guard lock(items().lock);
  items().live.erase(this);
}

HRESULT STDMETHODCALLTYPE Item::get_DisplayName(HSTRING* value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;  // the empty string
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Item::get_Size(winrt_abi::SizeInt32* value) {
  if (value == nullptr) return E_POINTER;
  *value = size_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
Item::add_Closed(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler,
                 EventRegistrationToken* token) {
  if (handler == nullptr || token == nullptr) return E_POINTER;
  if (const HRESULT hr = injected_failure("add_Closed"); FAILED(hr)) return hr;
  handler->AddRef();
  std::lock_guard lock(lock_);
  token->value = next_token_++;
  handlers_.push_back(
      {token->value,
       ComPtr<winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable>::attach(handler)});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Item::remove_Closed(EventRegistrationToken token) {
  Handler removed;
  std::unique_lock lock(lock_);
  const auto found = std::find_if(handlers_.begin(), handlers_.end(),
                                  [&](const Handler& held) { return held.token == token.value; });
  if (found == handlers_.end()) {
    record_misuse("remove_Closed with a token it never gave");
    return S_OK;
  }
  removed = std::move(*found);
  handlers_.erase(found);
  // A call already running finishes first.
  raised_.wait(lock, [&] { return raising_ == 0; });
  return S_OK;
}

void Item::raise_closed() {
  std::vector<Handler> handlers;
  {
    std::lock_guard lock(lock_);
    for (const Handler& held : handlers_) handlers.push_back({held.token, held.handler.clone()});
    ++raising_;
  }
  for (const Handler& held : handlers) {
    const HRESULT hr = held.handler->Invoke(this, nullptr);
    if (FAILED(hr)) record_misuse("a Closed handler failed with " + std::to_string(hr));
  }
  handlers.clear();
  {
    std::lock_guard lock(lock_);
    --raising_;
  }
  raised_.notify_all();
}

void close_items() {
  std::vector<ComPtr<Item>> closing;
  {
    std::lock_guard lock(items().lock);
    // An item on its way out (no references left) is skipped.
    for (Item* item : items().live) {
      if (item->try_add_reference()) closing.push_back(ComPtr<Item>::attach(item));
    }
  }
  std::thread raiser([&] {
    for (const auto& item : closing) item->raise_closed();
    closing.clear();
  });
  raiser.join();
}

HRESULT STDMETHODCALLTYPE ItemFactory::ActivateInstance(IInspectable** instance) {
  if (instance != nullptr) *instance = nullptr;
  return E_NOTIMPL;  // items are made for a window or a monitor only
}

HRESULT STDMETHODCALLTYPE ItemFactory::CreateForWindow(HWND window, REFIID iid, void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (const HRESULT hr = injected_failure("CreateForWindow"); FAILED(hr)) return hr;
  RECT rect{};
  if (!IsWindow(window) || !GetWindowRect(window, &rect)) return E_INVALIDARG;
  return hand_out(
      make_object<Item>(winrt_abi::SizeInt32{rect.right - rect.left, rect.bottom - rect.top}), iid,
      result);
}

HRESULT STDMETHODCALLTYPE ItemFactory::CreateForMonitor(HMONITOR monitor, REFIID iid,
                                                        void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (const HRESULT hr = injected_failure("CreateForMonitor"); FAILED(hr)) return hr;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return E_INVALIDARG;
  const RECT& rect = info.rcMonitor;
  return hand_out(
      make_object<Item>(winrt_abi::SizeInt32{rect.right - rect.left, rect.bottom - rect.top}), iid,
      result);
}

}  // namespace stand_in
