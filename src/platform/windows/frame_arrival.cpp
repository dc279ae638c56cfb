#include "platform/windows/frame_arrival.h"

#include <algorithm>
#include <utility>

#include "platform/windows/capture_item.h"
#include "platform/windows/device.h"

// ---------------------------------------------------------------------------
// LatestFrameSlot

void LatestFrameSlot::publish(ComPtr<Frame> frame) noexcept {
  {
    std::lock_guard lock(lock_);
    // The swap leaves the replaced frame in `frame`; it is released here,
    // still under the lock, so that a reader never sees it after the swap.
    std::swap(latest_, frame);
    frame.reset();
    ++received_;
  }
  frame_arrived_.notify_all();
}

std::expected<void, CaptureError> LatestFrameSlot::wait_for_first_frame(
    std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(lock_);
  // Wake-ups that find the slot still empty wait again for the rest of the
  // time. A frame that is there when the deadline passes still counts.
  if (!frame_arrived_.wait_until(lock, deadline, [this] { return static_cast<bool>(latest_); })) {
    return std::unexpected(CaptureError::of(CaptureError::Kind::FirstFrameTimeout));
  }
  return {};
}

std::expected<ComPtr<LatestFrameSlot::Frame>, CaptureError> LatestFrameSlot::take_latest() const {
  auto numbered = take_latest_numbered();
  if (!numbered) return std::unexpected(std::move(numbered.error()));
  return std::move(numbered->frame);
}

std::expected<LatestFrameSlot::Numbered, CaptureError> LatestFrameSlot::take_latest_numbered()
    const {
  std::lock_guard lock(lock_);
  if (!latest_) return std::unexpected(CaptureError::of(CaptureError::Kind::NoFrameYet));
  return Numbered{latest_.clone(), received_};
}

void LatestFrameSlot::mark_read(std::uint64_t number) noexcept {
  std::lock_guard lock(lock_);
  newest_read_ = std::max(newest_read_, number);
}

std::uint64_t LatestFrameSlot::newest_read() const {
  std::lock_guard lock(lock_);
  return newest_read_;
}

LatestFrameSlot::Wait LatestFrameSlot::wait_for_newer(
    std::uint64_t number, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(lock_);
  // A frame that arrived before the wait, or before the deadline passed,
  // counts; so does a close.
  frame_arrived_.wait_until(lock, deadline,
                            [&] { return closed_ || target_closed_ || received_ > number; });
  if (closed_ || target_closed_) return Wait::Closed;
  return received_ > number ? Wait::Arrived : Wait::TimedOut;
}

void LatestFrameSlot::empty() noexcept {
  std::lock_guard lock(lock_);
  latest_.reset();
}

void LatestFrameSlot::close() noexcept {
  {
    std::lock_guard lock(lock_);
    latest_.reset();
    closed_ = true;
  }
  frame_arrived_.notify_all();
}

void LatestFrameSlot::mark_target_closed() noexcept {
  {
    std::lock_guard lock(lock_);
    target_closed_ = true;
  }
  frame_arrived_.notify_all();
}

bool LatestFrameSlot::target_closed() const {
  std::lock_guard lock(lock_);
  return target_closed_;
}

bool LatestFrameSlot::holds_frame() const {
  std::lock_guard lock(lock_);
  return static_cast<bool>(latest_);
}

// ---------------------------------------------------------------------------
// FrameArrivedHandler

namespace {

// A caller may pass a null identifier through the ABI even though C++ says a
// reference is never null; the volatile read keeps the test from being
// optimised away.
bool is_null(const IID& iid) {
  const IID* volatile address = &iid;
  return address == nullptr;
}

}  // namespace

ComPtr<FrameArrivedHandler> FrameArrivedHandler::create(std::shared_ptr<LatestFrameSlot> slot,
                                                        ComPtr<ID3D11Device> device,
                                                        winrt_abi::SizeInt32 pool_size) {
  return ComPtr<FrameArrivedHandler>::attach(
      new FrameArrivedHandler(std::move(slot), std::move(device), pool_size));
}

FrameArrivedHandler::FrameArrivedHandler(std::shared_ptr<LatestFrameSlot> slot,
                                         ComPtr<ID3D11Device> device,
                                         winrt_abi::SizeInt32 pool_size)
    : slot_(std::move(slot)), device_(std::move(device)), pool_size_(pool_size) {}

FrameArrivedHandler::~FrameArrivedHandler() = default;

HRESULT STDMETHODCALLTYPE FrameArrivedHandler::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (is_null(iid)) return E_POINTER;
  if (iid == IID_IMarshal) return query_marshal(object);
  if (iid == IID_IUnknown || iid == IID_IAgileObject ||
      iid == winrt_abi::IID_ITypedEventHandler_FramePool_Inspectable) {
    AddRef();
    *object = static_cast<winrt_abi::ITypedEventHandler_FramePool_Inspectable*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT FrameArrivedHandler::query_marshal(void** object) {
  std::lock_guard lock(marshaler_lock_);
  if (!marshaler_) {
    const HRESULT hr = CoCreateFreeThreadedMarshaler(
        static_cast<winrt_abi::ITypedEventHandler_FramePool_Inspectable*>(this), marshaler_.put());
    if (FAILED(hr)) return hr;
    if (!marshaler_) return E_NOINTERFACE;
  }
  // The aggregated marshaler's IMarshal counts its references on this object.
  return marshaler_->QueryInterface(IID_IMarshal, object);
}

ULONG STDMETHODCALLTYPE FrameArrivedHandler::AddRef() { return references_.fetch_add(1) + 1; }

ULONG STDMETHODCALLTYPE FrameArrivedHandler::Release() {
  const std::uint32_t remaining = references_.fetch_sub(1) - 1;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT STDMETHODCALLTYPE FrameArrivedHandler::Invoke(
    winrt_abi::IDirect3D11CaptureFramePool* sender, IInspectable* /*args*/) {
  // Nothing may escape into the platform's worker thread: a broken invariant
  // becomes a failure code for the event source.
  try {
    return on_frame_arrived(sender);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT FrameArrivedHandler::on_frame_arrived(winrt_abi::IDirect3D11CaptureFramePool* sender) {
  if (sender == nullptr) return E_POINTER;

  ComPtr<winrt_abi::IDirect3D11CaptureFrame> frame;
  HRESULT hr = sender->TryGetNextFrame(frame.put());
  if (FAILED(hr)) return hr;
  if (!frame) return S_OK;  // nothing ready: nobody to wake

  winrt_abi::SizeInt32 content{};
  hr = frame->get_ContentSize(&content);
  if (FAILED(hr)) return hr;

  // Published before the pool grows: this frame still comes in a buffer of the
  // old size, and readback clips to the smaller of surface and content.
  slot_->publish(std::move(frame));

  std::lock_guard lock(size_lock_);
  if (content.Width > pool_size_.Width || content.Height > pool_size_.Height) {
    auto device = create_direct3d_device(device_.get());
    // A wrapper call that succeeded without an object is still a failure.
    if (!device) return device.error().code != S_OK ? device.error().code : E_FAIL;
    hr = sender->Recreate(device->get(), POOL_PIXEL_FORMAT, POOL_BUFFER_COUNT, content);
    device->reset();
    if (FAILED(hr)) return hr;  // retried on the next frame that is still larger
    pool_size_ = content;       // as it is, not the larger of old and new
  }
  return S_OK;
}

winrt_abi::SizeInt32 FrameArrivedHandler::recorded_pool_size() const {
  std::lock_guard lock(size_lock_);
  return pool_size_;
}
