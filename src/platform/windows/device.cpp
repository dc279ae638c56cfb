#include "platform/windows/device.h"

#include <utility>

#include "expected_ops.h"
#include "platform/windows/com_call.h"

namespace {

std::expected<D3DDevice, CaptureError> try_create_device(D3D_DRIVER_TYPE driver_type) {
  static constexpr D3D_FEATURE_LEVEL kFeatureLevels[] = {D3D_FEATURE_LEVEL_11_1,
                                                         D3D_FEATURE_LEVEL_11_0};
  D3DDevice created;
  const HRESULT hr = D3D11CreateDevice(
      nullptr, driver_type, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, kFeatureLevels, 2,
      D3D11_SDK_VERSION, created.device.put(), nullptr, created.context.put());
  if (FAILED(hr)) return std::unexpected(CaptureError::windows(hresult_from_com(hr)));
  if (!created.device || !created.context) {
    // Whichever of the two was delivered goes with `created`.
    return std::unexpected(CaptureError::of(CaptureError::Kind::CreateDeviceFailed));
  }
  return created;
}

}  // namespace

std::expected<D3DDevice, CaptureError> create_d3d_device() {
  auto created = try_create_device(D3D_DRIVER_TYPE_HARDWARE);
  if (!created) created = try_create_device(D3D_DRIVER_TYPE_WARP);
  if (!created) return created;

  auto multithread =
      transform_error(query<ID3D10Multithread>(created->device), CaptureError::windows);
  if (!multithread) return std::unexpected(std::move(multithread.error()));
  (*multithread)->SetMultithreadProtected(TRUE);
  return created;
}

std::expected<ComPtr<winrt_abi::IDirect3DDevice>, WindowsApiError> create_direct3d_device(
    ID3D11Device* device) {
  auto dxgi_device = query<IDXGIDevice>(device);
  if (!dxgi_device) return std::unexpected(std::move(dxgi_device.error()));
  auto inspectable = com_object<IInspectable>([&](IInspectable** out) {
    return CreateDirect3D11DeviceFromDXGIDevice(dxgi_device->get(), out);
  });
  if (!inspectable) return std::unexpected(std::move(inspectable.error()));
  return query<winrt_abi::IDirect3DDevice>(*inspectable);
}
