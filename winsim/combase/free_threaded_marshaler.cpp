// CoCreateFreeThreadedMarshaler. winsim has a single apartment kind, so the
// marshaler is never asked to marshal: it exists so that an object can answer
// IMarshal through it, and is counted like any other object.
//
// As on Windows, the marshaler is aggregated into the object given as
// punkOuter: the caller receives the marshaler's own, non-delegating IUnknown
// (which counts the marshaler's references), while the IMarshal it answers
// belongs to the outer object: that interface's QueryInterface, AddRef and
// Release go to the outer object, so a caller holding only the IMarshal keeps
// the outer object alive. Without an outer object the marshaler stands alone.
#include <objbase.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "combase/com_failure.h"
#include "combase/object_census.h"
#include "combase/query_interface.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::combase {

namespace {

class FreeThreadedMarshaler final : public IUnknown {
 public:
  static constexpr std::string_view kClassName = "FreeThreadedMarshaler";

  explicit FreeThreadedMarshaler(IUnknown* outer)
      : marshal_(*this), controlling_(outer != nullptr ? outer : this) {
    object_created(kClassName);
  }

  // The non-delegating IUnknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override try {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (is_zombie("QueryInterface")) return E_UNEXPECTED;
    if (const faults::Operation* query = query_operation(iid)) {
      if (auto fault = query->enter()) {
        return fault->null ? S_OK : fail_method(*fault);
      }
    }
    if (iid == IID_IUnknown) {
      references_.fetch_add(1);
      *object = static_cast<IUnknown*>(this);
      return S_OK;
    }
    if (iid == IID_IMarshal) {
      marshal_.AddRef();  // a reference to the outer object
      *object = static_cast<IMarshal*>(&marshal_);
      return S_OK;
    }
    return E_NOINTERFACE;
  } catch (...) {
    return entry::failed_hresult();
  }

  ULONG STDMETHODCALLTYPE AddRef() override try {
    std::int64_t count = references_.load();
    do {
      if (count <= 0) {
        faults::record_misuse("use after final release: FreeThreadedMarshaler::AddRef");
        return 0;
      }
    } while (!references_.compare_exchange_weak(count, count + 1));
    return static_cast<ULONG>(count + 1);
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }

  ULONG STDMETHODCALLTYPE Release() override try {
    std::int64_t count = references_.load();
    do {
      if (count <= 0) {
        faults::record_misuse("release below zero: FreeThreadedMarshaler");
        return 0;
      }
    } while (!references_.compare_exchange_weak(count, count - 1));
    if (count == 1) {
      object_released(kClassName, this,
                      [](void* zombie) { delete static_cast<FreeThreadedMarshaler*>(zombie); });
    }
    return static_cast<ULONG>(count - 1);
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }

 private:
  // The IMarshal handed out: its IUnknown is the controlling object's.
  class Marshal final : public IMarshal {
   public:
    explicit Marshal(FreeThreadedMarshaler& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override try {
      return owner_.controlling_->QueryInterface(iid, object);
    } catch (...) {
      return entry::failed_hresult();
    }
    ULONG STDMETHODCALLTYPE AddRef() override try {
      return owner_.controlling_->AddRef();
    } catch (...) {
      return entry::failed_silently(ULONG{0});
    }
    ULONG STDMETHODCALLTYPE Release() override try {
      return owner_.controlling_->Release();
    } catch (...) {
      return entry::failed_silently(ULONG{0});
    }

    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD, void*, DWORD, CLSID*) override
        try {
      return unsupported("GetUnmarshalClass");
    } catch (...) {
      return entry::failed_hresult();
    }
    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD, void*, DWORD, DWORD*) override
        try {
      return unsupported("GetMarshalSizeMax");
    } catch (...) {
      return entry::failed_hresult();
    }
    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream*, REFIID, void*, DWORD, void*,
                                               DWORD) override try {
      return unsupported("MarshalInterface");
    } catch (...) {
      return entry::failed_hresult();
    }
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream*, REFIID, void**) override try {
      return unsupported("UnmarshalInterface");
    } catch (...) {
      return entry::failed_hresult();
    }
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream*) override try {
      return unsupported("ReleaseMarshalData");
    } catch (...) {
      return entry::failed_hresult();
    }
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override try {
      return unsupported("DisconnectObject");
    } catch (...) {
      return entry::failed_hresult();
    }

   private:
    static HRESULT unsupported(std::string_view method) {
      faults::record_unsupported(std::string("IMarshal::") + std::string(method),
                                 "marshaling between apartments");
      return E_NOTIMPL;
    }

    FreeThreadedMarshaler& owner_;
  };

  bool is_zombie(std::string_view method) {
    if (references_.load() > 0) return false;
    faults::record_misuse("use after final release: FreeThreadedMarshaler::" + std::string(method));
    return true;
  }

  Marshal marshal_;
  IUnknown* controlling_;  // the outer object (no reference), or this marshaler
  std::atomic<std::int64_t> references_{1};
};

const faults::Operation kCoCreateFreeThreadedMarshaler{"CoCreateFreeThreadedMarshaler",
                                                       faults::FailureKind::kHresult};

}  // namespace

}  // namespace winsim::combase

HRESULT STDAPICALLTYPE CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter,
                                                     LPUNKNOWN* ppunkMarshal) try {
  if (ppunkMarshal != nullptr) {
    *ppunkMarshal = nullptr;
  }
  if (auto fault = winsim::combase::kCoCreateFreeThreadedMarshaler.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (ppunkMarshal == nullptr) {
    return E_INVALIDARG;
  }
  *ppunkMarshal = new winsim::combase::FreeThreadedMarshaler(punkOuter);
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}
