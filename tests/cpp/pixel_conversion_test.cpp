#include "platform/windows/pixel_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pixel_reference.h"

namespace {

constexpr InstructionSet kSets[] = {InstructionSet::Portable, InstructionSet::Ssse3,
                                    InstructionSet::Avx2};

std::string set_name(InstructionSet set) {
  switch (set) {
    case InstructionSet::Portable:
      return "portable";
    case InstructionSet::Ssse3:
      return "SSSE3";
    case InstructionSet::Avx2:
      break;
  }
  return "AVX2";
}

TEST(PixelLayoutNames, NameEachLayoutOnce) {
  for (PixelLayout layout : PIXEL_LAYOUTS) {
    EXPECT_EQ(pixel_layout_named(pixel_layout_name(layout)), layout);
  }
  for (const char* other : {"", "rgba", "RGBA ", "RGBX", "Gray", "GREY", "RGBAA"}) {
    EXPECT_EQ(pixel_layout_named(other), std::nullopt) << other;
  }
}

TEST(GrayValue, RoundsToTheNearestAndSpansTheWholeRange) {
  EXPECT_EQ(gray_value(0, 0, 0), 0);
  EXPECT_EQ(gray_value(255, 255, 255), 255);
  EXPECT_EQ(gray_value(255, 0, 0), 76);   // 0.299 * 255 = 76.2
  EXPECT_EQ(gray_value(0, 255, 0), 150);  // 0.587 * 255 = 149.7
  EXPECT_EQ(gray_value(0, 0, 255), 29);   // 0.114 * 255 = 29.1
}

// The processor this runs on may lack a set; the portable code is always
// there.
TEST(PixelConversion, TheFastestIsOneTheProcessorRuns) {
  EXPECT_NE(pixel_conversion(PixelLayout::GRAY, InstructionSet::Portable), nullptr);
  for (PixelLayout layout : PIXEL_LAYOUTS) {
    const PixelConversion fastest = pixel_conversion(layout);
    bool found = false;
    for (InstructionSet set : kSets) found = found || pixel_conversion(layout, set) == fastest;
    EXPECT_TRUE(found) << pixel_layout_name(layout);
  }
}

// Every conversion of every layout writes exactly the reference's bytes, at
// every count around the vector widths (and one long odd row), from and to
// every alignment, and nothing past its end.
TEST(PixelConversion, EverySetWritesTheReferenceBytesAtAnyCountAndAlignment) {
  std::mt19937 random(25);
  std::vector<std::byte> source(4 * 2000 + 64);
  for (std::byte& value : source) value = static_cast<std::byte>(random());
  std::vector<std::size_t> counts;
  for (std::size_t count = 0; count <= 100; ++count) counts.push_back(count);
  counts.push_back(1931);
  for (InstructionSet set : kSets) {
    for (PixelLayout layout : PIXEL_LAYOUTS) {
      const PixelConversion convert = pixel_conversion(layout, set);
      if (convert == nullptr) {  // not on this processor
        std::printf("%s conversion: not on this processor\n", set_name(set).c_str());
        continue;
      }
      const std::size_t bytes = pixel_layout_bytes(layout);
      for (std::size_t count : counts) {
        for (std::size_t from = 0; from < 4; ++from) {
          for (std::size_t to : {0, 1, 3, 13}) {
            SCOPED_TRACE(set_name(set) + " " + pixel_layout_name(layout) + " count " +
                         std::to_string(count) + " from +" + std::to_string(from * 17) + " to +" +
                         std::to_string(to));
            // Exactly the pixels, so that a read past them is out of bounds for the
            // sanitizers.
            std::vector<std::byte> exact(from + count * 4);
            std::copy_n(source.data() + from * 17, count * 4, exact.begin() + from);
            const std::byte* pixels = exact.data() + from;
            std::vector<std::byte> out(to + count * bytes + 64, std::byte{0xA5});
            convert(pixels, out.data() + to, count);
            const auto expected = reference_pixels(pixels, count, layout);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + to));
            for (std::size_t i = 0; i < out.size(); ++i) {
              if (i < to || i >= to + count * bytes) {
                ASSERT_EQ(out[i], std::byte{0xA5}) << i;
              }
            }
          }
        }
      }
    }
  }
}

// Grey of every value of each channel alone and of every grey pixel: the
// extremes of the weighted sum.
TEST(PixelConversion, GrayIsExactOverEveryChannelValue) {
  std::vector<std::byte> source;
  for (unsigned value = 0; value < 256; ++value) {
    for (const auto& pixel : {std::array<unsigned, 4>{value, 0, 0, 255},
                              {0, value, 0, 0},
                              {0, 0, value, 255},
                              {value, value, value, value},
                              {value, 255, value, 0}}) {
      for (unsigned byte : pixel) source.push_back(static_cast<std::byte>(byte));
    }
  }
  const std::size_t count = source.size() / 4;
  const auto expected = reference_pixels(source.data(), count, PixelLayout::GRAY);
  for (InstructionSet set : kSets) {
    const PixelConversion convert = pixel_conversion(PixelLayout::GRAY, set);
    if (convert == nullptr) continue;
    SCOPED_TRACE(set_name(set));
    std::vector<std::byte> out(count);
    convert(source.data(), out.data(), count);
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
