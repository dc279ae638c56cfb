// Interfaces that older SDKs and mingw-w64 do not declare, declared once here
// with the vtable order and IIDs of the Windows metadata. The Windows build and
// winsim both use these declarations.
#pragma once

#include "platform/windows/interface_id.h"
#include "platform/windows/win32.h"

namespace abi {

// restrictederrorinfo.idl
inline constexpr IID IID_IRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};

struct IRestrictedErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                                    BSTR* restricted_description,
                                                    BSTR* capability_sid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;
};

}  // namespace abi

OPTICATCHER_INTERFACE_ID(abi::IRestrictedErrorInfo, abi::IID_IRestrictedErrorInfo);
