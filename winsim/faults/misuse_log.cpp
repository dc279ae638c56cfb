#include "faults/misuse_log.h"

#include <algorithm>
#include <mutex>

#include "common/fork_guard.h"

namespace winsim::faults {

namespace {

struct MisuseLog {
  std::mutex mutex;
  std::vector<std::string> entries;
};

MisuseLog& log() {
  static auto* instance = fork::make_joined<MisuseLog>(fork::Rank::kMisuse);
  return *instance;
}

}  // namespace

void record_misuse(std::string message) {
  // One entry per line in the control API's listing.
  std::replace(message.begin(), message.end(), '\n', ' ');
  MisuseLog& misuse = log();
  std::lock_guard lock(misuse.mutex);
  misuse.entries.push_back(std::move(message));
}

void record_unsupported(std::string_view operation, std::string_view what) {
  std::string message(operation);
  message += ": not simulated by winsim: ";
  message += what;
  record_misuse(std::move(message));
}

std::vector<std::string> misuse_entries() {
  MisuseLog& misuse = log();
  std::lock_guard lock(misuse.mutex);
  return misuse.entries;
}

void clear_misuse() {
  MisuseLog& misuse = log();
  std::lock_guard lock(misuse.mutex);
  misuse.entries.clear();
}

}  // namespace winsim::faults
