// The IID of each COM interface that simulated objects implement, for their
// QueryInterface tables.
#pragma once

#include <unknwn.h>
#include <oaidl.h>

#include "platform/windows/capture_abi.h"

namespace winsim::combase {

template <typename Interface>
struct InterfaceId;

template <>
struct InterfaceId<IUnknown> {
  static constexpr const IID& value = IID_IUnknown;
};

template <>
struct InterfaceId<IErrorInfo> {
  static constexpr const IID& value = IID_IErrorInfo;
};

template <>
struct InterfaceId<abi::IRestrictedErrorInfo> {
  static constexpr const IID& value = abi::IID_IRestrictedErrorInfo;
};

}  // namespace winsim::combase
