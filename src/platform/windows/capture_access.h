// Windows' consent to captures without the border. Windows 11 draws the
// border around a captured target unless the process has asked
// GraphicsCaptureAccess for Borderless access and was allowed; without that,
// switching the border off is accepted and ignored.
//
// An Allowed answer holds for the process: it is remembered, and no further
// request is made. Where Windows has no GraphicsCaptureAccess class (Windows
// 10, and versions that have only the switch) there is nobody to ask, and
// the switch works as it always did.
#pragma once

#include <chrono>
#include <expected>
#include <memory>
#include <optional>

#include "errors.h"

// What a pending request shares with the handler Windows calls when it
// answers: known only to this unit's code.
struct BorderAccessAnswer;

// A request for Borderless access that Windows has not answered yet. Any
// thread may wait for it; the answer comes on a thread of Windows'.
class BorderAccessRequest {
 public:
  BorderAccessRequest(BorderAccessRequest&&) noexcept;
  BorderAccessRequest& operator=(BorderAccessRequest&&) noexcept;
  ~BorderAccessRequest();

  // Waits until Windows has answered or `deadline` has passed; true once
  // answered.
  bool wait_until(std::chrono::steady_clock::time_point deadline) const;

  // The request's outcome once the waiting is over: success when Windows
  // answered Allowed (remembered for the process from then on), else "Windows
  // did not allow a capture without the border" with how it ended, no answer
  // included. A request left unanswered is abandoned, not cancelled: a prompt
  // Windows shows stays, and its answer counts for the next request.
  std::expected<void, CaptureError> finish();

 private:
  friend std::expected<std::optional<BorderAccessRequest>, CaptureError>
  request_borderless_access();
  explicit BorderAccessRequest(std::unique_ptr<BorderAccessAnswer> answer);

  std::unique_ptr<BorderAccessAnswer> answer_;
};

// Asks Windows for Borderless access, unless no request is needed: none when
// the process was allowed before or Windows has no GraphicsCaptureAccess
// class. A failing call is a Windows API error.
std::expected<std::optional<BorderAccessRequest>, CaptureError> request_borderless_access();
