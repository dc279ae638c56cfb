// Direct3D 11: device, immediate context, 2D textures and D3D11CreateDevice.
//
// The members winsim implements, in the relative order of the Windows SDK's
// vtables, with the SDK's IIDs and constants (see dxgi.h for why a subset is
// enough).
#pragma once

#include <d3dcommon.h>
#include <dxgi.h>
#include <minwindef.h>
#include <unknwn.h>

#define D3D11_SDK_VERSION (7)

typedef enum D3D11_CREATE_DEVICE_FLAG {
  D3D11_CREATE_DEVICE_SINGLETHREADED = 0x1,
  D3D11_CREATE_DEVICE_DEBUG = 0x2,
  D3D11_CREATE_DEVICE_SWITCH_TO_REF = 0x4,
  D3D11_CREATE_DEVICE_PREVENT_INTERNAL_THREADING_OPTIMIZATIONS = 0x8,
  D3D11_CREATE_DEVICE_BGRA_SUPPORT = 0x20,
  D3D11_CREATE_DEVICE_DEBUGGABLE = 0x40,
  D3D11_CREATE_DEVICE_PREVENT_ALTERING_LAYER_SETTINGS_FROM_REGISTRY = 0x80,
  D3D11_CREATE_DEVICE_DISABLE_GPU_TIMEOUT = 0x100,
  D3D11_CREATE_DEVICE_VIDEO_SUPPORT = 0x800,
} D3D11_CREATE_DEVICE_FLAG;

typedef enum D3D11_RESOURCE_DIMENSION {
  D3D11_RESOURCE_DIMENSION_UNKNOWN = 0,
  D3D11_RESOURCE_DIMENSION_BUFFER = 1,
  D3D11_RESOURCE_DIMENSION_TEXTURE1D = 2,
  D3D11_RESOURCE_DIMENSION_TEXTURE2D = 3,
  D3D11_RESOURCE_DIMENSION_TEXTURE3D = 4,
} D3D11_RESOURCE_DIMENSION;

typedef enum D3D11_USAGE {
  D3D11_USAGE_DEFAULT = 0,
  D3D11_USAGE_IMMUTABLE = 1,
  D3D11_USAGE_DYNAMIC = 2,
  D3D11_USAGE_STAGING = 3,
} D3D11_USAGE;

typedef enum D3D11_BIND_FLAG {
  D3D11_BIND_VERTEX_BUFFER = 0x1,
  D3D11_BIND_INDEX_BUFFER = 0x2,
  D3D11_BIND_CONSTANT_BUFFER = 0x4,
  D3D11_BIND_SHADER_RESOURCE = 0x8,
  D3D11_BIND_STREAM_OUTPUT = 0x10,
  D3D11_BIND_RENDER_TARGET = 0x20,
  D3D11_BIND_DEPTH_STENCIL = 0x40,
  D3D11_BIND_UNORDERED_ACCESS = 0x80,
} D3D11_BIND_FLAG;

typedef enum D3D11_CPU_ACCESS_FLAG {
  D3D11_CPU_ACCESS_WRITE = 0x10000,
  D3D11_CPU_ACCESS_READ = 0x20000,
} D3D11_CPU_ACCESS_FLAG;

typedef enum D3D11_MAP {
  D3D11_MAP_READ = 1,
  D3D11_MAP_WRITE = 2,
  D3D11_MAP_READ_WRITE = 3,
  D3D11_MAP_WRITE_DISCARD = 4,
  D3D11_MAP_WRITE_NO_OVERWRITE = 5,
} D3D11_MAP;

typedef enum D3D11_MAP_FLAG {
  D3D11_MAP_FLAG_DO_NOT_WAIT = 0x100000,
} D3D11_MAP_FLAG;

typedef struct D3D11_TEXTURE2D_DESC {
  UINT Width;
  UINT Height;
  UINT MipLevels;
  UINT ArraySize;
  DXGI_FORMAT Format;
  DXGI_SAMPLE_DESC SampleDesc;
  D3D11_USAGE Usage;
  UINT BindFlags;
  UINT CPUAccessFlags;
  UINT MiscFlags;
} D3D11_TEXTURE2D_DESC;

typedef struct D3D11_SUBRESOURCE_DATA {
  const void* pSysMem;
  UINT SysMemPitch;
  UINT SysMemSlicePitch;
} D3D11_SUBRESOURCE_DATA;

typedef struct D3D11_BOX {
  UINT left;
  UINT top;
  UINT front;
  UINT right;
  UINT bottom;
  UINT back;
} D3D11_BOX;

typedef struct D3D11_MAPPED_SUBRESOURCE {
  void* pData;
  UINT RowPitch;
  UINT DepthPitch;
} D3D11_MAPPED_SUBRESOURCE;

struct ID3D11Device;

// {1841E5C8-16B0-489B-BCC8-44CFB0D5DEAE}
inline constexpr IID IID_ID3D11DeviceChild = {
    0x1841E5C8, 0x16B0, 0x489B, {0xBC, 0xC8, 0x44, 0xCF, 0xB0, 0xD5, 0xDE, 0xAE}};

struct ID3D11DeviceChild : public IUnknown {
  virtual void STDMETHODCALLTYPE GetDevice(ID3D11Device** ppDevice) = 0;
};

// {DC8E63F3-D12B-4952-B47B-5E45026A862D}
inline constexpr IID IID_ID3D11Resource = {
    0xDC8E63F3, 0xD12B, 0x4952, {0xB4, 0x7B, 0x5E, 0x45, 0x02, 0x6A, 0x86, 0x2D}};

struct ID3D11Resource : public ID3D11DeviceChild {
  virtual void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) = 0;
};

// {6F15AAF2-D208-4E89-9AB4-489535D34F9C}
inline constexpr IID IID_ID3D11Texture2D = {
    0x6F15AAF2, 0xD208, 0x4E89, {0x9A, 0xB4, 0x48, 0x95, 0x35, 0xD3, 0x4F, 0x9C}};

struct ID3D11Texture2D : public ID3D11Resource {
  virtual void STDMETHODCALLTYPE GetDesc(D3D11_TEXTURE2D_DESC* pDesc) = 0;
};

// {C0BFA96C-E089-44FB-8EAF-26F8796190DA}
inline constexpr IID IID_ID3D11DeviceContext = {
    0xC0BFA96C, 0xE089, 0x44FB, {0x8E, 0xAF, 0x26, 0xF8, 0x79, 0x61, 0x90, 0xDA}};

struct ID3D11DeviceContext : public ID3D11DeviceChild {
  // Waits for queued GPU work on the resource (unless D3D11_MAP_FLAG_DO_NOT_WAIT).
  virtual HRESULT STDMETHODCALLTYPE Map(ID3D11Resource* pResource, UINT Subresource,
                                        D3D11_MAP MapType, UINT MapFlags,
                                        D3D11_MAPPED_SUBRESOURCE* pMappedResource) = 0;
  virtual void STDMETHODCALLTYPE Unmap(ID3D11Resource* pResource, UINT Subresource) = 0;
  virtual void STDMETHODCALLTYPE CopySubresourceRegion(ID3D11Resource* pDstResource,
                                                       UINT DstSubresource, UINT DstX, UINT DstY,
                                                       UINT DstZ, ID3D11Resource* pSrcResource,
                                                       UINT SrcSubresource,
                                                       const D3D11_BOX* pSrcBox) = 0;
  virtual void STDMETHODCALLTYPE CopyResource(ID3D11Resource* pDstResource,
                                              ID3D11Resource* pSrcResource) = 0;
  virtual void STDMETHODCALLTYPE Flush() = 0;
};

// {DB6F6DDB-AC77-4E88-8253-819DF9BBF140}
inline constexpr IID IID_ID3D11Device = {
    0xDB6F6DDB, 0xAC77, 0x4E88, {0x82, 0x53, 0x81, 0x9D, 0xF9, 0xBB, 0xF1, 0x40}};

struct ID3D11Device : public IUnknown {
  // With ppTexture2D null, only validates the description (S_FALSE when valid).
  virtual HRESULT STDMETHODCALLTYPE CreateTexture2D(const D3D11_TEXTURE2D_DESC* pDesc,
                                                    const D3D11_SUBRESOURCE_DATA* pInitialData,
                                                    ID3D11Texture2D** ppTexture2D) = 0;
  virtual D3D_FEATURE_LEVEL STDMETHODCALLTYPE GetFeatureLevel() = 0;
  virtual UINT STDMETHODCALLTYPE GetCreationFlags() = 0;
  virtual void STDMETHODCALLTYPE GetImmediateContext(ID3D11DeviceContext** ppImmediateContext) = 0;
};

extern "C" {

DECLSPEC_IMPORT HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* pAdapter, D3D_DRIVER_TYPE DriverType,
                                                 HMODULE Software, UINT Flags,
                                                 const D3D_FEATURE_LEVEL* pFeatureLevels,
                                                 UINT FeatureLevels, UINT SDKVersion,
                                                 ID3D11Device** ppDevice,
                                                 D3D_FEATURE_LEVEL* pFeatureLevel,
                                                 ID3D11DeviceContext** ppImmediateContext);

}  // extern "C"
