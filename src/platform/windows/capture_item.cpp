#include "platform/windows/capture_item.h"

#include <cstddef>
#include <mutex>
#include <type_traits>
#include <utility>
#include <variant>

#include "expected_ops.h"
#include "platform/windows/com_call.h"
#include "platform/windows/runtime_class.h"
#include "platform/windows/system_handles.h"

namespace {

constexpr RuntimeClassName kItemClass("Windows.Graphics.Capture.GraphicsCaptureItem");
constexpr RuntimeClassName kFramePoolClass("Windows.Graphics.Capture.Direct3D11CaptureFramePool");

std::expected<ComPtr<winrt_abi::IGraphicsCaptureItem>, WindowsApiError> item_for(
    winrt_abi::IGraphicsCaptureItemInterop* interop, const CaptureTarget& target) {
  return com_object<winrt_abi::IGraphicsCaptureItem>([&](winrt_abi::IGraphicsCaptureItem** out) {
    void** result = reinterpret_cast<void**>(out);
    const IID& iid = InterfaceId<winrt_abi::IGraphicsCaptureItem>::value;
    return std::visit(
        [&](const auto& variant) -> HRESULT {
          if constexpr (std::is_same_v<std::decay_t<decltype(variant)>, CaptureTarget::Window>) {
            return interop->CreateForWindow(system_handle(variant.handle), iid, result);
          } else {
            return interop->CreateForMonitor(system_handle(variant.handle), iid, result);
          }
        },
        target.value);
  });
}

}  // namespace

std::expected<ComPtr<winrt_abi::IGraphicsCaptureItem>, CaptureError> create_capture_item(
    const CaptureTarget& target) {
  // The interop factory is obtained afresh for every item.
  auto item = [&]() -> std::expected<ComPtr<winrt_abi::IGraphicsCaptureItem>, WindowsApiError> {
    auto interop = activation_factory<winrt_abi::IGraphicsCaptureItemInterop>(kItemClass);
    if (!interop) return std::unexpected(std::move(interop.error()));
    return item_for(interop->get(), target);
  }();
  // An item is made for its target: its failure is in the target's family.
  return transform_error(std::move(item), [&](WindowsApiError error) {
    if (std::holds_alternative<CaptureTarget::Window>(target.value)) {
      return CaptureError::from(WindowError::windows(std::move(error)));
    }
    return CaptureError::from(MonitorError::windows(std::move(error)));
  });
}

std::expected<ComPtr<winrt_abi::IDirect3D11CaptureFramePool>, CaptureError> create_frame_pool(
    winrt_abi::IDirect3DDevice* device, winrt_abi::SizeInt32 size) {
  using Factory = winrt_abi::IDirect3D11CaptureFramePoolStatics2;
  // The pool factory is obtained once and kept for the life of the process, as
  // the runtime itself keeps it. Its owner is deliberately never destroyed: a
  // release during process teardown could reach an already unloaded runtime.
  static std::mutex factory_lock;
  static ComPtr<Factory>& factory = *new ComPtr<Factory>();
  Factory* pool_factory = nullptr;
  {
    std::lock_guard lock(factory_lock);
    if (!factory) {
      auto obtained =
          transform_error(activation_factory<Factory>(kFramePoolClass), CaptureError::windows);
      if (!obtained) return std::unexpected(std::move(obtained.error()));
      factory = std::move(*obtained);
    }
    pool_factory = factory.get();
  }
  return transform_error(com_object<winrt_abi::IDirect3D11CaptureFramePool>(
                             [&](winrt_abi::IDirect3D11CaptureFramePool** out) {
                               return pool_factory->CreateFreeThreaded(
                                   device, POOL_PIXEL_FORMAT, POOL_BUFFER_COUNT, size, out);
                             }),
                         CaptureError::windows);
}
