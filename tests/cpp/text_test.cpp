#include "platform/windows/text.h"

#include <gtest/gtest.h>

namespace {

WideString units(std::initializer_list<unsigned> values) {
  WideString out;
  for (unsigned value : values) out.push_back(static_cast<WCHAR>(value));
  return out;
}

TEST(Text, DecodesPairsAndReplacesLoneSurrogates) {
  // "a", U+1F600 as a pair, a lone low, a lone high, "z"
  const WideString text = units({'a', 0xD83D, 0xDE00, 0xDC00, 0xD800, 'z'});
  EXPECT_EQ(utf16_to_utf8(text.data(), text.size()), "a\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBDz");
  // A high surrogate cut off by the end of the buffer.
  EXPECT_EQ(utf16_to_utf8(text.data(), 2), "a\xEF\xBF\xBD");
}

TEST(Text, BufferStopsAtFirstZeroOrCapacity) {
  const WideString terminated = units({'D', 'I', 0, 'X'});
  EXPECT_EQ(wide_buffer_to_string(terminated.data(), terminated.size()), "DI");
  const WideString full = units({'A', 'B', 'C'});
  EXPECT_EQ(wide_buffer_to_string(full.data(), full.size()), "ABC");
}

TEST(Text, RoundTripsThroughUtf16) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  const WideString wide = to_wide(text);
  EXPECT_EQ(wide.size(), 9u);
  EXPECT_EQ(utf16_to_utf8(wide.data(), wide.size()), text);
}

TEST(Text, EmptyAndEmbeddedZeroKeepTheirUnits) {
  const WideString empty = to_wide("");
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.c_str()[0], 0);  // a lone zero unit, never a null pointer
  const WideString embedded = to_wide(std::string("ab\0c", 4));
  EXPECT_EQ(embedded.size(), 4u);
  EXPECT_EQ(embedded[2], 0);
}

TEST(Text, IllFormedUtf8BecomesReplacement) {
  EXPECT_EQ(to_wide("\xFF"), units({0xFFFD}));
  EXPECT_EQ(to_wide("a\xE2\x82"), units({'a', 0xFFFD, 0xFFFD}));
}

}  // namespace
