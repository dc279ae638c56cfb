#include "capture/capture_item.h"

#include "combase/com_failure.h"
#include "combase/hstring.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::capture {

namespace {

const faults::Operation kGetSize{"get_Size", faults::FailureKind::kHresult};
const faults::Operation kGetDisplayName{"get_DisplayName", faults::FailureKind::kHresult};

}  // namespace

CaptureItem::CaptureItem(Target target, winrt_abi::SizeInt32 size)
    : RuntimeObject(std::in_place, ItemState{target, size}) {}

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
CaptureItem::add_Closed(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable*,
                        EventRegistrationToken* token) try {
  if (token != nullptr) token->value = 0;
  faults::record_unsupported("GraphicsCaptureItem.add_Closed", "the Closed event");
  return E_NOTIMPL;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE CaptureItem::remove_Closed(EventRegistrationToken) try {
  faults::record_unsupported("GraphicsCaptureItem.remove_Closed", "the Closed event");
  return E_NOTIMPL;
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
