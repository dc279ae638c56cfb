#include "oleaut32/error_object.h"

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"
#include "oleaut32/bstr.h"

namespace winsim::oleaut32 {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kGetGUID{"GetGUID", FailureKind::kHresult};
const Operation kGetSource{"GetSource", FailureKind::kHresult};
const Operation kGetDescription{"GetDescription", FailureKind::kHresult};
const Operation kGetHelpFile{"GetHelpFile", FailureKind::kHresult};
const Operation kGetHelpContext{"GetHelpContext", FailureKind::kHresult};
const Operation kGetErrorDetails{"GetErrorDetails", FailureKind::kHresult};
const Operation kGetReference{"GetReference", FailureKind::kHresult};

// Out-parameters are cleared before anything can fail.
template <typename T>
void clear(T* out) {
  if (out != nullptr) {
    *out = T{};
  }
}

// The result of a call that the fault table fails: its failure code, or S_OK
// with nothing delivered for a fault that asks for no object.
std::optional<HRESULT> injected(const Operation& operation) {
  if (auto fault = operation.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  return std::nullopt;
}

// Returns one optional text as a fresh BSTR.
HRESULT get_text(const Operation& operation, const ErrorDetails* details,
                 const std::optional<std::u16string>& text, BSTR* out) {
  clear(out);
  if (const auto hr = injected(operation)) {
    return *hr;
  }
  if (out == nullptr) {
    return E_POINTER;
  }
  if (details == nullptr) {
    return E_UNEXPECTED;
  }
  if (text && (*out = allocate_bstr(std::u16string_view(*text))) == nullptr) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

const std::optional<std::u16string> kNoText;

}  // namespace

ErrorObject::ErrorObject(const ErrorDetails& details)
    : ComObject(std::in_place, details), restricted_(details.restricted_description.has_value()) {}

bool ErrorObject::exposes(REFIID iid) const {
  return iid != winrt_abi::IID_IRestrictedErrorInfo || restricted_;
}

HRESULT ErrorObject::GetGUID(GUID* pGUID) try {
  clear(pGUID);
  if (const auto hr = injected(kGetGUID)) {
    return *hr;
  }
  if (pGUID == nullptr) {
    return E_POINTER;
  }
  return state("GetGUID") != nullptr ? S_OK : E_UNEXPECTED;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetSource(BSTR* pBstrSource) try {
  return get_text(kGetSource, state("GetSource"), kNoText, pBstrSource);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetDescription(BSTR* pBstrDescription) try {
  ErrorDetails* details = state("GetDescription");
  return get_text(kGetDescription, details, details ? details->description : kNoText,
                  pBstrDescription);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetHelpFile(BSTR* pBstrHelpFile) try {
  return get_text(kGetHelpFile, state("GetHelpFile"), kNoText, pBstrHelpFile);
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetHelpContext(DWORD* pdwHelpContext) try {
  clear(pdwHelpContext);
  if (const auto hr = injected(kGetHelpContext)) {
    return *hr;
  }
  if (pdwHelpContext == nullptr) {
    return E_POINTER;
  }
  return state("GetHelpContext") != nullptr ? S_OK : E_UNEXPECTED;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetErrorDetails(BSTR* description, HRESULT* error,
                                     BSTR* restricted_description, BSTR* capability_sid) try {
  clear(description);
  clear(error);
  clear(restricted_description);
  clear(capability_sid);
  if (const auto hr = injected(kGetErrorDetails)) {
    return *hr;
  }
  if (description == nullptr || error == nullptr || restricted_description == nullptr ||
      capability_sid == nullptr) {
    return E_POINTER;
  }
  ErrorDetails* details = state("GetErrorDetails");
  if (details == nullptr) {
    return E_UNEXPECTED;
  }
  *description = allocate_bstr(details->description);
  *restricted_description = allocate_bstr(details->restricted_description);
  if ((details->description && *description == nullptr) ||
      (details->restricted_description && *restricted_description == nullptr)) {
    free_bstr(*description);
    free_bstr(*restricted_description);
    *description = nullptr;
    *restricted_description = nullptr;
    return E_OUTOFMEMORY;
  }
  *error = details->code;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT ErrorObject::GetReference(BSTR* reference) try {
  return get_text(kGetReference, state("GetReference"), kNoText, reference);
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::oleaut32
