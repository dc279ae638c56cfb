#include "faults/operation.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "common/fork_guard.h"

namespace winsim::faults {

struct PlannedFault {
  Fault fault;
  std::uint32_t after = 0;
  std::uint32_t times = 0;
};

struct OperationEntry {
  std::string name;
  FailureKind kind;
  std::uint64_t calls = 0;
  // Consumed front to back: each plan's `after` counts good calls from the
  // moment the plan before it is used up.
  std::deque<PlannedFault> plans;
  // While paused, calls wait on entry until resumed; `waiting` counts them.
  bool paused = false;
  std::uint32_t waiting = 0;
};

namespace {

// Intentionally never destroyed: operations may be entered from thread-exit
// and process-exit code.
struct OperationTable {
  std::mutex mutex;
  std::condition_variable pause_changed;  // paused flags and waiting counts
  std::map<std::string, std::unique_ptr<OperationEntry>, std::less<>> entries;
};

void lock_for_fork(void* context) { static_cast<OperationTable*>(context)->mutex.lock(); }

void unlock_in_parent(void* context) { static_cast<OperationTable*>(context)->mutex.unlock(); }

// Callers of paused operations that waited in the parent are not in the child.
void unlock_in_child(void* context) {
  auto& operations = *static_cast<OperationTable*>(context);
  new (&operations.pause_changed) std::condition_variable;  // see frame_delivery.cpp
  for (auto& [name, entry] : operations.entries) entry->waiting = 0;
  operations.mutex.unlock();
}

OperationTable& table() {
  static auto* instance = [] {
    auto* operations = new OperationTable;
    fork::join(fork::Rank::kOperations,
               fork::Participant{lock_for_fork, unlock_in_parent, unlock_in_child, operations});
    return operations;
  }();
  return *instance;
}

}  // namespace

Operation::Operation(std::string_view name, FailureKind kind) {
  OperationTable& operations = table();
  std::lock_guard lock(operations.mutex);
  auto found = operations.entries.find(name);
  if (found == operations.entries.end()) {
    auto entry = std::make_unique<OperationEntry>();
    entry->name = name;
    entry->kind = kind;
    found = operations.entries.emplace(std::string(name), std::move(entry)).first;
  } else if (found->second->kind != kind) {
    // Two definitions of one operation that disagree on how it fails.
    std::abort();
  }
  entry_ = found->second.get();
}

std::optional<Fault> Operation::enter() const {
  OperationTable& operations = table();
  std::unique_lock lock(operations.mutex);
  if (entry_->paused) {
    ++entry_->waiting;
    operations.pause_changed.notify_all();
    operations.pause_changed.wait(lock, [this] { return !entry_->paused; });
    --entry_->waiting;
  }
  ++entry_->calls;
  if (entry_->plans.empty()) {
    return std::nullopt;
  }
  PlannedFault& plan = entry_->plans.front();
  if (plan.after > 0) {
    --plan.after;
    return std::nullopt;
  }
  Fault fault = plan.fault;
  if (--plan.times == 0) {
    entry_->plans.pop_front();
  }
  return fault;
}

const std::string& Operation::name() const { return entry_->name; }

FaultStatus arm_fault(std::string_view operation, const Fault& fault, std::uint32_t times,
                      std::uint32_t after) {
  OperationTable& operations = table();
  std::lock_guard lock(operations.mutex);
  const auto found = operations.entries.find(operation);
  if (found == operations.entries.end()) {
    return FaultStatus::kUnknownOperation;
  }
  OperationEntry& entry = *found->second;
  if (entry.kind == FailureKind::kNever) {
    return FaultStatus::kCannotFail;
  }
  if (fault.null && entry.kind != FailureKind::kObject && entry.kind != FailureKind::kHresult) {
    return FaultStatus::kNullNotApplicable;
  }
  if ((fault.description || fault.restricted_description) && entry.kind != FailureKind::kHresult) {
    return FaultStatus::kDescriptionNotApplicable;
  }
  if (times == 0) {
    entry.plans.clear();
  } else {
    entry.plans.push_back(PlannedFault{fault, after, times});
  }
  return FaultStatus::kArmed;
}

std::optional<std::uint64_t> call_count(std::string_view operation) {
  OperationTable& operations = table();
  std::lock_guard lock(operations.mutex);
  const auto found = operations.entries.find(operation);
  if (found == operations.entries.end()) {
    return std::nullopt;
  }
  return found->second->calls;
}

void reset_operations() {
  OperationTable& operations = table();
  std::lock_guard lock(operations.mutex);
  for (auto& [name, entry] : operations.entries) {
    entry->calls = 0;
    entry->plans.clear();
    entry->paused = false;
  }
  operations.pause_changed.notify_all();
}

bool set_paused(std::string_view operation, bool paused) {
  OperationTable& operations = table();
  std::lock_guard lock(operations.mutex);
  const auto found = operations.entries.find(operation);
  if (found == operations.entries.end()) return false;
  found->second->paused = paused;
  operations.pause_changed.notify_all();
  return true;
}

bool wait_until_paused_call(std::string_view operation, std::uint32_t timeout_ms) {
  OperationTable& operations = table();
  std::unique_lock lock(operations.mutex);
  const auto found = operations.entries.find(operation);
  if (found == operations.entries.end()) return false;
  OperationEntry& entry = *found->second;
  return operations.pause_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                           [&entry] { return entry.waiting > 0; });
}

}  // namespace winsim::faults
