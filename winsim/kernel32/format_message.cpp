// FormatMessageW over the system message table and ntdll's message table.
// Inserts are never expanded: no text of these tables contains one.
#include <algorithm>
#include <optional>
#include <string_view>

#include <windows.h>

#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"
#include "kernel32/library_loader.h"
#include "kernel32/local_heap.h"
#include "kernel32/system_message_table.h"
#include "ntdll/status_message_table.h"

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;
namespace kernel32 = winsim::kernel32;

const Operation kFormatMessageW{"FormatMessageW", FailureKind::kLastError};

// The tables hold English texts only, which neutral and English language ids
// select.
bool language_available(DWORD language_id) {
  const auto primary = PRIMARYLANGID(static_cast<LANGID>(language_id));
  return language_id <= 0xFFFF && (primary == LANG_NEUTRAL || primary == LANG_ENGLISH);
}

// With an allocated buffer, the pointer variable the caller passed receives
// NULL when the call fails.
void clear_allocated_buffer(DWORD flags, LPWSTR buffer) {
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 && buffer != nullptr) {
    *reinterpret_cast<LPWSTR*>(buffer) = nullptr;
  }
}

DWORD fail(DWORD flags, LPWSTR buffer, DWORD error) {
  clear_allocated_buffer(flags, buffer);
  kernel32::set_last_error(error);
  return 0;
}

}  // namespace

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) try {
  (void)Arguments;
  if (auto fault = kFormatMessageW.enter()) {
    return fail(dwFlags, lpBuffer, fault->code);
  }
  if ((dwFlags & FORMAT_MESSAGE_FROM_STRING) != 0) {
    winsim::faults::record_unsupported("FormatMessageW", "FORMAT_MESSAGE_FROM_STRING");
    return fail(dwFlags, lpBuffer, ERROR_INVALID_PARAMETER);
  }
  if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0) {
    winsim::faults::record_unsupported("FormatMessageW", "line width limits");
    return fail(dwFlags, lpBuffer, ERROR_INVALID_PARAMETER);
  }
  const bool from_module = (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
  const bool from_system = (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
  if ((!from_module && !from_system) || lpBuffer == nullptr) {
    return fail(dwFlags, lpBuffer, ERROR_INVALID_PARAMETER);
  }
  if (!language_available(dwLanguageId)) {
    return fail(dwFlags, lpBuffer, ERROR_RESOURCE_LANG_NOT_FOUND);
  }

  // The module's table first, then the system's.
  std::optional<std::u16string_view> text;
  if (from_module && lpSource == kernel32::ntdll_module()) {
    text = winsim::ntdll::status_message(dwMessageId);
  }
  if (!text && from_system) {
    text = kernel32::system_message(dwMessageId);
  }
  if (!text) {
    // Any other module, this process's image included, has no message table.
    const bool module_without_table = from_module && lpSource != kernel32::ntdll_module();
    return fail(dwFlags, lpBuffer,
                module_without_table && !from_system ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                                     : ERROR_MR_MID_NOT_FOUND);
  }

  const auto length = static_cast<DWORD>(text->size());
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    // nSize is the least number of units to allocate.
    const DWORD units = std::max(nSize, length + 1);
    auto* block = static_cast<LPWSTR>(kernel32::local_alloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (block == nullptr) {
      return fail(dwFlags, lpBuffer, ERROR_NOT_ENOUGH_MEMORY);
    }
    std::copy(text->begin(), text->end(), block);
    block[length] = u'\0';
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return length;
  }
  if (nSize < length + 1) {
    return fail(dwFlags, lpBuffer, ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(text->begin(), text->end(), lpBuffer);
  lpBuffer[length] = u'\0';
  return length;
} catch (...) {
  clear_allocated_buffer(dwFlags, lpBuffer);
  return winsim::entry::failed_with_last_error(DWORD{0});
}
