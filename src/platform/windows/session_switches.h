// The switches of a capture session that newer Windows versions offer: the
// mouse pointer in the frames (IGraphicsCaptureSession2, Windows 10 version
// 2004 and later) and the border around the captured target
// (IGraphicsCaptureSession3, Windows 11 and Windows Server 2022).
#pragma once

#include <expected>

#include "errors.h"
#include "opticatcher/abi/capture_abi.h"

// Sets one switch of `session`. Where this Windows lacks the interface that
// carries it (the query answers E_NOINTERFACE), turning it on is what the
// session does anyway and succeeds without a call, while turning it off is
// "needs a newer Windows"; any other failure is a Windows API error.
std::expected<void, CaptureError> set_session_switch(winrt_abi::IGraphicsCaptureSession* session,
                                                     SessionSwitch which, bool on);
