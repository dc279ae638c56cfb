// The project's capture ABI (capture_abi.h) against the Windows metadata as
// mingw-w64's generated headers give it (windows.graphics.capture.h and its
// siblings): each interface's IID in its registry form, and the vtable slots
// of the session switches. A wrong IID fails only on real Windows (winsim
// shares the constant), where the query answers E_NOINTERFACE.
#include "opticatcher/abi/capture_abi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string registry_form(const IID& iid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0], iid.Data4[1],
                iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6], iid.Data4[7]);
  return text;
}

TEST(CaptureAbi, InterfaceIdsAreThoseOfTheWindowsMetadata) {
  using namespace winrt_abi;
  const struct {
    const IID& iid;
    const char* metadata;
  } interfaces[] = {
      {IID_IRestrictedErrorInfo, "{82BA7092-4C88-427D-A7BC-16DD93FEB67E}"},
      {IID_IClosable, "{30D5A829-7FA4-4026-83BB-D75BAE4EA99E}"},
      {IID_IDirect3DDevice, "{A37624AB-8D5F-4650-9D3E-9EAE3D9BC670}"},
      {IID_IDirect3DSurface, "{0BF4A146-13C1-4694-BEE3-7ABF15EAF586}"},
      {IID_IDirect3DDxgiInterfaceAccess, "{A9B3D012-3DF2-4EE3-B8D1-8695F457D3C1}"},
      {IID_IGraphicsCaptureItemInterop, "{3628E81B-3CAC-4C60-B7F4-23CE0E0C3356}"},
      {IID_IGraphicsCaptureItem, "{79C3F95B-31F7-4EC2-A464-632EF5D30760}"},
      {IID_IGraphicsCaptureSession, "{814E42A9-F70F-4AD7-939B-FDDCC6EB880D}"},
      {IID_IGraphicsCaptureSession2, "{2C39AE40-7D2E-5044-804E-8B6799D4CF9E}"},
      {IID_IGraphicsCaptureSession3, "{F2CDD966-22AE-5EA1-9596-3A289344C3BE}"},
      {IID_IDirect3D11CaptureFrame, "{FA50C623-38DA-4B32-ACF3-FA9734AD800E}"},
      {IID_ITypedEventHandler_FramePool_Inspectable, "{51A947F7-79CF-5A3E-A3A5-1289CFA6DFE8}"},
      {IID_IDirect3D11CaptureFramePool, "{24EB6D22-1975-422E-82E7-780DBD8DDF24}"},
      {IID_IDirect3D11CaptureFramePoolStatics2, "{589B103F-6BBC-5DF5-A991-02E28B3B66D5}"},
      {IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable,
       "{E9C610C0-A68C-5BD9-8021-8589346EEEE2}"},
      {IID_IAsyncInfo, "{00000036-0000-0000-C000-000000000046}"},
      {IID_IAsyncOperation_AppCapabilityAccessStatus, "{827CAF42-5FE6-5B5B-84CE-C44834134D3D}"},
      {IID_IAsyncOperationCompletedHandler_AppCapabilityAccessStatus,
       "{6EA0F2E9-BC97-58E8-A3A6-C829B9E5F2AA}"},
      {IID_IGraphicsCaptureAccessStatics, "{743ED370-06EC-5040-A58A-901F0F757095}"},
  };
  for (const auto& known : interfaces) EXPECT_EQ(registry_form(known.iid), known.metadata);
}

// Records which member a call through a vtable slot reached.
template <class Interface>
class SlotProbe : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }

  std::string reached;
  winrt_abi::Boolean value = 0;
};

class Session2Probe final : public SlotProbe<winrt_abi::IGraphicsCaptureSession2> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(winrt_abi::Boolean* out) override {
    reached = "get";
    *out = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(winrt_abi::Boolean in) override {
    reached = "put";
    value = in;
    return S_OK;
  }
};

class Session3Probe final : public SlotProbe<winrt_abi::IGraphicsCaptureSession3> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsBorderRequired(winrt_abi::Boolean* out) override {
    reached = "get";
    *out = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsBorderRequired(winrt_abi::Boolean in) override {
    reached = "put";
    value = in;
    return S_OK;
  }
};

// Calls slot `slot` of `object`'s vtable as a caller that knows only the
// metadata's slot numbers does: after IUnknown's 3 and IInspectable's 3
// members, the interface's own in declaration order.
template <class Probe>
void check_switch_slots(Probe& probe) {
  void** vtable = *reinterpret_cast<void***>(static_cast<IInspectable*>(&probe));
  using Get = HRESULT(STDMETHODCALLTYPE*)(void*, winrt_abi::Boolean*);
  using Put = HRESULT(STDMETHODCALLTYPE*)(void*, winrt_abi::Boolean);
  winrt_abi::Boolean read = 0;
  ASSERT_EQ(reinterpret_cast<Get>(vtable[6])(&probe, &read), S_OK);
  EXPECT_EQ(probe.reached, "get");
  EXPECT_EQ(read, 1);
  ASSERT_EQ(reinterpret_cast<Put>(vtable[7])(&probe, 0), S_OK);
  EXPECT_EQ(probe.reached, "put");
  EXPECT_EQ(probe.value, 0);
}

// The values the metadata fixes for the enumerations the module passes or reads.
TEST(CaptureAbi, EnumerationValuesAreThoseOfTheWindowsMetadata) {
  using namespace winrt_abi;
  EXPECT_EQ(GraphicsCaptureAccessKind_Borderless, 0);
  EXPECT_EQ(AppCapabilityAccessStatus_DeniedBySystem, 0);
  EXPECT_EQ(AppCapabilityAccessStatus_NotDeclaredByApp, 1);
  EXPECT_EQ(AppCapabilityAccessStatus_DeniedByUser, 2);
  EXPECT_EQ(AppCapabilityAccessStatus_UserPromptRequired, 3);
  EXPECT_EQ(AppCapabilityAccessStatus_Allowed, 4);
  EXPECT_EQ(AsyncStatus_Started, 0);
  EXPECT_EQ(AsyncStatus_Completed, 1);
  EXPECT_EQ(AsyncStatus_Canceled, 2);
  EXPECT_EQ(AsyncStatus_Error, 3);
  static_assert(sizeof(AppCapabilityAccessStatus) == 4 && sizeof(AsyncStatus) == 4);
}

TEST(CaptureAbi, SessionSwitchesSitInTheMetadatasSlots) {
  Session2Probe cursor;
  check_switch_slots(cursor);
  Session3Probe border;
  check_switch_slots(border);
}

}  // namespace
