#include "user32/title_match.h"

#include <locale.h>
#include <wctype.h>

namespace winsim::user32 {

namespace {

// Unicode case mapping comes from the C.UTF-8 locale; without it only ASCII
// letters fold.
locale_t unicode_locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

char16_t to_upper(char16_t unit) {
  if (unit < 0x80) {
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  }
  // Surrogates are compared as they are.
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    return unit;
  }
  const locale_t locale = unicode_locale();
  if (locale == static_cast<locale_t>(0)) {
    return unit;
  }
  const wint_t upper = towupper_l(static_cast<wint_t>(unit), locale);
  // Keep the unit when its upper case lies outside the Basic Multilingual Plane.
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

}  // namespace

bool titles_match(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && to_upper(a[i]) != to_upper(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace winsim::user32
