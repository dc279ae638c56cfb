#include "errors.h"

#include "platform/windows/capture.h"

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

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
  using E = MonitorError;
  return std::visit(
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
      error.value);
}

std::string error_message(const WindowError& error) {
  using E = WindowError;
  return std::visit(
      Overloaded{
          [](const E::NoActiveWindow&) -> std::string { return "No active window found"; },
          [](const E::NotFound& missing) {
            return "Failed to find window with name '" + missing.name + "'";
          },
          [](const E::WindowsError& windows) { return windows_api_message(windows.api); },
      },
      error.value);
}

std::string error_message(const CaptureError& error) {
  using E = CaptureError;
  return std::visit(
      Overloaded{
          [](const E::NoFrameYet&) -> std::string { return "No frame available yet"; },
          [](const E::FirstFrameTimeout&) {
            return "No frame arrived within " + std::to_string(FIRST_FRAME_TIMEOUT.count()) + "s";
          },
          [](const E::NotRunning&) -> std::string { return "Capture is not running"; },
          [](const E::InvalidTarget&) -> std::string { return "Invalid capture target"; },
          [](const E::CreateDeviceFailed&) -> std::string {
            return "Failed to create a DirectX device";
          },
          [](const E::CreateStagingTextureFailed&) -> std::string {
            return "Failed to create a staging texture";
          },
          [](const E::NotContiguous&) -> std::string {
            return "Frame buffer is not contiguous: The given array is not contiguous or is "
                   "misaligned.";
          },
          [](const E::Python&) { return std::string(); },
          [](const E::WindowsError& windows) { return windows_api_message(windows.api); },
          [](const E::Monitor& monitor) { return error_message(monitor.error); },
          [](const E::Window& window) { return error_message(window.error); },
      },
      error.value);
}
