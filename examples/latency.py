"""Measure how fast new frames of the primary monitor arrive and how old they
are when read.

    python examples/latency.py [SECONDS] [MIN_UPDATE_INTERVAL]

Reads every new frame for SECONDS (default 5) and prints the rate of new
frames, how many were missed (frame numbers skipped between two reads) and
the capture-to-read latency: time.perf_counter() - capture.frame_time, the
age of each frame when its read finished. On Windows 11 version 24H2 and
later, a MIN_UPDATE_INTERVAL such as 0.001 lets a fast monitor's every
refresh through, where the system would otherwise pace captures to about 60
frames per second.
"""

from __future__ import annotations

import statistics
import sys
import time

import opticatcher as oc


def main(argv: list[str]) -> int:
    seconds = float(argv[1]) if len(argv) > 1 else 5.0
    monitor = oc.primary_monitor()

    capture = oc.Capture()
    if len(argv) > 2:
        capture.min_update_interval = float(argv[2])
    capture.start(monitor)
    try:
        buffer = capture.frame()
        first = capture.frame_number
        ages: list[float] = []
        missed = 0
        started = time.perf_counter()
        while time.perf_counter() - started < seconds and capture.wait_frame(1.0):
            previous = capture.frame_number
            capture.frame(out=buffer)
            ages.append(time.perf_counter() - (capture.frame_time or 0.0))
            missed += capture.frame_number - previous - 1
        elapsed = time.perf_counter() - started
        new_frames = capture.frame_number - first
    finally:
        capture.stop()

    if not ages:
        print("no new frame arrived")
        return 1
    ages.sort()
    median = statistics.median(ages)
    p95 = ages[min(len(ages) - 1, int(0.95 * len(ages)))]
    print(f"{new_frames / elapsed:.0f} new frames per second "
          f"on a {monitor.refresh_rate} Hz monitor, {missed} missed")
    print(f"capture-to-read latency: median {median * 1000:.1f} ms, 95% under {p95 * 1000:.1f} ms")
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
