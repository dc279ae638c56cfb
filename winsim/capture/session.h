// GraphicsCaptureSession: binds a frame pool to a capture item; StartCapture
// makes frames arrive, Close (or the session's final release) stops them.
//
// Its switches (IGraphicsCaptureSession2: the pointer in the frames;
// IGraphicsCaptureSession3: the border around the target) are on by default;
// IGraphicsCaptureSession5's minimum update interval is 0 (every refresh)
// and IGraphicsCaptureSession6's pop-up windows are off. A session made
// while the control API says this Windows lacks one of those interfaces
// answers its query with E_NOINTERFACE, as older Windows does.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "capture/frame_pool.h"
#include "capture/target.h"
#include "combase/runtime_object.h"
#include "opticatcher/abi/capture_abi.h"

namespace winsim::faults {
class Operation;
}  // namespace winsim::faults

namespace winsim::capture {

// The optional interfaces a session offers.
struct SessionInterfaces {
  bool cursor_switch = true;
  bool border_switch = true;
  bool update_interval_switch = true;
  bool secondary_windows_switch = true;
};

struct SessionState {
  SessionState(std::shared_ptr<PoolCore> core, Target target);
  ~SessionState();
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  std::shared_ptr<PoolCore> core;
  Target target;
  std::uint64_t capture = 0;  // the delivery registration while started
  bool closed = false;
  std::uint64_t listing = 0;  // the entry in the list of open sessions
};

class Session final
    : public combase::RuntimeObject<
          Session, SessionState, winrt_abi::IGraphicsCaptureSession, winrt_abi::IClosable,
          winrt_abi::IGraphicsCaptureSession2, winrt_abi::IGraphicsCaptureSession3,
          winrt_abi::IGraphicsCaptureSession5, winrt_abi::IGraphicsCaptureSession6> {
 public:
  static constexpr std::string_view kClassName = "GraphicsCaptureSession";
  Session(std::shared_ptr<PoolCore> core, Target target);

  HRESULT STDMETHODCALLTYPE StartCapture() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(winrt_abi::Boolean* value) override;
  HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(winrt_abi::Boolean value) override;
  HRESULT STDMETHODCALLTYPE get_IsBorderRequired(winrt_abi::Boolean* value) override;
  HRESULT STDMETHODCALLTYPE put_IsBorderRequired(winrt_abi::Boolean value) override;
  HRESULT STDMETHODCALLTYPE get_MinUpdateInterval(winrt_abi::TimeSpan* value) override;
  HRESULT STDMETHODCALLTYPE put_MinUpdateInterval(winrt_abi::TimeSpan value) override;
  HRESULT STDMETHODCALLTYPE get_IncludeSecondaryWindows(winrt_abi::Boolean* value) override;
  HRESULT STDMETHODCALLTYPE put_IncludeSecondaryWindows(winrt_abi::Boolean value) override;

  // Hides the switch interfaces this session was made without.
  bool exposes(REFIID iid) const;

 private:
  HRESULT get_switch(const faults::Operation& operation, std::atomic<bool> SessionSwitches::*which,
                     winrt_abi::Boolean* value);
  HRESULT put_switch(const faults::Operation& operation, std::atomic<bool> SessionSwitches::*which,
                     winrt_abi::Boolean value);

  // The open session's state for a getter or setter; null (with `failure`
  // set) for a closed or zombie session.
  SessionState* open_state(const faults::Operation& operation, HRESULT& failure);

  const SessionInterfaces interfaces_;
};

// Whether sessions made from now on have IGraphicsCaptureSession2 (Windows 10
// version 2004 and later), IGraphicsCaptureSession3 (Windows 11),
// IGraphicsCaptureSession5 and IGraphicsCaptureSession6 (Windows 11 version
// 24H2).
void set_session_interfaces(SessionInterfaces interfaces);

// The switches of the open sessions of `target` (made and not closed or
// released), oldest first.
struct SessionSwitchState {
  bool cursor;
  bool border;
  std::int64_t min_update_interval;  // 100-nanosecond ticks
  bool secondary_windows;
};
std::vector<SessionSwitchState> open_sessions(std::uintptr_t target);

}  // namespace winsim::capture
