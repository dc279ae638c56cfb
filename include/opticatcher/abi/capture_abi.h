// The Windows Runtime capture ABI, declared once by the project: the SDKs that
// the module is built with (mingw-w64 10 among them) lack these headers. The
// Windows build and winsim both use these declarations.
//
// Every IID and every vtable slot order below was checked against the public
// generated headers of mingw-w64 (windows.graphics.capture.h,
// windows.graphics.capture.interop.h and
// windows.graphics.directx.direct3d11.interop.h, WIDL output of the Windows
// metadata), and the restricted error interface against
// restrictederrorinfo.idl. Members the module never calls keep their slots, so
// the slot of every member it does call is the one Windows uses.
//
// The IIDs of parameterized interfaces (a delegate or an asynchronous
// operation of a given type) are not in the metadata: Windows derives each
// from its type signature, as a name-based UUID (version 5, SHA-1) in the
// namespace {11F47AD5-7B73-42C0-ABAE-878B1E16ADEE} over the UTF-8 signature
// "pinterface({<generic IID>};<argument signatures>)". tools/winrt_iid.py
// derives them; the source that confirms each value is named at its
// declaration.
//
// Interfaces of the SDK itself (IInspectable, ID3D11Device, ...) come from
// windows_headers.h; their InterfaceId ties are at the end of this file.
//
// The namespace is not called `abi`: libstdc++'s <cxxabi.h> already defines a
// global alias of that name.
#pragma once

#include "opticatcher/abi/interface_id.h"
#include "opticatcher/abi/windows_headers.h"

namespace winrt_abi {

// Windows.Graphics.SizeInt32
struct SizeInt32 {
  INT32 Width;
  INT32 Height;
};

// Windows.Foundation.TimeSpan, in 100-nanosecond units.
struct TimeSpan {
  INT64 Duration;
};

// Windows.Graphics.DirectX.DirectXPixelFormat (the values of DXGI_FORMAT).
enum DirectXPixelFormat : INT32 {
  DirectXPixelFormat_Unknown = 0,
  DirectXPixelFormat_R8G8B8A8UIntNormalized = 28,
  DirectXPixelFormat_B8G8R8A8UIntNormalized = 87,
};

// Windows.Graphics.DirectX.Direct3D11.Direct3DMultisampleDescription
struct Direct3DMultisampleDescription {
  INT32 Count;
  INT32 Quality;
};

// Windows.Graphics.DirectX.Direct3D11.Direct3DSurfaceDescription
struct Direct3DSurfaceDescription {
  INT32 Width;
  INT32 Height;
  DirectXPixelFormat Format;
  Direct3DMultisampleDescription MultisampleDescription;
};

// restrictederrorinfo.idl
// {82BA7092-4C88-427D-A7BC-16DD93FEB67E}
inline constexpr IID IID_IRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};

struct IRestrictedErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                                    BSTR* restricted_description,
                                                    BSTR* capability_sid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;
};

// Windows.Foundation.IClosable
// {30D5A829-7FA4-4026-83BB-D75BAE4EA99E}
inline constexpr IID IID_IClosable = {
    0x30D5A829, 0x7FA4, 0x4026, {0x83, 0xBB, 0xD7, 0x5B, 0xAE, 0x4E, 0xA9, 0x9E}};

struct IClosable : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DDevice
// {A37624AB-8D5F-4650-9D3E-9EAE3D9BC670}
inline constexpr IID IID_IDirect3DDevice = {
    0xA37624AB, 0x8D5F, 0x4650, {0x9D, 0x3E, 0x9E, 0xAE, 0x3D, 0x9B, 0xC6, 0x70}};

struct IDirect3DDevice : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Trim() = 0;
};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DSurface
// {0BF4A146-13C1-4694-BEE3-7ABF15EAF586}
inline constexpr IID IID_IDirect3DSurface = {
    0x0BF4A146, 0x13C1, 0x4694, {0xBE, 0xE3, 0x7A, 0xBF, 0x15, 0xEA, 0xF5, 0x86}};

struct IDirect3DSurface : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Description(Direct3DSurfaceDescription* value) = 0;
};

// windows.graphics.directx.direct3d11.interop.h: reaches the DXGI / Direct3D 11
// object behind a runtime device or surface.
// {A9B3D012-3DF2-4EE3-B8D1-8695F457D3C1}
inline constexpr IID IID_IDirect3DDxgiInterfaceAccess = {
    0xA9B3D012, 0x3DF2, 0x4EE3, {0xB8, 0xD1, 0x86, 0x95, 0xF4, 0x57, 0xD3, 0xC1}};

struct IDirect3DDxgiInterfaceAccess : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** p) = 0;
};

// windows.graphics.capture.interop.h: the GraphicsCaptureItem factory for
// window and monitor handles.
// {3628E81B-3CAC-4C60-B7F4-23CE0E0C3356}
inline constexpr IID IID_IGraphicsCaptureItemInterop = {
    0x3628E81B, 0x3CAC, 0x4C60, {0xB7, 0xF4, 0x23, 0xCE, 0x0E, 0x0C, 0x33, 0x56}};

struct IGraphicsCaptureItemInterop : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID iid, void** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID iid,
                                                     void** result) = 0;
};

// Parameter types of members the module never calls: only their slots matter.
struct IDispatcherQueue;

struct IGraphicsCaptureItem;

// The Closed delegate,
// Windows.Foundation.TypedEventHandler<GraphicsCaptureItem, Object>.
// Derived from "pinterface({9de1c534-6ae1-11e0-84e1-18a905bcc53f};
// rc(Windows.Graphics.Capture.GraphicsCaptureItem;
// {79c3f95b-31f7-4ec2-a464-632ef5d30760});cinterface(IInspectable))"; the
// same value is the uuid of ITypedEventHandler<GraphicsCaptureItem*,
// IInspectable*> in the generated windows.graphics.capture.h.
// {E9C610C0-A68C-5BD9-8021-8589346EEEE2}
inline constexpr IID IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable = {
    0xE9C610C0, 0xA68C, 0x5BD9, {0x80, 0x21, 0x85, 0x89, 0x34, 0x6E, 0xEE, 0xE2}};

struct ITypedEventHandler_GraphicsCaptureItem_Inspectable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IGraphicsCaptureItem* sender, IInspectable* args) = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureItem
// {79C3F95B-31F7-4EC2-A464-632EF5D30760}
inline constexpr IID IID_IGraphicsCaptureItem = {
    0x79C3F95B, 0x31F7, 0x4EC2, {0xA4, 0x64, 0x63, 0x2E, 0xF5, 0xD3, 0x07, 0x60}};

struct IGraphicsCaptureItem : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Size(SizeInt32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  add_Closed(ITypedEventHandler_GraphicsCaptureItem_Inspectable* handler,
             EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_Closed(EventRegistrationToken token) = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureSession
// {814E42A9-F70F-4AD7-939B-FDDCC6EB880D}
inline constexpr IID IID_IGraphicsCaptureSession = {
    0x814E42A9, 0xF70F, 0x4AD7, {0x93, 0x9B, 0xFD, 0xDC, 0xC6, 0xEB, 0x88, 0x0D}};

struct IGraphicsCaptureSession : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE StartCapture() = 0;
};

// The metadata's Boolean (the SDK's `boolean`): one byte, 0 or 1.
using Boolean = unsigned char;

// Windows.Graphics.Capture.IGraphicsCaptureSession2: the mouse pointer switch,
// Windows 10 version 2004 and later (UniversalApiContract 10).
// {2C39AE40-7D2E-5044-804E-8B6799D4CF9E}
inline constexpr IID IID_IGraphicsCaptureSession2 = {
    0x2C39AE40, 0x7D2E, 0x5044, {0x80, 0x4E, 0x8B, 0x67, 0x99, 0xD4, 0xCF, 0x9E}};

struct IGraphicsCaptureSession2 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(Boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(Boolean value) = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureSession3: the border switch, Windows
// 11 and Windows Server 2022 (UniversalApiContract 12).
// {F2CDD966-22AE-5EA1-9596-3A289344C3BE}
inline constexpr IID IID_IGraphicsCaptureSession3 = {
    0xF2CDD966, 0x22AE, 0x5EA1, {0x95, 0x96, 0x3A, 0x28, 0x93, 0x44, 0xC3, 0xBE}};

struct IGraphicsCaptureSession3 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsBorderRequired(Boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsBorderRequired(Boolean value) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFrame
// {FA50C623-38DA-4B32-ACF3-FA9734AD800E}
inline constexpr IID IID_IDirect3D11CaptureFrame = {
    0xFA50C623, 0x38DA, 0x4B32, {0xAC, 0xF3, 0xFA, 0x97, 0x34, 0xAD, 0x80, 0x0E}};

struct IDirect3D11CaptureFrame : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Surface(IDirect3DSurface** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContentSize(SizeInt32* value) = 0;
};

struct IDirect3D11CaptureFramePool;

// The FrameArrived delegate,
// Windows.Foundation.TypedEventHandler<Direct3D11CaptureFramePool, Object>.
// {51A947F7-79CF-5A3E-A3A5-1289CFA6DFE8}
inline constexpr IID IID_ITypedEventHandler_FramePool_Inspectable = {
    0x51A947F7, 0x79CF, 0x5A3E, {0xA3, 0xA5, 0x12, 0x89, 0xCF, 0xA6, 0xDF, 0xE8}};

struct ITypedEventHandler_FramePool_Inspectable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IDirect3D11CaptureFramePool* sender,
                                           IInspectable* args) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePool
// {24EB6D22-1975-422E-82E7-780DBD8DDF24}
inline constexpr IID IID_IDirect3D11CaptureFramePool = {
    0x24EB6D22, 0x1975, 0x422E, {0x82, 0xE7, 0x78, 0x0D, 0xBD, 0x8D, 0xDF, 0x24}};

struct IDirect3D11CaptureFramePool : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Recreate(IDirect3DDevice* device,
                                             DirectXPixelFormat pixel_format,
                                             INT32 number_of_buffers, SizeInt32 size) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryGetNextFrame(IDirect3D11CaptureFrame** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameArrived(
      ITypedEventHandler_FramePool_Inspectable* handler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateCaptureSession(IGraphicsCaptureItem* item,
                                                         IGraphicsCaptureSession** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DispatcherQueue(IDispatcherQueue** value) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePoolStatics2
// {589B103F-6BBC-5DF5-A991-02E28B3B66D5}
inline constexpr IID IID_IDirect3D11CaptureFramePoolStatics2 = {
    0x589B103F, 0x6BBC, 0x5DF5, {0xA9, 0x91, 0x02, 0xE2, 0x8B, 0x3B, 0x66, 0xD5}};

struct IDirect3D11CaptureFramePoolStatics2 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateFreeThreaded(IDirect3DDevice* device,
                                                       DirectXPixelFormat pixel_format,
                                                       INT32 number_of_buffers, SizeInt32 size,
                                                       IDirect3D11CaptureFramePool** result) = 0;
};

// Windows.Foundation.AsyncStatus
enum AsyncStatus : INT32 {
  AsyncStatus_Started = 0,
  AsyncStatus_Completed = 1,
  AsyncStatus_Canceled = 2,
  AsyncStatus_Error = 3,
};

// Windows.Foundation.IAsyncInfo (asyncinfo.idl)
// {00000036-0000-0000-C000-000000000046}
inline constexpr IID IID_IAsyncInfo = {
    0x00000036, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IAsyncInfo : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(UINT32* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(AsyncStatus* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// Windows.Security.Authorization.AppCapabilityAccess.AppCapabilityAccessStatus
enum AppCapabilityAccessStatus : INT32 {
  AppCapabilityAccessStatus_DeniedBySystem = 0,
  AppCapabilityAccessStatus_NotDeclaredByApp = 1,
  AppCapabilityAccessStatus_DeniedByUser = 2,
  AppCapabilityAccessStatus_UserPromptRequired = 3,
  AppCapabilityAccessStatus_Allowed = 4,
};

struct IAsyncOperation_AppCapabilityAccessStatus;

// Windows.Foundation.AsyncOperationCompletedHandler<AppCapabilityAccessStatus>.
// Derived from "pinterface({fcdcf02c-e5d8-4478-915a-4d90b74b83a5};
// enum(Windows.Security.Authorization.AppCapabilityAccess.
// AppCapabilityAccessStatus;i4))"; the same value is the uuid of
// IAsyncOperationCompletedHandler<AppCapabilityAccessStatus> in the generated
// windows.graphics.capture.h.
// {6EA0F2E9-BC97-58E8-A3A6-C829B9E5F2AA}
inline constexpr IID IID_IAsyncOperationCompletedHandler_AppCapabilityAccessStatus = {
    0x6EA0F2E9, 0xBC97, 0x58E8, {0xA3, 0xA6, 0xC8, 0x29, 0xB9, 0xE5, 0xF2, 0xAA}};

struct IAsyncOperationCompletedHandler_AppCapabilityAccessStatus : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IAsyncOperation_AppCapabilityAccessStatus* operation,
                                           AsyncStatus status) = 0;
};

// Windows.Foundation.IAsyncOperation<AppCapabilityAccessStatus>.
// Derived from "pinterface({9fc2b0bb-e446-44e2-aa61-9cab8f636af2};
// enum(Windows.Security.Authorization.AppCapabilityAccess.
// AppCapabilityAccessStatus;i4))"; the same value is the uuid of
// IAsyncOperation<AppCapabilityAccessStatus> in the generated
// windows.graphics.capture.h.
// {827CAF42-5FE6-5B5B-84CE-C44834134D3D}
inline constexpr IID IID_IAsyncOperation_AppCapabilityAccessStatus = {
    0x827CAF42, 0x5FE6, 0x5B5B, {0x84, 0xCE, 0xC4, 0x48, 0x34, 0x13, 0x4D, 0x3D}};

struct IAsyncOperation_AppCapabilityAccessStatus : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE
  put_Completed(IAsyncOperationCompletedHandler_AppCapabilityAccessStatus* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_Completed(IAsyncOperationCompletedHandler_AppCapabilityAccessStatus** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(AppCapabilityAccessStatus* results) = 0;
};

// Windows.Graphics.Capture.GraphicsCaptureAccessKind
enum GraphicsCaptureAccessKind : INT32 {
  GraphicsCaptureAccessKind_Borderless = 0,
  GraphicsCaptureAccessKind_Programmatic = 1,
};

// Windows.Graphics.Capture.IGraphicsCaptureAccessStatics, the statics of
// GraphicsCaptureAccess (UniversalApiContract 12 and later): as
// microsoft/windows-rs declares it (Windows/Graphics/Capture/mod.rs).
// {743ED370-06EC-5040-A58A-901F0F757095}
inline constexpr IID IID_IGraphicsCaptureAccessStatics = {
    0x743ED370, 0x06EC, 0x5040, {0xA5, 0x8A, 0x90, 0x1F, 0x0F, 0x75, 0x70, 0x95}};

struct IGraphicsCaptureAccessStatics : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE RequestAccessAsync(
      GraphicsCaptureAccessKind request, IAsyncOperation_AppCapabilityAccessStatus** operation) = 0;
};

}  // namespace winrt_abi

// windows.graphics.directx.direct3d11.interop.h; exported by d3d11.dll. The
// runtime device object for a DXGI device (query it for IDirect3DDevice).
extern "C" DECLSPEC_IMPORT HRESULT WINAPI
CreateDirect3D11DeviceFromDXGIDevice(IDXGIDevice* dxgiDevice, IInspectable** graphicsDevice);

OPTICATCHER_INTERFACE_ID(winrt_abi::IRestrictedErrorInfo, winrt_abi::IID_IRestrictedErrorInfo);
OPTICATCHER_INTERFACE_ID(winrt_abi::IClosable, winrt_abi::IID_IClosable);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3DDevice, winrt_abi::IID_IDirect3DDevice);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3DSurface, winrt_abi::IID_IDirect3DSurface);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3DDxgiInterfaceAccess,
                         winrt_abi::IID_IDirect3DDxgiInterfaceAccess);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureItemInterop,
                         winrt_abi::IID_IGraphicsCaptureItemInterop);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureItem, winrt_abi::IID_IGraphicsCaptureItem);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureSession,
                         winrt_abi::IID_IGraphicsCaptureSession);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureSession2,
                         winrt_abi::IID_IGraphicsCaptureSession2);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureSession3,
                         winrt_abi::IID_IGraphicsCaptureSession3);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3D11CaptureFrame,
                         winrt_abi::IID_IDirect3D11CaptureFrame);
OPTICATCHER_INTERFACE_ID(winrt_abi::ITypedEventHandler_FramePool_Inspectable,
                         winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3D11CaptureFramePool,
                         winrt_abi::IID_IDirect3D11CaptureFramePool);
OPTICATCHER_INTERFACE_ID(winrt_abi::IDirect3D11CaptureFramePoolStatics2,
                         winrt_abi::IID_IDirect3D11CaptureFramePoolStatics2);
OPTICATCHER_INTERFACE_ID(winrt_abi::ITypedEventHandler_GraphicsCaptureItem_Inspectable,
                         winrt_abi::IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable);
OPTICATCHER_INTERFACE_ID(winrt_abi::IAsyncInfo, winrt_abi::IID_IAsyncInfo);
OPTICATCHER_INTERFACE_ID(winrt_abi::IAsyncOperationCompletedHandler_AppCapabilityAccessStatus,
                         winrt_abi::IID_IAsyncOperationCompletedHandler_AppCapabilityAccessStatus);
OPTICATCHER_INTERFACE_ID(winrt_abi::IAsyncOperation_AppCapabilityAccessStatus,
                         winrt_abi::IID_IAsyncOperation_AppCapabilityAccessStatus);
OPTICATCHER_INTERFACE_ID(winrt_abi::IGraphicsCaptureAccessStatics,
                         winrt_abi::IID_IGraphicsCaptureAccessStatics);

// SDK interfaces the capture code queries or implements.
OPTICATCHER_INTERFACE_ID(IInspectable, IID_IInspectable);
OPTICATCHER_INTERFACE_ID(IAgileObject, IID_IAgileObject);
OPTICATCHER_INTERFACE_ID(IMarshal, IID_IMarshal);
OPTICATCHER_INTERFACE_ID(ID3D10Multithread, IID_ID3D10Multithread);
OPTICATCHER_INTERFACE_ID(IDXGIDevice, IID_IDXGIDevice);
OPTICATCHER_INTERFACE_ID(ID3D11Device, IID_ID3D11Device);
OPTICATCHER_INTERFACE_ID(ID3D11DeviceContext, IID_ID3D11DeviceContext);
OPTICATCHER_INTERFACE_ID(ID3D11Resource, IID_ID3D11Resource);
OPTICATCHER_INTERFACE_ID(ID3D11Texture2D, IID_ID3D11Texture2D);
