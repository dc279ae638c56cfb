#include "frame.h"

#include <utility>

namespace stand_in {

std::atomic<long>& live_objects() {
  static std::atomic<long> count{0};
  return count;
}

std::atomic<unsigned>& device_removals() {
  static std::atomic<unsigned> count{0};
  return count;
}

Surface::Surface(ComPtr<ID3D11Texture2D> texture) : texture_(std::move(texture)) {}

HRESULT STDMETHODCALLTYPE Surface::get_Description(winrt_abi::Direct3DSurfaceDescription* value) {
  if (value == nullptr) return E_POINTER;
  std::lock_guard lock(lock_);
  if (!texture_) return kObjectClosed;
  D3D11_TEXTURE2D_DESC desc{};
  texture_->GetDesc(&desc);
  *value = {
      static_cast<INT32>(desc.Width),
      static_cast<INT32>(desc.Height),
      static_cast<winrt_abi::DirectXPixelFormat>(desc.Format),
      {static_cast<INT32>(desc.SampleDesc.Count), static_cast<INT32>(desc.SampleDesc.Quality)}};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Surface::Close() {
  ComPtr<ID3D11Texture2D> closed;
  std::lock_guard lock(lock_);
  closed = std::move(texture_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Surface::GetInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::lock_guard lock(lock_);
  if (!texture_) return kObjectClosed;
  if (device_removals().load() != removals_) return kDeviceRemoved;
  return texture_->QueryInterface(iid, object);
}

Frame::Frame(ComPtr<ID3D11Texture2D> texture, winrt_abi::SizeInt32 content,
             winrt_abi::TimeSpan time, std::function<void()> on_release)
    : content_(content),
      time_(time),
      surface_(make_object<Surface>(std::move(texture))),
      on_release_(std::move(on_release)) {}

Frame::~Frame() { Close(); }

HRESULT STDMETHODCALLTYPE Frame::get_Surface(winrt_abi::IDirect3DSurface** value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  std::lock_guard lock(lock_);
  if (!surface_) return kObjectClosed;
  *value = surface_.clone().detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Frame::get_SystemRelativeTime(winrt_abi::TimeSpan* value) {
  if (value == nullptr) return E_POINTER;
  *value = time_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Frame::get_ContentSize(winrt_abi::SizeInt32* value) {
  if (value == nullptr) return E_POINTER;
  *value = content_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Frame::Close() {
  ComPtr<Surface> surface;
  std::function<void()> on_release;
  {
    std::lock_guard lock(lock_);
    surface = std::move(surface_);
    on_release = std::exchange(on_release_, nullptr);
  }
  // The surface's texture goes with the frame, unless a reader still holds it.
  if (surface) surface->Close();
  if (on_release) on_release();
  return S_OK;
}

}  // namespace stand_in
