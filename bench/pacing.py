"""Frame pacing benchmark of opticatcher.

    python bench/pacing.py [--seconds N]

A 1920x1080 monitor at 240 Hz is read by

    while capture.wait_frame(1):
        capture.frame(out=a)

for N seconds (5 by default), once with the system's pacing and once with
min_update_interval = 1/30. For each it prints the frames delivered and read,
duplicates (a frame_number read twice) and misses (numbers skipped), the
rates against the refresh rate or the interval's rate, and the median and
95th percentile of time.perf_counter() - capture.frame_time after each read,
next to the median time of frame(out=a) alone, measured in the same run.

On Linux the platform is winsim, whose frames arrive at the monitor's refresh
rate on its own delivery thread; frame_time is on the clock of
time.perf_counter() there too.
"""

import argparse
import statistics
import sys
import time

import numpy as np

import opticatcher as oc
import winsim

# Run as a script from bench/: the machine line is the readback benchmark's.
from readback import machine

WIDTH, HEIGHT, REFRESH = 1920, 1080, 240


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def readback_median(capture, out, repeats=200):
    """The median time of frame(out=a) alone, in seconds: the baseline of the latency."""
    samples = []
    for _ in range(repeats):
        start = time.perf_counter()
        capture.frame(out=out)
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def run(interval, seconds):
    capture = oc.Capture()
    capture.min_update_interval = interval
    capture.start(oc.Monitor(1))
    out = np.empty((HEIGHT, WIDTH, 4), np.uint8)
    baseline = readback_median(capture, out)

    numbers, ages = [], []
    arrivals = winsim.calls("TryGetNextFrame")
    began = time.perf_counter()
    end = began + seconds
    while time.perf_counter() < end and capture.wait_frame(1):
        capture.frame(out=out)
        ages.append(time.perf_counter() - capture.frame_time)
        numbers.append(capture.frame_number)
    elapsed = time.perf_counter() - began
    delivered = winsim.calls("TryGetNextFrame") - arrivals
    capture.stop()

    steps = np.diff(numbers)
    return {
        "delivered": delivered,
        "read": len(numbers),
        "duplicates": int((steps == 0).sum()),
        "misses": int((steps[steps > 1] - 1).sum()),
        "rate": delivered / elapsed,
        "median": statistics.median(ages),
        "p95": percentile(ages, 0.95),
        "readback": baseline,
    }


def report(title, result, expected_rate):
    print(f"{title}")
    print(f"  frames delivered {result['delivered']}, read {result['read']}, "
          f"duplicates {result['duplicates']}, misses {result['misses']}")
    print(f"  rate {result['rate']:.1f}/s = {result['rate'] / expected_rate:.3f} x {expected_rate:g} Hz")
    print(f"  perf_counter() - frame_time: median {result['median'] * 1e3:.2f} ms, "
          f"p95 {result['p95'] * 1e3:.2f} ms; frame(out=a) alone {result['readback'] * 1e3:.2f} ms "
          f"(median age = {result['median'] / result['readback']:.2f} x readback)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=5.0)
    arguments = parser.parse_args()
    print(machine())
    winsim.reset()
    winsim.set_frame_delivery(True)
    monitor = winsim.add_monitor(WIDTH, HEIGHT, REFRESH)
    rng = np.random.default_rng(1)
    winsim.set_content(monitor, rng.integers(0, 256, (HEIGHT, WIDTH, 4), np.uint8))
    report(f"{WIDTH}x{HEIGHT} at {REFRESH} Hz, system pacing", run(None, arguments.seconds),
           REFRESH)
    report(f"{WIDTH}x{HEIGHT} at {REFRESH} Hz, min_update_interval = 1/30",
           run(1 / 30, arguments.seconds), 30)
    return 0


if __name__ == "__main__":
    sys.exit(main())
