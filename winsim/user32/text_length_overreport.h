// GetWindowTextLengthW may answer more than the title's length: Windows
// documents that it can over-report (mixtures of ANSI and Unicode text), and
// callers must rely on the zero that ends the text, not on the length. A test
// switches this on to make the simulated function do so.
#pragma once

namespace winsim::user32 {

// Units added to the length of every non-empty title; 0 (the default) is exact.
void set_text_length_overreport(int extra);
int text_length_overreport();

}  // namespace winsim::user32
