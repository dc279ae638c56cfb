#include "kernel32/library_loader.h"

#include <atomic>
#include <cstdint>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"

namespace winsim::kernel32 {

namespace {

// Stands for ntdll's image base: never dereferenced, only compared.
struct ModuleImage {
  char unused;
};
ModuleImage g_ntdll_image;
ModuleImage g_user32_image;
std::atomic<bool> g_dpi_awareness_exports{true};

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

HMODULE ntdll_module() { return reinterpret_cast<HMODULE>(&g_ntdll_image); }

// A name without an extension means the ".dll" file, as on Windows.
bool names_ntdll(std::string_view file_name) {
  return equals_ignoring_case(file_name, "ntdll.dll") || equals_ignoring_case(file_name, "ntdll");
}

void set_dpi_awareness_exports(bool offered) { g_dpi_awareness_exports = offered; }

}  // namespace winsim::kernel32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kLoadLibraryExA{"LoadLibraryExA", FailureKind::kObject};
const Operation kFreeLibrary{"FreeLibrary", FailureKind::kLastError};
const Operation kGetModuleHandleW{"GetModuleHandleW", FailureKind::kObject};
const Operation kGetProcAddress{"GetProcAddress", FailureKind::kObject};

// A module name as GetModuleHandleW compares it: ASCII letters ignoring case.
std::string narrow_module_name(LPCWSTR name) {
  std::string narrow;
  for (; *name != u'\0'; ++name) {
    narrow.push_back(*name < 0x80 ? static_cast<char>(*name) : '?');
  }
  return narrow;
}

bool names_user32(std::string_view file_name) {
  return winsim::kernel32::equals_ignoring_case(file_name, "user32.dll") ||
         winsim::kernel32::equals_ignoring_case(file_name, "user32");
}

}  // namespace

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) try {
  (void)dwFlags;
  if (auto fault = kLoadLibraryExA.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (lpLibFileName == nullptr || hFile != nullptr) {
    winsim::kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!winsim::kernel32::names_ntdll(lpLibFileName)) {
    winsim::kernel32::set_last_error(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return winsim::kernel32::ntdll_module();
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) try {
  if (auto fault = kFreeLibrary.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return FALSE;
  }
  // ntdll is mapped into every process for its whole life: freeing it only
  // drops the reference.
  if (hLibModule != winsim::kernel32::ntdll_module()) {
    winsim::kernel32::set_last_error(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
} catch (...) {
  return winsim::entry::failed_with_last_error(FALSE);
}

// No reference is taken: the module stays mapped whatever the caller does.
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) try {
  if (auto fault = kGetModuleHandleW.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (lpModuleName == nullptr) {
    winsim::faults::record_unsupported("GetModuleHandleW", "the executable's own module");
    winsim::kernel32::set_last_error(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const std::string name = narrow_module_name(lpModuleName);
  if (winsim::kernel32::names_ntdll(name)) {
    return winsim::kernel32::ntdll_module();
  }
  if (names_user32(name)) {
    return reinterpret_cast<HMODULE>(&winsim::kernel32::g_user32_image);
  }
  winsim::kernel32::set_last_error(ERROR_MOD_NOT_FOUND);
  return nullptr;
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

// Names are compared exactly, as Windows compares them; ordinals are not known.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) try {
  if (auto fault = kGetProcAddress.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (hModule != reinterpret_cast<HMODULE>(&winsim::kernel32::g_user32_image) &&
      hModule != winsim::kernel32::ntdll_module()) {
    winsim::kernel32::set_last_error(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (reinterpret_cast<std::uintptr_t>(lpProcName) <= 0xFFFF) {
    winsim::faults::record_unsupported("GetProcAddress", "ordinals");
    winsim::kernel32::set_last_error(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const std::string_view name(lpProcName);
  if (hModule != winsim::kernel32::ntdll_module() && winsim::kernel32::g_dpi_awareness_exports) {
    if (name == "SetThreadDpiAwarenessContext") {
      return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SetThreadDpiAwarenessContext));
    }
    if (name == "GetThreadDpiAwarenessContext") {
      return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&GetThreadDpiAwarenessContext));
    }
  }
  winsim::kernel32::set_last_error(ERROR_PROC_NOT_FOUND);
  return nullptr;
} catch (...) {
  return winsim::entry::failed_with_last_error(FARPROC{nullptr});
}
