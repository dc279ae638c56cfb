#include "oleaut32/error_info.h"

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "faults/operation.h"
#include "oleaut32/error_object.h"

namespace winsim::oleaut32 {

namespace {

// Holds one reference; releases it when the thread ends.
class ThreadErrorSlot {
 public:
  ThreadErrorSlot() = default;
  ThreadErrorSlot(const ThreadErrorSlot&) = delete;
  ThreadErrorSlot& operator=(const ThreadErrorSlot&) = delete;
  ~ThreadErrorSlot() { replace(nullptr); }

  // Takes a new reference to `info` and releases the one held before.
  void replace(IErrorInfo* info) {
    if (info != nullptr) {
      info->AddRef();
    }
    IErrorInfo* previous = info_;
    info_ = info;
    if (previous != nullptr) {
      previous->Release();
    }
  }

  // Hands the held reference over to the caller.
  IErrorInfo* take() {
    IErrorInfo* info = info_;
    info_ = nullptr;
    return info;
  }

 private:
  IErrorInfo* info_ = nullptr;
};

thread_local ThreadErrorSlot t_error_info;

}  // namespace

void originate_error(HRESULT code, const std::optional<std::u16string>& description,
                     const std::optional<std::u16string>& restricted_description) {
  ErrorObject* error = ErrorObject::create(ErrorDetails{code, description, restricted_description});
  t_error_info.replace(error);
  error->Release();
}

void clear_error_info() { t_error_info.replace(nullptr); }

}  // namespace winsim::oleaut32

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kGetErrorInfo{"GetErrorInfo", FailureKind::kHresult};
const Operation kSetErrorInfo{"SetErrorInfo", FailureKind::kHresult};

}  // namespace

HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) try {
  (void)dwReserved;
  if (auto fault = kSetErrorInfo.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  winsim::oleaut32::t_error_info.replace(perrinfo);
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}

// S_FALSE, with *pperrinfo NULL, when the thread has no error object.
HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) try {
  (void)dwReserved;
  if (pperrinfo != nullptr) {
    *pperrinfo = nullptr;
  }
  if (auto fault = kGetErrorInfo.enter()) {
    return fault->null ? S_OK : winsim::combase::fail_method(*fault);
  }
  if (pperrinfo == nullptr) {
    return E_INVALIDARG;
  }
  *pperrinfo = winsim::oleaut32::t_error_info.take();
  return *pperrinfo != nullptr ? S_OK : S_FALSE;
} catch (...) {
  return winsim::entry::failed_hresult();
}
