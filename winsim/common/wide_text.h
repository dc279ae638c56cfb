// UTF-16 text as the simulated DLLs receive and return it: caller strings that
// may be unterminated within a bound, and fixed-size record buffers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace winsim {

// The units of `text` before its first zero unit, reading at most `limit` units.
// Returns the view and whether a terminator was found within the limit.
struct BoundedText {
  std::u16string_view text;
  bool terminated = false;
};

inline BoundedText read_bounded(const char16_t* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != u'\0') {
    ++length;
  }
  return {std::u16string_view(text, length), length < limit};
}

// Units handed over by the control API as (pointer, count) may be unaligned:
// they are copied rather than dereferenced in place.
inline std::u16string copy_units(const void* units, std::size_t count) {
  std::u16string result(count, u'\0');
  if (count != 0) {
    std::memcpy(result.data(), units, count * sizeof(char16_t));
  }
  return result;
}

// Fills a fixed record buffer: zeroes it, then copies as many units as fit.
// A text as long as the buffer fills it completely, with no terminator, as the
// system does with device names.
template <std::size_t N>
void fill_buffer(char16_t (&buffer)[N], std::u16string_view text) {
  std::fill(std::begin(buffer), std::end(buffer), u'\0');
  const std::size_t count = std::min(N, text.size());
  std::copy_n(text.data(), count, buffer);
}

// Copies at most capacity - 1 units and a terminator; returns the units copied.
inline std::size_t copy_terminated(char16_t* buffer, std::size_t capacity,
                                   std::u16string_view text) {
  if (capacity == 0) {
    return 0;
  }
  const std::size_t count = std::min(capacity - 1, text.size());
  std::copy_n(text.data(), count, buffer);
  buffer[count] = u'\0';
  return count;
}

// The units before the first zero unit.
inline std::u16string_view up_to_terminator(std::u16string_view text) {
  const std::size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

}  // namespace winsim
