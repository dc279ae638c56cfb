// The Direct3D 11 device (ID3D11Device, with its ID3D10Multithread switch and
// its DXGI side, IDXGIDevice) and its immediate context.
#pragma once

#include <memory>

#include <d3d10.h>
#include <d3d11.h>
#include <dxgi.h>

#include "combase/com_object.h"
#include "d3d11/gpu.h"
#include "d3d11/texture.h"

namespace winsim::d3d11 {

struct DeviceState {
  std::shared_ptr<Gpu> gpu;
};

class Device final
    : public combase::ComObject<Device, DeviceState, ID3D11Device, ID3D10Multithread, IDXGIDevice> {
 public:
  static constexpr std::string_view kClassName = "D3D11Device";
  explicit Device(std::shared_ptr<Gpu> gpu);

  // ID3D11Device
  HRESULT STDMETHODCALLTYPE CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc,
                                            const D3D11_SUBRESOURCE_DATA* pInitialData,
                                            ID3D11Texture2D** ppTexture2D) override;
  D3D_FEATURE_LEVEL STDMETHODCALLTYPE GetFeatureLevel() override;
  UINT STDMETHODCALLTYPE GetCreationFlags() override;
  void STDMETHODCALLTYPE GetImmediateContext(ID3D11DeviceContext** ppImmediateContext) override;

  // ID3D10Multithread
  void STDMETHODCALLTYPE Enter() override;
  void STDMETHODCALLTYPE Leave() override;
  BOOL STDMETHODCALLTYPE SetMultithreadProtected(BOOL bMTProtect) override;
  BOOL STDMETHODCALLTYPE GetMultithreadProtected() override;

  void* base_interface(REFIID iid);

  // For the simulation: the GPU, or null once the device is a zombie.
  std::shared_ptr<Gpu> gpu(std::string_view operation);

  // Device removal (the control API's remove_device): from then on the
  // device's calls fail with DXGI_ERROR_DEVICE_REMOVED.
  void mark_removed();
  bool removed();

  // A texture whose memory shows a capture target (a frame pool buffer).
  Texture2D* create_picture_texture(UINT width, UINT height, DXGI_FORMAT format);
};

struct ContextState {
  ContextState(Device* device, std::shared_ptr<Gpu> gpu);
  ~ContextState();
  ContextState(const ContextState&) = delete;
  ContextState& operator=(const ContextState&) = delete;

  Device* device;  // one reference
  std::shared_ptr<Gpu> gpu;
};

class DeviceContext final
    : public combase::ComObject<DeviceContext, ContextState, ID3D11DeviceContext> {
 public:
  static constexpr std::string_view kClassName = "D3D11DeviceContext";
  DeviceContext(Device* device, std::shared_ptr<Gpu> gpu);

  void STDMETHODCALLTYPE GetDevice(ID3D11Device** ppDevice) override;
  HRESULT STDMETHODCALLTYPE Map(ID3D11Resource* pResource, UINT Subresource, D3D11_MAP MapType,
                                UINT MapFlags, D3D11_MAPPED_SUBRESOURCE* pMappedResource) override;
  void STDMETHODCALLTYPE Unmap(ID3D11Resource* pResource, UINT Subresource) override;
  void STDMETHODCALLTYPE CopySubresourceRegion(ID3D11Resource* pDstResource, UINT DstSubresource,
                                               UINT DstX, UINT DstY, UINT DstZ,
                                               ID3D11Resource* pSrcResource, UINT SrcSubresource,
                                               const D3D11_BOX* pSrcBox) override;
  void STDMETHODCALLTYPE CopyResource(ID3D11Resource* pDstResource,
                                      ID3D11Resource* pSrcResource) override;
  void STDMETHODCALLTYPE Flush() override;

  void* base_interface(REFIID iid);
};

// The device behind an IDXGIDevice, if it is one of winsim's.
Device* as_device(IUnknown* object);

}  // namespace winsim::d3d11
