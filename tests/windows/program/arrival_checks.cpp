// Frame arrival: stand-in capture frames over real textures drive the latest
// frame slot, latest_frame_texture and FrameArrivedHandler::Invoke.
#include <deque>
#include <span>

#include "../stand_in/frame.h"
#include "check.h"
#include "common/fake_frame_pool.h"
#include "platform/windows/capture.h"
#include "platform/windows/device.h"
#include "platform/windows/frame.h"
#include "platform/windows/item_closed.h"
#include "support.h"

namespace {

using winrt_abi::SizeInt32;

using QueuePool = FakeFramePool<
    stand_in::ComObject<stand_in::Inspectable<winrt_abi::IDirect3D11CaptureFramePool>>>;

int released_frames = 0;

ComPtr<winrt_abi::IDirect3D11CaptureFrame> make_frame(const ComPtr<ID3D11Texture2D>& texture,
                                                      SizeInt32 content) {
  auto frame = stand_in::make_object<stand_in::Frame>(
      texture.clone(), content, winrt_abi::TimeSpan{0}, [] { ++released_frames; });
  return ComPtr<winrt_abi::IDirect3D11CaptureFrame>::attach(frame.detach());
}

// Reads the slot's latest frame as `frame()` does: "" when it holds exactly
// the pattern of `seed` over `expected`.
std::string read_latest(ReadbackResources& resources, const LatestFrameSlot& slot,
                        CopyRegion expected, std::uint32_t seed) {
  auto source = latest_frame_texture(slot);
  if (!source) return error_summary(source.error());
  if (source->region != expected) {
    return "region " + std::to_string(source->region.width) + "x" +
           std::to_string(source->region.height);
  }
  std::vector<std::uint8_t> bytes(std::size_t{expected.width} * expected.height * 4);
  std::lock_guard lock(resources.mutex);
  auto copied = copy_frame_to_buffer(resources, source->texture.get(), source->region,
                                     std::as_writable_bytes(std::span(bytes)));
  if (!copied) return error_summary(copied.error());
  return first_difference(bytes, pattern_region(expected.width, expected.height, seed));
}

void check_latest_frame(ReadbackResources& resources) {
  LatestFrameSlot slot;
  const auto empty = latest_frame_texture(slot);
  check(!empty && empty.error().kind() == CaptureError::Kind::NoFrameYet,
        "latest frame: none before the first one");

  auto texture = pattern_texture(resources.device.get(), resources.context.get(), 40, 30, 11);
  slot.publish(make_frame(texture, {33, 17}));
  const auto source = latest_frame_texture(slot);
  check(source && source->texture.get() == texture.get(),
        "latest frame: reaches the texture through the surface's interface access");
  std::string difference = read_latest(resources, slot, {33, 17}, 11);
  check(difference.empty(), "latest frame: a content smaller than the texture reads exactly",
        difference);

  slot.publish(make_frame(texture, {50, 40}));
  difference = read_latest(resources, slot, {40, 30}, 11);
  check(difference.empty(), "latest frame: a content larger than the texture reads the texture",
        difference);
}

void check_handler(ReadbackResources& resources) {
  auto slot = std::make_shared<LatestFrameSlot>();
  auto handler = FrameArrivedHandler::create(slot, resources.device.clone(), SizeInt32{64, 48});
  auto pool = stand_in::make_object<QueuePool>();

  auto first = pattern_texture(resources.device.get(), resources.context.get(), 64, 48, 21);
  auto second = pattern_texture(resources.device.get(), resources.context.get(), 64, 48, 22);
  pool->frames.push_back(make_frame(first, {64, 48}));
  const int released_before = released_frames;
  check_equal(hex(static_cast<unsigned long>(handler->Invoke(pool.get(), nullptr))), hex(S_OK),
              "handler: a frame arrives");
  std::string difference = read_latest(resources, *slot, {64, 48}, 21);
  check(difference.empty() && pool->frames.empty(), "handler: the frame it took reads exactly",
        difference);

  pool->frames.push_back(make_frame(second, {60, 40}));
  handler->Invoke(pool.get(), nullptr);
  difference = read_latest(resources, *slot, {60, 40}, 22);
  check(difference.empty() && released_frames == released_before + 1,
        "handler: a newer frame replaces it, and the replaced frame is released", difference);

  check_equal(hex(static_cast<unsigned long>(handler->Invoke(pool.get(), nullptr))), hex(S_OK),
              "handler: nothing ready is no failure");
  check(slot->holds_frame(), "handler: nothing ready keeps the latest frame");
  check_equal(hex(static_cast<unsigned long>(handler->Invoke(nullptr, nullptr))),
              hex(static_cast<unsigned long>(E_POINTER)), "handler: no sender is refused");
  check(pool->recreated.empty() && handler->recorded_pool_size().Width == 64 &&
            handler->recorded_pool_size().Height == 48,
        "handler: frames that fit the pool leave it as it is");

  ComPtr<IMarshal> marshal;
  check(SUCCEEDED(handler->QueryInterface(IID_IMarshal, marshal.put_void())) && marshal,
        "handler: aggregates the system's free-threaded marshaler");
  marshal.reset();
  slot->empty();
  check(released_frames == released_before + 2, "handler: the slot lets its frame go");
}

// The item's Closed delegate: the identity Windows asks for (its IID, and
// IMarshal from the system's free-threaded marshaler) and the slot it marks.
void check_closed_handler() {
  auto slot = std::make_shared<LatestFrameSlot>();
  auto handler = ItemClosedHandler::create(slot);
  ComPtr<IUnknown> delegate;
  check(SUCCEEDED(handler->QueryInterface(
            winrt_abi::IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable,
            delegate.put_void())) &&
            delegate,
        "closed handler: answers TypedEventHandler<GraphicsCaptureItem, Object>");
  ComPtr<IMarshal> marshal;
  check(SUCCEEDED(handler->QueryInterface(IID_IMarshal, marshal.put_void())) && marshal,
        "closed handler: aggregates the system's free-threaded marshaler");
  marshal.reset();
  delegate.reset();
  check(handler->Invoke(nullptr, nullptr) == S_OK && slot->target_closed() &&
            slot->wait_for_newer(0, std::chrono::steady_clock::now()) ==
                LatestFrameSlot::Wait::Closed,
        "closed handler: marks the target closed, which ends the waits");
}

}  // namespace

void check_frame_arrival() {
  check_closed_handler();
  auto device = create_d3d_device();
  if (!check(device.has_value(), "arrival: device")) return;
  {
    ReadbackResources resources;
    resources.device = device->device.clone();
    resources.context = device->context.clone();
    check_latest_frame(resources);
    check_handler(resources);
  }
  check_equal(stand_in::live_objects().load(), 0L, "arrival: no stand-in object is left alive");
}
