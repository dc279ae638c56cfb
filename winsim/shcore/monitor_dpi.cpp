// GetDpiForMonitor: the effective DPI of a monitor as the calling thread sees
// it: 96 for a DPI-unaware thread, the primary monitor's for a system-aware
// one, the monitor's own for a per-monitor aware one.
#include <algorithm>
#include <vector>

#include <shellscalingapi.h>
#include <windows.h>

#include "combase/com_failure.h"
#include "common/entry_guard.h"
#include "desktop/desktop.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "user32/dpi_awareness.h"

namespace {

using winsim::desktop::PlacedMonitor;
using winsim::faults::FailureKind;
using winsim::faults::Operation;

const Operation kGetDpiForMonitor{"GetDpiForMonitor", FailureKind::kHresult};

}  // namespace

HRESULT STDAPICALLTYPE GetDpiForMonitor(HMONITOR hmonitor, MONITOR_DPI_TYPE dpiType, UINT* dpiX,
                                        UINT* dpiY) try {
  // A fault that asks for no object has none to withhold here: the call goes on.
  if (auto fault = kGetDpiForMonitor.enter(); fault && !fault->null) {
    return winsim::combase::fail_method(*fault);
  }
  if (dpiType != MDT_EFFECTIVE_DPI) {
    winsim::faults::record_unsupported("GetDpiForMonitor",
                                       "DPI types other than MDT_EFFECTIVE_DPI");
    return E_INVALIDARG;
  }
  if (dpiX == nullptr || dpiY == nullptr) {
    return E_INVALIDARG;
  }
  const std::vector<PlacedMonitor> monitors = winsim::desktop::Desktop::instance().monitors();
  const auto placed = std::find_if(monitors.begin(), monitors.end(), [hmonitor](const auto& m) {
    return m.monitor.handle == hmonitor;
  });
  if (placed == monitors.end()) {
    return E_INVALIDARG;
  }
  const UINT dpi = winsim::user32::seen_dpi(monitors, placed->monitor.dpi);
  *dpiX = dpi;
  *dpiY = dpi;
  return S_OK;
} catch (...) {
  return winsim::entry::failed_hresult();
}
