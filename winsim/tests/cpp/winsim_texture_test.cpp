// winsim's Direct3D 11 textures as readback uses them: CreateTexture2D's
// description checks, CopySubresourceRegion's box, Map's row pitch, and the
// misuse a caller can commit with Map and Unmap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "opticatcher/com_ptr.h"
#include "platform/windows/win32.h"
#include "winsim/control.h"
#include "winsim_listing.h"

namespace {

using winsim_test::errors;

using winsim_test::live_objects;

D3D11_TEXTURE2D_DESC staging_desc(UINT width, UINT height) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_STAGING;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  return desc;
}

class WinsimTexture : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim_reset();
    const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1,
                                D3D11_SDK_VERSION, device.put(), nullptr, context.put()),
              S_OK);
  }
  void TearDown() override {
    context.reset();
    device.reset();
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(live_objects(), "");
    winsim_reset();
  }

  // A texture of width x height whose pixel (x, y) is {x, y, 7, 255}.
  ComPtr<ID3D11Texture2D> source(UINT width, UINT height) {
    std::vector<std::uint8_t> pixels(std::size_t{width} * height * 4);
    for (UINT y = 0; y < height; ++y) {
      for (UINT x = 0; x < width; ++x) {
        std::uint8_t* pixel = &pixels[(std::size_t{y} * width + x) * 4];
        pixel[0] = static_cast<std::uint8_t>(x);
        pixel[1] = static_cast<std::uint8_t>(y);
        pixel[2] = 7;
        pixel[3] = 255;
      }
    }
    D3D11_TEXTURE2D_DESC desc = staging_desc(width, height);
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.CPUAccessFlags = 0;
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
    ComPtr<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&desc, &data, texture.put()), S_OK);
    return texture;
  }

  ComPtr<ID3D11Texture2D> staging(UINT width, UINT height) {
    const D3D11_TEXTURE2D_DESC desc = staging_desc(width, height);
    ComPtr<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, texture.put()), S_OK);
    return texture;
  }

  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
};

TEST_F(WinsimTexture, CreateTexture2DRefusesInvalidDescriptionsAsTheRuntimeDoes) {
  const auto refused = [&](D3D11_TEXTURE2D_DESC desc) {
    ComPtr<ID3D11Texture2D> texture;
    const HRESULT hr = device->CreateTexture2D(&desc, nullptr, texture.put());
    return hr == E_INVALIDARG && !texture;
  };
  D3D11_TEXTURE2D_DESC desc = staging_desc(0, 4);
  EXPECT_TRUE(refused(desc));
  desc = staging_desc(4, 0);
  EXPECT_TRUE(refused(desc));
  desc = staging_desc(16385, 4);
  EXPECT_TRUE(refused(desc));
  desc = staging_desc(4, 4);
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  EXPECT_TRUE(refused(desc));
  desc = staging_desc(4, 4);
  desc.CPUAccessFlags = 0;
  EXPECT_TRUE(refused(desc));
  desc = staging_desc(4, 4);
  desc.Format = DXGI_FORMAT_UNKNOWN;
  EXPECT_TRUE(refused(desc));
  desc.Format = static_cast<DXGI_FORMAT>(500);
  EXPECT_TRUE(refused(desc));
  // Invalid descriptions are the caller's answer to get, not misuse.
  EXPECT_EQ(errors(), "");

  desc = staging_desc(4, 4);
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, nullptr), S_FALSE);  // a check only
  EXPECT_EQ(winsim_calls("CreateTexture2D"), 8);
}

TEST_F(WinsimTexture, CreateTexture2DFailsOnRequestWithAnErrorOrWithoutATexture) {
  ASSERT_EQ(winsim_fail("CreateTexture2D", 0x8007000E, 1, 0, 0, nullptr, 0, nullptr, 0, 0),
            WINSIM_OK);
  ASSERT_EQ(winsim_fail("CreateTexture2D", 0, 1, 0, 1, nullptr, 0, nullptr, 0, 0), WINSIM_OK);
  const D3D11_TEXTURE2D_DESC desc = staging_desc(4, 4);
  ComPtr<ID3D11Texture2D> texture;
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, texture.put()), E_OUTOFMEMORY);
  EXPECT_FALSE(texture);
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, texture.put()), S_OK);
  EXPECT_FALSE(texture);
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, texture.put()), S_OK);
  EXPECT_TRUE(texture);
}

TEST_F(WinsimTexture, MapPitchFollowsTheAlignmentOrTheForcedValue) {
  ASSERT_EQ(winsim_set_row_pitch_alignment(64), WINSIM_OK);
  EXPECT_EQ(winsim_set_row_pitch_alignment(48), WINSIM_INVALID_ARGUMENT);
  auto padded = staging(20, 3);  // rows of 80 bytes
  ASSERT_EQ(winsim_set_row_pitch_alignment(1), WINSIM_OK);
  auto packed = staging(20, 3);
  winsim_set_row_pitch(72);  // shorter than a row: a test of the caller's guard
  auto short_rows = staging(20, 3);
  winsim_set_row_pitch(0);

  auto from = source(20, 3);
  const D3D11_BOX box{0, 0, 0, 20, 3, 1};
  for (auto [texture, pitch] : {std::pair{padded.get(), 128u}, std::pair{packed.get(), 80u},
                                std::pair{short_rows.get(), 72u}}) {
    context->CopySubresourceRegion(texture, 0, 0, 0, 0, from.get(), 0, &box);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(context->Map(texture, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    EXPECT_EQ(mapped.RowPitch, pitch);
    const auto* bytes = static_cast<const std::uint8_t*>(mapped.pData);
    if (pitch >= 80) {
      // Row 2, pixel 19.
      const std::uint8_t expected[4] = {19, 2, 7, 255};
      EXPECT_EQ(std::memcmp(bytes + 2 * pitch + 19 * 4, expected, 4), 0);
    }
    context->Unmap(texture, 0);
  }
}

TEST_F(WinsimTexture, TheBoxIsClippedToBothTexturesAndAnEmptyBoxCopiesNothing) {
  auto from = source(6, 5);
  auto to = staging(4, 4);
  const auto pixel = [&](UINT x, UINT y) {
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(to.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    std::uint32_t value = 0;
    std::memcpy(&value,
                static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch + x * 4, 4);
    context->Unmap(to.get(), 0);
    return value;
  };
  const auto rgba = [](std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    return std::uint32_t{r} | std::uint32_t{g} << 8 | std::uint32_t{b} << 16 |
           std::uint32_t{a} << 24;
  };

  // An empty box is a no-op, not a fault.
  const D3D11_BOX empty{2, 0, 0, 2, 4, 1};
  context->CopySubresourceRegion(to.get(), 0, 0, 0, 0, from.get(), 0, &empty);
  EXPECT_EQ(pixel(0, 0), 0u);
  EXPECT_EQ(errors(), "");

  // Wider than the destination from x = 1, and taller than the source.
  const D3D11_BOX oversized{2, 1, 0, 6, 9, 1};
  context->CopySubresourceRegion(to.get(), 0, 1, 0, 0, from.get(), 0, &oversized);
  EXPECT_EQ(pixel(0, 0), 0u);                  // left of the destination point
  EXPECT_EQ(pixel(1, 0), rgba(2, 1, 7, 255));  // the box's top-left
  EXPECT_EQ(pixel(3, 3), rgba(4, 4, 7, 255));  // the last row of the source
  EXPECT_EQ(errors(), "CopySubresourceRegion: the box does not fit both textures (clipped)\n");
  winsim_reset();
}

TEST_F(WinsimTexture, MapAndUnmapMisuseIsRecorded) {
  auto texture = staging(4, 4);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  context->Unmap(texture.get(), 0);
  EXPECT_EQ(errors(), "Unmap without Map\n");
  winsim_reset();

  ASSERT_EQ(context->Map(texture.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_EQ(context->Map(texture.get(), 0, D3D11_MAP_READ, 0, &mapped), E_INVALIDARG);
  EXPECT_EQ(errors(), "Map of a texture that is already mapped\n");
  winsim_reset();

  texture.reset();  // still mapped
  EXPECT_EQ(errors(), "D3D11Texture2D released while mapped\n");
  winsim_reset();
}

TEST_F(WinsimTexture, MapFailsOnRequestOrMapsWithoutMemory) {
  auto texture = staging(4, 4);
  ASSERT_EQ(winsim_fail("Map", 0x887A0005, 1, 0, 0, nullptr, 0, nullptr, 0, 0), WINSIM_OK);
  ASSERT_EQ(winsim_fail("Map", 0, 1, 0, 1, nullptr, 0, nullptr, 0, 0), WINSIM_OK);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  EXPECT_EQ(context->Map(texture.get(), 0, D3D11_MAP_READ, 0, &mapped),
            static_cast<HRESULT>(0x887A0005));
  // The null form maps the texture but delivers no memory: it must be unmapped.
  EXPECT_EQ(context->Map(texture.get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_EQ(mapped.pData, nullptr);
  context->Unmap(texture.get(), 0);
  EXPECT_EQ(winsim_calls("Map"), 2);
}

}  // namespace
