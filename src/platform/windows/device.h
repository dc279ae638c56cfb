// The Direct3D 11 device of a capture, and its Windows Runtime wrapper.
#pragma once

#include <expected>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/win32.h"

struct D3DDevice {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
};

// A new device on the default adapter, hardware first and WARP when that
// fails, with multithread protection switched on: the frame pool's worker
// thread and Python threads both use it. Only the WARP failure is reported.
std::expected<D3DDevice, CaptureError> create_d3d_device();

// A fresh Windows Runtime device standing for `device`, for the frame pool
// calls that take one.
std::expected<ComPtr<winrt_abi::IDirect3DDevice>, WindowsApiError> create_direct3d_device(
    ID3D11Device* device);
