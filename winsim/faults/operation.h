// The operations of the simulated platform: every exported Windows function
// and every simulated COM method is one Operation. Entering an operation
// counts the call and asks the fault table whether this call fails.
//
// Names are the Windows names: the function name ("GetMonitorInfoW"), the
// method name ("GetDescription"), and "QueryInterface:<interface>" for
// interface queries. One name is one operation wherever it is entered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace winsim::faults {

// How a failure of the operation reaches its caller; decides which faults
// make sense for it.
enum class FailureKind {
  kLastError,  // FALSE, 0 or another failure value, with the thread's last error set
  kObject,     // NULL with the last error set; may also succeed with no object
  kHresult,    // a failure HRESULT, possibly with error information on the thread
  kNever,      // documented never to fail: calls are only counted
};

// One injected failure.
struct Fault {
  std::uint32_t code = 0;
  // Succeed but deliver no object (kObject and kHresult operations only).
  bool null = false;
  std::optional<std::u16string> description;
  std::optional<std::u16string> restricted_description;
};

struct OperationEntry;

// Defined once per operation, at namespace scope, so that every operation is
// known to the control API from the moment the library is loaded.
class Operation {
 public:
  Operation(std::string_view name, FailureKind kind);
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // Counts one call. Returns the fault this call must report, if any.
  [[nodiscard]] std::optional<Fault> enter() const;

  const std::string& name() const;

 private:
  OperationEntry* entry_;
};

// Control side.

enum class FaultStatus {
  kArmed,
  kUnknownOperation,
  kCannotFail,
  kNullNotApplicable,
  kDescriptionNotApplicable,
};

// Makes `times` calls of `operation`, after `after` good ones, fail with
// `fault`. Faults armed on one operation queue up: each applies once the ones
// armed before it are used up. times == 0 removes every queued fault of the
// operation.
FaultStatus arm_fault(std::string_view operation, const Fault& fault, std::uint32_t times,
                      std::uint32_t after);

// Calls since the last reset, or nothing for an unknown operation.
std::optional<std::uint64_t> call_count(std::string_view operation);

// Clears every fault and call count and resumes paused operations.
void reset_operations();

// Pauses (or resumes) an operation: while paused, each call waits on entry,
// before it is counted, until the operation is resumed. False for an unknown
// operation.
bool set_paused(std::string_view operation, bool paused);

// Waits up to `timeout_ms` until a call of the paused `operation` is waiting.
bool wait_until_paused_call(std::string_view operation, std::uint32_t timeout_ms);

}  // namespace winsim::faults
