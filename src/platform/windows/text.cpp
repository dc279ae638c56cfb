#include "platform/windows/text.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_utf16(WideString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<WCHAR>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<WCHAR>(0xD800 | (cp >> 10)));
    out.push_back(static_cast<WCHAR>(0xDC00 | (cp & 0x3FF)));
  }
}

bool is_high_surrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string utf16_to_utf8(const WCHAR* units, std::size_t count) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto unit = static_cast<std::uint16_t>(units[i]);
    if (is_high_surrogate(unit) && i + 1 < count &&
        is_low_surrogate(static_cast<std::uint16_t>(units[i + 1]))) {
      const auto low = static_cast<std::uint16_t>(units[++i]);
      append_utf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{low} - 0xDC00));
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::string wide_buffer_to_string(const WCHAR* buffer, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && buffer[length] != 0) ++length;
  return utf16_to_utf8(buffer, length);
}

WideString to_wide(std::string_view utf8) {
  WideString out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    bool well_formed = i + extra < utf8.size();
    for (std::size_t k = 1; well_formed && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        well_formed = false;
      } else {
        cp = (cp << 6) | (next & 0x3F);
      }
    }
    if (!well_formed || cp > 0x10FFFF) {
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    append_utf16(out, cp);
    i += extra + 1;
  }
  return out;
}
