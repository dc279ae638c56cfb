#include "user32/text_length_overreport.h"

#include <atomic>

namespace winsim::user32 {

namespace {

std::atomic<int> overreport{0};

}  // namespace

void set_text_length_overreport(int extra) { overreport.store(extra, std::memory_order_relaxed); }

int text_length_overreport() { return overreport.load(std::memory_order_relaxed); }

}  // namespace winsim::user32
