#include "padded_map.h"

#include <cstring>

namespace {

PaddedMapHook* active_hook = nullptr;

void* const*& table_of(ID3D11DeviceContext* context) {
  return *reinterpret_cast<void* const**>(context);
}

}  // namespace

PaddedMapHook::PaddedMapHook(ID3D11DeviceContext* context)
    : context_(context), original_table_(table_of(context)) {
  std::memcpy(table_, original_table_, sizeof table_);
  original_map_ = reinterpret_cast<MapFunction>(table_[kMapSlot]);
  original_unmap_ = reinterpret_cast<UnmapFunction>(table_[kUnmapSlot]);
  table_[kMapSlot] = reinterpret_cast<void*>(&PaddedMapHook::map);
  table_[kUnmapSlot] = reinterpret_cast<void*>(&PaddedMapHook::unmap);
  active_hook = this;
  table_of(context_) = table_;
}

PaddedMapHook::~PaddedMapHook() {
  table_of(context_) = original_table_;
  active_hook = nullptr;
}

HRESULT STDMETHODCALLTYPE PaddedMapHook::map(ID3D11DeviceContext* context, ID3D11Resource* resource,
                                             UINT subresource, D3D11_MAP type, UINT flags,
                                             D3D11_MAPPED_SUBRESOURCE* mapped) {
  PaddedMapHook& hook = *active_hook;
  const HRESULT hr = hook.original_map_(context, resource, subresource, type, flags, mapped);
  if (FAILED(hr) || mapped == nullptr || mapped->pData == nullptr) return hr;

  ID3D11Texture2D* texture = nullptr;
  if (FAILED(resource->QueryInterface(IID_ID3D11Texture2D, reinterpret_cast<void**>(&texture)))) {
    return hr;
  }
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  texture->Release();

  const UINT row = desc.Width * 4;
  const UINT pitch = (mapped->RowPitch / 256 + 1) * 256;
  hook.padded_.assign(std::size_t{pitch} * desc.Height, 0xCD);
  const auto* from = static_cast<const std::uint8_t*>(mapped->pData);
  for (UINT y = 0; y < desc.Height; ++y) {
    std::memcpy(hook.padded_.data() + std::size_t{y} * pitch,
                from + std::size_t{y} * mapped->RowPitch, row);
  }
  hook.original_pitch_ = mapped->RowPitch;
  hook.presented_pitch_ = pitch;
  mapped->pData = hook.padded_.data();
  mapped->RowPitch = pitch;
  mapped->DepthPitch = pitch * desc.Height;
  return hr;
}

void STDMETHODCALLTYPE PaddedMapHook::unmap(ID3D11DeviceContext* context, ID3D11Resource* resource,
                                            UINT subresource) {
  PaddedMapHook& hook = *active_hook;
  hook.padded_.clear();
  hook.original_unmap_(context, resource, subresource);
}
