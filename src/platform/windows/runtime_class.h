// Runtime classes by name: their names as Windows Runtime strings and their
// activation factories.
#pragma once

#include <cstddef>
#include <expected>

#include "errors.h"
#include "opticatcher/com_ptr.h"
#include "opticatcher/abi/interface_id.h"
#include "platform/windows/com_call.h"
#include "platform/windows/win32.h"

// An ASCII class name as a zero-terminated UTF-16 array, built at compile
// time.
template <std::size_t N>
struct RuntimeClassName {
  WCHAR units[N];
  consteval RuntimeClassName(const char (&text)[N]) : units{} {
    for (std::size_t i = 0; i < N; ++i) units[i] = static_cast<WCHAR>(text[i]);
  }
  static constexpr UINT32 length() { return N - 1; }
};

// The one owner of a Windows Runtime string.
class RuntimeString {
 public:
  RuntimeString() = default;
  RuntimeString(const RuntimeString&) = delete;
  RuntimeString& operator=(const RuntimeString&) = delete;
  ~RuntimeString() {
    if (string_ != nullptr) WindowsDeleteString(string_);
  }
  HSTRING get() const { return string_; }
  HSTRING* put() { return &string_; }

 private:
  HSTRING string_ = nullptr;
};

// The activation factory of a runtime class, asked for interface T
// (REGDB_E_CLASSNOTREG where Windows has no such class).
template <class T, std::size_t N>
std::expected<ComPtr<T>, WindowsApiError> activation_factory(
    const RuntimeClassName<N>& class_name) {
  RuntimeString name;
  if (auto created =
          com_check(WindowsCreateString(class_name.units, class_name.length(), name.put()));
      !created) {
    return std::unexpected(std::move(created.error()));
  }
  return com_object<T>([&](T** out) {
    return RoGetActivationFactory(name.get(), InterfaceId<T>::value, reinterpret_cast<void**>(out));
  });
}
