#include "d3d11/device.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace winsim::d3d11 {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kCreateTexture2D{"CreateTexture2D", FailureKind::kHresult};
const Operation kSetMultithreadProtected{"SetMultithreadProtected", FailureKind::kNever};
const Operation kMap{"Map", FailureKind::kHresult};
const Operation kUnmap{"Unmap", FailureKind::kNever};
const Operation kCopySubresourceRegion{"CopySubresourceRegion", FailureKind::kNever};
const Operation kCopyResource{"CopyResource", FailureKind::kNever};

// Direct3D 11's limit for 2D textures.
constexpr UINT kMaxTextureSize = 16384;

// The highest value of the DXGI_FORMAT enumeration; 0 is DXGI_FORMAT_UNKNOWN.
constexpr UINT kHighestFormat = 191;

bool simulated_format(DXGI_FORMAT format) {
  return format == DXGI_FORMAT_R8G8B8A8_UNORM || format == DXGI_FORMAT_B8G8R8A8_UNORM;
}

// The checks of CreateTexture2D, as the runtime makes them: an invalid
// description is refused with E_INVALIDARG. A valid one that winsim does not
// simulate is refused as well, and recorded, since no test should meet it.
HRESULT check_description(const D3D11_TEXTURE2D_DESC& desc, bool has_data) {
  if (desc.Width == 0 || desc.Height == 0 || desc.Width > kMaxTextureSize ||
      desc.Height > kMaxTextureSize || desc.ArraySize == 0 || desc.SampleDesc.Count == 0 ||
      desc.Format == DXGI_FORMAT_UNKNOWN || static_cast<UINT>(desc.Format) > kHighestFormat) {
    return E_INVALIDARG;
  }
  switch (desc.Usage) {
    case D3D11_USAGE_STAGING:
      if (desc.BindFlags != 0 || desc.CPUAccessFlags == 0 ||
          (desc.CPUAccessFlags & ~UINT{D3D11_CPU_ACCESS_READ | D3D11_CPU_ACCESS_WRITE}) != 0) {
        return E_INVALIDARG;
      }
      break;
    case D3D11_USAGE_DEFAULT:
      if (desc.CPUAccessFlags != 0) return E_INVALIDARG;
      break;
    case D3D11_USAGE_IMMUTABLE:
      if (desc.CPUAccessFlags != 0 || !has_data) return E_INVALIDARG;
      break;
    case D3D11_USAGE_DYNAMIC:
      faults::record_unsupported("CreateTexture2D", "dynamic textures");
      return E_INVALIDARG;
    default:
      return E_INVALIDARG;
  }
  if (desc.MipLevels != 1 || desc.ArraySize != 1 || desc.SampleDesc.Count != 1 ||
      desc.SampleDesc.Quality != 0 || desc.MiscFlags != 0 || !simulated_format(desc.Format)) {
    faults::record_unsupported("CreateTexture2D",
                               "mipmaps, arrays, multisampling, misc flags or this format");
    return E_INVALIDARG;
  }
  return S_OK;
}

}  // namespace

Device::Device(std::shared_ptr<Gpu> gpu) : ComObject(std::in_place, DeviceState{std::move(gpu)}) {}

std::shared_ptr<Gpu> Device::gpu(std::string_view operation) {
  DeviceState* device = state(operation);
  return device != nullptr ? device->gpu : nullptr;
}

void Device::mark_removed() {
  if (const std::shared_ptr<Gpu> device_gpu = gpu("remove_device")) device_gpu->removed = true;
}

bool Device::removed() {
  const std::shared_ptr<Gpu> device_gpu = gpu("removed");
  return device_gpu == nullptr || device_gpu->removed;
}

HRESULT STDMETHODCALLTYPE Device::CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc,
                                                  const D3D11_SUBRESOURCE_DATA* pInitialData,
                                                  ID3D11Texture2D** ppTexture2D) try {
  if (ppTexture2D != nullptr) *ppTexture2D = nullptr;
  if (auto fault = kCreateTexture2D.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  const std::shared_ptr<Gpu> device_gpu = gpu("CreateTexture2D");
  if (!device_gpu) return E_UNEXPECTED;
  if (device_gpu->removed) return DXGI_ERROR_DEVICE_REMOVED;
  if (pDesc == nullptr) return E_INVALIDARG;
  if (const HRESULT checked = check_description(*pDesc, pInitialData != nullptr); FAILED(checked)) {
    return checked;
  }
  if (pInitialData != nullptr && pInitialData->pSysMem == nullptr) return E_INVALIDARG;
  if (ppTexture2D == nullptr) return S_FALSE;  // only the description was checked

  GpuGuard busy(*device_gpu, "CreateTexture2D");
  OwnedBytes memory;
  memory.row_length = pDesc->Width * 4;
  memory.row_pitch =
      pDesc->Usage == D3D11_USAGE_STAGING ? staging_row_pitch(pDesc->Width) : memory.row_length;
  // Memory that cannot be had is E_OUTOFMEMORY, as the runtime reports it.
  memory.bytes.assign(std::size_t{memory.storage_pitch()} * pDesc->Height, 0);
  if (pInitialData != nullptr) {
    const auto* source = static_cast<const std::uint8_t*>(pInitialData->pSysMem);
    for (UINT row = 0; row < pDesc->Height; ++row) {
      std::memcpy(memory.bytes.data() + std::size_t{row} * memory.storage_pitch(),
                  source + std::size_t{row} * pInitialData->SysMemPitch,
                  std::size_t{pDesc->Width} * 4);
    }
  }
  *ppTexture2D = Texture2D::create(this, device_gpu, *pDesc, std::move(memory));
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

Texture2D* Device::create_picture_texture(UINT width, UINT height, DXGI_FORMAT format) {
  const std::shared_ptr<Gpu> device_gpu = gpu("render");
  if (!device_gpu) return nullptr;
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  return Texture2D::create(this, device_gpu, desc, TargetPicture{nullptr, 0, 0});
}

D3D_FEATURE_LEVEL STDMETHODCALLTYPE Device::GetFeatureLevel() try {
  const auto device_gpu = gpu("GetFeatureLevel");
  return device_gpu ? device_gpu->feature_level : D3D_FEATURE_LEVEL_11_0;
} catch (...) {
  return entry::failed_silently(D3D_FEATURE_LEVEL_11_0);
}

UINT STDMETHODCALLTYPE Device::GetCreationFlags() try {
  const auto device_gpu = gpu("GetCreationFlags");
  return device_gpu ? device_gpu->creation_flags : 0;
} catch (...) {
  return entry::failed_silently(UINT{0});
}

// Each call hands out a new context object for the one immediate context; the
// module takes its context from D3D11CreateDevice.
void STDMETHODCALLTYPE Device::GetImmediateContext(ID3D11DeviceContext** ppImmediateContext) try {
  if (ppImmediateContext == nullptr) return;
  *ppImmediateContext = nullptr;
  if (auto device_gpu = gpu("GetImmediateContext")) {
    *ppImmediateContext = DeviceContext::create(this, device_gpu);
  }
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE Device::Enter() try {
  if (auto device_gpu = gpu("Enter")) device_gpu->lock.lock();
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE Device::Leave() try {
  if (auto device_gpu = gpu("Leave")) device_gpu->lock.unlock();
} catch (...) {
  entry::ignore_exception();
}

BOOL STDMETHODCALLTYPE Device::SetMultithreadProtected(BOOL bMTProtect) try {
  (void)kSetMultithreadProtected.enter();
  const auto device_gpu = gpu("SetMultithreadProtected");
  if (!device_gpu) return FALSE;
  return device_gpu->multithread_protected.exchange(bMTProtect != FALSE) ? TRUE : FALSE;
} catch (...) {
  return entry::failed_silently(FALSE);
}

BOOL STDMETHODCALLTYPE Device::GetMultithreadProtected() try {
  const auto device_gpu = gpu("GetMultithreadProtected");
  return device_gpu && device_gpu->multithread_protected.load() ? TRUE : FALSE;
} catch (...) {
  return entry::failed_silently(FALSE);
}

void* Device::base_interface(REFIID iid) {
  if (iid == IID_IDXGIObject) {
    return static_cast<IDXGIDevice*>(this);
  }
  return nullptr;
}

Device* as_device(IUnknown* object) { return dynamic_cast<Device*>(object); }

ContextState::ContextState(Device* device, std::shared_ptr<Gpu> gpu)
    : device(device->add_reference()), gpu(std::move(gpu)) {}

ContextState::~ContextState() { device->Release(); }

DeviceContext::DeviceContext(Device* device, std::shared_ptr<Gpu> gpu)
    : ComObject(std::in_place, device, std::move(gpu)) {}

void STDMETHODCALLTYPE DeviceContext::GetDevice(ID3D11Device** ppDevice) try {
  if (ppDevice == nullptr) return;
  *ppDevice = nullptr;
  if (ContextState* context = state("GetDevice")) *ppDevice = context->device->add_reference();
} catch (...) {
  entry::ignore_exception();
}

void* DeviceContext::base_interface(REFIID iid) {
  if (iid == IID_ID3D11DeviceChild) return static_cast<ID3D11DeviceContext*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE DeviceContext::Map(ID3D11Resource* pResource, UINT Subresource,
                                             D3D11_MAP MapType, UINT MapFlags,
                                             D3D11_MAPPED_SUBRESOURCE* pMappedResource) try {
  if (pMappedResource != nullptr) *pMappedResource = {};
  // The null form of a fault maps the texture but delivers no memory.
  const auto fault = kMap.enter();
  if (fault && !fault->null) return combase::fail_method(*fault);
  ContextState* context = state("Map");
  Texture2D* texture = as_texture(pResource);
  TextureState* target = texture != nullptr ? texture->texture_state() : nullptr;
  if (context == nullptr || target == nullptr || pMappedResource == nullptr || Subresource != 0) {
    return E_INVALIDARG;
  }
  if (MapFlags & ~UINT{D3D11_MAP_FLAG_DO_NOT_WAIT}) return E_INVALIDARG;
  if (context->gpu->removed) return DXGI_ERROR_DEVICE_REMOVED;
  GpuGuard busy(*context->gpu, "Map");
  std::lock_guard lock(target->mutex);
  auto* owned = std::get_if<OwnedBytes>(&target->memory);
  const bool wants_read = MapType == D3D11_MAP_READ || MapType == D3D11_MAP_READ_WRITE;
  const bool wants_write = MapType != D3D11_MAP_READ;
  if (owned == nullptr || target->desc.Usage != D3D11_USAGE_STAGING ||
      (wants_read && !(target->desc.CPUAccessFlags & D3D11_CPU_ACCESS_READ)) ||
      (wants_write && !(target->desc.CPUAccessFlags & D3D11_CPU_ACCESS_WRITE))) {
    return E_INVALIDARG;
  }
  if (target->mapped) {
    faults::record_misuse("Map of a texture that is already mapped");
    return E_INVALIDARG;
  }
  target->mapped = true;
  if (fault) return S_OK;
  // Copies run at once, so nothing is ever still in flight.
  pMappedResource->pData = owned->bytes.data();
  pMappedResource->RowPitch = owned->row_pitch;
  pMappedResource->DepthPitch = owned->row_pitch * target->desc.Height;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

void STDMETHODCALLTYPE DeviceContext::Unmap(ID3D11Resource* pResource, UINT Subresource) try {
  (void)kUnmap.enter();
  ContextState* context = state("Unmap");
  Texture2D* texture = as_texture(pResource);
  TextureState* target = texture != nullptr ? texture->texture_state() : nullptr;
  if (context == nullptr || target == nullptr || Subresource != 0) {
    faults::record_misuse("Unmap of something that is not a mappable texture");
    return;
  }
  std::lock_guard lock(target->mutex);
  if (!target->mapped) {
    faults::record_misuse("Unmap without Map");
    return;
  }
  target->mapped = false;
} catch (...) {
  entry::ignore_exception();
}

// An empty box is a no-op. A box reaching beyond the source, or beyond the
// destination from (DstX, DstY), is invalid: the runtime clips it to both
// textures and copies what lies inside, and its debug layer reports the call,
// as winsim does. Invalid resources are dropped and recorded.
void STDMETHODCALLTYPE DeviceContext::CopySubresourceRegion(
    ID3D11Resource* pDstResource, UINT DstSubresource, UINT DstX, UINT DstY, UINT DstZ,
    ID3D11Resource* pSrcResource, UINT SrcSubresource, const D3D11_BOX* pSrcBox) try {
  (void)kCopySubresourceRegion.enter();
  ContextState* context = state("CopySubresourceRegion");
  Texture2D* destination = as_texture(pDstResource);
  Texture2D* source = as_texture(pSrcResource);
  TextureState* to = destination != nullptr ? destination->texture_state() : nullptr;
  TextureState* from = source != nullptr ? source->texture_state() : nullptr;
  if (context == nullptr || to == nullptr || from == nullptr || to == from || DstSubresource != 0 ||
      SrcSubresource != 0 || DstZ != 0) {
    faults::record_misuse("CopySubresourceRegion: invalid resources or subresources");
    return;
  }
  if (to->gpu != from->gpu || to->desc.Format != from->desc.Format) {
    faults::record_misuse("CopySubresourceRegion: textures of other devices or formats");
    return;
  }
  const D3D11_BOX box =
      pSrcBox != nullptr ? *pSrcBox : D3D11_BOX{0, 0, 0, from->desc.Width, from->desc.Height, 1};
  if (box.left >= box.right || box.top >= box.bottom || box.front >= box.back) return;
  if (box.front != 0 || box.back != 1) {
    faults::record_misuse("CopySubresourceRegion: a box deeper than a 2D texture");
    return;
  }
  // Clipped to the source, then to the destination at (DstX, DstY).
  const auto clip = [](UINT start, UINT end, UINT limit) {
    return start >= limit ? 0 : std::min(end, limit) - start;
  };
  UINT width = clip(box.left, box.right, from->desc.Width);
  UINT height = clip(box.top, box.bottom, from->desc.Height);
  width = std::min(width, DstX >= to->desc.Width ? 0 : to->desc.Width - DstX);
  height = std::min(height, DstY >= to->desc.Height ? 0 : to->desc.Height - DstY);
  if (width != box.right - box.left || height != box.bottom - box.top) {
    faults::record_misuse("CopySubresourceRegion: the box does not fit both textures (clipped)");
  }
  if (width == 0 || height == 0) return;
  GpuGuard busy(*context->gpu, "CopySubresourceRegion");
  std::scoped_lock lock(to->mutex, from->mutex);
  auto* owned = std::get_if<OwnedBytes>(&to->memory);
  if (owned == nullptr) {
    faults::record_unsupported("CopySubresourceRegion", "copies into frame pool buffers");
    return;
  }
  if (to->mapped) {
    faults::record_misuse("CopySubresourceRegion into a mapped texture");
    return;
  }
  for (UINT row = 0; row < height; ++row) {
    std::uint8_t* out = owned->bytes.data() + std::size_t{DstY + row} * owned->storage_pitch() +
                        std::size_t{DstX} * 4;
    Texture2D::read_row(*from, box.left, box.top + row, width, out);
  }
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE DeviceContext::CopyResource(ID3D11Resource* pDstResource,
                                                   ID3D11Resource* pSrcResource) try {
  (void)kCopyResource.enter();
  Texture2D* source = as_texture(pSrcResource);
  TextureState* from = source != nullptr ? source->texture_state() : nullptr;
  if (from == nullptr) {
    faults::record_misuse("CopyResource: invalid source");
    return;
  }
  const D3D11_BOX box{0, 0, 0, from->desc.Width, from->desc.Height, 1};
  CopySubresourceRegion(pDstResource, 0, 0, 0, 0, pSrcResource, 0, &box);
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE DeviceContext::Flush() try {
} catch (...) {
  entry::ignore_exception();
}

}  // namespace winsim::d3d11
