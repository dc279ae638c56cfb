#include "capture/target.h"

#include "common/wide_text.h"
#include "desktop/desktop.h"

namespace winsim::capture {

namespace {

constexpr std::uint32_t kWindowRefreshRate = 60;

}  // namespace

std::optional<winrt_abi::SizeInt32> target_size(const Target& target) {
  auto& desktop = desktop::Desktop::instance();
  if (target.window != nullptr) {
    if (auto window = desktop.window(target.window)) {
      return winrt_abi::SizeInt32{window->width, window->height};
    }
    return std::nullopt;
  }
  if (auto monitor = desktop.monitor(target.monitor)) {
    return winrt_abi::SizeInt32{static_cast<INT32>(monitor->monitor.width),
                                static_cast<INT32>(monitor->monitor.height)};
  }
  return std::nullopt;
}

std::u16string target_name(const Target& target) {
  auto& desktop = desktop::Desktop::instance();
  if (target.window != nullptr) {
    auto window = desktop.window(target.window);
    return window ? window->title : std::u16string();
  }
  auto monitor = desktop.monitor(target.monitor);
  return monitor ? std::u16string(up_to_terminator(monitor->monitor.device_name))
                 : std::u16string();
}

std::chrono::nanoseconds frame_period(const Target& target) {
  std::uint32_t rate = kWindowRefreshRate;
  if (target.monitor != nullptr) {
    if (auto monitor = desktop::Desktop::instance().monitor(target.monitor)) {
      rate = monitor->monitor.refresh_rate;
    }
  }
  if (rate == 0) rate = kWindowRefreshRate;
  return std::chrono::nanoseconds(1'000'000'000LL / rate);
}

}  // namespace winsim::capture
