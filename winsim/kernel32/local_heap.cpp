#include "kernel32/local_heap.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "common/entry_guard.h"
#include "common/fork_guard.h"
#include "common/hex.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "kernel32/last_error.h"

namespace winsim::kernel32 {

namespace {

struct LocalHeap {
  std::mutex mutex;
  std::unordered_set<void*> live;
  // Blocks freed and not handed out again: a second LocalFree of one of them
  // is a double free rather than an unknown pointer.
  std::unordered_set<void*> freed;
};

LocalHeap& heap() {
  static auto* instance = fork::make_joined<LocalHeap>(fork::Rank::kLocalHeap);
  return *instance;
}

}  // namespace

HLOCAL local_alloc(UINT flags, SIZE_T bytes) {
  LocalHeap& local = heap();
  // A zero-byte block is still a distinct block.
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    return nullptr;
  }
  if ((flags & LMEM_ZEROINIT) != 0) {
    std::memset(block, 0, bytes);
  }
  std::lock_guard lock(local.mutex);
  try {
    local.live.insert(block);
  } catch (const std::bad_alloc&) {
    std::free(block);  // not counted: no memory to count it
    return nullptr;
  }
  local.freed.erase(block);
  return block;
}

namespace {

// Frees a block; false (and the misuse recorded) for memory that is not a live
// block.
bool free_local_block(HLOCAL block) {
  LocalHeap& local = heap();
  {
    std::lock_guard lock(local.mutex);
    if (local.live.erase(block) == 1) {
      std::free(block);
      try {
        local.freed.insert(block);
      } catch (const std::bad_alloc&) {
        // Kept only to tell a double free from a foreign pointer.
      }
      return true;
    }
    if (local.freed.contains(block)) {
      faults::record_misuse("LocalFree: block " + hex(block) + " already freed");
      return false;
    }
  }
  faults::record_misuse("LocalFree: " + hex(block) + " is not a LocalAlloc block");
  return false;
}

}  // namespace

std::int64_t live_local_blocks() {
  LocalHeap& local = heap();
  std::lock_guard lock(local.mutex);
  return static_cast<std::int64_t>(local.live.size());
}

}  // namespace winsim::kernel32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kLocalAlloc{"LocalAlloc", FailureKind::kObject};
const Operation kLocalFree{"LocalFree", FailureKind::kLastError};

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) try {
  if (auto fault = kLocalAlloc.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return nullptr;
  }
  if ((uFlags & LMEM_MOVEABLE) != 0) {
    winsim::faults::record_unsupported("LocalAlloc", "LMEM_MOVEABLE blocks");
    winsim::kernel32::set_last_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HLOCAL block = winsim::kernel32::local_alloc(uFlags, uBytes);
  if (block == nullptr) {
    winsim::kernel32::set_last_error(ERROR_NOT_ENOUGH_MEMORY);
  }
  return block;
} catch (...) {
  return winsim::entry::failed_with_last_error(nullptr);
}

// Returns NULL on success and the handle on failure.
HLOCAL WINAPI LocalFree(HLOCAL hMem) try {
  if (auto fault = kLocalFree.enter()) {
    winsim::kernel32::set_last_error(*fault);
    return hMem;
  }
  if (hMem == nullptr) {
    return nullptr;
  }
  if (!winsim::kernel32::free_local_block(hMem)) {
    winsim::kernel32::set_last_error(ERROR_INVALID_HANDLE);
    return hMem;
  }
  return nullptr;
} catch (...) {
  return winsim::entry::failed_with_last_error(hMem);
}
