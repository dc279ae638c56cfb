// Objects that Windows keeps for the whole life of the process (activation
// factories): they never go away and are not counted among live objects. A
// caller still owns each reference it is given, so the references handed out
// are counted: a release beyond them is recorded as misuse.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include <inspectable.h>
#include <unknwn.h>

#include "combase/com_failure.h"
#include "combase/query_interface.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "opticatcher/abi/interface_id.h"

namespace winsim::combase {

template <typename FirstInterface, typename... OtherInterfaces>
class StaticObject : public FirstInterface, public OtherInterfaces... {
 public:
  explicit StaticObject(std::string_view name) : name_(name) {}
  StaticObject(const StaticObject&) = delete;
  StaticObject& operator=(const StaticObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final try {
    if (object == nullptr) {
      return E_POINTER;
    }
    *object = nullptr;
    if (const faults::Operation* query = query_operation(iid)) {
      if (auto fault = query->enter()) {
        return fault->null ? S_OK : fail_method(*fault);
      }
    }
    return query_internal(iid, object);
  } catch (...) {
    return entry::failed_hresult();
  }
  ULONG STDMETHODCALLTYPE AddRef() final try {
    return static_cast<ULONG>(handed_out_.fetch_add(1) + 2);  // with the process's own
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }
  ULONG STDMETHODCALLTYPE Release() final try {
    std::int64_t count = handed_out_.load();
    do {
      if (count <= 0) {
        faults::record_misuse("release below zero: " + std::string(name_));
        return 1;
      }
    } while (!handed_out_.compare_exchange_weak(count, count - 1));
    return static_cast<ULONG>(count);
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }

  // IInspectable, for factories whose interfaces derive from it.
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) try {
    if (iidCount != nullptr) *iidCount = 0;
    if (iids != nullptr) *iids = nullptr;
    return E_NOTIMPL;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) try {
    if (className != nullptr) *className = nullptr;
    return E_NOTIMPL;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) try {
    if (trustLevel == nullptr) return E_POINTER;
    *trustLevel = FullTrust;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }

  // Not an operation of the code under test (neither counted as a call nor
  // failing on request); the reference goes to the caller.
  HRESULT query_internal(REFIID iid, void** object) {
    *object = find_interface(iid);
    if (*object == nullptr) return E_NOINTERFACE;
    handed_out_.fetch_add(1);
    return S_OK;
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
    return interface_pointer<FirstInterface, OtherInterfaces...>(this, iid);
  }

  std::string_view name_;
  std::atomic<std::int64_t> handed_out_{0};  // references callers own
};

}  // namespace winsim::combase
