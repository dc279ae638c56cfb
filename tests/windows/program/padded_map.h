// A test hook on a device context that re-presents every Map with padded
// rows, as real GPUs map staging textures (Wine maps them with rows exactly
// width x 4 bytes apart, which would let a row copy that ignores the pitch
// pass). While it lives, the context's Map copies the mapped rows into a
// buffer whose rows are `RowPitch` apart, rounded up past the next multiple of
// 256 bytes, with the padding filled with 0xCD; Unmap lets the buffer go.
//
// The hook swaps the context object's table of methods for a copy with Map
// and Unmap replaced, and puts the original back when it goes. One hook at a
// time; the context is used only by the thread that holds the hook.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/windows/win32.h"

class PaddedMapHook {
 public:
  explicit PaddedMapHook(ID3D11DeviceContext* context);
  PaddedMapHook(const PaddedMapHook&) = delete;
  PaddedMapHook& operator=(const PaddedMapHook&) = delete;
  ~PaddedMapHook();

  // The pitch the last Map presented, and the pitch the context itself gave.
  UINT presented_pitch() const { return presented_pitch_; }
  UINT original_pitch() const { return original_pitch_; }

 private:
  using MapFunction = HRESULT(STDMETHODCALLTYPE*)(ID3D11DeviceContext*, ID3D11Resource*, UINT,
                                                  D3D11_MAP, UINT, D3D11_MAPPED_SUBRESOURCE*);
  using UnmapFunction = void(STDMETHODCALLTYPE*)(ID3D11DeviceContext*, ID3D11Resource*, UINT);

  static HRESULT STDMETHODCALLTYPE map(ID3D11DeviceContext* context, ID3D11Resource* resource,
                                       UINT subresource, D3D11_MAP type, UINT flags,
                                       D3D11_MAPPED_SUBRESOURCE* mapped);
  static void STDMETHODCALLTYPE unmap(ID3D11DeviceContext* context, ID3D11Resource* resource,
                                      UINT subresource);

  // ID3D11DeviceContext's methods: IUnknown's 3, ID3D11DeviceChild's 4 and
  // its own 108, in d3d11.h's order, where Map and Unmap are slots 14 and 15.
  static constexpr std::size_t kSlots = 115;
  static constexpr std::size_t kMapSlot = 14;
  static constexpr std::size_t kUnmapSlot = 15;

  ID3D11DeviceContext* context_;
  void* const* original_table_;
  void* table_[kSlots];
  MapFunction original_map_;
  UnmapFunction original_unmap_;
  std::vector<std::uint8_t> padded_;
  UINT presented_pitch_ = 0;
  UINT original_pitch_ = 0;
};
