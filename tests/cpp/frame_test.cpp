#include "platform/windows/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <limits>
#include <vector>

#include "internal_fault.h"
#include "pixel_reference.h"
#include "platform/windows/capture.h"
#include "winsim/control.h"
#include "winsim_listing.h"

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

// Each layout through packed rows (one pass over the block) and padded ones
// (row by row), at odd widths: the converted rows, packed, and the padding
// never read.
TEST(CopyRows, ConvertsEveryLayoutThroughPackedAndPaddedRows) {
  for (PixelLayout layout : PIXEL_LAYOUTS) {
    for (std::uint32_t width : {1u, 3u, 17u, 33u}) {
      for (std::uint32_t pitch : {width * 4, width * 4 + 4, (width * 4 / 256 + 1) * 256}) {
        SCOPED_TRACE(std::string(pixel_layout_name(layout)) + " width " + std::to_string(width) +
                     " pitch " + std::to_string(pitch));
        const Mapping mapping(width, 3, pitch);
        const auto packed = mapping.packed();
        const auto expected = reference_pixels(packed.data(), width * 3, layout);
        std::vector<std::byte> destination(expected.size(), std::byte{0x55});
        copy_rows(mapping.bytes.data(), pitch, width, 3, destination, layout);
        EXPECT_EQ(destination, expected);
      }
    }
  }
}

TEST(CopyRows, DestinationSizesCountTheLayoutsBytes) {
  const Mapping mapping(4, 2, 16);
  // A packed block in RGB is 24 bytes: 32 are a fault, as 24 are for RGBA.
  std::vector<std::byte> rgba_sized(4 * 2 * 4, std::byte{0x55});
  EXPECT_THROW(copy_rows(mapping.bytes.data(), 16, 4, 2, rgba_sized, PixelLayout::RGB),
               InternalFault);
  for (std::byte value : rgba_sized) EXPECT_EQ(value, std::byte{0x55});
  // Padded rows in GRAY: room for one row and a half gives one row.
  const Mapping padded(4, 2, 20);
  std::vector<std::byte> short_gray(6, std::byte{0x55});
  copy_rows(padded.bytes.data(), 20, 4, 2, short_gray, PixelLayout::GRAY);
  const auto row = reference_pixels(padded.packed().data(), 4, PixelLayout::GRAY);
  EXPECT_TRUE(std::equal(row.begin(), row.end(), short_gray.begin()));
  EXPECT_EQ(short_gray[4], std::byte{0x55});
  EXPECT_EQ(short_gray[5], std::byte{0x55});
}

// --- the GPU part, on winsim's device -----------------------------------------

class Readback : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1,
                                D3D11_SDK_VERSION, resources.device.put(), nullptr,
                                resources.context.put()),
              S_OK);
    // A 5x3 frame texture whose pixel (x, y) holds {x, y, 9, 255}.
    std::vector<std::uint8_t> pixels(5 * 3 * 4);
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
      pixels[i] = static_cast<std::uint8_t>(i / 4 % 5);
      pixels[i + 1] = static_cast<std::uint8_t>(i / 4 / 5);
      pixels[i + 2] = 9;
      pixels[i + 3] = 255;
    }
    D3D11_TEXTURE2D_DESC desc{5, 3, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT,
                              0, 0, 0};
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), 5 * 4, 0};
    ASSERT_EQ(resources.device->CreateTexture2D(&desc, &data, frame.put()), S_OK);
  }
  void TearDown() override {
    frame.reset();
    resources.staging.reset();
    resources.region_staging.reset();
    resources.context.reset();
    resources.device.reset();
    EXPECT_EQ(winsim_test::errors(), "");
    winsim_reset();
  }

  std::vector<std::uint8_t> read(CopyRegion region) {
    std::vector<std::uint8_t> out(std::size_t{region.width} * region.height * 4, 0x55);
    auto copied = copy_frame_to_buffer(resources, frame.get(), region,
                                       std::as_writable_bytes(std::span(out)));
    EXPECT_TRUE(copied.has_value());
    return out;
  }

  ReadbackResources resources;
  ComPtr<ID3D11Texture2D> frame;
};

TEST_F(Readback, StagingTextureIsCachedPerSizeAndKeptWhenCreationFails) {
  auto first = ensure_staging_texture(resources, 4, 2);
  ASSERT_TRUE(first.has_value());
  auto again = ensure_staging_texture(resources, 4, 2);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(first->get(), again->get());
  EXPECT_EQ(winsim_calls("CreateTexture2D"), 2);  // the frame's and one staging texture

  winsim_fail("CreateTexture2D", 0x80004005, 1, 0, 0, nullptr, 0, nullptr, 0, 0);
  auto failed = ensure_staging_texture(resources, 2, 2);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().kind(), CaptureError::Kind::WindowsError);
  winsim_fail("CreateTexture2D", 0, 1, 0, 1, nullptr, 0, nullptr, 0, 0);
  auto empty = ensure_staging_texture(resources, 2, 2);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().kind(), CaptureError::Kind::CreateStagingTextureFailed);
  EXPECT_EQ(resources.staging.get(), first->get());
  EXPECT_EQ(resources.staging_width, 4u);
  EXPECT_EQ(resources.staging_height, 2u);

  auto smaller = ensure_staging_texture(resources, 4, 1);  // one dimension differs
  ASSERT_TRUE(smaller.has_value());
  EXPECT_NE(smaller->get(), first->get());
  EXPECT_EQ(resources.staging.get(), smaller->get());
  EXPECT_EQ(resources.staging_height, 1u);
}

TEST_F(Readback, CopiesTheTopLeftRegionOnPackedAndPaddedPitches) {
  for (std::uint32_t alignment : {1u, 256u}) {
    ASSERT_EQ(winsim_set_row_pitch_alignment(alignment), WINSIM_OK);
    resources.staging.reset();
    const auto out = read({3, 2});
    ASSERT_EQ(out.size(), 3u * 2 * 4);
    for (std::uint32_t y = 0; y < 2; ++y) {
      for (std::uint32_t x = 0; x < 3; ++x) {
        const std::uint8_t* pixel = &out[(y * 3 + x) * 4];
        EXPECT_EQ(pixel[0], x);
        EXPECT_EQ(pixel[1], y);
        EXPECT_EQ(pixel[2], 9);
        EXPECT_EQ(pixel[3], 255);
      }
    }
  }
}

TEST_F(Readback, CopiesABoxThroughTheRegionsOwnStagingTexture) {
  for (std::uint32_t alignment : {1u, 256u}) {
    ASSERT_EQ(winsim_set_row_pitch_alignment(alignment), WINSIM_OK);
    resources.staging.reset();
    resources.region_staging.reset();
    ASSERT_EQ(read({5, 3}).size(), 5u * 3 * 4);  // the whole frame first
    ID3D11Texture2D* frame_staging = resources.staging.get();
    const CopyRegion box{2, 2, 3, 1};  // columns 3 and 4 of rows 1 and 2
    std::vector<std::uint8_t> out(2 * 2 * 4, 0x55);
    ASSERT_TRUE(copy_frame_to_buffer(resources, frame.get(), box,
                                     std::as_writable_bytes(std::span(out)), StagingUse::Region));
    for (std::uint32_t y = 0; y < 2; ++y) {
      for (std::uint32_t x = 0; x < 2; ++x) {
        const std::uint8_t* pixel = &out[(y * 2 + x) * 4];
        EXPECT_EQ(pixel[0], 3 + x);
        EXPECT_EQ(pixel[1], 1 + y);
      }
    }
    EXPECT_EQ(resources.region_staging_width, 2u);
    EXPECT_EQ(resources.region_staging_height, 2u);
    EXPECT_EQ(resources.staging.get(), frame_staging);  // the frame's cache is left alone
  }
}

TEST_F(Readback, AShortPitchFaultsWithTheTextureUnmappedAndNothingWritten) {
  winsim_set_row_pitch(5 * 4 - 4);
  std::vector<std::byte> out(5 * 3 * 4, std::byte{0x55});
  EXPECT_THROW(static_cast<void>(copy_frame_to_buffer(resources, frame.get(), {5, 3}, out)),
               InternalFault);
  for (std::byte value : out) EXPECT_EQ(value, std::byte{0x55});
  // Unmapped: a second Map is no misuse (TearDown checks the errors).
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(resources.context->Map(resources.staging.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  resources.context->Unmap(resources.staging.get(), 0);
}

TEST_F(Readback, AMapFailureKeepsTheNewStagingTexture) {
  winsim_fail("Map", 0x887A0005, 1, 0, 0, nullptr, 0, nullptr, 0, 0);
  std::vector<std::byte> out(5 * 3 * 4, std::byte{0x55});
  auto copied = copy_frame_to_buffer(resources, frame.get(), {5, 3}, out);
  ASSERT_FALSE(copied.has_value());
  EXPECT_EQ(copied.error().kind(), CaptureError::Kind::WindowsError);
  for (std::byte value : out) EXPECT_EQ(value, std::byte{0x55});
  EXPECT_TRUE(resources.staging);
  EXPECT_EQ(read({5, 3})[4], 1);  // pixel (1, 0)
  EXPECT_EQ(winsim_calls("CreateTexture2D"), 2);
}

// The whole readback without Python: a capture of a monitor showing known
// content reads it into plain memory, through the destination's two steps.
TEST(CaptureReadFrame, ReadsTheLatestFrameThroughTheDestination) {
  winsim_reset();
  const auto monitor = winsim_add_monitor(7, 3, 60, nullptr, 0, u"Monitor", 7);
  std::vector<std::uint8_t> content(7 * 3 * 4);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 5);
  ASSERT_EQ(winsim_set_content(monitor, content.data(), 7, 3), WINSIM_OK);

  struct Memory final : FrameDestination {
    std::vector<std::uint8_t> bytes;
    int copies = 0;
    std::expected<std::span<std::byte>, CaptureError> prepare(std::uint32_t height,
                                                              std::uint32_t width,
                                                              PixelLayout layout) override {
      bytes.assign(std::size_t{height} * width * pixel_layout_bytes(layout), 0x55);
      return std::as_writable_bytes(std::span(bytes));
    }
    std::expected<void, CaptureError> run_copy(Copy copy) override {
      ++copies;
      return copy();
    }
  } memory;

  Capture capture;
  auto idle = capture.read_frame(memory);
  ASSERT_FALSE(idle);
  EXPECT_EQ(idle.error().kind(), CaptureError::Kind::NotRunning);

  ASSERT_TRUE(capture.start({CaptureTarget::Monitor{static_cast<MonitorHandle>(monitor)}}, true));
  ASSERT_TRUE(capture.read_frame(memory));
  EXPECT_EQ(memory.copies, 1);
  EXPECT_EQ(memory.bytes, content);
  // The capture's layout reaches both the destination and the copy.
  capture.set_pixel_layout(PixelLayout::BGR);
  ASSERT_TRUE(capture.read_frame(memory));
  const auto bgr =
      reference_pixels(reinterpret_cast<const std::byte*>(content.data()), 7 * 3, PixelLayout::BGR);
  EXPECT_TRUE(std::equal(bgr.begin(), bgr.end(), std::as_bytes(std::span(memory.bytes)).begin(),
                         std::as_bytes(std::span(memory.bytes)).end()));
  capture.stop();
  EXPECT_EQ(winsim_test::errors(), "");
  winsim_reset();
}

}  // namespace
