#include "platform/windows/api_error.h"

#include <cstdint>
#include <cstdio>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/text.h"

namespace {

constexpr std::uint32_t kNtStatusFacilityBit = 0x10000000;

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(value_); }
  BSTR* put() { return &value_; }
  bool empty() const { return value_ == nullptr || SysStringLen(value_) == 0; }
  WideString text() const {
    return value_ == nullptr ? WideString() : WideString(value_, SysStringLen(value_));
  }

 private:
  BSTR value_ = nullptr;
};

// Owns one LocalAlloc'd buffer.
class LocalBuffer {
 public:
  LocalBuffer() = default;
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() {
    if (value_ != nullptr) LocalFree(value_);
  }
  LPWSTR* put() { return &value_; }
  const WCHAR* get() const { return value_; }

 private:
  LPWSTR value_ = nullptr;
};

WideString message_from_error_info(IErrorInfo* info) {
  WideString message;
  // Not implementing the restricted interface is an answer, not a failure.
  ComPtr<winrt_abi::IRestrictedErrorInfo> restricted;
  if (SUCCEEDED(info->QueryInterface(winrt_abi::IID_IRestrictedErrorInfo, restricted.put_void())) &&
      restricted) {
    Bstr description, restricted_description, capability_sid;
    HRESULT error = 0;
    if (SUCCEEDED(restricted->GetErrorDetails(
            description.put(), &error, restricted_description.put(), capability_sid.put()))) {
      message =
          !restricted_description.empty() ? restricted_description.text() : description.text();
    }
  }
  if (message.empty()) {
    Bstr description;
    if (SUCCEEDED(info->GetDescription(description.put()))) message = description.text();
  }
  return message;
}

WideString message_from_system(HRESULT code) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  auto id = static_cast<DWORD>(code);
  HMODULE ntdll = nullptr;
  if ((id & kNtStatusFacilityBit) != 0) {
    id &= ~kNtStatusFacilityBit;
    ntdll = LoadLibraryExA("ntdll.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (ntdll != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  LocalBuffer buffer;
  const DWORD length =
      FormatMessageW(flags, ntdll, id, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
  WideString message;
  if (length > 0 && buffer.get() != nullptr) message.assign(buffer.get(), length);
  if (ntdll != nullptr) FreeLibrary(ntdll);
  return message;
}

bool is_trailing_space(WCHAR unit) { return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20; }

}  // namespace

WindowsApiError hresult_from_last_error() {
  const DWORD value = GetLastError();
  const auto as_signed = static_cast<std::int32_t>(value);
  const HRESULT code =
      as_signed > 0 ? static_cast<HRESULT>((value & 0xFFFF) | 0x80070000) : as_signed;
  return WindowsApiError{code, {}};
}

WindowsApiError hresult_from_com(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK) info.reset();
  return WindowsApiError{hr, ErrorInfo(info.detach())};
}

WindowsApiError null_object_error() { return WindowsApiError{0, {}}; }

ErrorInfo& ErrorInfo::operator=(ErrorInfo&& other) noexcept {
  if (this != &other) {
    ComPtr<IErrorInfo>::attach(info_);  // released here
    info_ = std::exchange(other.info_, nullptr);
  }
  return *this;
}

ErrorInfo::~ErrorInfo() { ComPtr<IErrorInfo>::attach(info_); }

std::string windows_error_text(const WindowsApiError& error) {
  WideString message =
      error.info ? message_from_error_info(error.info.get()) : message_from_system(error.code);
  while (!message.empty() && is_trailing_space(message.back())) message.pop_back();

  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(error.code));
  if (message.empty()) return code;
  return utf16_to_utf8(message.data(), message.size()) + " (" + code + ")";
}
