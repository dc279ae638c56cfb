// GraphicsCaptureItem: a window or monitor that can be captured. Its Closed
// event is raised, on winsim's delivery thread, when its window is destroyed
// or its monitor removed (raise_closed, called by the control API).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/target.h"
#include "combase/runtime_object.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

class CaptureItem;

// One Closed subscription.
struct ClosedSubscription {
  winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler = nullptr;  // a reference
  std::int64_t token = 0;
  bool removed = false;
  int running = 0;  // invocations in progress
};

// What the item shares with the list of live items and an event being raised.
struct ItemEvents {
  std::mutex mutex;
  std::condition_variable invocation_done;
  CaptureItem* owner = nullptr;  // no reference; null once the item is gone
  std::vector<std::shared_ptr<ClosedSubscription>> subscriptions;
  std::int64_t last_token = 0;
};

struct ItemState {
  ItemState(Target target, winrt_abi::SizeInt32 size);
  ~ItemState();
  ItemState(const ItemState&) = delete;
  ItemState& operator=(const ItemState&) = delete;

  Target target;
  winrt_abi::SizeInt32 size;  // at creation, reported once the target is gone
  std::shared_ptr<ItemEvents> events;
};

class CaptureItem final
    : public combase::RuntimeObject<CaptureItem, ItemState, winrt_abi::IGraphicsCaptureItem> {
 public:
  static constexpr std::string_view kClassName = "GraphicsCaptureItem";
  CaptureItem(Target target, winrt_abi::SizeInt32 size);

  HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* value) override;
  HRESULT STDMETHODCALLTYPE get_Size(winrt_abi::SizeInt32* value) override;
  HRESULT STDMETHODCALLTYPE
  add_Closed(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler,
             EventRegistrationToken* token) override;
  // After this returns the handler is never called again: an invocation
  // running on another thread is waited for.
  HRESULT STDMETHODCALLTYPE remove_Closed(EventRegistrationToken token) override;

  std::optional<Target> target(std::string_view operation);
};

CaptureItem* as_capture_item(winrt_abi::IGraphicsCaptureItem* item);

// Raises Closed on every live item of the window or monitor `target` and
// returns once their handlers have run on the delivery thread. False when
// that thread cannot be made.
bool raise_closed(std::uintptr_t target);

}  // namespace winsim::capture
