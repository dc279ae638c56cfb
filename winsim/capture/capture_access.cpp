#include "capture/capture_access.h"

#include <atomic>
#include <mutex>

#include "capture/frame_delivery.h"
#include "combase/com_failure.h"
#include "combase/runtime_object.h"
#include "combase/static_object.h"
#include "common/entry_guard.h"
#include "faults/operation.h"
#include "oleaut32/error_info.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"

namespace winsim::capture {

namespace {

using faults::FailureKind;
using faults::Operation;
using winrt_abi::AppCapabilityAccessStatus;
using winrt_abi::AsyncStatus;
using Handler = winrt_abi::IAsyncOperationCompletedHandler_AppCapabilityAccessStatus;

const Operation kRequestAccessAsync{"RequestAccessAsync", FailureKind::kHresult};
const Operation kPutCompleted{"put_Completed", FailureKind::kHresult};
const Operation kGetResults{"GetResults", FailureKind::kHresult};

// E_ILLEGAL_DELEGATE_ASSIGNMENT and E_ILLEGAL_STATE_CHANGE (winerror.h).
constexpr HRESULT kIllegalDelegateAssignment = static_cast<HRESULT>(0x80000018L);
constexpr HRESULT kIllegalStateChange = static_cast<HRESULT>(0x8000000DL);

std::atomic<BorderAccess> g_access{BorderAccess::kNotRegistered};

struct OperationState {
  OperationState() = default;
  ~OperationState() {
    if (handler != nullptr) handler->Release();
  }
  OperationState(const OperationState&) = delete;
  OperationState& operator=(const OperationState&) = delete;

  std::mutex mutex;
  AsyncStatus status = winrt_abi::AsyncStatus_Started;
  AppCapabilityAccessStatus result = winrt_abi::AppCapabilityAccessStatus_DeniedBySystem;
  Handler* handler = nullptr;  // one reference, once set
  bool closed = false;
};

// IAsyncOperation<AppCapabilityAccessStatus> with its IAsyncInfo.
class AccessOperation final
    : public combase::RuntimeObject<AccessOperation, OperationState,
                                    winrt_abi::IAsyncOperation_AppCapabilityAccessStatus,
                                    winrt_abi::IAsyncInfo> {
 public:
  static constexpr std::string_view kClassName = "AsyncOperation<AppCapabilityAccessStatus>";
  AccessOperation() : RuntimeObject(std::in_place) {}

  // Finishes the operation and calls its handler, if one is set, on this
  // thread. Nothing happens once it has finished already.
  void complete(AsyncStatus status, AppCapabilityAccessStatus result) {
    OperationState* operation = state("complete");
    if (operation == nullptr) return;
    Handler* handler = nullptr;
    {
      std::lock_guard lock(operation->mutex);
      if (operation->status != winrt_abi::AsyncStatus_Started) return;
      operation->status = status;
      operation->result = result;
      handler = operation->handler;
      if (handler != nullptr) handler->AddRef();
    }
    notify(handler, status);
  }

  // IAsyncOperation
  HRESULT STDMETHODCALLTYPE put_Completed(Handler* handler) override try {
    if (auto fault = kPutCompleted.enter()) return combase::fail_method(*fault);
    OperationState* operation = state("put_Completed");
    if (operation == nullptr) return E_UNEXPECTED;
    if (handler == nullptr) return E_INVALIDARG;
    AsyncStatus finished = winrt_abi::AsyncStatus_Started;
    {
      std::lock_guard lock(operation->mutex);
      if (operation->closed) return RO_E_CLOSED;
      if (operation->handler != nullptr) return kIllegalDelegateAssignment;
      operation->handler = handler;
      handler->AddRef();
      finished = operation->status;
    }
    // Set after the operation finished: called at once, on this thread.
    if (finished != winrt_abi::AsyncStatus_Started) {
      handler->AddRef();
      notify(handler, finished);
    }
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE get_Completed(Handler** handler) override try {
    if (handler == nullptr) return E_POINTER;
    OperationState* operation = state("get_Completed");
    if (operation == nullptr) return E_UNEXPECTED;
    std::lock_guard lock(operation->mutex);
    *handler = operation->handler;
    if (*handler != nullptr) (*handler)->AddRef();
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE GetResults(AppCapabilityAccessStatus* results) override try {
    if (results == nullptr) return E_POINTER;
    if (auto fault = kGetResults.enter()) return combase::fail_method(*fault);
    OperationState* operation = state("GetResults");
    if (operation == nullptr) return E_UNEXPECTED;
    std::lock_guard lock(operation->mutex);
    if (operation->closed) return RO_E_CLOSED;
    if (operation->status != winrt_abi::AsyncStatus_Completed) return E_ILLEGAL_METHOD_CALL;
    *results = operation->result;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }

  // IAsyncInfo
  HRESULT STDMETHODCALLTYPE get_Id(UINT32* id) override try {
    if (id == nullptr) return E_POINTER;
    *id = 1;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE get_Status(AsyncStatus* status) override try {
    if (status == nullptr) return E_POINTER;
    OperationState* operation = state("get_Status");
    if (operation == nullptr) return E_UNEXPECTED;
    std::lock_guard lock(operation->mutex);
    *status = operation->status;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* error) override try {
    if (error == nullptr) return E_POINTER;
    *error = S_OK;  // this operation never ends in an error
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE Cancel() override try {
    complete(winrt_abi::AsyncStatus_Canceled, winrt_abi::AppCapabilityAccessStatus_DeniedBySystem);
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
  HRESULT STDMETHODCALLTYPE Close() override try {
    OperationState* operation = state("IAsyncInfo.Close");
    if (operation == nullptr) return E_UNEXPECTED;
    std::lock_guard lock(operation->mutex);
    if (operation->status == winrt_abi::AsyncStatus_Started) return kIllegalStateChange;
    operation->closed = true;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }

 private:
  // Calls `handler` (one reference, released here) through the ABI.
  void notify(Handler* handler, AsyncStatus status) {
    if (handler == nullptr) return;
    [&]() noexcept { (void)handler->Invoke(this, status); }();
    oleaut32::clear_error_info();
    handler->Release();
  }
};

class AccessFactory final : public combase::StaticObject<winrt_abi::IGraphicsCaptureAccessStatics> {
 public:
  AccessFactory() : StaticObject("GraphicsCaptureAccess factory") {}

  HRESULT STDMETHODCALLTYPE RequestAccessAsync(
      winrt_abi::GraphicsCaptureAccessKind request,
      winrt_abi::IAsyncOperation_AppCapabilityAccessStatus** operation) override try {
    if (operation == nullptr) return E_POINTER;
    *operation = nullptr;
    if (auto fault = kRequestAccessAsync.enter()) {
      return fault->null ? S_OK : combase::fail_method(*fault);
    }
    if (request != winrt_abi::GraphicsCaptureAccessKind_Borderless &&
        request != winrt_abi::GraphicsCaptureAccessKind_Programmatic) {
      return E_INVALIDARG;
    }
    auto made = ComPtr<AccessOperation>::attach(AccessOperation::create());
    const BorderAccess access = g_access;
    if (access == BorderAccess::kAllowed || access == BorderAccess::kDenied) {
      const AppCapabilityAccessStatus answer =
          access == BorderAccess::kAllowed ? winrt_abi::AppCapabilityAccessStatus_Allowed
                                           : winrt_abi::AppCapabilityAccessStatus_DeniedByUser;
      // The answer comes from another thread, which holds the operation
      // until it has answered.
      AccessOperation* held = made->add_reference();
      if (!run_on_delivery_thread(
              [held, answer] {
                held->complete(winrt_abi::AsyncStatus_Completed, answer);
                held->Release();
              },
              false)) {
        held->Release();
        return E_OUTOFMEMORY;
      }
    }
    *operation = made.detach();
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }
};

AccessFactory& access_factory() {
  static auto* factory = new AccessFactory;
  return *factory;
}

}  // namespace

void set_border_access(BorderAccess access) { g_access = access; }

HRESULT query_access_factory(REFIID iid, void** factory) {
  if (g_access == BorderAccess::kNotRegistered) return REGDB_E_CLASSNOTREG;
  return access_factory().query_internal(iid, factory);
}

}  // namespace winsim::capture
