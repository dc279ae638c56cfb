// The Windows test program: the module's Python-free code, built from the
// same objects as opticatcher.pyd, run against the real Windows API (or
// Wine's). One line per check, then "N passed, N failed"; the exit status is
// non-zero when a check failed.
//
//   opticatcher_windows_program.exe
//   opticatcher_windows_program.exe --child-windows PREFIX   (started by itself)
#include <cstring>
#include <string>

#include "check.h"
#include "support.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child-windows") == 0) {
    return run_child_windows(argv[2]);
  }
  // Monitor rectangles in pixels, as the display modes give sizes.
  if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    SetProcessDPIAware();
  }
  if (FAILED(RoInitialize(RO_INIT_MULTITHREADED))) return 2;

  check_error_texts();
  check_monitors();
  check_geometry();
  check_windows();
  check_device_and_readback();
  check_frame_arrival();
  return finish_checks();
}
