"""List the monitors and the capturable windows, the two kinds of capture target.

    python examples/list_targets.py
"""

from __future__ import annotations

import opticatcher as oc


def main() -> int:
    # The primary monitor holds the origin of the desktop; compare by device
    # name, since every call returns a new Monitor object for the same monitor.
    primary = oc.primary_monitor().device_name

    print("Monitors (Monitor(n) takes the n-th of this list, counting from 1):")
    for number, monitor in enumerate(oc.enumerate_monitors(), start=1):
        mark = "  (primary)" if monitor.device_name == primary else ""
        print(
            f"  {number}. {monitor.device_name}  {monitor.width}x{monitor.height}"
            f" @ {monitor.refresh_rate} Hz  {monitor.device_string}{mark}"
        )

    # Visible top-level windows of other processes: Window(title) finds one of
    # them by its exact title.
    windows = oc.enumerate_windows()
    print("Windows:" if windows else "Windows: none")
    for window in windows:
        mark = "  (foreground)" if window.focused else ""
        print(f"  {window.name!r}{mark}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
