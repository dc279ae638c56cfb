#include "check.h"

#include <cstdio>

namespace {

int passed_count = 0;
int failed_count = 0;

}  // namespace

bool check(bool passed, std::string_view name, std::string_view detail) {
  if (passed) {
    ++passed_count;
    std::printf("ok   %.*s\n", static_cast<int>(name.size()), name.data());
  } else {
    ++failed_count;
    std::printf("FAIL %.*s%s%.*s\n", static_cast<int>(name.size()), name.data(),
                detail.empty() ? "" : ": ", static_cast<int>(detail.size()), detail.data());
  }
  std::fflush(stdout);
  return passed;
}

int finish_checks() {
  std::printf("%d passed, %d failed\n", passed_count, failed_count);
  std::fflush(stdout);
  return failed_count == 0 ? 0 : 1;
}

std::string hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}
