// Stand-in runtime surfaces and capture frames over real Direct3D 11 textures.
#pragma once

#include <functional>
#include <mutex>

#include "com_object.h"

namespace stand_in {

// RO_E_CLOSED: the object has been closed.
inline constexpr HRESULT kObjectClosed = static_cast<HRESULT>(0x80000013);
// DXGI_ERROR_DEVICE_REMOVED.
inline constexpr HRESULT kDeviceRemoved = static_cast<HRESULT>(0x887A0005);

// How many times the tests removed "the device" (stand_in_remove_device):
// pools and surfaces made before the latest removal stand on a removed
// device.
std::atomic<unsigned>& device_removals();

// A runtime surface over one texture: IDirect3DDxgiInterfaceAccess hands the
// texture (as any interface it answers) to whoever asks.
class Surface final
    : public ComObject<Inspectable<winrt_abi::IDirect3DSurface>, Inspectable<winrt_abi::IClosable>,
                       winrt_abi::IDirect3DDxgiInterfaceAccess> {
 public:
  explicit Surface(ComPtr<ID3D11Texture2D> texture);

  HRESULT STDMETHODCALLTYPE get_Description(winrt_abi::Direct3DSurfaceDescription* value) override;
  HRESULT STDMETHODCALLTYPE Close() override;
  // DXGI_ERROR_DEVICE_REMOVED once the device it stands on is removed.
  HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** object) override;

 private:
  const unsigned removals_ = device_removals().load();
  std::mutex lock_;
  ComPtr<ID3D11Texture2D> texture_;  // guarded by lock_; none once closed
};

// A captured frame: a surface, the size of its content (which may differ from
// the surface's) and its time. `on_release` runs once, when the frame is closed
// or destroyed, whichever comes first: the pool's buffer is free again.
class Frame final : public ComObject<Inspectable<winrt_abi::IDirect3D11CaptureFrame>,
                                     Inspectable<winrt_abi::IClosable>> {
 public:
  Frame(ComPtr<ID3D11Texture2D> texture, winrt_abi::SizeInt32 content, winrt_abi::TimeSpan time,
        std::function<void()> on_release = {});
  ~Frame() override;

  HRESULT STDMETHODCALLTYPE get_Surface(winrt_abi::IDirect3DSurface** value) override;
  HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(winrt_abi::TimeSpan* value) override;
  HRESULT STDMETHODCALLTYPE get_ContentSize(winrt_abi::SizeInt32* value) override;
  HRESULT STDMETHODCALLTYPE Close() override;

 private:
  const winrt_abi::SizeInt32 content_;
  const winrt_abi::TimeSpan time_;
  std::mutex lock_;
  ComPtr<Surface> surface_;           // guarded by lock_; none once closed
  std::function<void()> on_release_;  // guarded by lock_; emptied when run
};

}  // namespace stand_in
