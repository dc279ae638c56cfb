// Ties each COM interface type to its IID, so that a query names only the type
// and the two can never disagree. Shared by the module and winsim's simulated
// objects.
//
// Whoever declares an interface declares its id right next to it, at global
// scope:
//
//   OPTICATCHER_INTERFACE_ID(winrt_abi::IThing, winrt_abi::IID_IThing);
//
// Interfaces that come from the Windows SDK itself are tied here.
#pragma once

#include "opticatcher/abi/windows_headers.h"

template <class Interface>
struct InterfaceId;

#define OPTICATCHER_INTERFACE_ID(Interface, iid) \
  template <>                                    \
  struct InterfaceId<Interface> {                \
    static constexpr const IID& value = (iid);   \
  }

// True for interface types that have an id.
template <class Interface>
concept HasInterfaceId = requires {
  InterfaceId<Interface>::value;
};

OPTICATCHER_INTERFACE_ID(IUnknown, IID_IUnknown);
OPTICATCHER_INTERFACE_ID(IErrorInfo, IID_IErrorInfo);
