#include "capture/frame.h"

#include <chrono>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kGetSurface{"get_Surface", FailureKind::kHresult};
const Operation kGetContentSize{"get_ContentSize", FailureKind::kHresult};
const Operation kGetSystemRelativeTime{"get_SystemRelativeTime", FailureKind::kHresult};
// One interface method, whichever object answers it (devices and surfaces).
const Operation kGetInterface{"GetInterface", FailureKind::kHresult};

}  // namespace

winrt_abi::TimeSpan system_relative_time(std::chrono::steady_clock::time_point when) {
  return {std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count() /
          100};
}

FrameState::FrameState(std::shared_ptr<PoolCore> core, d3d11::Texture2D* buffer,
                       winrt_abi::SizeInt32 content_size, winrt_abi::TimeSpan time)
    : core(std::move(core)),
      buffer(buffer->add_reference()),
      content_size(content_size),
      time(time) {}

FrameState::~FrameState() {
  core->free_buffer(buffer);
  buffer->Release();
}

Frame::Frame(std::shared_ptr<PoolCore> core, d3d11::Texture2D* buffer,
             winrt_abi::SizeInt32 content_size, winrt_abi::TimeSpan time)
    : RuntimeObject(std::in_place, std::move(core), buffer, content_size, time) {}

HRESULT STDMETHODCALLTYPE Frame::get_Surface(winrt_abi::IDirect3DSurface** value) try {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  if (auto fault = kGetSurface.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  FrameState* frame = state("get_Surface");
  if (frame == nullptr) return E_UNEXPECTED;
  *value = Surface::create(frame->buffer);
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Frame::get_SystemRelativeTime(winrt_abi::TimeSpan* value) try {
  if (value == nullptr) return E_POINTER;
  if (auto fault = kGetSystemRelativeTime.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  FrameState* frame = state("get_SystemRelativeTime");
  if (frame == nullptr) return E_UNEXPECTED;
  *value = frame->time;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Frame::get_ContentSize(winrt_abi::SizeInt32* value) try {
  if (value == nullptr) return E_POINTER;
  if (auto fault = kGetContentSize.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  FrameState* frame = state("get_ContentSize");
  if (frame == nullptr) return E_UNEXPECTED;
  *value = frame->content_size;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

SurfaceState::SurfaceState(d3d11::Texture2D* texture) : texture(texture->add_reference()) {}

SurfaceState::~SurfaceState() { texture->Release(); }

Surface::Surface(d3d11::Texture2D* texture) : RuntimeObject(std::in_place, texture) {}

HRESULT STDMETHODCALLTYPE
Surface::get_Description(winrt_abi::Direct3DSurfaceDescription* value) try {
  if (value == nullptr) return E_POINTER;
  SurfaceState* surface = state("get_Description");
  d3d11::TextureState* texture = surface ? surface->texture->texture_state() : nullptr;
  if (texture == nullptr) return E_UNEXPECTED;
  value->Width = static_cast<INT32>(texture->desc.Width);
  value->Height = static_cast<INT32>(texture->desc.Height);
  value->Format = static_cast<winrt_abi::DirectXPixelFormat>(texture->desc.Format);
  value->MultisampleDescription = {1, 0};
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE Surface::GetInterface(REFIID iid, void** p) try {
  if (p == nullptr) return E_POINTER;
  *p = nullptr;
  if (auto fault = kGetInterface.enter()) {
    return fault->null ? S_OK : combase::fail_method(*fault);
  }
  SurfaceState* surface = state("GetInterface");
  if (surface == nullptr) return E_UNEXPECTED;
  return surface->texture->query_internal(iid, p);
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::capture
