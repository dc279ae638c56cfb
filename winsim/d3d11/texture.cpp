#include "d3d11/texture.h"

#include <cstring>
#include <utility>

#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "d3d11/device.h"

namespace winsim::d3d11 {

namespace {

const faults::Operation kGetDesc{"GetDesc", faults::FailureKind::kNever};

}  // namespace

TextureState::TextureState(Device* device, std::shared_ptr<Gpu> gpu,
                           const D3D11_TEXTURE2D_DESC& desc,
                           std::variant<TargetPicture, OwnedBytes> memory)
    : device(device->add_reference()), gpu(std::move(gpu)), desc(desc), memory(std::move(memory)) {}

TextureState::~TextureState() {
  // Direct3D 11 leaves a mapping of a released resource dangling: whoever
  // still reads through it reads freed memory.
  if (mapped) faults::record_misuse("D3D11Texture2D released while mapped");
  device->Release();
}

Texture2D::Texture2D(Device* device, std::shared_ptr<Gpu> gpu, const D3D11_TEXTURE2D_DESC& desc,
                     std::variant<TargetPicture, OwnedBytes> memory)
    : ComObject(std::in_place, device, std::move(gpu), desc, std::move(memory)) {}

void STDMETHODCALLTYPE Texture2D::GetDevice(ID3D11Device** ppDevice) try {
  if (ppDevice == nullptr) return;
  *ppDevice = nullptr;
  if (TextureState* texture = state("GetDevice")) {
    *ppDevice = texture->device->add_reference();
  }
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE Texture2D::GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) try {
  if (pResourceDimension != nullptr) *pResourceDimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
} catch (...) {
  entry::ignore_exception();
}

void STDMETHODCALLTYPE Texture2D::GetDesc(D3D11_TEXTURE2D_DESC* pDesc) try {
  (void)kGetDesc.enter();
  if (pDesc == nullptr) return;
  if (TextureState* texture = state("GetDesc")) {
    *pDesc = texture->desc;
  }
} catch (...) {
  entry::ignore_exception();
}

void* Texture2D::base_interface(REFIID iid) {
  if (iid == IID_ID3D11Resource || iid == IID_ID3D11DeviceChild) {
    return static_cast<ID3D11Texture2D*>(this);
  }
  return nullptr;
}

void Texture2D::show(TargetPicture picture) {
  if (TextureState* texture = state("render")) {
    std::lock_guard lock(texture->mutex);
    texture->memory = std::move(picture);
  }
}

void Texture2D::read_row(const TextureState& texture, UINT x, UINT y, UINT count,
                         std::uint8_t* out) {
  if (const auto* owned = std::get_if<OwnedBytes>(&texture.memory)) {
    std::memcpy(out,
                owned->bytes.data() + std::size_t{y} * owned->storage_pitch() + std::size_t{x} * 4,
                std::size_t{count} * 4);
    return;
  }
  const auto& picture = std::get<TargetPicture>(texture.memory);
  // Beyond the target's size, the buffer shows black.
  UINT shown = 0;
  if (y < picture.visible_height && x < picture.visible_width) {
    shown = std::min(count, picture.visible_width - x);
    desktop::read_content_row(picture.snapshot.get(), x, y, shown, out);
    for (const auto& overlay : picture.overlays)
      desktop::draw_overlay_row(overlay, x, y, shown, out);
    if (picture.pointer) desktop::draw_pointer_row(*picture.pointer, x, y, shown, out);
  }
  for (UINT i = shown; i < count; ++i) {
    out[4 * i + 0] = 0;
    out[4 * i + 1] = 0;
    out[4 * i + 2] = 0;
    out[4 * i + 3] = 255;
  }
  if (texture.desc.Format == DXGI_FORMAT_B8G8R8A8_UNORM) {
    for (UINT i = 0; i < count; ++i) std::swap(out[4 * i], out[4 * i + 2]);
  }
}

Texture2D* as_texture(ID3D11Resource* resource) { return dynamic_cast<Texture2D*>(resource); }

}  // namespace winsim::d3d11
