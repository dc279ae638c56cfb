// Capture items for monitors and windows, and their factory.
#include "service.h"

namespace stand_in {

namespace {

// Hands `item` out as the interface `iid` asks for.
HRESULT hand_out(const ComPtr<Item>& item, REFIID iid, void** result) {
  return item->QueryInterface(iid, result);
}

}  // namespace

Item::Item(winrt_abi::SizeInt32 size) : size_(size) {}

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
  token->value = 1;  // an item of the stand-in never closes
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Item::remove_Closed(EventRegistrationToken) { return S_OK; }

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
