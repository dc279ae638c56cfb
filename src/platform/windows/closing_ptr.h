// ClosingPtr: the one owner of one reference to a Windows Runtime object that
// is closed before it is let go (a capture session, a frame pool), so that the
// object stops its work at a known point instead of whenever its last
// reference goes.
#pragma once

#include <utility>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/com_call.h"

template <class T>
class ClosingPtr {
 public:
  ClosingPtr() = default;
  ClosingPtr(const ClosingPtr&) = delete;
  ClosingPtr& operator=(const ClosingPtr&) = delete;
  ~ClosingPtr() { reset(); }

  // Closes the object held, if any (through IClosable; a failure is ignored),
  // releases it, and then holds `object`.
  void reset(ComPtr<T> object = {}) {
    if (object_) {
      if (auto closable = query<winrt_abi::IClosable>(object_)) com_ignore((*closable)->Close());
      object_.reset();
    }
    object_ = std::move(object);
  }

  T* get() const { return object_.get(); }
  T* operator->() const { return object_.get(); }
  explicit operator bool() const { return static_cast<bool>(object_); }

 private:
  ComPtr<T> object_;
};
