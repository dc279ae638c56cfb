"""Capture a window by its title and follow it while it changes size or closes.

    python examples/capture_window.py [TITLE] [SECONDS]

TITLE is the whole window title (default "Untitled - Notepad": start Notepad,
or run examples/list_targets.py for the titles there are). The capture runs
for SECONDS (default 5) or until the window closes.
"""

from __future__ import annotations

import sys
import time

import opticatcher as oc


def main(argv: list[str]) -> int:
    title = argv[1] if len(argv) > 1 else "Untitled - Notepad"
    seconds = float(argv[2]) if len(argv) > 2 else 5.0

    try:
        window = oc.Window(title)  # the topmost window with this title (case ignored)
    except RuntimeError as error:  # "Failed to find window with name '...'"
        print(f"{error}; run examples/list_targets.py for the titles there are")
        return 1

    capture = oc.Capture()
    capture.start(window)  # RuntimeError "Invalid capture target" if it is hidden
    size: tuple[int, ...] | None = None
    deadline = time.monotonic() + seconds
    try:
        while time.monotonic() < deadline:
            # A closed window leaves the capture active, with its last frame:
            # target_closed says that it has gone.
            if capture.target_closed:
                print("the window was closed")
                break
            frame = capture.frame()  # the size of the window's content right now
            if frame.shape[:2] != size:
                size = frame.shape[:2]
                print(f"{title!r}: {size[1]}x{size[0]} frame")
            time.sleep(0.02)
    finally:
        capture.stop()
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
