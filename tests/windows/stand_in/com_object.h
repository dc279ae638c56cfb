// COM objects of the Windows test stand-ins (the test program's and the
// stand-in capture service's): reference counting, QueryInterface over a list
// of interfaces, IInspectable, and a count of the objects alive.
//
//   class Frame final : public ComObject<Inspectable<winrt_abi::IDirect3D11CaptureFrame>,
//                                        Inspectable<winrt_abi::IClosable>> { ... };
//   ComPtr<Frame> frame = make_object<Frame>(...);
//
// Every stand-in is agile (it answers IAgileObject), as the runtime's capture
// objects are.
#pragma once

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "opticatcher/abi/capture_abi.h"
#include "opticatcher/com_ptr.h"
#include "opticatcher/abi/interface_id.h"
#include "platform/windows/win32.h"

namespace stand_in {

// IInspectable's IID. mingw-w64's headers declare IID_IInspectable, but only an
// import library meant for Store apps defines it.
// {AF86E2E0-B12D-4C6A-9C5A-D7AA65101E90}
inline constexpr IID kIidInspectable = {
    0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};

// Stand-in objects alive, of every class but the activation factories (which
// live as long as the process, as the runtime's do).
std::atomic<long>& live_objects();

// The IInspectable methods of one interface derived from IInspectable.
template <class Interface>
class Inspectable : public Interface {
 public:
  using ImplementedInterface = Interface;

  HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) override {
    if (count == nullptr || iids == nullptr) return E_POINTER;
    *count = 0;
    *iids = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* level) override {
    if (level == nullptr) return E_POINTER;
    *level = BaseTrust;
    return S_OK;
  }
};

namespace detail {

template <class Base>
struct implemented {
  using type = Base;
};
template <class Base>
requires requires { typename Base::ImplementedInterface; }
struct implemented<Base> {
  using type = typename Base::ImplementedInterface;
};

}  // namespace detail

template <class... Bases>
class ComObject : public Bases... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IAgileObject) {
      *object = first_interface();
    } else if (iid == kIidInspectable) {
      *object = inspectable_interface();
    } else {
      (find_interface<Bases>(iid, object) || ...);
    }
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return references_.fetch_add(1) + 1; }
  // A further reference unless the last one is gone already (the object is
  // on its way out).
  bool try_add_reference() {
    ULONG count = references_.load();
    do {
      if (count == 0) return false;
    } while (!references_.compare_exchange_weak(count, count + 1));
    return true;
  }
  ULONG STDMETHODCALLTYPE Release() final {
    const ULONG remaining = references_.fetch_sub(1) - 1;
    if (remaining == 0) delete this;
    return remaining;
  }

 protected:
  explicit ComObject(bool counted = true) : counted_(counted) {
    if (counted_) live_objects().fetch_add(1);
  }
  virtual ~ComObject() {
    if (counted_) live_objects().fetch_sub(1);
  }

 private:
  template <class Base>
  bool find_interface(REFIID iid, void** object) {
    using Interface = typename detail::implemented<Base>::type;
    if (iid != InterfaceId<Interface>::value) return false;
    *object = static_cast<Interface*>(this);
    return true;
  }

  void* first_interface() {
    using First = typename detail::implemented<std::tuple_element_t<0, std::tuple<Bases...>>>::type;
    return static_cast<IUnknown*>(static_cast<First*>(this));
  }

  template <class Base>
  void* as_inspectable() {
    using Interface = typename detail::implemented<Base>::type;
    if constexpr (std::is_base_of_v<IInspectable, Interface>) {
      return static_cast<IInspectable*>(static_cast<Interface*>(this));
    } else {
      return nullptr;
    }
  }

  // The first interface that is an IInspectable, if any.
  void* inspectable_interface() {
    void* found = nullptr;
    ((found = found != nullptr ? found : as_inspectable<Bases>()), ...);
    return found;
  }

  const bool counted_;
  std::atomic<ULONG> references_{1};
};

// A new object with its one reference.
template <class T, class... Args>
ComPtr<T> make_object(Args&&... args) {
  return ComPtr<T>::attach(new T(std::forward<Args>(args)...));
}

}  // namespace stand_in
