// GraphicsCaptureItem: a window or monitor that can be captured.
#pragma once

#include <optional>

#include "capture/target.h"
#include "combase/runtime_object.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

struct ItemState {
  Target target;
  winrt_abi::SizeInt32 size;  // at creation, reported once the target is gone
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
  HRESULT STDMETHODCALLTYPE remove_Closed(EventRegistrationToken token) override;

  std::optional<Target> target(std::string_view operation);
};

CaptureItem* as_capture_item(winrt_abi::IGraphicsCaptureItem* item);

}  // namespace winsim::capture
