// GraphicsCaptureSession: binds a frame pool to a capture item; StartCapture
// makes frames arrive, Close (or the session's final release) stops them.
#pragma once

#include <cstdint>
#include <memory>

#include "capture/frame_pool.h"
#include "capture/target.h"
#include "combase/runtime_object.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::capture {

struct SessionState {
  SessionState(std::shared_ptr<PoolCore> core, Target target);
  ~SessionState();
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  std::shared_ptr<PoolCore> core;
  Target target;
  std::uint64_t capture = 0;  // the delivery registration while started
  bool closed = false;
};

class Session final
    : public combase::RuntimeObject<Session, SessionState, winrt_abi::IGraphicsCaptureSession,
                                    winrt_abi::IClosable> {
 public:
  static constexpr std::string_view kClassName = "GraphicsCaptureSession";
  Session(std::shared_ptr<PoolCore> core, Target target);

  HRESULT STDMETHODCALLTYPE StartCapture() override;
  HRESULT STDMETHODCALLTYPE Close() override;
};

}  // namespace winsim::capture
