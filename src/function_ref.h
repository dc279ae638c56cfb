// FunctionRef<R(Args...)>: a reference to something callable, for handing a
// callback across an interface without a template or an allocation. It does
// not own the callable, which must outlive it: pass a lambda straight to the
// call that uses it.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
 public:
  template <class F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
           std::is_invocable_r_v<R, F&, Args...>)
      FunctionRef(F&& callable)  // NOLINT(google-explicit-constructor): a callback parameter
      : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* callable, Args... args) -> R {
          return std::invoke(*static_cast<std::remove_reference_t<F>*>(callable),
                             std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const { return call_(callable_, std::forward<Args>(args)...); }

 private:
  void* callable_;
  R (*call_)(void*, Args...);
};
