// Objects that Windows keeps for the whole life of the process (activation
// factories): reference counting does not apply to them, so AddRef and
// Release change nothing and they are not counted among live objects.
#pragma once

#include <type_traits>

#include <inspectable.h>
#include <unknwn.h>

#include "combase/com_failure.h"
#include "combase/query_interface.h"
#include "platform/windows/interface_id.h"

namespace winsim::combase {

template <typename FirstInterface, typename... OtherInterfaces>
class StaticObject : public FirstInterface, public OtherInterfaces... {
 public:
  StaticObject() = default;
  StaticObject(const StaticObject&) = delete;
  StaticObject& operator=(const StaticObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final {
    if (object == nullptr) {
      return E_POINTER;
    }
    *object = nullptr;
    if (const control::Operation* query = query_operation(iid)) {
      if (auto fault = query->enter()) {
        return fault->null ? S_OK : fail_method(*fault);
      }
    }
    return query_internal(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return 1; }
  ULONG STDMETHODCALLTYPE Release() final { return 1; }

  // IInspectable, for factories whose interfaces derive from it.
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) {
    if (iidCount != nullptr) *iidCount = 0;
    if (iids != nullptr) *iids = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) {
    if (className != nullptr) *className = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) {
    if (trustLevel == nullptr) return E_POINTER;
    *trustLevel = FullTrust;
    return S_OK;
  }

  // Uncounted, for the simulation's own use.
  HRESULT query_internal(REFIID iid, void** object) {
    *object = find_interface(iid);
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }

 private:
  void* find_interface(REFIID iid) {
    if (iid == IID_IUnknown) {
      return static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    }
    if constexpr (std::is_base_of_v<IInspectable, FirstInterface>) {
      if (iid == IID_IInspectable) {
        return static_cast<IInspectable*>(static_cast<FirstInterface*>(this));
      }
    }
    void* found = nullptr;
    (void)((iid == ::InterfaceId<FirstInterface>::value &&
            (found = static_cast<FirstInterface*>(this)) != nullptr) ||
           ... ||
           (iid == ::InterfaceId<OtherInterfaces>::value &&
            (found = static_cast<OtherInterfaces*>(this)) != nullptr));
    return found;
  }
};

}  // namespace winsim::combase
