#include "capture/factories.h"

#include "capture/capture_access.h"
#include "capture/capture_item.h"
#include "capture/frame_pool.h"
#include "combase/com_failure.h"
#include "combase/static_object.h"
#include "common/entry_guard.h"
#include "faults/operation.h"
#include "desktop/desktop.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kCreateForWindow{"CreateForWindow", FailureKind::kHresult};
const Operation kCreateForMonitor{"CreateForMonitor", FailureKind::kHresult};
const Operation kCreateFreeThreaded{"CreateFreeThreaded", FailureKind::kHresult};

// An item is handed out as IGraphicsCaptureItem, IInspectable or IUnknown.
HRESULT make_item(const Target& target, REFIID iid, void** result) {
  if (result == nullptr) return E_POINTER;
  const auto size = target_size(target);
  if (!size) return E_INVALIDARG;
  if (iid != winrt_abi::IID_IGraphicsCaptureItem && iid != IID_IInspectable &&
      iid != IID_IUnknown) {
    return E_NOINTERFACE;
  }
  CaptureItem* item = CaptureItem::create(target, *size);
  const HRESULT result_code = item->query_internal(iid, result);
  item->Release();
  return result_code;
}

class ItemFactory final : public combase::StaticObject<winrt_abi::IGraphicsCaptureItemInterop> {
 public:
  ItemFactory() : StaticObject("GraphicsCaptureItem factory") {}
  HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID iid, void** result) override try {
    if (result != nullptr) *result = nullptr;
    if (auto fault = kCreateForWindow.enter()) {
      return fault->null ? S_OK : combase::fail_method(*fault);
    }
    // Only a top-level window of the desktop, not the desktop window itself.
    if (window == nullptr || window == desktop::Desktop::desktop_window()) return E_INVALIDARG;
    const auto record = desktop::Desktop::instance().window(window);
    if (record && record->parent != nullptr) return E_INVALIDARG;
    return make_item(Target{window, nullptr}, iid, result);
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID iid, void** result) override
      try {
    if (result != nullptr) *result = nullptr;
    if (auto fault = kCreateForMonitor.enter()) {
      return fault->null ? S_OK : combase::fail_method(*fault);
    }
    if (monitor == nullptr) return E_INVALIDARG;
    return make_item(Target{nullptr, monitor}, iid, result);
  } catch (...) {
    return entry::failed_hresult();
  }
};

class PoolFactory final
    : public combase::StaticObject<winrt_abi::IDirect3D11CaptureFramePoolStatics2> {
 public:
  PoolFactory() : StaticObject("Direct3D11CaptureFramePool factory") {}
  HRESULT STDMETHODCALLTYPE
  CreateFreeThreaded(winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat pixel_format,
                     INT32 number_of_buffers, winrt_abi::SizeInt32 size,
                     winrt_abi::IDirect3D11CaptureFramePool** result) override try {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    if (auto fault = kCreateFreeThreaded.enter()) {
      return fault->null ? S_OK : combase::fail_method(*fault);
    }
    auto core = std::make_shared<PoolCore>();
    if (const HRESULT configured = configure_pool(*core, device, pixel_format, number_of_buffers,
                                                  size, "CreateFreeThreaded");
        FAILED(configured)) {
      close_pool(*core);
      return configured;
    }
    try {
      *result = FramePool::create(core);
    } catch (...) {
      close_pool(*core);  // the buffers go with the pool that was not made
      throw;
    }
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
};

ItemFactory& item_factory() {
  static auto* factory = new ItemFactory;
  return *factory;
}

PoolFactory& pool_factory() {
  static auto* factory = new PoolFactory;
  return *factory;
}

}  // namespace

HRESULT query_activation_factory(const std::u16string& name, REFIID iid, void** factory) {
  if (name == u"Windows.Graphics.Capture.GraphicsCaptureItem") {
    return item_factory().query_internal(iid, factory);
  }
  if (name == u"Windows.Graphics.Capture.Direct3D11CaptureFramePool") {
    return pool_factory().query_internal(iid, factory);
  }
  if (name == u"Windows.Graphics.Capture.GraphicsCaptureAccess") {
    return query_access_factory(iid, factory);
  }
  return REGDB_E_CLASSNOTREG;
}

}  // namespace winsim::capture
