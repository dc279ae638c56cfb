// Hexadecimal renderings for misuse messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace winsim {

inline std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

inline std::string hex(const void* pointer) {
  return hex(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointer)));
}

}  // namespace winsim
