#include "errors.h"

#include <cstdio>
#include <iterator>

#include "pixel_layout.h"

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

std::string windows_api_message(const WindowsApiError& api) {
  return "Windows API error: " + windows_error_text(api);
}

ErrorDescription runtime_error(std::string message) {
  return {PythonException::RuntimeError, std::move(message)};
}

ErrorDescription value_error(std::string message) {
  return {PythonException::ValueError, std::move(message)};
}

ErrorDescription type_error(std::string message) {
  return {PythonException::TypeError, std::move(message)};
}

// "[1080, 1920, 4]"
std::string dims_text(const std::vector<std::int64_t>& dims) {
  std::string text = "[";
  for (std::size_t axis = 0; axis < dims.size(); ++axis) {
    if (axis > 0) text += ", ";
    text += std::to_string(dims[axis]);
  }
  return text + "]";
}

}  // namespace

const char* int_parse_failure_text(IntParseFailure failure) {
  switch (failure) {
    case IntParseFailure::Empty:
      return "cannot parse integer from empty string";
    case IntParseFailure::InvalidDigit:
      return "invalid digit found in string";
    case IntParseFailure::PosOverflow:
      return "number too large to fit in target type";
  }
  return "";
}

std::string not_an_instance_text(const std::string& type_name, const std::string& target) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "'" + std::string&&.
  std::string text(1, '\'');
  text += type_name;
  text += "' object is not an instance of '";
  text += target;
  text += '\'';
  return text;
}

// Every monitor error is a RuntimeError.
ErrorDescription describe(const MonitorError& error) {
  using E = MonitorError;
  return runtime_error(std::visit(
      Overloaded{
          [](const E::NotFound&) -> std::string { return "Failed to find monitor"; },
          [](const E::IndexLowerThanOne&) -> std::string {
            return "Monitor index is lower than one";
          },
          [](const E::GetInfoFailed&) -> std::string { return "Failed to get monitor info"; },
          [](const E::GetSettingsFailed&) -> std::string {
            return "Failed to get monitor settings";
          },
          [](const E::GetNameFailed&) -> std::string { return "Failed to get monitor name"; },
          [](const E::ParseIndex& parse) -> std::string {
            return std::string("Failed to parse monitor index: ") +
                   int_parse_failure_text(parse.failure);
          },
          [](const E::WindowsError& windows) { return windows_api_message(windows.api); },
      },
      error.value));
}

// Every window error is a RuntimeError.
ErrorDescription describe(const WindowError& error) {
  using E = WindowError;
  return runtime_error(std::visit(
      Overloaded{
          [](const E::NoActiveWindow&) -> std::string { return "No active window found"; },
          [](const E::NotFound& missing) {
            return "Failed to find window with name '" + missing.name + "'";
          },
          [](const E::WindowsError& windows) { return windows_api_message(windows.api); },
          [](const E::Gone&) -> std::string { return "The window no longer exists"; },
          [](const E::NoMonitor&) -> std::string { return "No monitor found for the window"; },
      },
      error.value));
}

namespace {

// The status part of the border-consent error: the access status by its
// metadata name, or how the request ended without one.
std::string border_access_status_text(const CaptureError::BorderNotAllowed& refused) {
  using Outcome = CaptureError::BorderNotAllowed::Outcome;
  switch (refused.outcome) {
    case Outcome::Answered:
      break;
    case Outcome::Canceled:
      return "Canceled";
    case Outcome::Failed: {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(refused.value));
      return std::string("Error ") + code;
    }
    case Outcome::NoAnswer:
      return "no answer within " + std::to_string(BORDER_ACCESS_TIMEOUT.count()) + "s";
  }
  static constexpr const char* kStatuses[] = {"DeniedBySystem", "NotDeclaredByApp", "DeniedByUser",
                                              "UserPromptRequired", "Allowed"};
  if (refused.value >= 0 && refused.value < static_cast<std::int32_t>(std::size(kStatuses))) {
    return kStatuses[refused.value];
  }
  return "status " + std::to_string(refused.value);
}

}  // namespace

ErrorDescription describe(const CaptureError& error) {
  using E = CaptureError;
  return std::visit(
      Overloaded{
          [](const E::NoFrameYet&) { return runtime_error("No frame available yet"); },
          [](const E::FirstFrameTimeout&) {
            return runtime_error("No frame arrived within " +
                                 std::to_string(FIRST_FRAME_TIMEOUT.count()) + "s");
          },
          [](const E::NotRunning&) { return runtime_error("Capture is not running"); },
          [](const E::InvalidTarget&) { return runtime_error("Invalid capture target"); },
          [](const E::CreateDeviceFailed&) {
            return runtime_error("Failed to create a DirectX device");
          },
          [](const E::CreateStagingTextureFailed&) {
            return runtime_error("Failed to create a staging texture");
          },
          [](const E::OutWrongType& wrong) {
            return type_error(not_an_instance_text(wrong.type_name, wrong.target));
          },
          [](const E::OutWrongShape& wrong) {
            return value_error("out has shape " + dims_text(wrong.shape) + ", expected " +
                               dims_text(wrong.expected));
          },
          [](const E::NotContiguous&) {
            return value_error(
                "Frame buffer is not contiguous: The given array is not contiguous or is "
                "misaligned.");
          },
          [](const E::ReadOnly&) {
            return value_error("Frame buffer is read-only: The given array is not writeable.");
          },
          [](const E::Python&) { return runtime_error(""); },
          [](const E::WindowsError& windows) {
            return runtime_error(windows_api_message(windows.api));
          },
          [](const E::Monitor& monitor) { return describe(monitor.error); },
          [](const E::Window& window) { return describe(window.error); },
          [](const E::RegionOutsideFrame& outside) {
            const FrameRectangle& r = outside.region;
            return value_error(
                "Region (left=" + std::to_string(r.left) + ", top=" + std::to_string(r.top) +
                ", width=" + std::to_string(r.width) + ", height=" + std::to_string(r.height) +
                ") does not lie inside the frame (width=" + std::to_string(outside.content_width) +
                ", height=" + std::to_string(outside.content_height) + ")");
          },
          [](const E::InvalidTimeout&) {
            return value_error("Timeout must be a finite number of seconds, not negative");
          },
          [](const E::SwitchUnavailable& unavailable) {
            switch (unavailable.which) {
              case SessionSwitch::Cursor:
                return runtime_error(
                    "Hiding the mouse pointer needs Windows 10 version 2004 or later");
              case SessionSwitch::Border:
                break;
              case SessionSwitch::UpdateInterval:
                return runtime_error(
                    "Setting the minimum update interval needs Windows 11 version 24H2 or later");
              case SessionSwitch::SecondaryWindows:
                return runtime_error(
                    "Including pop-up windows needs Windows 11 version 24H2 or later");
            }
            return runtime_error(
                "Hiding the capture border needs Windows 11 (or Windows Server 2022) or later");
          },
          [](const E::BorderNotAllowed& refused) {
            return runtime_error("Windows did not allow a capture without the border (" +
                                 border_access_status_text(refused) + ")");
          },
          [](const E::InvalidUpdateInterval&) {
            return value_error(
                "Minimum update interval must be None or a finite number of seconds from 0 to "
                "3600");
          },
          [](const E::UnknownPixelLayout&) {
            std::string names;
            for (PixelLayout layout : PIXEL_LAYOUTS) {
              names += names.empty() ? "'" : layout == PixelLayout::GRAY ? " or '" : ", '";
              names += pixel_layout_name(layout);
              names += "'";
            }
            return value_error("Pixel layout must be one of " + names);
          },
      },
      error.value);
}
