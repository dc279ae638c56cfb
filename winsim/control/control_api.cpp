#include "winsim/control.h"

#include <cstring>
#include <map>
#include <optional>
#include <string>

#include <windows.h>

#include "capture/capture_access.h"
#include "capture/capture_item.h"
#include "capture/frame_delivery.h"
#include "capture/session.h"
#include "combase/hstring.h"
#include "combase/object_census.h"
#include "common/entry_guard.h"
#include "common/wide_text.h"
#include "faults/misuse_log.h"
#include "faults/operation.h"
#include "d3d11/gpu.h"
#include "desktop/content.h"
#include "desktop/desktop.h"
#include "desktop/pointer.h"
#include "kernel32/library_loader.h"
#include "kernel32/local_heap.h"
#include "oleaut32/bstr.h"
#include "oleaut32/error_info.h"
#include "user32/dpi_awareness.h"
#include "user32/text_length_overreport.h"

namespace {

using winsim::desktop::Desktop;

std::optional<std::u16string> optional_text(const char16_t* units, size_t count) {
  if (units == nullptr) {
    return std::nullopt;
  }
  return winsim::copy_units(units, count);
}

template <typename Handle>
Handle from_integer(uintptr_t value) {
  return reinterpret_cast<Handle>(value);
}

template <typename Handle>
uintptr_t to_integer(Handle handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

// The buffer protocol of the listing functions.
size_t write_text(const std::string& text, char* buffer, size_t size) {
  const size_t needed = text.size() + 1;
  if (buffer != nullptr && size >= needed) {
    std::memcpy(buffer, text.c_str(), needed);
  }
  return needed;
}

int status(bool ok) { return ok ? WINSIM_OK : WINSIM_UNKNOWN_HANDLE; }

// Live simulated COM objects by class, with BSTRs and local-heap blocks; only
// non-zero counts. A frame delivery in flight holds references of its own
// (the pool it raises the event for, the handler): the count is taken once it
// has finished, so that it does not depend on the delivery thread's timing.
std::map<std::string, std::int64_t> live_counts() {
  winsim::capture::wait_for_deliveries();
  std::map<std::string, std::int64_t> live = winsim::combase::live_objects();
  live["BSTR"] += winsim::oleaut32::live_bstrs();
  live["HLOCAL"] += winsim::kernel32::live_local_blocks();
  live["HSTRING"] += winsim::combase::live_hstrings();
  std::erase_if(live, [](const auto& entry) { return entry.second == 0; });
  return live;
}

// A monitor or window of the desktop (the desktop window included).
bool is_target(uintptr_t handle) {
  Desktop& desktop = Desktop::instance();
  return desktop.monitor(from_integer<HMONITOR>(handle)).has_value() ||
         desktop.window(from_integer<HWND>(handle)).has_value();
}

constexpr UINT kDefaultRowPitchAlignment = 256;

}  // namespace

void winsim_reset(void) try {
  // Frames being delivered finish first; captures still running get no
  // frames from the emptied desktop.
  winsim::capture::wait_for_deliveries();
  const bool delivering = winsim::capture::set_automatic_delivery(true);
  winsim::desktop::clear_content();
  winsim::d3d11::set_row_pitch_alignment(kDefaultRowPitchAlignment);
  winsim::d3d11::set_row_pitch(0);
  Desktop::instance().reset();
  winsim::faults::reset_operations();
  winsim::faults::clear_misuse();
  winsim::oleaut32::clear_error_info();
  winsim::user32::set_text_length_overreport(0);
  winsim::desktop::clear_pointers();
  winsim::capture::set_session_interfaces(true, true);
  winsim::kernel32::set_dpi_awareness_exports(true);
  winsim::user32::set_thread_context(DPI_AWARENESS_CONTEXT_UNAWARE);
  winsim::capture::set_border_access(winsim::capture::BorderAccess::kNotRegistered);
  if (!delivering) winsim::entry::record_control_failure(WINSIM_OUT_OF_MEMORY);
} catch (...) {
  winsim::entry::failed_control_call();
}

uintptr_t winsim_add_monitor(uint32_t width, uint32_t height, uint32_t refresh_rate,
                             const char16_t* device_name, size_t device_name_len,
                             const char16_t* device_string, size_t device_string_len) try {
  // Only the units that fit are read.
  const size_t name_units = std::min(device_name_len, winsim::desktop::kDeviceNameUnits);
  const size_t string_units = std::min(device_string_len, winsim::desktop::kDeviceStringUnits);
  return to_integer(Desktop::instance().add_monitor(
      width, height, refresh_rate, optional_text(device_name, name_units),
      optional_text(device_string, string_units).value_or(std::u16string())));
} catch (...) {
  return winsim::entry::failed_control_call(uintptr_t{0});
}

// A target that goes raises Closed on its capture items once it has gone.
int closing(bool gone, uintptr_t target) {
  if (!gone) return WINSIM_UNKNOWN_HANDLE;
  if (!winsim::capture::raise_closed(target)) {
    winsim::entry::record_control_failure(WINSIM_OUT_OF_MEMORY);
  }
  return WINSIM_OK;
}

int winsim_remove_monitor(uintptr_t monitor) try {
  return closing(Desktop::instance().remove_monitor(from_integer<HMONITOR>(monitor)), monitor);
} catch (...) {
  return winsim::entry::failed_control_call();
}

uintptr_t winsim_add_window(const char16_t* title, size_t title_len, uint32_t width,
                            uint32_t height, int visible, uint32_t style, uint32_t ex_style,
                            int own_process, uintptr_t parent) try {
  winsim::desktop::NewWindow setup;
  setup.title = optional_text(title, title_len).value_or(std::u16string());
  setup.width = static_cast<LONG>(width);
  setup.height = static_cast<LONG>(height);
  setup.visible = visible != 0;
  setup.style = style;
  setup.ex_style = ex_style;
  setup.own_process = own_process != 0;
  setup.parent = from_integer<HWND>(parent);
  return to_integer(Desktop::instance().add_window(std::move(setup)));
} catch (...) {
  return winsim::entry::failed_control_call(uintptr_t{0});
}

int winsim_destroy_window(uintptr_t window) try {
  return closing(Desktop::instance().destroy_window(from_integer<HWND>(window)), window);
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_resize_window(uintptr_t window, uint32_t width, uint32_t height) try {
  return status(Desktop::instance().resize_window(
      from_integer<HWND>(window), static_cast<LONG>(width), static_cast<LONG>(height)));
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_foreground(uintptr_t window) try {
  const HWND handle = from_integer<HWND>(window);
  if (Desktop::instance().set_foreground(handle)) {
    return WINSIM_OK;
  }
  const std::optional<winsim::desktop::Window> record = Desktop::instance().window(handle);
  return record && record->parent != nullptr ? WINSIM_NOT_TOP_LEVEL : WINSIM_UNKNOWN_HANDLE;
} catch (...) {
  return winsim::entry::failed_control_call();
}

void winsim_set_text_length_overreport(int32_t extra) try {
  winsim::user32::set_text_length_overreport(std::max<int32_t>(extra, 0));
} catch (...) {
  winsim::entry::failed_control_call();
}

int winsim_fail(const char* operation, uint32_t code, uint32_t times, uint32_t after,
                int null_object, const char16_t* description, size_t description_len,
                const char16_t* restricted, size_t restricted_len, int has_restricted) try {
  if (operation == nullptr) {
    return WINSIM_UNKNOWN_OPERATION;
  }
  winsim::faults::Fault fault;
  fault.code = code;
  fault.null = null_object != 0;
  fault.description = optional_text(description, description_len);
  if (has_restricted != 0) {
    fault.restricted_description = optional_text(restricted, restricted_len).value_or(u"");
  }
  using winsim::faults::FaultStatus;
  switch (winsim::faults::arm_fault(operation, fault, times, after)) {
    case FaultStatus::kArmed:
      return WINSIM_OK;
    case FaultStatus::kUnknownOperation:
      return WINSIM_UNKNOWN_OPERATION;
    case FaultStatus::kCannotFail:
      return WINSIM_OPERATION_CANNOT_FAIL;
    case FaultStatus::kNullNotApplicable:
      return WINSIM_NULL_NOT_APPLICABLE;
    case FaultStatus::kDescriptionNotApplicable:
      return WINSIM_DESCRIPTION_NOT_APPLICABLE;
  }
  return WINSIM_UNKNOWN_OPERATION;
} catch (...) {
  return winsim::entry::failed_control_call();
}

int64_t winsim_calls(const char* operation) try {
  if (operation == nullptr) {
    return -1;
  }
  const auto count = winsim::faults::call_count(operation);
  return count ? static_cast<int64_t>(*count) : -1;
} catch (...) {
  return winsim::entry::failed_control_call(int64_t{-1});
}

size_t winsim_live_objects(char* buffer, size_t size) try {
  std::string text;
  for (const auto& [name, count] : live_counts()) {
    text += name + "\t" + std::to_string(count) + "\n";
  }
  return write_text(text, buffer, size);
} catch (...) {
  return winsim::entry::failed_control_call(size_t{0});
}

int64_t winsim_live_object_total(void) try {
  int64_t total = 0;
  for (const auto& [name, count] : live_counts()) {
    total += count;
  }
  return total;
} catch (...) {
  return winsim::entry::failed_control_call(int64_t{-1});
}

size_t winsim_errors(char* buffer, size_t size) try {
  std::string text;
  for (const std::string& entry : winsim::faults::misuse_entries()) {
    text += entry + "\n";
  }
  return write_text(text, buffer, size);
} catch (...) {
  return winsim::entry::failed_control_call(size_t{0});
}

void winsim_set_error_info(const char16_t* description, size_t description_len,
                           const char16_t* restricted, size_t restricted_len,
                           int has_restricted) try {
  std::optional<std::u16string> restricted_description;
  if (has_restricted != 0) {
    restricted_description = optional_text(restricted, restricted_len).value_or(u"");
  }
  winsim::oleaut32::originate_error(E_FAIL, optional_text(description, description_len),
                                    restricted_description);
} catch (...) {
  winsim::entry::failed_control_call();
}

void winsim_set_frame_delivery(int automatic) try {
  if (!winsim::capture::set_automatic_delivery(automatic != 0)) {
    winsim::entry::record_control_failure(WINSIM_OUT_OF_MEMORY);
  }
} catch (...) {
  winsim::entry::failed_control_call();
}

int winsim_present(uintptr_t target, uint32_t count) try {
  if (!is_target(target)) {
    return WINSIM_UNKNOWN_HANDLE;
  }
  if (!winsim::capture::present(target, count)) {
    winsim::entry::record_control_failure(WINSIM_OUT_OF_MEMORY);
    return WINSIM_OUT_OF_MEMORY;
  }
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_content(uintptr_t target, const uint8_t* rgba, uint32_t width, uint32_t height) try {
  if (!is_target(target)) {
    return WINSIM_UNKNOWN_HANDLE;
  }
  if (rgba == nullptr && width != 0 && height != 0) {
    return WINSIM_INVALID_ARGUMENT;
  }
  static const uint8_t kNothing[4] = {};
  winsim::desktop::set_content(target, width, height, rgba != nullptr ? rgba : kNothing);
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_row_pitch_alignment(uint32_t alignment) try {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
    return WINSIM_INVALID_ARGUMENT;
  }
  winsim::d3d11::set_row_pitch_alignment(alignment);
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}

void winsim_set_row_pitch(uint32_t pitch) try { winsim::d3d11::set_row_pitch(pitch); } catch (...) {
  winsim::entry::failed_control_call();
}

int winsim_set_pointer(uintptr_t target, int shown, int32_t x, int32_t y) try {
  if (!is_target(target)) {
    return WINSIM_UNKNOWN_HANDLE;
  }
  std::optional<winsim::desktop::PointerSpot> spot;
  if (shown != 0) spot = winsim::desktop::PointerSpot{x, y};
  winsim::desktop::set_pointer(target, spot);
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}

void winsim_set_session_interfaces(int cursor_switch, int border_switch) try {
  winsim::capture::set_session_interfaces(cursor_switch != 0, border_switch != 0);
} catch (...) {
  winsim::entry::failed_control_call();
}

int winsim_set_border_access(int access) try {
  using winsim::capture::BorderAccess;
  switch (access) {
    case WINSIM_BORDER_ACCESS_NOT_REGISTERED:
      winsim::capture::set_border_access(BorderAccess::kNotRegistered);
      return WINSIM_OK;
    case WINSIM_BORDER_ACCESS_ALLOWED:
      winsim::capture::set_border_access(BorderAccess::kAllowed);
      return WINSIM_OK;
    case WINSIM_BORDER_ACCESS_DENIED:
      winsim::capture::set_border_access(BorderAccess::kDenied);
      return WINSIM_OK;
    case WINSIM_BORDER_ACCESS_PROMPT_TIMEOUT:
      winsim::capture::set_border_access(BorderAccess::kPromptTimeout);
      return WINSIM_OK;
    default:
      return WINSIM_INVALID_ARGUMENT;
  }
} catch (...) {
  return winsim::entry::failed_control_call();
}

void winsim_remove_device(void) try { winsim::capture::remove_capture_devices(); } catch (...) {
  winsim::entry::failed_control_call();
}

size_t winsim_capture_sessions(uintptr_t target, char* buffer, size_t size) try {
  std::string text;
  for (const auto& session : winsim::capture::open_sessions(target)) {
    text += std::string(session.cursor ? "1" : "0") + "\t" + (session.border ? "1" : "0") + "\n";
  }
  return write_text(text, buffer, size);
} catch (...) {
  return winsim::entry::failed_control_call(size_t{0});
}

int winsim_pause(const char* operation, int paused) try {
  if (operation == nullptr || !winsim::faults::set_paused(operation, paused != 0)) {
    return WINSIM_UNKNOWN_OPERATION;
  }
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_wait_paused(const char* operation, uint32_t timeout_ms) try {
  if (operation == nullptr) return 0;
  return winsim::faults::wait_until_paused_call(operation, timeout_ms) ? 1 : 0;
} catch (...) {
  return winsim::entry::failed_control_call(0);
}

int winsim_take_failure(void) try { return winsim::entry::take_control_failure(); } catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_monitor_geometry(uintptr_t monitor, int has_position, int32_t x, int32_t y,
                                uint32_t dpi, uint32_t orientation, int has_work_area,
                                int32_t work_left, int32_t work_top, int32_t work_right,
                                int32_t work_bottom) try {
  if (dpi < winsim::desktop::kDefaultDpi || orientation > DMDO_270) {
    return WINSIM_INVALID_ARGUMENT;
  }
  winsim::desktop::MonitorGeometry geometry;
  if (has_position != 0) geometry.position = POINT{x, y};
  geometry.dpi = dpi;
  geometry.orientation = orientation;
  if (has_work_area != 0) geometry.work_area = RECT{work_left, work_top, work_right, work_bottom};
  return status(
      Desktop::instance().set_monitor_geometry(from_integer<HMONITOR>(monitor), geometry));
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_move_window(uintptr_t window, int32_t x, int32_t y) try {
  return status(Desktop::instance().move_window(from_integer<HWND>(window), x, y));
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_minimized(uintptr_t window, int minimized) try {
  return status(Desktop::instance().set_minimized(from_integer<HWND>(window), minimized != 0));
} catch (...) {
  return winsim::entry::failed_control_call();
}

int winsim_set_window_class(uintptr_t window, const char16_t* class_name,
                            size_t class_name_len) try {
  constexpr size_t kClassNameUnits = 256;
  std::u16string name = std::u16string(winsim::up_to_terminator(winsim::copy_units(
      class_name, class_name == nullptr ? 0 : std::min(class_name_len, kClassNameUnits))));
  return status(Desktop::instance().set_class_name(from_integer<HWND>(window), std::move(name)));
} catch (...) {
  return winsim::entry::failed_control_call();
}

void winsim_set_dpi_awareness_exports(int offered) try {
  winsim::kernel32::set_dpi_awareness_exports(offered != 0);
} catch (...) {
  winsim::entry::failed_control_call();
}

intptr_t winsim_thread_dpi_awareness(void) try {
  return reinterpret_cast<intptr_t>(winsim::user32::thread_context());
} catch (...) {
  return winsim::entry::failed_control_call(intptr_t{0});
}

int winsim_set_thread_dpi_awareness(intptr_t context) try {
  if (context > -1 || context < -5) {
    return WINSIM_INVALID_ARGUMENT;
  }
  winsim::user32::set_thread_context(reinterpret_cast<DPI_AWARENESS_CONTEXT>(context));
  return WINSIM_OK;
} catch (...) {
  return winsim::entry::failed_control_call();
}
