// The COM identity of the delegates the module hands to Windows (event
// handlers, completion handlers): reference counted, agile (callable on any
// thread, so Windows calls it where the event happens instead of marshaling
// the call) and free-threaded when asked for IMarshal, through the system's
// free-threaded marshaler, aggregated on the first such query.
//
//   class Handler final : public AgileDelegate<IThingHandler> {
//     HRESULT STDMETHODCALLTYPE Invoke(...) override;
//   };
//
// A delegate is made with one reference (ComPtr<Handler>::attach(new ...))
// and deletes itself on its final Release.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/win32.h"

// A caller may pass a null identifier through the ABI even though C++ says a
// reference is never null; the volatile read keeps the test from being
// optimised away.
inline bool is_null_iid(const IID& iid) {
  const IID* volatile address = &iid;
  return address == nullptr;
}

template <class Interface>
requires HasInterfaceId<Interface>
class AgileDelegate : public Interface {
 public:
  AgileDelegate(const AgileDelegate&) = delete;
  AgileDelegate& operator=(const AgileDelegate&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (is_null_iid(iid)) return E_POINTER;
    if (iid == IID_IMarshal) return query_marshal(object);
    if (iid == IID_IUnknown || iid == IID_IAgileObject || iid == InterfaceId<Interface>::value) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return references_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() final {
    const std::uint32_t remaining = references_.fetch_sub(1) - 1;
    if (remaining == 0) delete this;
    return remaining;
  }

 protected:
  AgileDelegate() = default;
  virtual ~AgileDelegate() = default;

 private:
  HRESULT query_marshal(void** object) {
    std::lock_guard lock(marshaler_lock_);
    if (!marshaler_) {
      const HRESULT hr =
          CoCreateFreeThreadedMarshaler(static_cast<Interface*>(this), marshaler_.put());
      if (FAILED(hr)) return hr;
      if (!marshaler_) return E_NOINTERFACE;
    }
    // The aggregated marshaler's IMarshal counts its references on this object.
    return marshaler_->QueryInterface(IID_IMarshal, object);
  }

  std::atomic<std::uint32_t> references_{1};
  // Kept until this object dies, since the IMarshal it hands out lives inside
  // it. Its lock is taken only by that query, never with another lock.
  std::mutex marshaler_lock_;
  ComPtr<IUnknown> marshaler_;  // guarded by marshaler_lock_
};
