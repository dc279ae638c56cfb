// A frame pool double for the tests of frame arrival, shared by the GoogleTest
// tests (tests/cpp) and the Windows test program (tests/windows/program).
#pragma once

#include <deque>
#include <vector>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"

// TryGetNextFrame hands out the frames queued in `frames`, one per call (none:
// S_OK and no frame), or fails with `next_failure`; Recreate records the size
// it was asked for and returns `recreate_failure`. What frame arrival does not
// call returns E_NOTIMPL. `Base` gives IUnknown and IInspectable, as each
// build's own test doubles do.
template <class Base>
class FakeFramePool : public Base {
 public:
  using Base::Base;

  HRESULT STDMETHODCALLTYPE Recreate(winrt_abi::IDirect3DDevice*, winrt_abi::DirectXPixelFormat,
                                     INT32, winrt_abi::SizeInt32 size) override {
    recreated.push_back(size);
    return recreate_failure;
  }
  HRESULT STDMETHODCALLTYPE TryGetNextFrame(winrt_abi::IDirect3D11CaptureFrame** frame) override {
    *frame = nullptr;
    if (next_failure != S_OK) return next_failure;
    if (!frames.empty()) {
      *frame = frames.front().detach();
      frames.pop_front();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_FrameArrived(winrt_abi::ITypedEventHandler_FramePool_Inspectable*,
                                             EventRegistrationToken*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventRegistrationToken) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateCaptureSession(winrt_abi::IGraphicsCaptureItem*,
                                                 winrt_abi::IGraphicsCaptureSession**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_DispatcherQueue(winrt_abi::IDispatcherQueue**) override {
    return E_NOTIMPL;
  }

  std::deque<ComPtr<winrt_abi::IDirect3D11CaptureFrame>> frames;
  HRESULT next_failure = S_OK;
  HRESULT recreate_failure = S_OK;
  std::vector<winrt_abi::SizeInt32> recreated;
};
