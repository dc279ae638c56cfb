// The runtime device, the stand-in for CreateDirect3D11DeviceFromDXGIDevice
// (an aborting stub in Wine), and the replacement of a loaded module's import
// of it.
#include <cstring>

#include "service.h"

namespace stand_in {

Device::Device(ComPtr<IDXGIDevice> device) : device_(std::move(device)) {}

HRESULT STDMETHODCALLTYPE Device::Trim() { return S_OK; }

HRESULT STDMETHODCALLTYPE Device::Close() {
  ComPtr<IDXGIDevice> closed;
  std::lock_guard lock(lock_);
  closed = std::move(device_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::lock_guard lock(lock_);
  if (!device_) return kObjectClosed;
  return device_->QueryInterface(iid, object);
}

HRESULT device_behind(winrt_abi::IDirect3DDevice* device, ComPtr<ID3D11Device>& result) {
  if (device == nullptr) return E_INVALIDARG;
  ComPtr<winrt_abi::IDirect3DDxgiInterfaceAccess> access;
  HRESULT hr =
      device->QueryInterface(winrt_abi::IID_IDirect3DDxgiInterfaceAccess, access.put_void());
  if (FAILED(hr)) return E_INVALIDARG;
  hr = access->GetInterface(IID_ID3D11Device, result.put_void());
  return FAILED(hr) ? E_INVALIDARG : S_OK;
}

}  // namespace stand_in

// What the module's import of CreateDirect3D11DeviceFromDXGIDevice is pointed
// at under Wine.
extern "C" HRESULT WINAPI stand_in_create_device(IDXGIDevice* device, IInspectable** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (device == nullptr) return E_INVALIDARG;
  if (const HRESULT hr = stand_in::injected_failure("CreateDirect3D11DeviceFromDXGIDevice");
      FAILED(hr)) {
    return hr;
  }
  device->AddRef();
  auto created = stand_in::make_object<stand_in::Device>(ComPtr<IDXGIDevice>::attach(device));
  *result = static_cast<winrt_abi::IDirect3DDevice*>(created.detach());
  return S_OK;
}

// Points the import address table entry of `module` for d3d11.dll's
// CreateDirect3D11DeviceFromDXGIDevice at stand_in_create_device. Returns the
// number of entries replaced (1 for the module), or -1 when `module` is not a
// 64-bit image.
extern "C" __declspec(dllexport) int stand_in_replace_import(HMODULE module) {
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return -1;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    return -1;
  }
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return 0;

  int replaced = 0;
  for (auto* import =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "d3d11.dll") != 0) continue;
    const auto* names =
        reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + import->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name),
                      "CreateDirect3D11DeviceFromDXGIDevice") != 0) {
        continue;
      }
      DWORD protection = 0;
      if (!VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE,
                          &protection)) {
        return -1;
      }
      addresses->u1.Function = reinterpret_cast<ULONGLONG>(&stand_in_create_device);
      VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, protection,
                     &protection);
      ++replaced;
    }
  }
  return replaced;
}
