#include "combase/com_failure.h"

#include "oleaut32/error_info.h"

namespace winsim::combase {

HRESULT fail_method(const faults::Fault& fault) {
  const auto code = static_cast<HRESULT>(fault.code);
  if (fault.description || fault.restricted_description) {
    oleaut32::originate_error(code, fault.description, fault.restricted_description);
  }
  return code;
}

}  // namespace winsim::combase
