"""Read frames of the primary monitor in a loop into one reused array.

    python examples/frame_rate.py [SECONDS]

Prints how many frames per second the loop reads (SECONDS defaults to 5).
Reading into an existing array allocates nothing, and the copy runs without
the interpreter lock, so other Python threads keep running meanwhile.
"""

from __future__ import annotations

import sys
import time

import opticatcher as oc


def main(argv: list[str]) -> int:
    seconds = float(argv[1]) if len(argv) > 1 else 5.0

    capture = oc.Capture()
    capture.start(oc.primary_monitor())
    try:
        buffer = capture.frame()  # the first read allocates the array once
        reads = 0
        started = report = time.perf_counter()
        while (now := time.perf_counter()) - started < seconds:
            try:
                capture.frame(out=buffer)  # overwrites `buffer`, returns it
            except ValueError:
                # The frame changed size (display mode change), so `buffer` no
                # longer fits: "out has shape [...], expected [...]".
                buffer = capture.frame()
            reads += 1
            if now - report >= 1.0:
                print(f"{reads / (now - started):.0f} frames per second")
                report = now
        elapsed = time.perf_counter() - started
    finally:
        capture.stop()

    # frame() never waits: reading faster than the monitor refreshes returns the
    # latest frame again, so this is the rate of reads, not of new frames.
    height, width, _ = buffer.shape
    print(
        f"{reads} frames of {width}x{height} in {elapsed:.2f} s:"
        f" {reads / elapsed:.0f} frames per second"
    )
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
