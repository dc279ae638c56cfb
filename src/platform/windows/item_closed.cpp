#include "platform/windows/item_closed.h"

#include <utility>

ComPtr<ItemClosedHandler> ItemClosedHandler::create(std::shared_ptr<LatestFrameSlot> slot) {
  return ComPtr<ItemClosedHandler>::attach(new ItemClosedHandler(std::move(slot)));
}

HRESULT STDMETHODCALLTYPE ItemClosedHandler::Invoke(winrt_abi::IGraphicsCaptureItem* /*sender*/,
                                                    IInspectable* /*args*/) {
  // Whoever raised the event, the item this handler was subscribed to has
  // closed; the sender is not needed.
  slot_->mark_target_closed();
  return S_OK;
}
