#include "errors.h"

#include "platform/windows/capture.h"

namespace {

std::string windows_api_message(const WindowsApiError& api) {
  return "Windows API error: " + windows_error_text(api);
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

std::string error_message(const MonitorError& error) {
  using Kind = MonitorError::Kind;
  switch (error.kind) {
    case Kind::NotFound:
      return "Failed to find monitor";
    case Kind::IndexLowerThanOne:
      return "Monitor index is lower than one";
    case Kind::GetInfoFailed:
      return "Failed to get monitor info";
    case Kind::GetSettingsFailed:
      return "Failed to get monitor settings";
    case Kind::GetNameFailed:
      return "Failed to get monitor name";
    case Kind::ParseIndex:
      return std::string("Failed to parse monitor index: ") +
             int_parse_failure_text(error.parse_failure);
    case Kind::WindowsError:
      return windows_api_message(error.api);
  }
  return {};
}

std::string error_message(const WindowError& error) {
  using Kind = WindowError::Kind;
  switch (error.kind) {
    case Kind::NoActiveWindow:
      return "No active window found";
    case Kind::NotFound:
      return "Failed to find window with name '" + error.name + "'";
    case Kind::WindowsError:
      return windows_api_message(error.api);
  }
  return {};
}

std::string error_message(const CaptureError& error) {
  using Kind = CaptureError::Kind;
  switch (error.kind) {
    case Kind::NoFrameYet:
      return "No frame available yet";
    case Kind::FirstFrameTimeout:
      return "No frame arrived within " + std::to_string(FIRST_FRAME_TIMEOUT.count()) + "s";
    case Kind::NotRunning:
      return "Capture is not running";
    case Kind::InvalidTarget:
      return "Invalid capture target";
    case Kind::CreateDeviceFailed:
      return "Failed to create a DirectX device";
    case Kind::CreateStagingTextureFailed:
      return "Failed to create a staging texture";
    case Kind::NotContiguous:
      return "Frame buffer is not contiguous: The given array is not contiguous or is misaligned.";
    case Kind::Python:
      return {};
    case Kind::WindowsError:
      return windows_api_message(error.api);
    case Kind::Monitor:
      return error.monitor ? error_message(*error.monitor) : std::string();
    case Kind::Window:
      return error.window ? error_message(*error.window) : std::string();
  }
  return {};
}
