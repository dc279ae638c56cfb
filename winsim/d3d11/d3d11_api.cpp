// The exports of d3d11.dll that the module calls: D3D11CreateDevice and
// CreateDirect3D11DeviceFromDXGIDevice.
#include <d3d11.h>

#include <memory>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "d3d11/device.h"
#include "d3d11/runtime_device.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kD3D11CreateDevice{"D3D11CreateDevice", FailureKind::kHresult};
const Operation kCreateDirect3D11DeviceFromDXGIDevice{"CreateDirect3D11DeviceFromDXGIDevice",
                                                      FailureKind::kHresult};

constexpr UINT kKnownFlags = D3D11_CREATE_DEVICE_SINGLETHREADED | D3D11_CREATE_DEVICE_DEBUG |
                             D3D11_CREATE_DEVICE_SWITCH_TO_REF |
                             D3D11_CREATE_DEVICE_PREVENT_INTERNAL_THREADING_OPTIMIZATIONS |
                             D3D11_CREATE_DEVICE_BGRA_SUPPORT | D3D11_CREATE_DEVICE_DEBUGGABLE |
                             D3D11_CREATE_DEVICE_PREVENT_ALTERING_LAYER_SETTINGS_FROM_REGISTRY |
                             D3D11_CREATE_DEVICE_DISABLE_GPU_TIMEOUT |
                             D3D11_CREATE_DEVICE_VIDEO_SUPPORT;

// DXGI_ERROR_SDK_COMPONENT_MISSING: the debug layer is not installed.
constexpr HRESULT kSdkComponentMissing = static_cast<HRESULT>(0x887A002DL);

bool valid_feature_level(D3D_FEATURE_LEVEL level) {
  switch (level) {
    case D3D_FEATURE_LEVEL_9_1:
    case D3D_FEATURE_LEVEL_9_2:
    case D3D_FEATURE_LEVEL_9_3:
    case D3D_FEATURE_LEVEL_10_0:
    case D3D_FEATURE_LEVEL_10_1:
    case D3D_FEATURE_LEVEL_11_0:
    case D3D_FEATURE_LEVEL_11_1:
    case D3D_FEATURE_LEVEL_12_0:
    case D3D_FEATURE_LEVEL_12_1:
      return true;
  }
  return false;
}

}  // namespace

// The simulated adapter (hardware and WARP alike) supports feature level 11_1
// and below.
HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* pAdapter, D3D_DRIVER_TYPE DriverType,
                                 HMODULE Software, UINT Flags,
                                 const D3D_FEATURE_LEVEL* pFeatureLevels, UINT FeatureLevels,
                                 UINT SDKVersion, ID3D11Device** ppDevice,
                                 D3D_FEATURE_LEVEL* pFeatureLevel,
                                 ID3D11DeviceContext** ppImmediateContext) try {
  if (ppDevice != nullptr) *ppDevice = nullptr;
  if (ppImmediateContext != nullptr) *ppImmediateContext = nullptr;
  if (pFeatureLevel != nullptr) *pFeatureLevel = static_cast<D3D_FEATURE_LEVEL>(0);
  if (auto fault = kD3D11CreateDevice.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (SDKVersion != D3D11_SDK_VERSION || (Flags & ~kKnownFlags) != 0) return E_INVALIDARG;
  // An adapter goes with D3D_DRIVER_TYPE_UNKNOWN, and only with it; a software
  // rasteriser module only with D3D_DRIVER_TYPE_SOFTWARE.
  if ((pAdapter != nullptr) != (DriverType == D3D_DRIVER_TYPE_UNKNOWN)) return E_INVALIDARG;
  if ((Software != nullptr) != (DriverType == D3D_DRIVER_TYPE_SOFTWARE)) return E_INVALIDARG;
  if (pFeatureLevels != nullptr && FeatureLevels == 0) return E_INVALIDARG;
  static constexpr D3D_FEATURE_LEVEL kDefaultLevels[] = {
      D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
      D3D_FEATURE_LEVEL_9_3,  D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1};
  const D3D_FEATURE_LEVEL* levels = pFeatureLevels != nullptr ? pFeatureLevels : kDefaultLevels;
  const UINT level_count = pFeatureLevels != nullptr ? FeatureLevels : 6;
  for (UINT i = 0; i < level_count; ++i) {
    if (!valid_feature_level(levels[i])) return E_INVALIDARG;
  }
  if (DriverType != D3D_DRIVER_TYPE_HARDWARE && DriverType != D3D_DRIVER_TYPE_WARP) {
    winsim::faults::record_unsupported("D3D11CreateDevice", "adapters and other driver types");
    return DXGI_ERROR_UNSUPPORTED;
  }
  if ((Flags & D3D11_CREATE_DEVICE_DEBUG) != 0) return kSdkComponentMissing;
  D3D_FEATURE_LEVEL chosen{};
  bool found = false;
  for (UINT i = 0; i < level_count && !found; ++i) {
    if (levels[i] <= D3D_FEATURE_LEVEL_11_1) {
      chosen = levels[i];
      found = true;
    }
  }
  if (!found) return E_INVALIDARG;
  if (pFeatureLevel != nullptr) *pFeatureLevel = chosen;
  // Valid arguments and nowhere to put a device: only the check was asked for.
  if (ppDevice == nullptr && ppImmediateContext == nullptr) return S_FALSE;

  auto gpu = std::make_shared<winsim::d3d11::Gpu>();
  gpu->driver_type = DriverType;
  gpu->feature_level = chosen;
  gpu->creation_flags = Flags;
  auto device = ComPtr<winsim::d3d11::Device>::attach(winsim::d3d11::Device::create(gpu));
  if (ppImmediateContext != nullptr) {
    *ppImmediateContext = winsim::d3d11::DeviceContext::create(device.get(), gpu);
  }
  if (ppDevice != nullptr) *ppDevice = device.detach();
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}

HRESULT WINAPI CreateDirect3D11DeviceFromDXGIDevice(IDXGIDevice* dxgiDevice,
                                                    IInspectable** graphicsDevice) try {
  if (graphicsDevice != nullptr) *graphicsDevice = nullptr;
  if (auto fault = kCreateDirect3D11DeviceFromDXGIDevice.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (dxgiDevice == nullptr || graphicsDevice == nullptr) return E_INVALIDARG;
  winsim::d3d11::Device* device = winsim::d3d11::as_device(dxgiDevice);
  if (device == nullptr) {
    winsim::faults::record_unsupported("CreateDirect3D11DeviceFromDXGIDevice",
                                       "devices that winsim did not create");
    return E_INVALIDARG;
  }
  auto* wrapper = winsim::d3d11::RuntimeDevice::create(device);
  *graphicsDevice = static_cast<winrt_abi::IDirect3DDevice*>(wrapper);
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}
