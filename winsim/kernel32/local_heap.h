// The local heap: LocalAlloc blocks, counted while alive.
#pragma once

#include <cstdint>

#include <windows.h>

namespace winsim::kernel32 {

// Allocates a fixed block without counting a LocalAlloc call (used by the
// functions that hand the caller memory to free with LocalFree). Null when out
// of memory.
HLOCAL local_alloc(UINT flags, SIZE_T bytes);

std::int64_t live_local_blocks();

}  // namespace winsim::kernel32
