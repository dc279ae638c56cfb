#include "combase/query_interface.h"

#include <objbase.h>
#include <oaidl.h>

#include "opticatcher/abi/capture_abi.h"

namespace winsim::combase {

namespace {

using faults::FailureKind;
using faults::Operation;

struct KnownInterface {
  const IID& iid;
  Operation query;
};

const KnownInterface kKnownInterfaces[] = {
    {IID_IUnknown, {"QueryInterface:IUnknown", FailureKind::kHresult}},
    {IID_IErrorInfo, {"QueryInterface:IErrorInfo", FailureKind::kHresult}},
    {winrt_abi::IID_IRestrictedErrorInfo,
     {"QueryInterface:IRestrictedErrorInfo", FailureKind::kHresult}},
    {IID_IInspectable, {"QueryInterface:IInspectable", FailureKind::kHresult}},
    {IID_IAgileObject, {"QueryInterface:IAgileObject", FailureKind::kHresult}},
    {IID_IMarshal, {"QueryInterface:IMarshal", FailureKind::kHresult}},
    {IID_ID3D10Multithread, {"QueryInterface:ID3D10Multithread", FailureKind::kHresult}},
    {IID_IDXGIObject, {"QueryInterface:IDXGIObject", FailureKind::kHresult}},
    {IID_IDXGIDevice, {"QueryInterface:IDXGIDevice", FailureKind::kHresult}},
    {IID_ID3D11Device, {"QueryInterface:ID3D11Device", FailureKind::kHresult}},
    {IID_ID3D11DeviceChild, {"QueryInterface:ID3D11DeviceChild", FailureKind::kHresult}},
    {IID_ID3D11DeviceContext, {"QueryInterface:ID3D11DeviceContext", FailureKind::kHresult}},
    {IID_ID3D11Resource, {"QueryInterface:ID3D11Resource", FailureKind::kHresult}},
    {IID_ID3D11Texture2D, {"QueryInterface:ID3D11Texture2D", FailureKind::kHresult}},
    {winrt_abi::IID_IClosable, {"QueryInterface:IClosable", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3DDevice, {"QueryInterface:IDirect3DDevice", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3DSurface, {"QueryInterface:IDirect3DSurface", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3DDxgiInterfaceAccess,
     {"QueryInterface:IDirect3DDxgiInterfaceAccess", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureItemInterop,
     {"QueryInterface:IGraphicsCaptureItemInterop", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureItem,
     {"QueryInterface:IGraphicsCaptureItem", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureSession,
     {"QueryInterface:IGraphicsCaptureSession", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureSession2,
     {"QueryInterface:IGraphicsCaptureSession2", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureSession3,
     {"QueryInterface:IGraphicsCaptureSession3", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3D11CaptureFrame,
     {"QueryInterface:IDirect3D11CaptureFrame", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3D11CaptureFramePool,
     {"QueryInterface:IDirect3D11CaptureFramePool", FailureKind::kHresult}},
    {winrt_abi::IID_IDirect3D11CaptureFramePoolStatics2,
     {"QueryInterface:IDirect3D11CaptureFramePoolStatics2", FailureKind::kHresult}},
    {winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable,
     {"QueryInterface:ITypedEventHandler_FramePool_Inspectable", FailureKind::kHresult}},
    {winrt_abi::IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable,
     {"QueryInterface:ITypedEventHandler_GraphicsCaptureItem_Inspectable", FailureKind::kHresult}},
    {winrt_abi::IID_IGraphicsCaptureAccessStatics,
     {"QueryInterface:IGraphicsCaptureAccessStatics", FailureKind::kHresult}},
    {winrt_abi::IID_IAsyncInfo, {"QueryInterface:IAsyncInfo", FailureKind::kHresult}},
    {winrt_abi::IID_IAsyncOperation_AppCapabilityAccessStatus,
     {"QueryInterface:IAsyncOperation_AppCapabilityAccessStatus", FailureKind::kHresult}},
};

}  // namespace

const faults::Operation* query_operation(REFIID iid) {
  for (const KnownInterface& known : kKnownInterfaces) {
    if (known.iid == iid) {
      return &known.query;
    }
  }
  return nullptr;
}

}  // namespace winsim::combase
