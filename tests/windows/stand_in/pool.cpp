// Frame pools, capture sessions and frame delivery.
#include <algorithm>
#include <chrono>

#include "pattern.h"
#include "service.h"

namespace stand_in {

namespace {

// The pixel formats a frame pool accepts, with their bytes per pixel.
std::uint32_t bytes_per_pixel(winrt_abi::DirectXPixelFormat format) {
  switch (static_cast<INT32>(format)) {
    case 28:  // R8G8B8A8UIntNormalized
    case 87:  // B8G8R8A8UIntNormalized
      return 4;
    case 10:  // R16G16B16A16Float
      return 8;
    default:
      return 0;
  }
}

// Windows' checks of a pool's creation arguments.
HRESULT check_pool_arguments(winrt_abi::IDirect3DDevice* device,
                             winrt_abi::DirectXPixelFormat format, INT32 count,
                             winrt_abi::SizeInt32 size) {
  if (device == nullptr || bytes_per_pixel(format) == 0 || count < 1 || size.Width < 1 ||
      size.Height < 1) {
    return E_INVALIDARG;
  }
  return S_OK;
}

winrt_abi::TimeSpan now() {
  LARGE_INTEGER counter{}, frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return {static_cast<INT64>(static_cast<double>(counter.QuadPart) * 1e7 /
                             static_cast<double>(frequency.QuadPart))};
}

}  // namespace

// ---------------------------------------------------------------------------
// Pool

HRESULT Pool::create(winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format,
                     INT32 count, winrt_abi::SizeInt32 size, ComPtr<Pool>& result) {
  if (const HRESULT hr = check_pool_arguments(device, format, count, size); FAILED(hr)) return hr;
  auto pool = make_object<Pool>();
  std::lock_guard lock(pool->lock_);
  if (const HRESULT hr = pool->make_buffers(device, format, count, size); FAILED(hr)) return hr;
  result = std::move(pool);
  return S_OK;
}

HRESULT Pool::make_buffers(winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format,
                           INT32 count, winrt_abi::SizeInt32 size) {
  ComPtr<ID3D11Device> d3d_device;
  if (const HRESULT hr = device_behind(device, d3d_device); FAILED(hr)) return hr;
  const std::uint32_t pixel_bytes = bytes_per_pixel(format);
  const auto width = static_cast<UINT>(size.Width);
  const auto height = static_cast<UINT>(size.Height);

  std::vector<std::shared_ptr<Buffer>> buffers;
  for (INT32 i = 0; i < count; ++i) {
    auto buffer = std::make_shared<Buffer>();
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = static_cast<DXGI_FORMAT>(format);
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    if (const HRESULT hr = d3d_device->CreateTexture2D(&desc, nullptr, buffer->texture.put());
        FAILED(hr)) {
      return hr;
    }
    buffer->pitch = width * pixel_bytes;
    if (i == 0) {
      buffer->base.resize(std::size_t{buffer->pitch} * height);
      std::size_t at = 0;
      for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
          for (std::uint32_t c = 0; c < pixel_bytes; ++c)
            buffer->base[at++] = pattern_byte(x, y, c, 0);
        }
      }
    } else {
      buffer->base = buffers.front()->base;
    }
    buffers.push_back(std::move(buffer));
  }
  // Frames already handed out keep their old buffers alive.
  device_ = std::move(d3d_device);
  buffers_ = std::move(buffers);
  queue_.clear();
  bytes_per_pixel_ = pixel_bytes;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::Recreate(winrt_abi::IDirect3DDevice* device,
                                         winrt_abi::DirectXPixelFormat format, INT32 count,
                                         winrt_abi::SizeInt32 size) {
  if (const HRESULT hr = injected_failure("Recreate"); FAILED(hr)) return hr;
  if (device_removals().load() != removals_) return kDeviceRemoved;
  if (const HRESULT hr = check_pool_arguments(device, format, count, size); FAILED(hr)) return hr;
  std::vector<ComPtr<winrt_abi::IDirect3D11CaptureFrame>> dropped;
  std::lock_guard lock(lock_);
  if (closed_) return kObjectClosed;
  dropped = std::move(queue_);  // released after the lock, with their buffers
  return make_buffers(device, format, count, size);
}

HRESULT STDMETHODCALLTYPE Pool::TryGetNextFrame(winrt_abi::IDirect3D11CaptureFrame** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (const HRESULT hr = injected_failure("TryGetNextFrame"); FAILED(hr)) return hr;
  std::lock_guard lock(lock_);
  if (closed_) return kObjectClosed;
  if (!queue_.empty()) {
    *result = queue_.front().detach();
    queue_.erase(queue_.begin());
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::add_FrameArrived(
    winrt_abi::ITypedEventHandler_FramePool_Inspectable* handler, EventRegistrationToken* token) {
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  // A free-threaded pool calls its handlers on its own threads: one that is
  // not agile would be called outside its apartment.
  ComPtr<IUnknown> agile;
  if (FAILED(handler->QueryInterface(IID_IAgileObject, agile.put_void()))) {
    record_misuse("a FrameArrived handler that is not agile");
  }
  handler->AddRef();
  std::lock_guard lock(lock_);
  if (closed_) {
    handler->Release();
    return kObjectClosed;
  }
  token->value = next_token_++;
  handlers_.push_back(
      {token->value, ComPtr<winrt_abi::ITypedEventHandler_FramePool_Inspectable>::attach(handler)});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::remove_FrameArrived(EventRegistrationToken token) {
  ComPtr<winrt_abi::ITypedEventHandler_FramePool_Inspectable> removed;
  std::lock_guard lock(lock_);
  const auto found = std::find_if(handlers_.begin(), handlers_.end(),
                                  [&](const Handler& h) { return h.token == token.value; });
  if (found == handlers_.end()) {
    if (!closed_) record_misuse("remove_FrameArrived with a token it never gave");
    return S_OK;
  }
  removed = std::move(found->handler);
  handlers_.erase(found);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::CreateCaptureSession(winrt_abi::IGraphicsCaptureItem* item,
                                                     winrt_abi::IGraphicsCaptureSession** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (item == nullptr) return E_INVALIDARG;
  if (const HRESULT hr = injected_failure("CreateCaptureSession"); FAILED(hr)) return hr;
  winrt_abi::SizeInt32 size{};
  if (const HRESULT hr = item->get_Size(&size); FAILED(hr)) return hr;
  {
    std::lock_guard lock(lock_);
    if (closed_) return kObjectClosed;
  }
  AddRef();
  auto session = make_object<Session>(ComPtr<Pool>::attach(this), size);
  *result = static_cast<winrt_abi::IGraphicsCaptureSession*>(session.detach());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::get_DispatcherQueue(winrt_abi::IDispatcherQueue** value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;  // a free-threaded pool has none
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Pool::Close() {
  std::vector<Handler> handlers;
  std::vector<ComPtr<winrt_abi::IDirect3D11CaptureFrame>> queue;
  std::vector<std::shared_ptr<Buffer>> buffers;
  ComPtr<ID3D11Device> device;
  std::lock_guard lock(lock_);
  closed_ = true;
  handlers = std::move(handlers_);
  queue = std::move(queue_);
  buffers = std::move(buffers_);
  device = std::move(device_);
  return S_OK;
}

bool Pool::deliver(winrt_abi::SizeInt32 item_size) {
  std::vector<Handler> handlers;
  {
    std::lock_guard lock(lock_);
    if (closed_) return false;
    if (device_removals().load() != removals_) return false;  // a removed device draws nothing
    const auto free = std::find_if(buffers_.begin(), buffers_.end(),
                                   [](const auto& buffer) { return !buffer->busy.load(); });
    if (free == buffers_.end()) return false;  // every buffer is held: nothing to fill
    std::shared_ptr<Buffer> buffer = *free;
    buffer->busy = true;

    // Only the content is drawn (at most the buffer's size): the rest of the
    // texture keeps what an earlier frame left there.
    const winrt_abi::SizeInt32 content = content_size(item_size);
    D3D11_TEXTURE2D_DESC desc{};
    buffer->texture->GetDesc(&desc);
    const UINT width = std::min(static_cast<UINT>(std::max(content.Width, 0)), desc.Width);
    const UINT height = std::min(static_cast<UINT>(std::max(content.Height, 0)), desc.Height);
    const std::uint32_t sequence = next_sequence();
    if (width > 0 && height > 0) {
      const std::size_t row = std::size_t{width} * bytes_per_pixel_;
      std::vector<std::uint8_t> bytes(row * height);
      const auto add = static_cast<std::uint8_t>(sequence);
      for (UINT y = 0; y < height; ++y) {
        const std::uint8_t* from = buffer->base.data() + std::size_t{y} * buffer->pitch;
        std::uint8_t* to = bytes.data() + y * row;
        for (std::size_t i = 0; i < row; ++i) to[i] = static_cast<std::uint8_t>(from[i] + add);
      }
      const D3D11_BOX box{0, 0, 0, width, height, 1};
      ComPtr<ID3D11DeviceContext> context;
      device_->GetImmediateContext(context.put());
      context->UpdateSubresource(buffer->texture.get(), 0, &box, bytes.data(),
                                 static_cast<UINT>(row), 0);
    }

    auto frame = make_object<Frame>(buffer->texture.clone(), content, now(),
                                    [buffer] { buffer->busy = false; });
    queue_.push_back(ComPtr<winrt_abi::IDirect3D11CaptureFrame>::attach(frame.detach()));
    for (const Handler& handler : handlers_) {
      handlers.push_back({handler.token, handler.handler.clone()});
    }
  }
  for (const Handler& handler : handlers) {
    const HRESULT hr = handler.handler->Invoke(this, nullptr);
    if (FAILED(hr)) record_misuse("a FrameArrived handler failed with " + std::to_string(hr));
  }
  return true;
}

// ---------------------------------------------------------------------------
// Session

Session::Session(ComPtr<Pool> pool, winrt_abi::SizeInt32 item_size)
    : item_size_(item_size), pool_(std::move(pool)) {}

Session::~Session() { Close(); }

HRESULT STDMETHODCALLTYPE Session::StartCapture() {
  if (const HRESULT hr = injected_failure("StartCapture"); FAILED(hr)) return hr;
  std::lock_guard lock(lock_);
  if (!pool_) return kObjectClosed;
  if (started_) {
    record_misuse("StartCapture on a session already started");
    return kIllegalMethodCall;
  }
  started_ = true;
  session_started(this);
  worker_ = std::thread([this] { run(); });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::Close() {
  std::thread worker;
  ComPtr<Pool> pool;
  bool was_started = false;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    worker = std::move(worker_);
    pool = std::move(pool_);
    was_started = started_;
  }
  changed_.notify_all();
  if (worker.joinable()) {
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();  // closed from within its own delivery
    } else {
      worker.join();
    }
  }
  if (was_started) session_closed(this);
  return S_OK;
}

int Session::deliver(int count) {
  std::unique_lock lock(lock_);
  if (!started_ || stopping_) return 0;
  const long target = completed_ + count;
  const long delivered_before = delivered_;
  requested_ += count;
  changed_.notify_all();
  changed_.wait_for(lock, std::chrono::seconds(20),
                    [&] { return completed_ >= target || stopping_; });
  return static_cast<int>(delivered_ - delivered_before);
}

void Session::wake() { changed_.notify_all(); }

void Session::run() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ComPtr<Pool> pool;
  {
    std::lock_guard lock(lock_);
    pool = pool_.clone();
  }
  if (pool && first_frame_at_start()) pool->deliver(item_size_);
  std::unique_lock lock(lock_);
  for (;;) {
    const int rate = delivery_rate();
    const auto ready = [this] { return stopping_ || requested_ > 0; };
    if (rate > 0) {
      changed_.wait_for(lock, std::chrono::microseconds(1000000 / rate), ready);
    } else {
      changed_.wait(lock, [&] { return ready() || delivery_rate() > 0; });
    }
    if (stopping_) break;
    const bool requested = requested_ > 0;
    if (!requested && delivery_rate() == 0) continue;
    if (requested) --requested_;
    lock.unlock();
    const bool delivered = pool->deliver(item_size_);
    lock.lock();
    if (requested) {
      ++completed_;
      if (delivered) ++delivered_;
      changed_.notify_all();
    }
  }
  lock.unlock();
  pool.reset();
  CoUninitialize();
}

// ---------------------------------------------------------------------------
// PoolFactory

HRESULT STDMETHODCALLTYPE PoolFactory::ActivateInstance(IInspectable** instance) {
  if (instance != nullptr) *instance = nullptr;
  return E_NOTIMPL;  // pools come from Create and CreateFreeThreaded
}

HRESULT STDMETHODCALLTYPE PoolFactory::CreateFreeThreaded(
    winrt_abi::IDirect3DDevice* device, winrt_abi::DirectXPixelFormat format, INT32 count,
    winrt_abi::SizeInt32 size, winrt_abi::IDirect3D11CaptureFramePool** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (const HRESULT hr = injected_failure("CreateFreeThreaded"); FAILED(hr)) return hr;
  ComPtr<Pool> pool;
  if (const HRESULT hr = Pool::create(device, format, count, size, pool); FAILED(hr)) return hr;
  *result = static_cast<winrt_abi::IDirect3D11CaptureFramePool*>(pool.detach());
  return S_OK;
}

}  // namespace stand_in
