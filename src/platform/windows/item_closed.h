// The capture item's Closed delegate: Windows calls it, on a thread of its
// own, when the captured window closes or the captured monitor goes away.
#pragma once

#include <memory>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/agile_delegate.h"
#include "platform/windows/frame_arrival.h"
#include "platform/windows/win32.h"

// Marks the capture's slot as showing a closed target, which wakes every
// frame wait. It follows the frame handler's rules: it never touches the
// interpreter, allocates nothing and lets no exception out.
class ItemClosedHandler final
    : public AgileDelegate<winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable> {
 public:
  // The new handler with its one reference.
  static ComPtr<ItemClosedHandler> create(std::shared_ptr<LatestFrameSlot> slot);

  HRESULT STDMETHODCALLTYPE Invoke(winrt_abi::IGraphicsCaptureItem* sender,
                                   IInspectable* args) override;

 private:
  explicit ItemClosedHandler(std::shared_ptr<LatestFrameSlot> slot) : slot_(std::move(slot)) {}

  std::shared_ptr<LatestFrameSlot> slot_;
};
