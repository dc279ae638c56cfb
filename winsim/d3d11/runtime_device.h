// The Windows Runtime wrapper of a Direct3D 11 device
// (Windows.Graphics.DirectX.Direct3D11.IDirect3DDevice), made by
// CreateDirect3D11DeviceFromDXGIDevice.
#pragma once

#include "combase/runtime_object.h"
#include "d3d11/device.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::d3d11 {

struct RuntimeDeviceState {
  explicit RuntimeDeviceState(Device* device);
  ~RuntimeDeviceState();
  RuntimeDeviceState(const RuntimeDeviceState&) = delete;
  RuntimeDeviceState& operator=(const RuntimeDeviceState&) = delete;

  Device* device;  // one reference
};

class RuntimeDevice final
    : public combase::RuntimeObject<RuntimeDevice, RuntimeDeviceState, winrt_abi::IDirect3DDevice,
                                    winrt_abi::IDirect3DDxgiInterfaceAccess, winrt_abi::IClosable> {
 public:
  static constexpr std::string_view kClassName = "Direct3DDevice";
  explicit RuntimeDevice(Device* device);

  HRESULT STDMETHODCALLTYPE Trim() override;
  HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** p) override;
  HRESULT STDMETHODCALLTYPE Close() override;

  // A new reference to the Direct3D device, or null once this is a zombie.
  Device* device(std::string_view operation);
};

// The wrapper behind an IDirect3DDevice, if it is one of winsim's.
RuntimeDevice* as_runtime_device(winrt_abi::IDirect3DDevice* device);

}  // namespace winsim::d3d11
