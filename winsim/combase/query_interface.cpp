#include "combase/query_interface.h"

#include <oaidl.h>

#include "platform/windows/capture_abi.h"

namespace winsim::combase {

namespace {

using control::FailureKind;
using control::Operation;

struct KnownInterface {
  const IID& iid;
  Operation query;
};

const KnownInterface kKnownInterfaces[] = {
    {IID_IUnknown, {"QueryInterface:IUnknown", FailureKind::kHresult}},
    {IID_IErrorInfo, {"QueryInterface:IErrorInfo", FailureKind::kHresult}},
    {abi::IID_IRestrictedErrorInfo, {"QueryInterface:IRestrictedErrorInfo", FailureKind::kHresult}},
};

}  // namespace

const control::Operation* query_operation(REFIID iid) {
  for (const KnownInterface& known : kKnownInterfaces) {
    if (known.iid == iid) {
      return &known.query;
    }
  }
  return nullptr;
}

}  // namespace winsim::combase
