// Error texts: what a failed call reads as, compared with what the system
// itself says for the code (Wine's texts are shorter than Windows', or absent).
#include "../stand_in/com_object.h"
#include "check.h"
#include "platform/windows/api_error.h"
#include "support.h"

namespace {

// Error information that also answers IRestrictedErrorInfo, as the runtime's
// does: the module prefers its restricted description.
class RestrictedInfo final
    : public stand_in::ComObject<IErrorInfo, winrt_abi::IRestrictedErrorInfo> {
 public:
  RestrictedInfo(const char* description, const char* restricted, HRESULT details)
      : description_(utf16_from_system(description)),
        restricted_(utf16_from_system(restricted)),
        details_(details) {}

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    *guid = GUID{};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override {
    *source = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override {
    *description = SysAllocString(L"from IErrorInfo");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* file) override {
    *file = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override {
    *context = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error, BSTR* restricted,
                                            BSTR* capability) override {
    if (FAILED(details_)) return details_;
    *description = SysAllocString(description_.c_str());
    *error = E_FAIL;
    *restricted = restricted_.empty() ? nullptr : SysAllocString(restricted_.c_str());
    *capability = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) override {
    *reference = nullptr;
    return S_OK;
  }

 private:
  std::basic_string<WCHAR> description_;
  std::basic_string<WCHAR> restricted_;
  HRESULT details_;
};

// Sets the thread's error information to a plain IErrorInfo made by the
// system, with `description`.
bool set_system_error_info(const char* description) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return false;
  const auto text = utf16_from_system(description);
  if (FAILED(create->SetDescription(const_cast<LPOLESTR>(text.c_str())))) return false;
  ComPtr<IErrorInfo> info;
  if (FAILED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) return false;
  return SetErrorInfo(0, info.get()) == S_OK;
}

bool thread_has_error_info() {
  ComPtr<IErrorInfo> info;
  return GetErrorInfo(0, info.put()) == S_OK && info;
}

void check_last_error_texts() {
  // Win32 codes with a system message (text lengths differ under Wine), a
  // value whose high word is dropped, success, and one already an HRESULT.
  for (const DWORD value :
       {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_INVALID_WINDOW_HANDLE},
        DWORD{ERROR_INVALID_MONITOR_HANDLE}, DWORD{0x52345}, DWORD{0}, DWORD{0x887A0005}}) {
    SetLastError(value);
    const WindowsApiError error = hresult_from_last_error();
    const std::string name = "error text: last error " + hex(value);
    check_equal(hex(static_cast<unsigned long>(error.code)),
                hex(static_cast<unsigned long>(HRESULT_FROM_WIN32(value))), name + " as HRESULT");
    check_equal(windows_error_text(error), expected_error_text(error.code),
                name + " reads as the system says");
  }
}

void check_com_texts() {
  SetErrorInfo(0, nullptr);
  for (const HRESULT code :
       {E_FAIL, E_INVALIDARG, static_cast<HRESULT>(0x887A0005), static_cast<HRESULT>(0x80040154)}) {
    const WindowsApiError error = hresult_from_com(code);
    const std::string name = "error text: COM " + hex(static_cast<unsigned long>(code));
    check(!error.info, name + " without error information has none");
    check_equal(windows_error_text(error), expected_error_text(code),
                name + " reads as the system says");
  }
  check_equal(windows_error_text(null_object_error()), expected_error_text(S_OK),
              "error text: a success without its object");
  check_equal(error_message(MonitorError::windows(hresult_from_com(E_ACCESSDENIED))),
              "Windows API error: " + expected_error_text(E_ACCESSDENIED),
              "error text: a monitor error family's Windows API error");

  // The thread's error information belongs to the failure it is read with.
  const char* description = "The stand-in failed \xF0\x9F\x98\x80 in detail.\r\n";
  if (check(set_system_error_info(description),
            "error info: set by the system's CreateErrorInfo")) {
    const WindowsApiError error = hresult_from_com(E_FAIL);
    check(static_cast<bool>(error.info), "error info: taken with the failure");
    check(!thread_has_error_info(), "error info: no longer the thread's once taken");
    check_equal(windows_error_text(error),
                std::string("The stand-in failed \xF0\x9F\x98\x80 in detail. (0x80004005)"),
                "error info: its description (line break removed) and the code");
  }

  struct Case {
    const char* name;
    const char* description;
    const char* restricted;
    HRESULT details;
    const char* text;
  };
  for (const Case& c : {
           Case{"the restricted description first", "plain", "restricted", S_OK,
                "restricted (0x80004005)"},
           Case{"the description without a restricted one", "plain", "", S_OK,
                "plain (0x80004005)"},
           Case{"IErrorInfo's description when the details fail", "plain", "restricted", E_FAIL,
                "from IErrorInfo (0x80004005)"},
       }) {
    auto info = stand_in::make_object<RestrictedInfo>(c.description, c.restricted, c.details);
    SetErrorInfo(0, static_cast<IErrorInfo*>(info.get()));
    const WindowsApiError error = hresult_from_com(E_FAIL);
    check_equal(windows_error_text(error), std::string(c.text),
                std::string("restricted error info: ") + c.name);
  }
}

void check_nt_status_text() {
  // NT status codes (the N bit set) take their text from ntdll's message
  // table; Wine has none, Windows has one.
  const HRESULT code = static_cast<HRESULT>(0xD0000022);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const std::string message = system_message(0xC0000022, ntdll);
  const std::string number = hex(static_cast<unsigned long>(code));
  check_equal(windows_error_text(WindowsApiError{code, {}}),
              message.empty() ? number : message + " (" + number + ")",
              "error text: an NT status reads as ntdll's message table says");
}

}  // namespace

void check_error_texts() {
  check_last_error_texts();
  check_com_texts();
  check_nt_status_text();
}
