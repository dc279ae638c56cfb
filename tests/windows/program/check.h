// The test program's checks: one line per check ("ok   name" or
// "FAIL name: what was seen"), and the closing "N passed, N failed" line.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

// Records one check and prints its line. Returns `passed`.
bool check(bool passed, std::string_view name, std::string_view detail = {});

// A check that `actual` equals `expected`; a failure shows both.
template <class Actual, class Expected>
bool check_equal(const Actual& actual, const Expected& expected, std::string_view name) {
  if (actual == expected) return check(true, name);
  std::ostringstream detail;
  detail << "got " << actual << ", expected " << expected;
  return check(false, name, detail.str());
}

// Prints the closing line; the process's exit status (non-zero on a failure).
int finish_checks();

// "0x%08X"
std::string hex(unsigned long value);
