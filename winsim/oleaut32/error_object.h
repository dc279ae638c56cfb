// The error object that failing methods attach to the thread: IErrorInfo, and
// IRestrictedErrorInfo when it carries a restricted description.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <oleauto.h>

#include "combase/com_object.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::oleaut32 {

struct ErrorDetails {
  HRESULT code = E_FAIL;
  std::optional<std::u16string> description;
  std::optional<std::u16string> restricted_description;
};

class ErrorObject final : public combase::ComObject<ErrorObject, ErrorDetails, IErrorInfo,
                                                    winrt_abi::IRestrictedErrorInfo> {
 public:
  static constexpr std::string_view kClassName = "ErrorInfo";

  explicit ErrorObject(const ErrorDetails& details);

  bool exposes(REFIID iid) const;

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override;
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override;
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override;
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override;
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override;

  // IRestrictedErrorInfo
  HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                            BSTR* restricted_description,
                                            BSTR* capability_sid) override;
  HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) override;

 private:
  // Fixed at creation, so that QueryInterface can still answer for a zombie.
  const bool restricted_;
};

}  // namespace winsim::oleaut32
