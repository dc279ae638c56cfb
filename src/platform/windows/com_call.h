// The shapes of a COM call, each turned into a value or a WindowsApiError.
//
// - com_object<T>(call): a call that fills one out-object and returns an
//   HRESULT, e.g.
//     auto device = com_object<ID3D11Device>([&](ID3D11Device** out) {
//       return D3D11CreateDevice(..., out, ...);
//     });
// - query<U>(object): QueryInterface for U, its IID taken from InterfaceId<U>.
// - com_check(hr): a call that returns only an HRESULT.
// - com_ignore(hr): the same, for a call whose failure is deliberately
//   ignored (teardown).
//
// A failure is the error read on the calling thread right after the call (the
// thread's error information goes with it); a success that delivers no object
// is the null-object error. Every object comes back owned by a ComPtr.
#pragma once

#include <expected>
#include <utility>

#include "internal_fault.h"
#include "platform/windows/api_error.h"
#include "opticatcher/com_ptr.h"
#include "opticatcher/abi/interface_id.h"
#include "platform/windows/win32.h"

inline std::expected<void, WindowsApiError> com_check(HRESULT hr) {
  if (FAILED(hr)) return std::unexpected(hresult_from_com(hr));
  return {};
}

// A failure that is ignored still takes the thread's error information with it,
// so that it cannot be mistaken later for the information of an unrelated
// failure.
inline void com_ignore(HRESULT hr) { static_cast<void>(com_check(hr)); }

template <class T, class Call>
std::expected<ComPtr<T>, WindowsApiError> com_object(Call&& call) {
  ComPtr<T> object;
  const HRESULT hr = std::forward<Call>(call)(object.put());
  // Read before anything else runs on this thread and replaces it.
  if (FAILED(hr)) return std::unexpected(hresult_from_com(hr));
  if (!object) return std::unexpected(null_object_error());
  return object;
}

template <class U, class T>
requires HasInterfaceId<U> std::expected<ComPtr<U>, WindowsApiError> query(T* object) {
  // Every caller holds the object it asks: a null one is a broken invariant.
  if (object == nullptr) internal_fault("QueryInterface on a null object");
  return com_object<U>([object](U** out) {
    return object->QueryInterface(InterfaceId<U>::value, reinterpret_cast<void**>(out));
  });
}

template <class U, class T>
requires HasInterfaceId<U> std::expected<ComPtr<U>, WindowsApiError> query(
    const ComPtr<T>& object) {
  return query<U>(object.get());
}
