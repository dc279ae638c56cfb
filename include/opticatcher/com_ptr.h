// ComPtr: the one owner of one COM reference, for the module and winsim alike.
// The module's calls that produce one are wrapped by
// src/platform/windows/com_call.h.
#pragma once

#include <utility>

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr attach(T* ptr) {
    ComPtr result;
    result.ptr_ = ptr;
    return result;
  }

  // A further reference to the same object.
  ComPtr clone() const {
    if (ptr_) ptr_->AddRef();
    return attach(ptr_);
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // Releases what is held and hands out the slot for an out-parameter.
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  T* detach() { return std::exchange(ptr_, nullptr); }

  void reset() {
    if (T* ptr = std::exchange(ptr_, nullptr)) ptr->Release();
  }

 private:
  T* ptr_ = nullptr;
};
