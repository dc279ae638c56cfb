#include "kernel32/library_loader.h"

#include <cctype>
#include <string_view>

#include "common/entry_guard.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"

namespace winsim::kernel32 {

namespace {

// Stands for ntdll's image base: never dereferenced, only compared.
struct ModuleImage {
  char unused;
};
ModuleImage g_ntdll_image;

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

}  // namespace winsim::kernel32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kLoadLibraryExA{"LoadLibraryExA", FailureKind::kObject};
const Operation kFreeLibrary{"FreeLibrary", FailureKind::kLastError};

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
