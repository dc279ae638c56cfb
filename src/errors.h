// The error families of the module: every fallible operation returns its value
// or one of these. Only the binding layer turns them into Python exceptions.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/windows/api_error.h"

// Why a decimal text could not be read as an unsigned 64-bit integer.
enum class IntParseFailure { Empty, InvalidDigit, PosOverflow };

const char* int_parse_failure_text(IntParseFailure failure);

struct MonitorError {
  enum class Kind {
    NotFound,
    IndexLowerThanOne,
    GetInfoFailed,
    GetSettingsFailed,
    GetNameFailed,
    ParseIndex,
    WindowsError,
  };
  Kind kind;
  IntParseFailure parse_failure = IntParseFailure::Empty;  // ParseIndex
  WindowsApiError api;                                     // WindowsError

  static MonitorError of(Kind kind) { return {kind, IntParseFailure::Empty, {}}; }
  static MonitorError parse_index(IntParseFailure failure) {
    return {Kind::ParseIndex, failure, {}};
  }
  static MonitorError windows(WindowsApiError api) {
    return {Kind::WindowsError, IntParseFailure::Empty, std::move(api)};
  }
};

struct WindowError {
  enum class Kind { NoActiveWindow, NotFound, WindowsError };
  Kind kind;
  std::string name;     // NotFound: the name that was searched for
  WindowsApiError api;  // WindowsError

  static WindowError of(Kind kind) { return {kind, {}, {}}; }
  static WindowError not_found(std::string name) { return {Kind::NotFound, std::move(name), {}}; }
  static WindowError windows(WindowsApiError api) {
    return {Kind::WindowsError, {}, std::move(api)};
  }
};

// A ready Python exception, built on the Python side of the module and carried
// through the capture path unchanged. It is opaque here: the binding layer
// supplies the function that drops the reference.
class CarriedException {
 public:
  using Release = void (*)(void*);

  CarriedException() = default;
  CarriedException(void* exception, Release release) : exception_(exception), release_(release) {}
  CarriedException(const CarriedException&) = delete;
  CarriedException& operator=(const CarriedException&) = delete;
  CarriedException(CarriedException&& other) noexcept
      : exception_(std::exchange(other.exception_, nullptr)), release_(other.release_) {}
  CarriedException& operator=(CarriedException&& other) noexcept {
    if (this != &other) {
      reset();
      exception_ = std::exchange(other.exception_, nullptr);
      release_ = other.release_;
    }
    return *this;
  }
  ~CarriedException() { reset(); }

  // Hands the owned reference to the caller.
  void* take() { return std::exchange(exception_, nullptr); }

 private:
  void reset() {
    if (void* exception = std::exchange(exception_, nullptr)) release_(exception);
  }

  void* exception_ = nullptr;
  Release release_ = nullptr;
};

struct CaptureError {
  enum class Kind {
    NoFrameYet,
    FirstFrameTimeout,
    NotRunning,
    InvalidTarget,
    CreateDeviceFailed,
    CreateStagingTextureFailed,
    NotContiguous,
    Python,
    WindowsError,
    Monitor,
    Window,
  };
  Kind kind;
  WindowsApiError api;                  // WindowsError
  std::optional<MonitorError> monitor;  // Monitor
  std::optional<WindowError> window;    // Window
  CarriedException python;              // Python

  static CaptureError of(Kind kind) { return {kind, {}, {}, {}, {}}; }
  static CaptureError windows(WindowsApiError api) {
    return {Kind::WindowsError, std::move(api), {}, {}, {}};
  }
  static CaptureError from(MonitorError error) {
    return {Kind::Monitor, {}, std::move(error), {}, {}};
  }
  static CaptureError from(WindowError error) {
    return {Kind::Window, {}, {}, std::move(error), {}};
  }
  static CaptureError carrying(CarriedException exception) {
    return {Kind::Python, {}, {}, {}, std::move(exception)};
  }
};

// The message text of an error. For CaptureError::Python there is none: the
// carried exception speaks for itself.
std::string error_message(const MonitorError& error);
std::string error_message(const WindowError& error);
std::string error_message(const CaptureError& error);
