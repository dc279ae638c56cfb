#include "platform/windows/physical_pixels.h"

namespace {

using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

SetContext find_set_context() {
  // WCHAR is wchar_t on Windows and char16_t under winsim: spelled unit by unit.
  static constexpr WCHAR kUser32[] = {'u', 's', 'e', 'r', '3', '2', '.', 'd', 'l', 'l', 0};
  const HMODULE module = GetModuleHandleW(kUser32);
  if (module == nullptr) return nullptr;
  const FARPROC found = GetProcAddress(module, "SetThreadDpiAwarenessContext");
  // Through the generic function type, which converts to any other.
  return reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

PhysicalPixelsScope::PhysicalPixelsScope() : set_context_(find_set_context()) {
  if (set_context_ != nullptr) {
    previous_ = set_context_(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  }
}

PhysicalPixelsScope::~PhysicalPixelsScope() {
  if (previous_ != nullptr) set_context_(previous_);
}
