// DwmGetWindowAttribute: the one attribute asked for is the extended frame
// bounds, the window's visible bounds in physical pixels of the virtual
// screen, which the Desktop Window Manager does not scale for the caller's
// DPI awareness.
#include <cstring>
#include <optional>

#include <dwmapi.h>
#include <windows.h>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "desktop/desktop.h"
#include "desktop/geometry.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"

namespace {

using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kDwmGetWindowAttribute{"DwmGetWindowAttribute", FailureKind::kHresult};

}  // namespace

HRESULT STDAPICALLTYPE DwmGetWindowAttribute(HWND hwnd, DWORD dwAttribute, PVOID pvAttribute,
                                             DWORD cbAttribute) try {
  // A fault that asks for no object has none to withhold here: the call goes on.
  if (auto fault = kDwmGetWindowAttribute.enter(); fault && !fault->null) {
    return winsim::combase::fail_method(*fault);
  }
  if (dwAttribute != DWMWA_EXTENDED_FRAME_BOUNDS) {
    winsim::faults::record_unsupported("DwmGetWindowAttribute",
                                       "attributes other than the "
                                       "extended frame bounds");
    return E_INVALIDARG;
  }
  if (pvAttribute == nullptr || cbAttribute != sizeof(RECT)) {
    return E_INVALIDARG;
  }
  const std::optional<winsim::desktop::Window> window =
      winsim::desktop::Desktop::instance().window(hwnd);
  if (!window) {
    return E_HANDLE;
  }
  RECT bounds = winsim::desktop::restored_bounds(*window);
  if (window->minimized) {
    bounds = RECT{winsim::desktop::kMinimizedPosition, winsim::desktop::kMinimizedPosition,
                  winsim::desktop::kMinimizedPosition + window->width,
                  winsim::desktop::kMinimizedPosition + window->height};
  }
  std::memcpy(pvAttribute, &bounds, sizeof(RECT));
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}
