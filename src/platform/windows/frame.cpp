#include "platform/windows/frame.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "expected_ops.h"
#include "internal_fault.h"
#include "platform/windows/com_call.h"
#include "platform/windows/pixel_conversion.h"

CopyRegion copy_region_size(std::int32_t content_width, std::int32_t content_height,
                            std::uint32_t texture_width, std::uint32_t texture_height) {
  const auto clamped = [](std::int32_t value) {
    return static_cast<std::uint32_t>(std::max<std::int32_t>(value, 0));
  };
  return {std::min(clamped(content_width), texture_width),
          std::min(clamped(content_height), texture_height)};
}

void copy_rows(const std::byte* source, std::uint32_t row_pitch, std::uint32_t width,
               std::uint32_t height, std::span<std::byte> destination, PixelLayout layout) {
  const std::uint64_t row_bytes = std::uint64_t{width} * FRAME_BYTES_PER_PIXEL;
  if (row_bytes == 0 || height == 0) return;  // an empty region has nothing to move
  if (row_pitch < row_bytes) {
    internal_fault("mapped row pitch " + std::to_string(row_pitch) + " is shorter than a row of " +
                   std::to_string(row_bytes) + " bytes");
  }
  const std::uint64_t out_row_bytes = std::uint64_t{width} * pixel_layout_bytes(layout);

  if (row_pitch == row_bytes) {
    const std::uint64_t block = out_row_bytes * height;
    if (block != destination.size()) {
      internal_fault("a packed frame of " + std::to_string(block) +
                     " bytes does not fit a destination of " + std::to_string(destination.size()) +
                     " bytes");
    }
    if (layout == PixelLayout::RGBA) {
      std::memcpy(destination.data(), source, static_cast<std::size_t>(block));
    } else {
      pixel_conversion(layout)(source, destination.data(),
                               static_cast<std::size_t>(std::uint64_t{width} * height));
    }
    return;
  }

  const std::uint64_t rows = std::min<std::uint64_t>(height, destination.size() / out_row_bytes);
  const std::byte* from = source;
  std::byte* to = destination.data();
  if (layout == PixelLayout::RGBA) {
    const auto length = static_cast<std::size_t>(row_bytes);
    for (std::uint64_t row = 0; row < rows; ++row) {
      std::memcpy(to, from, length);
      from += row_pitch;
      to += length;
    }
    return;
  }
  const PixelConversion convert = pixel_conversion(layout);
  const auto length = static_cast<std::size_t>(out_row_bytes);
  for (std::uint64_t row = 0; row < rows; ++row) {
    convert(from, to, width);
    from += row_pitch;
    to += length;
  }
}

namespace {

// The access object behind a frame's surface. The surface itself is needed
// only to reach it.
std::expected<ComPtr<winrt_abi::IDirect3DDxgiInterfaceAccess>, WindowsApiError> frame_access(
    winrt_abi::IDirect3D11CaptureFrame* frame) {
  auto surface = com_object<winrt_abi::IDirect3DSurface>(
      [frame](winrt_abi::IDirect3DSurface** out) { return frame->get_Surface(out); });
  if (!surface) return std::unexpected(std::move(surface.error()));
  ComPtr<winrt_abi::IDirect3DDxgiInterfaceAccess> access;
  const HRESULT hr =
      (*surface)->QueryInterface(winrt_abi::IID_IDirect3DDxgiInterfaceAccess, access.put_void());
  if (FAILED(hr)) return std::unexpected(hresult_from_com(hr));
  // A query must deliver its interface when it succeeds; one that does not
  // broke its contract, which is reported as the pointer it failed to give.
  if (!access) return std::unexpected(WindowsApiError{E_POINTER, {}});
  return access;
}

// Keeps a staging texture mapped for as long as it lives: Map and Unmap come
// in pairs whichever way the copy ends.
class Mapping {
 public:
  Mapping(ID3D11DeviceContext* context, ID3D11Texture2D* texture)
      : context_(context), texture_(texture) {}
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (mapped_) context_->Unmap(texture_, 0);
  }

  std::expected<D3D11_MAPPED_SUBRESOURCE, WindowsApiError> map() {
    D3D11_MAPPED_SUBRESOURCE mapped{};
    const HRESULT hr = context_->Map(texture_, 0, D3D11_MAP_READ, 0, &mapped);
    if (FAILED(hr)) return std::unexpected(hresult_from_com(hr));
    mapped_ = true;
    // A mapping without memory is a success that delivers nothing, reported
    // as the pointer it failed to give. It is unmapped all the same.
    if (mapped.pData == nullptr) return std::unexpected(WindowsApiError{E_POINTER, {}});
    return mapped;
  }

 private:
  ID3D11DeviceContext* context_;
  ID3D11Texture2D* texture_;
  bool mapped_ = false;
};

// A frame down to its texture and the region of it to read.
std::expected<FrameTexture, WindowsApiError> frame_texture(
    ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame) {
  winrt_abi::SizeInt32 content{};
  if (auto read = com_check(frame->get_ContentSize(&content)); !read) {
    return std::unexpected(std::move(read.error()));
  }
  winrt_abi::TimeSpan time{};
  if (auto read = com_check(frame->get_SystemRelativeTime(&time)); !read) {
    return std::unexpected(std::move(read.error()));
  }
  auto access = frame_access(frame.get());
  if (!access) return std::unexpected(std::move(access.error()));
  auto texture = com_object<ID3D11Texture2D>([&](ID3D11Texture2D** out) {
    return (*access)->GetInterface(IID_ID3D11Texture2D, reinterpret_cast<void**>(out));
  });
  if (!texture) return std::unexpected(std::move(texture.error()));

  // Only the size matters: the pool's format and the staging format agree.
  D3D11_TEXTURE2D_DESC desc{};
  (*texture)->GetDesc(&desc);
  const CopyRegion region =
      copy_region_size(content.Width, content.Height, desc.Width, desc.Height);
  return FrameTexture{std::move(frame), std::move(*access), std::move(*texture), region, 0,
                      time.Duration};
}

}  // namespace

std::expected<FrameTexture, CaptureError> latest_frame_texture(const LatestFrameSlot& slot) {
  auto latest = slot.take_latest_numbered();
  if (!latest) return std::unexpected(std::move(latest.error()));
  auto texture = transform_error(frame_texture(std::move(latest->frame)), CaptureError::windows);
  if (texture) texture->number = latest->number;
  return texture;
}

std::expected<ComPtr<ID3D11Texture2D>, CaptureError> ensure_staging_texture(
    ReadbackResources& resources, std::uint32_t width, std::uint32_t height, StagingUse use) {
  const bool region = use == StagingUse::Region;
  ComPtr<ID3D11Texture2D>& cached = region ? resources.region_staging : resources.staging;
  std::uint32_t& cached_width = region ? resources.region_staging_width : resources.staging_width;
  std::uint32_t& cached_height =
      region ? resources.region_staging_height : resources.staging_height;
  if (cached && cached_width == width && cached_height == height) return cached.clone();

  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.SampleDesc.Quality = 0;
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  desc.MiscFlags = 0;
  ComPtr<ID3D11Texture2D> created;
  const HRESULT hr = resources.device->CreateTexture2D(&desc, nullptr, created.put());
  if (FAILED(hr)) return std::unexpected(CaptureError::windows(hresult_from_com(hr)));
  if (!created) {
    return std::unexpected(CaptureError::of(CaptureError::Kind::CreateStagingTextureFailed));
  }
  cached = std::move(created);
  cached_width = width;
  cached_height = height;
  return cached.clone();
}

std::expected<void, CaptureError> copy_frame_to_buffer(ReadbackResources& resources,
                                                       ID3D11Texture2D* source, CopyRegion region,
                                                       std::span<std::byte> destination,
                                                       StagingUse use, PixelLayout layout) {
  const std::uint64_t size =
      std::uint64_t{region.width} * region.height * pixel_layout_bytes(layout);
  if (source == nullptr || destination.size() != size) {
    internal_fault("a frame of " + std::to_string(size) + " bytes read into a destination of " +
                   std::to_string(destination.size()) + " bytes");
  }
  // The box's edges are unsigned: one past the texture's range would wrap.
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
  if (std::uint64_t{region.left} + region.width > kLargest ||
      std::uint64_t{region.top} + region.height > kLargest) {
    internal_fault("a region beyond the range of texture coordinates");
  }
  auto staging = ensure_staging_texture(resources, region.width, region.height, use);
  if (!staging) return std::unexpected(std::move(staging.error()));

  const D3D11_BOX box{
      region.left, region.top, 0, region.left + region.width, region.top + region.height, 1};
  resources.context->CopySubresourceRegion(staging->get(), 0, 0, 0, 0, source, 0, &box);

  Mapping mapping(resources.context.get(), staging->get());
  auto mapped = transform_error(mapping.map(), CaptureError::windows);  // waits for the copy
  if (!mapped) return std::unexpected(std::move(mapped.error()));
  copy_rows(static_cast<const std::byte*>(mapped->pData), mapped->RowPitch, region.width,
            region.height, destination, layout);
  return {};
}
