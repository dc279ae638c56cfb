// Misuse of the platform seen by the simulation (double release, freeing
// unknown memory, ...), and requests that the simulation does not cover.
// Tests expect this log to stay empty.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winsim::faults {

void record_misuse(std::string message);

// A call that is valid on Windows but outside what winsim simulates.
void record_unsupported(std::string_view operation, std::string_view what);

std::vector<std::string> misuse_entries();

void clear_misuse();

}  // namespace winsim::faults
