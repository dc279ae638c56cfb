#include "platform/windows/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "internal_fault.h"

namespace {

TEST(CopyRegionSize, TakesTheSmallerOfContentAndTexture) {
  // A window that shrank: only the content's top-left part.
  EXPECT_EQ(copy_region_size(800, 600, 1920, 1080), (CopyRegion{800, 600}));
  // A window that grew before the pool was recreated: the texture's size.
  EXPECT_EQ(copy_region_size(2560, 1440, 1920, 1080), (CopyRegion{1920, 1080}));
  // Each dimension on its own.
  EXPECT_EQ(copy_region_size(2000, 500, 1920, 1080), (CopyRegion{1920, 500}));
  EXPECT_EQ(copy_region_size(1920, 1080, 1920, 1080), (CopyRegion{1920, 1080}));
}

TEST(CopyRegionSize, ClampsNegativeAndZeroContentToEmpty) {
  EXPECT_EQ(copy_region_size(-1, 600, 1920, 1080), (CopyRegion{0, 600}));
  EXPECT_EQ(copy_region_size(800, 0, 1920, 1080), (CopyRegion{800, 0}));
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(copy_region_size(lowest, lowest, 1920, 1080), (CopyRegion{0, 0}));
}

TEST(CopyRegionSize, ComparesAsUnsignedAgainstHugeTextures) {
  constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
  constexpr std::uint32_t huge = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(copy_region_size(largest, 7, huge, huge), (CopyRegion{std::uint32_t(largest), 7}));
  EXPECT_EQ(copy_region_size(largest, largest, 0, 0), (CopyRegion{0, 0}));
}

// A mapped texture: `height` rows `pitch` bytes apart, pixel bytes numbered by
// position, padding filled with a marker that must never reach the output.
struct Mapping {
  std::uint32_t width, height, pitch;
  std::vector<std::byte> bytes;

  Mapping(std::uint32_t width, std::uint32_t height, std::uint32_t pitch)
      : width(width), height(height), pitch(pitch), bytes(std::size_t{pitch} * height) {
    for (std::uint32_t row = 0; row < height; ++row) {
      for (std::uint32_t column = 0; column < pitch; ++column) {
        const bool pixel = column < width * 4;
        bytes[std::size_t{row} * pitch + column] =
            pixel ? std::byte(row * 31 + column * 7 + 1) : std::byte{0xEE};
      }
    }
  }

  // The packed image the copy must produce.
  std::vector<std::byte> packed() const {
    std::vector<std::byte> out;
    for (std::uint32_t row = 0; row < height; ++row) {
      const auto* start = bytes.data() + std::size_t{row} * pitch;
      out.insert(out.end(), start, start + width * 4);
    }
    return out;
  }
};

TEST(CopyRows, PackedPitchCopiesTheWholeBlock) {
  const Mapping mapping(5, 3, 20);
  std::vector<std::byte> destination(5 * 3 * 4, std::byte{0});
  copy_rows(mapping.bytes.data(), mapping.pitch, 5, 3, destination);
  EXPECT_EQ(destination, mapping.packed());
}

TEST(CopyRows, PaddedPitchSkipsThePaddingOfEachRow) {
  for (std::uint32_t pitch : {21u, 64u, 256u}) {
    SCOPED_TRACE(pitch);
    const Mapping mapping(5, 4, pitch);
    std::vector<std::byte> destination(5 * 4 * 4, std::byte{0});
    copy_rows(mapping.bytes.data(), pitch, 5, 4, destination);
    EXPECT_EQ(destination, mapping.packed());
  }
}

TEST(CopyRows, PaddedPitchWritesNoMoreRowsThanTheDestinationHolds) {
  const Mapping mapping(2, 4, 16);
  // Room for two rows and a half: two rows are written, the rest untouched.
  std::vector<std::byte> destination(2 * 8 + 4, std::byte{0x55});
  copy_rows(mapping.bytes.data(), 16, 2, 4, destination);
  const auto expected = mapping.packed();
  EXPECT_TRUE(std::equal(destination.begin(), destination.begin() + 16, expected.begin()));
  for (std::size_t i = 16; i < destination.size(); ++i) EXPECT_EQ(destination[i], std::byte{0x55});
}

TEST(CopyRows, EmptyRegionWritesNothing) {
  std::vector<std::byte> destination;
  copy_rows(nullptr, 0, 0, 0, destination);
  copy_rows(nullptr, 256, 0, 10, destination);
  copy_rows(nullptr, 256, 10, 0, destination);
  SUCCEED();
}

TEST(CopyRows, ShortPitchIsAnInternalFaultBeforeAnyWrite) {
  const Mapping mapping(4, 2, 16);
  std::vector<std::byte> destination(4 * 2 * 4, std::byte{0x55});
  EXPECT_THROW(copy_rows(mapping.bytes.data(), 12, 4, 2, destination), InternalFault);
  for (std::byte value : destination) EXPECT_EQ(value, std::byte{0x55});
}

TEST(CopyRows, PackedBlockOfAnotherSizeThanTheDestinationIsAnInternalFault) {
  const Mapping mapping(4, 2, 16);
  std::vector<std::byte> destination(4 * 4, std::byte{0x55});  // one row only
  EXPECT_THROW(copy_rows(mapping.bytes.data(), 16, 4, 2, destination), InternalFault);
  for (std::byte value : destination) EXPECT_EQ(value, std::byte{0x55});
}

}  // namespace
