#include "combase/hstring.h"

#include <memory>
#include <mutex>
#include <unordered_set>

#include <winstring.h>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "common/fork_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::combase {

namespace {

struct StringRecord {
  std::u16string text;
};

// Live strings, so that a stale or foreign handle is recognised.
struct StringTable {
  std::mutex mutex;
  std::unordered_set<const StringRecord*> live;
};

StringTable& strings() {
  static auto* table = fork::make_joined<StringTable>(fork::Rank::kStrings);
  return *table;
}

const StringRecord* record_of(HSTRING string) {
  return reinterpret_cast<const StringRecord*>(string);
}

const faults::Operation kWindowsCreateString{"WindowsCreateString", faults::FailureKind::kHresult};
const faults::Operation kWindowsDeleteString{"WindowsDeleteString", faults::FailureKind::kNever};

}  // namespace

std::optional<std::u16string> hstring_text(HSTRING string) {
  if (string == nullptr) {
    return std::u16string();
  }
  StringTable& table = strings();
  std::lock_guard lock(table.mutex);
  if (!table.live.contains(record_of(string))) {
    return std::nullopt;
  }
  return record_of(string)->text;
}

HSTRING make_hstring(const std::u16string& text) {
  if (text.empty()) {
    return nullptr;
  }
  auto record = std::make_unique<StringRecord>(text);
  StringTable& table = strings();
  std::lock_guard lock(table.mutex);
  table.live.insert(record.get());
  return reinterpret_cast<HSTRING>(record.release());
}

std::int64_t live_hstrings() {
  StringTable& table = strings();
  std::lock_guard lock(table.mutex);
  return static_cast<std::int64_t>(table.live.size());
}

}  // namespace winsim::combase

using winsim::combase::strings;

HRESULT WINAPI WindowsCreateString(LPCWSTR sourceString, UINT32 length, HSTRING* string) try {
  if (string != nullptr) {
    *string = nullptr;
  }
  if (auto fault = winsim::combase::kWindowsCreateString.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (string == nullptr || (sourceString == nullptr && length != 0)) {
    return E_INVALIDARG;
  }
  *string = winsim::combase::make_hstring(std::u16string(sourceString, length));
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}

HRESULT WINAPI WindowsDeleteString(HSTRING string) try {
  (void)winsim::combase::kWindowsDeleteString.enter();
  if (string == nullptr) {
    return S_OK;
  }
  auto* record = const_cast<winsim::combase::StringRecord*>(winsim::combase::record_of(string));
  {
    auto& table = strings();
    std::lock_guard lock(table.mutex);
    if (table.live.erase(record) == 0) {
      winsim::faults::record_misuse("WindowsDeleteString of a string that is not alive");
      return S_OK;
    }
  }
  delete record;
  return S_OK;
} catch (...) {
  return winsim::entry::failed_silently(S_OK);
}

namespace {

// The buffer of the empty string (a null HSTRING).
const WCHAR kEmptyString[] = {0};

}  // namespace

PCWSTR WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length) try {
  if (length != nullptr) {
    *length = 0;
  }
  if (string == nullptr) {
    return kEmptyString;
  }
  // The record stays alive while the caller owns the string.
  const auto* record = winsim::combase::record_of(string);
  if (length != nullptr) {
    *length = static_cast<UINT32>(record->text.size());
  }
  return record->text.c_str();
} catch (...) {
  return winsim::entry::failed_silently(kEmptyString);
}

UINT32 WINAPI WindowsGetStringLen(HSTRING string) try {
  return string == nullptr ? 0
                           : static_cast<UINT32>(winsim::combase::record_of(string)->text.size());
} catch (...) {
  return winsim::entry::failed_silently(UINT32{0});
}
