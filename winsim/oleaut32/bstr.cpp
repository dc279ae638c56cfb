#include "oleaut32/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "common/entry_guard.h"
#include "common/fork_guard.h"
#include "common/hex.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"

namespace winsim::oleaut32 {

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

struct BstrHeap {
  std::mutex mutex;
  std::unordered_set<BSTR> live;
  // Freed and not handed out again: a second free is a double free.
  std::unordered_set<BSTR> freed;
};

BstrHeap& heap() {
  static auto* instance = fork::make_joined<BstrHeap>(fork::Rank::kBstrs);
  return *instance;
}

// A BSTR of `length` units copied from `units` (or zeroed when null).
BSTR allocate(const OLECHAR* units, std::size_t length) {
  if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefixBytes) / sizeof(OLECHAR) - 1) {
    return nullptr;
  }
  BstrHeap& bstrs = heap();
  const auto bytes = static_cast<std::uint32_t>(length * sizeof(OLECHAR));
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR)));
  if (block == nullptr) {
    return nullptr;
  }
  std::memcpy(block, &bytes, kPrefixBytes);
  auto* text = reinterpret_cast<BSTR>(block + kPrefixBytes);
  if (units != nullptr) {
    std::memcpy(text, units, bytes);
  } else {
    std::memset(text, 0, bytes);
  }
  text[length] = u'\0';
  std::lock_guard lock(bstrs.mutex);
  try {
    bstrs.live.insert(text);
  } catch (const std::bad_alloc&) {
    std::free(block);  // not counted: no memory to count it
    return nullptr;
  }
  bstrs.freed.erase(text);
  return text;
}

std::uint32_t byte_length(BSTR text) {
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - kPrefixBytes, kPrefixBytes);
  return bytes;
}

// The misuse message for a BSTR that is not live, or nothing when it is.
std::optional<std::string> not_live(BstrHeap& bstrs, BSTR text, const char* operation) {
  if (bstrs.live.contains(text)) {
    return std::nullopt;
  }
  std::string message = std::string(operation) + ": " + hex(text);
  message += bstrs.freed.contains(text) ? " was already freed" : " is not a BSTR";
  return message;
}

// The length in units of a live BSTR; 0, with the misuse recorded, otherwise.
UINT bstr_length(BSTR text) {
  BstrHeap& bstrs = heap();
  std::optional<std::string> misuse;
  {
    std::lock_guard lock(bstrs.mutex);
    misuse = not_live(bstrs, text, "SysStringLen");
    if (!misuse) {
      return byte_length(text) / sizeof(OLECHAR);
    }
  }
  faults::record_misuse(std::move(*misuse));
  return 0;
}

}  // namespace

BSTR allocate_bstr(std::u16string_view text) { return allocate(text.data(), text.size()); }

BSTR allocate_bstr(const std::optional<std::u16string>& text) {
  return text ? allocate_bstr(std::u16string_view(*text)) : nullptr;
}

void free_bstr(BSTR text) {
  if (text == nullptr) {
    return;
  }
  BstrHeap& bstrs = heap();
  std::optional<std::string> misuse;
  {
    std::lock_guard lock(bstrs.mutex);
    misuse = not_live(bstrs, text, "SysFreeString");
    if (!misuse) {
      bstrs.live.erase(text);
      std::free(reinterpret_cast<unsigned char*>(text) - kPrefixBytes);
      try {
        bstrs.freed.insert(text);
      } catch (const std::bad_alloc&) {
        // Kept only to tell a double free from a foreign pointer.
      }
    }
  }
  if (misuse) {
    faults::record_misuse(std::move(*misuse));
  }
}

std::int64_t live_bstrs() {
  BstrHeap& bstrs = heap();
  std::lock_guard lock(bstrs.mutex);
  return static_cast<std::int64_t>(bstrs.live.size());
}

}  // namespace winsim::oleaut32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kSysAllocString{"SysAllocString", FailureKind::kObject};
const Operation kSysAllocStringLen{"SysAllocStringLen", FailureKind::kObject};
const Operation kSysFreeString{"SysFreeString", FailureKind::kNever};
const Operation kSysStringLen{"SysStringLen", FailureKind::kNever};

}  // namespace

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) try {
  if (auto fault = kSysAllocString.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  if (psz == nullptr) {
    return nullptr;
  }
  return winsim::oleaut32::allocate_bstr(std::u16string_view(psz));
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui) try {
  if (auto fault = kSysAllocStringLen.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  return winsim::oleaut32::allocate(strIn, ui);
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

void STDAPICALLTYPE SysFreeString(BSTR bstrString) try {
  (void)kSysFreeString.enter();
  winsim::oleaut32::free_bstr(bstrString);
} catch (...) {
  winsim::entry::ignore_exception();
}

UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) try {
  (void)kSysStringLen.enter();
  return pbstr == nullptr ? 0 : winsim::oleaut32::bstr_length(pbstr);
} catch (...) {
  return winsim::entry::failed_silently(UINT{0});
}
