#include "platform/windows/capture_access.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "expected_ops.h"
#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/agile_delegate.h"
#include "platform/windows/apartment.h"
#include "platform/windows/com_call.h"
#include "platform/windows/runtime_class.h"
#include "platform/windows/win32.h"

namespace {

using Operation = winrt_abi::IAsyncOperation_AppCapabilityAccessStatus;
using Outcome = CaptureError::BorderNotAllowed::Outcome;

constexpr RuntimeClassName kAccessClass("Windows.Graphics.Capture.GraphicsCaptureAccess");

// Set once Windows has answered Allowed; never cleared.
std::atomic<bool> borderless_allowed{false};

// Where the completion handler leaves the operation's final status.
struct Completion {
  std::mutex lock;
  std::condition_variable done;
  bool completed = false;                                          // guarded by lock
  winrt_abi::AsyncStatus status = winrt_abi::AsyncStatus_Started;  // guarded by lock
};

// The delegate the operation calls once, on a thread of Windows', or at once
// on the subscribing thread when the operation has finished already. It
// follows the frame handler's rules: no interpreter, no allocation, no
// exception across the ABI.
class AccessCompletedHandler final
    : public AgileDelegate<winrt_abi::IAsyncOperationCompletedHandler_AppCapabilityAccessStatus> {
 public:
  static ComPtr<AccessCompletedHandler> create(std::shared_ptr<Completion> completion) {
    return ComPtr<AccessCompletedHandler>::attach(
        new AccessCompletedHandler(std::move(completion)));
  }

  HRESULT STDMETHODCALLTYPE Invoke(Operation* /*operation*/,
                                   winrt_abi::AsyncStatus status) override {
    {
      std::lock_guard lock(completion_->lock);
      completion_->completed = true;
      completion_->status = status;
    }
    completion_->done.notify_all();
    return S_OK;
  }

 private:
  explicit AccessCompletedHandler(std::shared_ptr<Completion> completion)
      : completion_(std::move(completion)) {}

  std::shared_ptr<Completion> completion_;
};

}  // namespace

struct BorderAccessAnswer {
  ComPtr<Operation> operation;
  std::shared_ptr<Completion> completion;
};

BorderAccessRequest::BorderAccessRequest(std::unique_ptr<BorderAccessAnswer> answer)
    : answer_(std::move(answer)) {}
BorderAccessRequest::BorderAccessRequest(BorderAccessRequest&&) noexcept = default;
BorderAccessRequest& BorderAccessRequest::operator=(BorderAccessRequest&&) noexcept = default;
BorderAccessRequest::~BorderAccessRequest() = default;

bool BorderAccessRequest::wait_until(std::chrono::steady_clock::time_point deadline) const {
  Completion& completion = *answer_->completion;
  std::unique_lock lock(completion.lock);
  return completion.done.wait_until(lock, deadline, [&] { return completion.completed; });
}

std::expected<void, CaptureError> BorderAccessRequest::finish() {
  winrt_abi::AsyncStatus status = winrt_abi::AsyncStatus_Started;
  {
    std::lock_guard lock(answer_->completion->lock);
    if (answer_->completion->completed) status = answer_->completion->status;
  }
  // Unanswered: the operation is let go of as it is.
  if (status == winrt_abi::AsyncStatus_Started) {
    answer_->operation.reset();
    return std::unexpected(CaptureError::border_not_allowed(Outcome::NoAnswer, 0));
  }
  auto result = [&]() -> std::expected<void, CaptureError> {
    if (status == winrt_abi::AsyncStatus_Canceled) {
      return std::unexpected(CaptureError::border_not_allowed(Outcome::Canceled, 0));
    }
    if (status != winrt_abi::AsyncStatus_Completed) {
      HRESULT code = E_FAIL;
      auto info = query<winrt_abi::IAsyncInfo>(answer_->operation);
      if (!info) return std::unexpected(CaptureError::windows(std::move(info.error())));
      if (auto read = com_check((*info)->get_ErrorCode(&code)); !read) {
        return transform_error(std::move(read), CaptureError::windows);
      }
      return std::unexpected(CaptureError::border_not_allowed(Outcome::Failed, code));
    }
    winrt_abi::AppCapabilityAccessStatus access =
        winrt_abi::AppCapabilityAccessStatus_DeniedBySystem;
    if (auto read = com_check(answer_->operation->GetResults(&access)); !read) {
      return transform_error(std::move(read), CaptureError::windows);
    }
    if (access != winrt_abi::AppCapabilityAccessStatus_Allowed) {
      return std::unexpected(CaptureError::border_not_allowed(Outcome::Answered, access));
    }
    borderless_allowed = true;
    return {};
  }();
  // A finished operation is closed; a failure to close changes nothing.
  if (auto info = query<winrt_abi::IAsyncInfo>(answer_->operation)) com_ignore((*info)->Close());
  answer_->operation.reset();
  return result;
}

std::expected<std::optional<BorderAccessRequest>, CaptureError> request_borderless_access() {
  if (borderless_allowed) return std::nullopt;
  if (auto apartment = initialise_apartment(); !apartment) {
    return std::unexpected(std::move(apartment.error()));
  }
  auto statics = activation_factory<winrt_abi::IGraphicsCaptureAccessStatics>(kAccessClass);
  if (!statics) {
    // No such class on this Windows: nobody to ask, and nothing to ask for.
    if (statics.error().code == REGDB_E_CLASSNOTREG) return std::nullopt;
    return std::unexpected(CaptureError::windows(std::move(statics.error())));
  }
  auto operation = com_object<Operation>([&](Operation** out) {
    return (*statics)->RequestAccessAsync(winrt_abi::GraphicsCaptureAccessKind_Borderless, out);
  });
  if (!operation) return std::unexpected(CaptureError::windows(std::move(operation.error())));

  auto answer = std::make_unique<BorderAccessAnswer>();
  answer->completion = std::make_shared<Completion>();
  {
    // The operation keeps its own reference to the handler.
    auto handler = AccessCompletedHandler::create(answer->completion);
    if (auto subscribed = com_check((*operation)->put_Completed(handler.get())); !subscribed) {
      return std::unexpected(CaptureError::windows(std::move(subscribed.error())));
    }
  }
  answer->operation = std::move(*operation);
  return std::optional<BorderAccessRequest>(BorderAccessRequest(std::move(answer)));
}
