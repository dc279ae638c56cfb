// Simulated Windows Runtime objects: COM objects whose interfaces derive from
// IInspectable. Adds the IInspectable members to ComObject and answers
// IInspectable queries with the first interface.
#pragma once

#include <inspectable.h>

#include "combase/com_object.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"

namespace winsim::combase {

template <typename Derived, typename State, typename FirstInterface, typename... OtherInterfaces>
class RuntimeObject : public ComObject<Derived, State, FirstInterface, OtherInterfaces...> {
  using Base = ComObject<Derived, State, FirstInterface, OtherInterfaces...>;

 public:
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) final try {
    if (iidCount != nullptr) *iidCount = 0;
    if (iids != nullptr) *iids = nullptr;
    faults::record_unsupported(std::string(Derived::kClassName) + "::GetIids", "interface lists");
    return E_NOTIMPL;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) final try {
    if (className != nullptr) *className = nullptr;
    faults::record_unsupported(std::string(Derived::kClassName) + "::GetRuntimeClassName",
                               "class names");
    return E_NOTIMPL;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) final try {
    if (trustLevel == nullptr) return E_POINTER;
    *trustLevel = BaseTrust;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }

  void* base_interface(REFIID iid) {
    if (iid == IID_IInspectable) {
      return static_cast<IInspectable*>(static_cast<FirstInterface*>(this));
    }
    return nullptr;
  }

 protected:
  using Base::Base;
};

}  // namespace winsim::combase
