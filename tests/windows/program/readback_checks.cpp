// The Direct3D 11 device and frame readback on a real device: textures filled
// with a known pattern are read back through the module's staging path.
#include <span>

#include "check.h"
#include "padded_map.h"
#include "platform/windows/capture.h"
#include "platform/windows/device.h"
#include "platform/windows/frame.h"
#include "pixel_layout.h"
#include "support.h"

namespace {

// Sizes whose rows are 4, 12, 28, 132, 2564, 7676, 7680 and 7724 bytes long:
// one pixel, odd widths, a width past 2^9, one wide row, a whole 1080p frame
// and one a little larger.
constexpr CopyRegion kRegions[] = {{1, 1},   {3, 2},    {7, 5},       {33, 17},
                                   {641, 3}, {1919, 1}, {1920, 1080}, {1931, 1087}};

// Sizes read in every pixel layout: in the 3-byte layouts their rows are 9,
// 99 and 5793 bytes long.
constexpr CopyRegion kLayoutRegions[] = {{3, 2}, {33, 17}, {1931, 1087}};

// R, G, B, A bytes in `layout`, pixel by pixel.
std::vector<std::uint8_t> in_layout(const std::vector<std::uint8_t>& rgba, PixelLayout layout) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    const unsigned r = rgba[i], g = rgba[i + 1], b = rgba[i + 2];
    switch (layout) {
      case PixelLayout::RGBA:
        out.insert(out.end(), {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]});
        break;
      case PixelLayout::BGRA:
        out.insert(out.end(), {rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]});
        break;
      case PixelLayout::RGB:
        out.insert(out.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
        break;
      case PixelLayout::BGR:
        out.insert(out.end(), {rgba[i + 2], rgba[i + 1], rgba[i]});
        break;
      case PixelLayout::GRAY:
        out.push_back(static_cast<std::uint8_t>((4899 * r + 9617 * g + 1868 * b + 8192) >> 14));
        break;
    }
  }
  return out;
}

// Reads `region` of a texture 5 columns and 3 rows larger than it, filled with
// the pattern of `seed`, in `layout`; "" when the bytes are exact.
std::string read_region(ReadbackResources& resources, CopyRegion region, std::uint32_t seed,
                        PixelLayout layout = PixelLayout::RGBA) {
  auto texture = pattern_texture(resources.device.get(), resources.context.get(), region.width + 5,
                                 region.height + 3, seed);
  if (!texture) return "the source texture could not be made";
  std::vector<std::uint8_t> bytes(
      std::size_t{region.width} * region.height * pixel_layout_bytes(layout), 0x5A);
  auto copied =
      copy_frame_to_buffer(resources, texture.get(), region,
                           std::as_writable_bytes(std::span(bytes)), StagingUse::Frame, layout);
  if (!copied) return error_summary(copied.error());
  return first_difference(bytes,
                          in_layout(pattern_region(region.width, region.height, seed), layout));
}

std::string size_name(CopyRegion region) {
  return std::to_string(region.width) + "x" + std::to_string(region.height);
}

void check_staging_cache(ReadbackResources& resources) {
  check(read_region(resources, {33, 17}, 1).empty(), "staging: first read of 33x17");
  ID3D11Texture2D* first = resources.staging.get();
  check(read_region(resources, {33, 17}, 2).empty() && resources.staging.get() == first,
        "staging: the same size reuses the cached texture");
  check(read_region(resources, {7, 5}, 3).empty() && resources.staging.get() != first &&
            resources.staging_width == 7 && resources.staging_height == 5,
        "staging: another size replaces it");

  ID3D11Texture2D* cached = resources.staging.get();
  for (const CopyRegion region : {CopyRegion{0, 0}, CopyRegion{0, 5}, CopyRegion{5, 0}}) {
    std::lock_guard lock(resources.mutex);
    auto staging = ensure_staging_texture(resources, region.width, region.height);
    const auto* windows =
        staging ? nullptr : std::get_if<CaptureError::WindowsError>(&staging.error().value);
    check(windows != nullptr && windows->api.code == E_INVALIDARG &&
              resources.staging.get() == cached,
          "staging: " + size_name(region) + " is refused as an invalid parameter, cache kept",
          staging ? "created" : error_summary(staging.error()));
  }
}

void check_padded_rows(ReadbackResources& resources) {
  PaddedMapHook hook(resources.context.get());
  for (const PixelLayout layout : PIXEL_LAYOUTS) {
    for (const CopyRegion region : {CopyRegion{1, 1}, CopyRegion{3, 2}, CopyRegion{64, 4},
                                    CopyRegion{33, 17}, CopyRegion{641, 3}}) {
      const std::string difference = read_region(resources, region, region.width, layout);
      check(difference.empty() && hook.presented_pitch() > region.width * 4,
            "padded rows: " + size_name(region) + " " + pixel_layout_name(layout) +
                " exact with rows " + std::to_string(hook.presented_pitch()) +
                " bytes apart (mapped " + std::to_string(hook.original_pitch()) + ")",
            difference);
    }
  }
}

}  // namespace

void check_device_and_readback() {
  auto device = create_d3d_device();
  if (!check(device.has_value(), "device: created", device ? "" : error_summary(device.error()))) {
    return;
  }
  const D3D_FEATURE_LEVEL level = device->device->GetFeatureLevel();
  check(level == D3D_FEATURE_LEVEL_11_1 || level == D3D_FEATURE_LEVEL_11_0,
        "device: feature level 11_0 or 11_1", hex(level));
  ComPtr<ID3D10Multithread> multithread;
  check(SUCCEEDED(device->device->QueryInterface(IID_ID3D10Multithread, multithread.put_void())) &&
            multithread->GetMultithreadProtected(),
        "device: multithread protection on");

  ReadbackResources resources;
  resources.device = device->device.clone();
  resources.context = device->context.clone();
  std::uint32_t seed = 0;
  for (const CopyRegion region : kRegions) {
    const std::string difference = read_region(resources, region, ++seed);
    check(difference.empty(), "readback: " + size_name(region) + " exact bytes", difference);
  }
  for (const PixelLayout layout : PIXEL_LAYOUTS) {
    for (const CopyRegion region : kLayoutRegions) {
      const std::string difference = read_region(resources, region, ++seed, layout);
      check(difference.empty(),
            "readback: " + size_name(region) + " " + pixel_layout_name(layout) + " exact bytes",
            difference);
    }
  }
  check_staging_cache(resources);
  check_padded_rows(resources);
}
