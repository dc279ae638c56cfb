// CoCreateFreeThreadedMarshaler. winsim has a single apartment kind, so the
// marshaler is never asked to marshal: it exists so that an object can answer
// IMarshal through it, and is counted like any other object.
#include <objbase.h>

#include "combase/com_failure.h"
#include "combase/com_object.h"
#include "control/misuse_log.h"
#include "control/operation.h"

namespace winsim::combase {

namespace {

struct MarshalerState {};

class FreeThreadedMarshaler final
    : public ComObject<FreeThreadedMarshaler, MarshalerState, IMarshal> {
 public:
  static constexpr std::string_view kClassName = "FreeThreadedMarshaler";
  FreeThreadedMarshaler() : ComObject(std::in_place) {}

  HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD, void*, DWORD, CLSID*) override {
    return unsupported("GetUnmarshalClass");
  }
  HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD, void*, DWORD, DWORD*) override {
    return unsupported("GetMarshalSizeMax");
  }
  HRESULT STDMETHODCALLTYPE MarshalInterface(IStream*, REFIID, void*, DWORD, void*,
                                             DWORD) override {
    return unsupported("MarshalInterface");
  }
  HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream*, REFIID, void**) override {
    return unsupported("UnmarshalInterface");
  }
  HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream*) override {
    return unsupported("ReleaseMarshalData");
  }
  HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override {
    return unsupported("DisconnectObject");
  }

 private:
  static HRESULT unsupported(std::string_view method) {
    control::record_unsupported(std::string("IMarshal::") + std::string(method),
                                "marshaling between apartments");
    return E_NOTIMPL;
  }
};

const control::Operation kCoCreateFreeThreadedMarshaler{"CoCreateFreeThreadedMarshaler",
                                                        control::FailureKind::kHresult};

}  // namespace

}  // namespace winsim::combase

HRESULT STDAPICALLTYPE CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal) {
  (void)punkOuter;
  if (ppunkMarshal != nullptr) {
    *ppunkMarshal = nullptr;
  }
  if (auto fault = winsim::combase::kCoCreateFreeThreadedMarshaler.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (ppunkMarshal == nullptr) {
    return E_INVALIDARG;
  }
  *ppunkMarshal = static_cast<IMarshal*>(winsim::combase::FreeThreadedMarshaler::create());
  return S_OK;
}
