// What a capture item shows: a top-level window or a monitor of the simulated
// desktop.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <windows.h>

#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

struct Target {
  HWND window = nullptr;
  HMONITOR monitor = nullptr;

  std::uintptr_t handle() const {
    return window != nullptr ? reinterpret_cast<std::uintptr_t>(window)
                             : reinterpret_cast<std::uintptr_t>(monitor);
  }
};

// The target's current size; nothing once it is gone (window destroyed,
// monitor removed).
std::optional<winrt_abi::SizeInt32> target_size(const Target& target);

// The window's title or the monitor's device name.
std::u16string target_name(const Target& target);

// Time between two frames: the monitor's refresh rate; windows at 60 Hz.
std::chrono::nanoseconds frame_period(const Target& target);

}  // namespace winsim::capture
