#include "capture/frame_pool.h"

#include <algorithm>

#include "capture/capture_item.h"
#include "capture/frame.h"
#include "capture/frame_delivery.h"
#include "capture/session.h"
#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"
#include "d3d11/runtime_device.h"
#include "oleaut32/error_info.h"
#include "opticatcher/com_ptr.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;

const Operation kRecreate{"Recreate", FailureKind::kHresult};
const Operation kTryGetNextFrame{"TryGetNextFrame", FailureKind::kHresult};
const Operation kAddFrameArrived{"add_FrameArrived", FailureKind::kHresult};
const Operation kRemoveFrameArrived{"remove_FrameArrived", FailureKind::kHresult};
const Operation kCreateCaptureSession{"CreateCaptureSession", FailureKind::kHresult};
const Operation kClose{"Direct3D11CaptureFramePool.Close", FailureKind::kHresult};

// Tokens beyond 32 bits, so that a caller who cuts them short is caught.
constexpr std::int64_t kFirstToken = std::int64_t{0x1234} << 32;

template <typename Fault>
HRESULT fault_result(const Fault& fault) {
  return fault.null ? S_OK : combase::fail_method(fault);
}

}  // namespace

void PoolCore::free_buffer(d3d11::Texture2D* texture) {
  std::lock_guard lock(mutex);
  for (Buffer& buffer : buffers) {
    if (buffer.texture == texture) buffer.busy = false;
  }
}

HRESULT configure_pool(PoolCore& core, winrt_abi::IDirect3DDevice* device,
                       winrt_abi::DirectXPixelFormat pixel_format, INT32 buffer_count,
                       winrt_abi::SizeInt32 size, const char* operation) {
  d3d11::RuntimeDevice* wrapper = d3d11::as_runtime_device(device);
  if (wrapper == nullptr || buffer_count < 1 || size.Width < 1 || size.Height < 1 ||
      (pixel_format != winrt_abi::DirectXPixelFormat_R8G8B8A8UIntNormalized &&
       pixel_format != winrt_abi::DirectXPixelFormat_B8G8R8A8UIntNormalized)) {
    return E_INVALIDARG;
  }
  auto d3d_device = ComPtr<d3d11::Device>::attach(wrapper->device(operation));
  if (!d3d_device) return E_INVALIDARG;
  if (d3d_device->removed()) return DXGI_ERROR_DEVICE_REMOVED;
  const auto format = static_cast<DXGI_FORMAT>(pixel_format);
  // Everything is made before the pool changes: running out of memory on the
  // way leaves it as it was.
  std::vector<ComPtr<d3d11::Texture2D>> textures;
  for (INT32 i = 0; i < buffer_count; ++i) {
    textures.push_back(ComPtr<d3d11::Texture2D>::attach(d3d_device->create_picture_texture(
        static_cast<UINT>(size.Width), static_cast<UINT>(size.Height), format)));
  }
  std::vector<PoolCore::Buffer> buffers;
  buffers.reserve(textures.size());
  for (auto& texture : textures) buffers.push_back({texture.detach(), false});
  d3d11::Device* previous_device = nullptr;
  {
    std::lock_guard lock(core.mutex);
    previous_device = std::exchange(core.device, d3d_device.detach());
    core.format = format;
    core.size = size;
    buffers.swap(core.buffers);
  }
  // The old buffers stay alive as long as frames hold them.
  for (PoolCore::Buffer& old : buffers) old.texture->Release();
  if (previous_device != nullptr) previous_device->Release();
  return S_OK;
}

void close_pool(PoolCore& core) {
  std::vector<PoolCore::Buffer> buffers;
  std::deque<Frame*> ready;
  std::vector<std::shared_ptr<Subscription>> subscriptions;
  d3d11::Device* device = nullptr;
  {
    std::lock_guard lock(core.mutex);
    core.closed = true;
    buffers.swap(core.buffers);
    ready.swap(core.ready);
    subscriptions.swap(core.subscriptions);
    device = std::exchange(core.device, nullptr);
    for (auto& subscription : subscriptions) subscription->removed = true;
  }
  // Released outside the lock: a frame going away frees its buffer under it.
  for (Frame* frame : ready) frame->Release();
  for (PoolCore::Buffer& buffer : buffers) buffer.texture->Release();
  for (auto& subscription : subscriptions) subscription->handler->Release();
  if (device != nullptr) device->Release();
}

PoolState::PoolState(std::shared_ptr<PoolCore> core) : core(std::move(core)) {}

PoolState::~PoolState() {
  {
    std::lock_guard lock(core->mutex);
    core->owner = nullptr;
  }
  close_pool(*core);
}

FramePool::FramePool(std::shared_ptr<PoolCore> core) : RuntimeObject(std::in_place, core) {
  std::lock_guard lock(core->mutex);
  core->owner = this;
}

HRESULT STDMETHODCALLTYPE FramePool::Recreate(winrt_abi::IDirect3DDevice* device,
                                              winrt_abi::DirectXPixelFormat pixel_format,
                                              INT32 number_of_buffers,
                                              winrt_abi::SizeInt32 size) try {
  if (auto fault = kRecreate.enter()) return fault_result(*fault);
  PoolState* pool = state("Recreate");
  if (pool == nullptr) return E_UNEXPECTED;
  {
    std::lock_guard lock(pool->core->mutex);
    if (pool->core->closed) return RO_E_CLOSED;
  }
  return configure_pool(*pool->core, device, pixel_format, number_of_buffers, size, "Recreate");
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE
FramePool::TryGetNextFrame(winrt_abi::IDirect3D11CaptureFrame** result) try {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (auto fault = kTryGetNextFrame.enter()) return fault_result(*fault);
  PoolState* pool = state("TryGetNextFrame");
  if (pool == nullptr) return E_UNEXPECTED;
  std::lock_guard lock(pool->core->mutex);
  if (pool->core->closed) return RO_E_CLOSED;
  if (!pool->core->ready.empty()) {
    // The queue's reference goes to the caller.
    *result = pool->core->ready.front();
    pool->core->ready.pop_front();
  }
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE
FramePool::add_FrameArrived(winrt_abi::ITypedEventHandler_FramePool_Inspectable* handler,
                            EventRegistrationToken* token) try {
  if (token == nullptr) return E_POINTER;
  token->value = 0;
  if (auto fault = kAddFrameArrived.enter()) return fault_result(*fault);
  PoolState* pool = state("add_FrameArrived");
  if (pool == nullptr) return E_UNEXPECTED;
  if (handler == nullptr) return E_INVALIDARG;
  std::lock_guard lock(pool->core->mutex);
  if (pool->core->closed) return RO_E_CLOSED;
  auto subscription = std::make_shared<Subscription>();
  subscription->handler = handler;
  subscription->token = pool->core->last_token == 0 ? kFirstToken : pool->core->last_token + 1;
  pool->core->subscriptions.push_back(subscription);
  // Nothing below can fail: the reference is taken only now.
  handler->AddRef();
  pool->core->last_token = subscription->token;
  token->value = subscription->token;
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

// After this returns the handler is never called again: an invocation already
// running on another thread is waited for (one running on this thread, the
// handler removing itself, cannot be).
HRESULT STDMETHODCALLTYPE FramePool::remove_FrameArrived(EventRegistrationToken token) try {
  if (auto fault = kRemoveFrameArrived.enter()) return fault_result(*fault);
  PoolState* pool = state("remove_FrameArrived");
  if (pool == nullptr) return E_UNEXPECTED;
  PoolCore& core = *pool->core;
  std::shared_ptr<Subscription> removed;
  {
    std::unique_lock lock(core.mutex);
    const auto found =
        std::find_if(core.subscriptions.begin(), core.subscriptions.end(),
                     [&](const auto& subscription) { return subscription->token == token.value; });
    if (found == core.subscriptions.end()) return S_OK;  // unknown tokens are ignored
    removed = *found;
    core.subscriptions.erase(found);
    removed->removed = true;
    if (!on_delivery_thread()) {
      core.invocation_done.wait(lock, [&] { return removed->running == 0; });
    }
  }
  removed->handler->Release();
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE FramePool::CreateCaptureSession(
    winrt_abi::IGraphicsCaptureItem* item, winrt_abi::IGraphicsCaptureSession** result) try {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (auto fault = kCreateCaptureSession.enter()) return fault_result(*fault);
  PoolState* pool = state("CreateCaptureSession");
  if (pool == nullptr) return E_UNEXPECTED;
  CaptureItem* capture_item = as_capture_item(item);
  if (capture_item == nullptr) return E_INVALIDARG;
  const std::optional<Target> target = capture_item->target("CreateCaptureSession");
  if (!target) return E_INVALIDARG;
  {
    std::lock_guard lock(pool->core->mutex);
    if (pool->core->closed) return RO_E_CLOSED;
  }
  *result = Session::create(pool->core, *target);
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE FramePool::get_DispatcherQueue(winrt_abi::IDispatcherQueue** value) try {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;  // free-threaded: no dispatcher queue
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

HRESULT STDMETHODCALLTYPE FramePool::Close() try {
  if (auto fault = kClose.enter()) return fault_result(*fault);
  PoolState* pool = state("Direct3D11CaptureFramePool.Close");
  if (pool == nullptr) return E_UNEXPECTED;
  close_pool(*pool->core);
  return S_OK;
} catch (...) {
  return entry::failed_hresult();
}

}  // namespace winsim::capture
