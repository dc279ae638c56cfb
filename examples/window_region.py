"""Read a window's client area out of a capture of the monitor it is on.

    python examples/window_region.py [TITLE]

TITLE is the whole window title (default "Untitled - Notepad"). Window and
monitor rectangles are physical pixels of the virtual screen, as the frames
of a monitor capture are, so the region is right on a monitor scaled to
125 %, 150 % or 200 % too, whatever DPI awareness the interpreter declares.
A monitor capture also shows whatever covers the window; capture the window
itself (examples/capture_window.py) to see only the window.
"""

from __future__ import annotations

import sys

import opticatcher as oc


def main(argv: list[str]) -> int:
    title = argv[1] if len(argv) > 1 else "Untitled - Notepad"
    try:
        window = oc.Window(title)
    except RuntimeError as error:
        print(f"{error}; run examples/list_targets.py for the titles there are")
        return 1
    if window.minimized:
        print(f"{title!r} is minimized: it shows on no monitor")
        return 1

    monitor = window.monitor  # the one holding the largest part of the window
    client, screen = window.client_rect, monitor.rect
    # The part of the client area on this monitor, in the monitor's frame coordinates.
    left = max(client.left, screen.left)
    top = max(client.top, screen.top)
    right = min(client.left + client.width, screen.left + screen.width)
    bottom = min(client.top + client.height, screen.top + screen.height)
    if right <= left or bottom <= top:
        print(f"{title!r} has no client area on {monitor.device_name}")
        return 1

    capture = oc.Capture()
    capture.start(monitor)  # waits for the first frame
    try:
        region = capture.frame_region(left - screen.left, top - screen.top, right - left,
                                      bottom - top)
    finally:
        capture.stop()
    red, green, blue, alpha = (int(value) for value in region[0, 0])
    print(f"{title!r}: client area {client.width}x{client.height} at ({client.left}, "
          f"{client.top}) on {monitor.device_name} at {monitor.scale:.0%}")
    print(f"read {region.shape[1]}x{region.shape[0]} pixels; the first is RGBA "
          f"({red}, {green}, {blue}, {alpha})")
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
