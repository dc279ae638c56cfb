// GraphicsCaptureAccess: the border's consent, answered from a thread of the
// service's through an asynchronous operation.
#include <thread>

#include "service.h"

namespace stand_in {

namespace {

using Handler = winrt_abi::IAsyncOperationCompletedHandler_AppCapabilityAccessStatus;

// E_ILLEGAL_DELEGATE_ASSIGNMENT, E_ILLEGAL_STATE_CHANGE.
constexpr HRESULT kIllegalDelegateAssignment = static_cast<HRESULT>(0x80000018);
constexpr HRESULT kIllegalStateChange = static_cast<HRESULT>(0x8000000D);

class Operation final
    : public ComObject<Inspectable<winrt_abi::IAsyncOperation_AppCapabilityAccessStatus>,
                       Inspectable<winrt_abi::IAsyncInfo>> {
 public:
  // Finishes with `result` and calls the handler, if one is set, on this
  // thread.
  void complete(winrt_abi::AppCapabilityAccessStatus result) {
    ComPtr<Handler> handler;
    {
      std::lock_guard lock(lock_);
      if (status_ != winrt_abi::AsyncStatus_Started) return;
      status_ = winrt_abi::AsyncStatus_Completed;
      result_ = result;
      handler = handler_.clone();
    }
    if (handler) handler->Invoke(this, winrt_abi::AsyncStatus_Completed);
  }

  HRESULT STDMETHODCALLTYPE put_Completed(Handler* handler) override {
    if (handler == nullptr) return E_INVALIDARG;
    if (const HRESULT hr = injected_failure("put_Completed"); FAILED(hr)) return hr;
    winrt_abi::AsyncStatus status;
    {
      std::lock_guard lock(lock_);
      if (handler_) return kIllegalDelegateAssignment;
      handler->AddRef();
      handler_ = ComPtr<Handler>::attach(handler);
      status = status_;
    }
    // Set after the answer came: called at once, on this thread.
    if (status != winrt_abi::AsyncStatus_Started) handler->Invoke(this, status);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Completed(Handler** handler) override {
    if (handler == nullptr) return E_POINTER;
    std::lock_guard lock(lock_);
    *handler = handler_.clone().detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResults(winrt_abi::AppCapabilityAccessStatus* results) override {
    if (results == nullptr) return E_POINTER;
    std::lock_guard lock(lock_);
    if (status_ != winrt_abi::AsyncStatus_Completed) return kIllegalMethodCall;
    *results = result_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_Id(UINT32* id) override {
    if (id == nullptr) return E_POINTER;
    *id = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Status(winrt_abi::AsyncStatus* status) override {
    if (status == nullptr) return E_POINTER;
    std::lock_guard lock(lock_);
    *status = status_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* error) override {
    if (error == nullptr) return E_POINTER;
    *error = S_OK;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close() override {
    std::lock_guard lock(lock_);
    return status_ == winrt_abi::AsyncStatus_Started ? kIllegalStateChange : S_OK;
  }

 private:
  std::mutex lock_;
  winrt_abi::AsyncStatus status_ = winrt_abi::AsyncStatus_Started;  // guarded by lock_
  winrt_abi::AppCapabilityAccessStatus result_ =
      winrt_abi::AppCapabilityAccessStatus_DeniedBySystem;  // guarded by lock_
  ComPtr<Handler> handler_;                                 // guarded by lock_
};

struct Answers {
  std::mutex lock;
  std::vector<std::thread> threads;
};

Answers& answers() {
  static Answers& instance = *new Answers();
  return instance;
}

}  // namespace

HRESULT STDMETHODCALLTYPE AccessFactory::ActivateInstance(IInspectable** instance) {
  if (instance != nullptr) *instance = nullptr;
  return E_NOTIMPL;  // a static class
}

HRESULT STDMETHODCALLTYPE
AccessFactory::RequestAccessAsync(winrt_abi::GraphicsCaptureAccessKind kind,
                                  winrt_abi::IAsyncOperation_AppCapabilityAccessStatus** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (kind != winrt_abi::GraphicsCaptureAccessKind_Borderless) {
    record_misuse("RequestAccessAsync for another kind than Borderless");
  }
  if (const HRESULT hr = injected_failure("RequestAccessAsync"); FAILED(hr)) return hr;
  auto operation = make_object<Operation>();
  const int access = border_access();
  if (access == 1 || access == 2) {
    const auto answer = access == 1 ? winrt_abi::AppCapabilityAccessStatus_Allowed
                                    : winrt_abi::AppCapabilityAccessStatus_DeniedByUser;
    std::lock_guard lock(answers().lock);
    answers().threads.emplace_back(
        [held = operation.clone(), answer]() mutable { held->complete(answer); });
  }
  *result = static_cast<winrt_abi::IAsyncOperation_AppCapabilityAccessStatus*>(operation.detach());
  return S_OK;
}

void join_answers() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(answers().lock);
    threads.swap(answers().threads);
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace stand_in
