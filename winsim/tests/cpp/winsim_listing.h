// The control API's text listings as strings, for test failure messages and
// comparisons: the live objects ("<class>\t<count>\n" per class) and the misuse
// seen since the last reset (one line per entry).
#pragma once

#include <cstddef>
#include <string>

#include "winsim/control.h"

namespace winsim_test {

inline std::string listing(std::size_t (*list)(char*, std::size_t)) {
  std::string text(list(nullptr, 0), '\0');
  list(text.data(), text.size());
  text.resize(text.size() - 1);  // the terminator
  return text;
}

inline std::string live_objects() { return listing(winsim_live_objects); }
inline std::string errors() { return listing(winsim_errors); }

}  // namespace winsim_test
