// The error families of the module: every fallible operation returns its value
// or one of these. Only the binding layer turns them into Python exceptions.
//
// Each family is a variant with one alternative per case, in the order of its
// Kind enumeration, so a payload exists exactly where its case needs one.
// Build values with the factory functions and read the case with kind().
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "internal_fault.h"

// Longest wait of `Capture::start` for the first frame; its error text names it.
inline constexpr std::chrono::seconds FIRST_FRAME_TIMEOUT{5};

// Longest wait for Windows' answer to a request for captures without the
// border; its error text names it.
inline constexpr std::chrono::seconds BORDER_ACCESS_TIMEOUT{5};

struct IErrorInfo;

// One owned reference to a thread's error information, opaque here so that
// error values travel through code that knows no Windows types. The platform
// code (platform/windows/api_error.cpp) makes, reads and releases it.
class ErrorInfo {
 public:
  ErrorInfo() = default;
  explicit ErrorInfo(IErrorInfo* owned) : info_(owned) {}
  ErrorInfo(const ErrorInfo&) = delete;
  ErrorInfo& operator=(const ErrorInfo&) = delete;
  ErrorInfo(ErrorInfo&& other) noexcept : info_(std::exchange(other.info_, nullptr)) {}
  ErrorInfo& operator=(ErrorInfo&& other) noexcept;
  ~ErrorInfo();

  IErrorInfo* get() const { return info_; }
  explicit operator bool() const { return info_ != nullptr; }

 private:
  IErrorInfo* info_ = nullptr;
};

// The record of one failed Windows call: its result code (an HRESULT) and the
// thread's error information at the moment of failure, if any.
struct WindowsApiError {
  std::int32_t code = 0;
  ErrorInfo info;
};

// "<message> (0xXXXXXXXX)", or the code alone when no message is available:
// the message of the error information, else the system's text for the code.
std::string windows_error_text(const WindowsApiError& error);

// Why a decimal text could not be read as an unsigned 64-bit integer.
enum class IntParseFailure { Empty, InvalidDigit, PosOverflow };

const char* int_parse_failure_text(IntParseFailure failure);

namespace error_detail {

// The alternative of `Variant` at the position of `kind`, default-built; a
// kind whose alternative carries a payload has its own factory instead.
template <class Variant, std::size_t I = 0, class Kind>
Variant payloadless(Kind kind) {
  if constexpr (I == std::variant_size_v<Variant>) {
    internal_fault("an error kind that needs a payload was built without one");
  } else {
    using Alternative = std::variant_alternative_t<I, Variant>;
    if (static_cast<std::size_t>(kind) == I) {
      if constexpr (std::is_empty_v<Alternative>) return Variant(std::in_place_index<I>);
    }
    return payloadless<Variant, I + 1>(kind);
  }
}

}  // namespace error_detail

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
  struct NotFound {};
  struct IndexLowerThanOne {};
  struct GetInfoFailed {};
  struct GetSettingsFailed {};
  struct GetNameFailed {};
  struct ParseIndex {
    IntParseFailure failure;
  };
  struct WindowsError {
    WindowsApiError api;
  };
  using Value = std::variant<NotFound, IndexLowerThanOne, GetInfoFailed, GetSettingsFailed,
                             GetNameFailed, ParseIndex, WindowsError>;
  static_assert(std::variant_size_v<Value> == static_cast<std::size_t>(Kind::WindowsError) + 1);

  Value value;

  Kind kind() const { return static_cast<Kind>(value.index()); }

  static MonitorError of(Kind kind) { return {error_detail::payloadless<Value>(kind)}; }
  static MonitorError parse_index(IntParseFailure failure) { return {ParseIndex{failure}}; }
  static MonitorError windows(WindowsApiError api) { return {WindowsError{std::move(api)}}; }
};

struct WindowError {
  enum class Kind { NoActiveWindow, NotFound, WindowsError, Gone, NoMonitor };
  struct NoActiveWindow {};
  struct NotFound {
    std::string name;  // the name that was searched for
  };
  struct WindowsError {
    WindowsApiError api;
  };
  // The handle names no window any more (the window was closed).
  struct Gone {};
  // The system has no monitor to give for the window.
  struct NoMonitor {};
  using Value = std::variant<NoActiveWindow, NotFound, WindowsError, Gone, NoMonitor>;
  static_assert(std::variant_size_v<Value> == static_cast<std::size_t>(Kind::NoMonitor) + 1);

  Value value;

  Kind kind() const { return static_cast<Kind>(value.index()); }

  static WindowError of(Kind kind) { return {error_detail::payloadless<Value>(kind)}; }
  static WindowError not_found(std::string name) { return {NotFound{std::move(name)}}; }
  static WindowError windows(WindowsApiError api) { return {WindowsError{std::move(api)}}; }
};

// A Python exception that is not the module's own, carried through the
// capture path unchanged: one raised by the caller's code while an operation
// ran (an `__index__`, a `__len__`) or by the interpreter itself. It is the
// one path of an error value that holds a Python object; every refusal of the
// module's own is a case with its data, whose text and exception class
// describe() gives. It is opaque here: the binding layer makes it
// (binding/results.h) and supplies the function that drops the reference,
// and that function takes the interpreter lock itself, so a carried exception
// may be dropped on any thread.
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

// A rectangle of a frame as a caller asked for it, in frame coordinates: the
// column and row of its top-left pixel (0, 0 is the content's top-left) and
// its size. Signed, so that a rectangle with a negative part can be reported
// as it was given.
struct FrameRectangle {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// The settings of a capture session that newer Windows versions offer.
enum class SessionSwitch {
  Cursor,            // the mouse pointer drawn into the frames
  Border,            // the border Windows draws around the captured target
  UpdateInterval,    // the shortest time between two frames
  SecondaryWindows,  // the target's pop-up windows drawn into its frames
};

struct CaptureError {
  enum class Kind {
    NoFrameYet,
    FirstFrameTimeout,
    NotRunning,
    InvalidTarget,
    CreateDeviceFailed,
    CreateStagingTextureFailed,
    OutWrongType,
    OutWrongShape,
    NotContiguous,
    ReadOnly,
    Python,
    WindowsError,
    Monitor,
    Window,
    RegionOutsideFrame,
    InvalidTimeout,
    SwitchUnavailable,
    BorderNotAllowed,
    InvalidUpdateInterval,
    UnknownPixelLayout,
  };
  struct NoFrameYet {};
  struct FirstFrameTimeout {};
  struct NotRunning {};
  struct InvalidTarget {};
  struct CreateDeviceFailed {};
  struct CreateStagingTextureFailed {};
  // `out` is not an array the frame can be written into (another type, or an
  // array of another element type or number of dimensions).
  struct OutWrongType {
    std::string type_name;  // the qualified name of the object's type
    std::string target;     // the name of the array type expected
  };
  // `out` is an array of another shape than the frame's; both shapes are
  // lists of dimensions of any length.
  struct OutWrongShape {
    std::vector<std::int64_t> shape;
    std::vector<std::int64_t> expected;
  };
  struct NotContiguous {};
  struct ReadOnly {};
  struct Python {
    CarriedException exception;
  };
  struct WindowsError {
    WindowsApiError api;
  };
  struct Monitor {
    MonitorError error;
  };
  struct Window {
    WindowError error;
  };
  // A rectangle that does not lie inside the frame's content of that size.
  struct RegionOutsideFrame {
    FrameRectangle region;
    std::uint32_t content_width;
    std::uint32_t content_height;
  };
  struct InvalidTimeout {};
  // This Windows lacks the session interface that carries the switch.
  struct SwitchUnavailable {
    SessionSwitch which;
  };
  // Windows did not allow captures without the border: how the request for
  // it ended. `value` is the access status Windows answered (Answered) or the
  // operation's error code (Failed).
  struct BorderNotAllowed {
    enum class Outcome { Answered, Canceled, Failed, NoAnswer };
    Outcome outcome;
    std::int32_t value;
  };
  struct InvalidUpdateInterval {};
  // A pixel layout named by none of the layouts' names.
  struct UnknownPixelLayout {};
  using Value =
      std::variant<NoFrameYet, FirstFrameTimeout, NotRunning, InvalidTarget, CreateDeviceFailed,
                   CreateStagingTextureFailed, OutWrongType, OutWrongShape, NotContiguous, ReadOnly,
                   Python, WindowsError, Monitor, Window, RegionOutsideFrame, InvalidTimeout,
                   SwitchUnavailable, BorderNotAllowed, InvalidUpdateInterval, UnknownPixelLayout>;
  static_assert(std::variant_size_v<Value> ==
                static_cast<std::size_t>(Kind::UnknownPixelLayout) + 1);

  Value value;

  Kind kind() const { return static_cast<Kind>(value.index()); }

  static CaptureError of(Kind kind) { return {error_detail::payloadless<Value>(kind)}; }
  static CaptureError windows(WindowsApiError api) { return {WindowsError{std::move(api)}}; }
  static CaptureError from(MonitorError error) { return {Monitor{std::move(error)}}; }
  static CaptureError from(WindowError error) { return {Window{std::move(error)}}; }
  static CaptureError out_wrong_type(std::string type_name, std::string target) {
    return {OutWrongType{std::move(type_name), std::move(target)}};
  }
  static CaptureError out_wrong_shape(std::vector<std::int64_t> shape,
                                      std::vector<std::int64_t> expected) {
    return {OutWrongShape{std::move(shape), std::move(expected)}};
  }
  static CaptureError carrying(CarriedException exception) {
    return {Python{std::move(exception)}};
  }
  static CaptureError region_outside(FrameRectangle region, std::uint32_t content_width,
                                     std::uint32_t content_height) {
    return {RegionOutsideFrame{region, content_width, content_height}};
  }
  static CaptureError switch_unavailable(SessionSwitch which) { return {SwitchUnavailable{which}}; }
  static CaptureError border_not_allowed(BorderNotAllowed::Outcome outcome, std::int32_t value) {
    return {BorderNotAllowed{outcome, value}};
  }
};

// The built-in Python exception an error is raised as. It is chosen here, next
// to the error's text; the binding layer only maps the name to the class.
enum class PythonException { RuntimeError, ValueError, TypeError };

struct ErrorDescription {
  PythonException exception;
  std::string message;
};

// The message text of an error and the exception it becomes: the one table of
// every error text. For CaptureError::Python there is no text: the carried
// exception speaks for itself.
ErrorDescription describe(const MonitorError& error);
ErrorDescription describe(const WindowError& error);
ErrorDescription describe(const CaptureError& error);

// "'<type_name>' object is not an instance of '<target>'": the text of a
// Python object of the wrong type, for `out` and the arguments alike.
std::string not_an_instance_text(const std::string& type_name, const std::string& target);

template <class Error>
std::string error_message(const Error& error) {
  return describe(error).message;
}
