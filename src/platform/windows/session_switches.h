// The settings of a capture session that newer Windows versions offer: the
// mouse pointer in the frames (IGraphicsCaptureSession2, Windows 10 version
// 2004 and later), the border around the captured target
// (IGraphicsCaptureSession3, Windows 11 and Windows Server 2022), the minimum
// update interval (IGraphicsCaptureSession5) and the target's pop-up windows
// in its frames (IGraphicsCaptureSession6), both Windows 11 version 24H2 and
// later.
#pragma once

#include <cstdint>
#include <expected>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"

// Sets one on/off switch of `session` (not UpdateInterval). Where this
// Windows lacks the interface that carries it (the query answers
// E_NOINTERFACE), the value the session has anyway (on for the pointer and
// the border, off for pop-up windows) succeeds without a call, while the
// other is "needs a newer Windows"; any other failure is a Windows API error.
std::expected<void, CaptureError> set_session_switch(winrt_abi::IGraphicsCaptureSession* session,
                                                     SessionSwitch which, bool on);

// Sets the session's minimum update interval, in 100-nanosecond ticks. A
// session without IGraphicsCaptureSession5 is "needs a newer Windows"; any
// other failure is a Windows API error.
std::expected<void, CaptureError> set_session_update_interval(
    winrt_abi::IGraphicsCaptureSession* session, std::int64_t ticks);
