// The shared implementation of IUnknown for simulated COM objects.
//
//   class Thing final : public ComObject<Thing, ThingState, IThing, IOther> {
//    public:
//     static constexpr std::string_view kClassName = "Thing";
//     explicit Thing(...) : ComObject(std::in_place, ...) {}
//     ...the interface methods, which reach their state through state("Method")...
//   };
//
// - The object is created with one reference (Thing::create(...)) and counted
//   under kClassName while alive.
// - QueryInterface answers IUnknown and each listed interface that the object
//   exposes (Derived may define `bool exposes(REFIID) const` to hide some). A
//   query for a known interface is the operation "QueryInterface:<name>".
// - The final Release destroys the state (the object's resources) but keeps the
//   object's memory as a zombie: a later AddRef, Release, QueryInterface or
//   method call on it is recorded as misuse and answered harmlessly (for as
//   long as the census keeps the zombie, see object_census.h).
// - Derived may define `void* base_interface(REFIID)` to answer the base
//   interfaces of its listed ones (ID3D11Resource of ID3D11Texture2D, ...).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <unknwn.h>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "opticatcher/abi/capture_abi.h"
#include "combase/object_census.h"
#include "combase/query_interface.h"
#include "faults/misuse_log.h"
#include "opticatcher/abi/interface_id.h"

namespace winsim::combase {

template <typename Derived, typename State, typename FirstInterface, typename... OtherInterfaces>
class ComObject : public FirstInterface, public OtherInterfaces... {
 public:
  template <typename... Args>
  static Derived* create(Args&&... args) {
    return new Derived(std::forward<Args>(args)...);
  }

  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final try {
    if (object == nullptr) {
      return E_POINTER;
    }
    *object = nullptr;
    if (is_zombie("QueryInterface")) {
      return E_UNEXPECTED;
    }
    if (const faults::Operation* query = query_operation(iid)) {
      if (auto fault = query->enter()) {
        return fault->null ? S_OK : fail_method(*fault);
      }
    }
    void* found = find_interface(iid);
    if (found == nullptr) {
      return E_NOINTERFACE;
    }
    references_.fetch_add(1);
    *object = found;
    return S_OK;
  } catch (...) {
    return entry::failed_hresult();
  }

  ULONG STDMETHODCALLTYPE AddRef() final try {
    std::int64_t count = references_.load();
    do {
      if (count <= 0) {
        faults::record_misuse(std::string("use after final release: ") +
                              std::string(Derived::kClassName) + "::AddRef");
        return 0;
      }
    } while (!references_.compare_exchange_weak(count, count + 1));
    return static_cast<ULONG>(count + 1);
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }

  ULONG STDMETHODCALLTYPE Release() final try {
    std::int64_t count = references_.load();
    do {
      if (count <= 0) {
        faults::record_misuse(std::string("release below zero: ") +
                              std::string(Derived::kClassName));
        return 0;
      }
    } while (!references_.compare_exchange_weak(count, count - 1));
    if (count == 1) {
      state_.reset();
      object_released(Derived::kClassName, static_cast<Derived*>(this),
                      [](void* zombie) { delete static_cast<Derived*>(zombie); });
    }
    return static_cast<ULONG>(count - 1);
  } catch (...) {
    return entry::failed_silently(ULONG{0});
  }

  // Every interface is exposed unless Derived says otherwise.
  bool exposes(REFIID) const { return true; }
  void* base_interface(REFIID) { return nullptr; }

  // QueryInterface as the simulation itself uses it: not an operation of the
  // code under test, so neither counted nor failing on request.
  HRESULT query_internal(REFIID iid, void** object) {
    *object = nullptr;
    if (references_.load() <= 0) {
      return E_UNEXPECTED;
    }
    void* found = find_interface(iid);
    if (found == nullptr) {
      return E_NOINTERFACE;
    }
    references_.fetch_add(1);
    *object = found;
    return S_OK;
  }

  // A further reference unless the object has already had its final release
  // (a race the simulation must lose quietly, not a misuse).
  bool try_add_reference() {
    std::int64_t count = references_.load();
    do {
      if (count <= 0) return false;
    } while (!references_.compare_exchange_weak(count, count + 1));
    return true;
  }

  // A further reference taken by the simulation itself.
  Derived* add_reference() {
    AddRef();
    return static_cast<Derived*>(this);
  }

 protected:
  template <typename... Args>
  explicit ComObject(std::in_place_t, Args&&... args)
      : state_(std::in_place, std::forward<Args>(args)...) {
    object_created(Derived::kClassName);
  }

  // The object's state for a method call; null, with the misuse recorded, once
  // the object is a zombie.
  State* state(std::string_view method) {
    if (is_zombie(method)) {
      return nullptr;
    }
    return &*state_;
  }

 private:
  bool is_zombie(std::string_view method) {
    if (references_.load() > 0) {
      return false;
    }
    faults::record_misuse(std::string("use after final release: ") +
                          std::string(Derived::kClassName) + "::" + std::string(method));
    return true;
  }

  void* find_interface(REFIID iid) {
    if (iid == IID_IUnknown) {
      return static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    }
    const Derived& self = static_cast<const Derived&>(*this);
    if (!self.exposes(iid)) {
      return nullptr;
    }
    if (void* found = interface_pointer<FirstInterface, OtherInterfaces...>(this, iid)) {
      return found;
    }
    return static_cast<Derived*>(this)->base_interface(iid);
  }

  std::atomic<std::int64_t> references_{1};
  std::optional<State> state_;
};

}  // namespace winsim::combase
