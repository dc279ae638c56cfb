"""Readback and frame-arrival benchmarks of opticatcher.

    python bench/readback.py [--quick]

Prints, next to baselines measured in the same run:
  - frame(out=a) and frame() at 1280x720, 1920x1080 and 3840x2160, against
    NumPy copying the same bytes twice (once for the GPU copy into the staging
    texture, once for the readback into the array): the least work any
    readback through a staging texture can do;
  - frame_region(out=b) of a 256x256 box of a 4K frame, against frame(out=a)
    of the whole 4K frame and against NumPy copying the same box out of a 4K
    array already in memory;
  - the fixed cost of frame(out=a) on a 1x1 frame against a trivial call into
    the module (the `active` property);
  - the cost of one frame arrival at 720p and at 4K (it must not grow with
    the frame: no copy happens at arrival);
  - how much another Python thread gets done during 4K readbacks (the
    interpreter lock is released for the copy);
  - the memory that frame(out=a) and frame() allocate (tracemalloc traces
    NumPy's data allocations).

On Linux the platform is winsim: its "GPU" is system memory, so the copy into
the staging texture is a real memory copy, as the baseline assumes.
"""

import argparse
import os
import platform
import statistics
import sys
import threading
import time
import tracemalloc

import numpy as np

import opticatcher as oc
import winsim

SIZES = [(1280, 720), (1920, 1080), (3840, 2160)]


def machine():
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return (f"{model}, {os.cpu_count()} logical CPUs; {platform.system()} {platform.release()}; "
            f"Python {platform.python_version()}, NumPy {np.__version__}")


def median_ns(function, repeats):
    """Median wall time of one call, in nanoseconds, after one warm-up call."""
    function()
    samples = []
    for _ in range(repeats):
        start = time.perf_counter_ns()
        function()
        samples.append(time.perf_counter_ns() - start)
    return statistics.median(samples)


def interleaved(functions, repeats, rounds=5):
    """Median per function over `rounds` alternating rounds, so that both
    sides see the same machine state (other load, frequency, caches)."""
    results = {name: [] for name in functions}
    for _ in range(rounds):
        for name, function in functions.items():
            results[name].append(median_ns(function, repeats))
    return {name: statistics.median(values) for name, values in results.items()}


def capture_of(width, height, refresh_rate=60):
    """A running capture of a new primary monitor of that size showing
    random content, with its first frame, frames delivered only on request."""
    winsim.reset()
    winsim.set_frame_delivery(False)
    monitor = winsim.add_monitor(width, height, refresh_rate)
    content = np.random.default_rng(1).integers(0, 256, (height, width, 4), dtype=np.uint8)
    winsim.set_content(monitor, content)
    capture = oc.Capture()
    capture.start(oc.primary_monitor(), await_first_frame=False)
    winsim.present(monitor)
    return capture, monitor, content


def ms(ns):
    return f"{ns / 1e6:8.3f} ms"


def us(ns):
    return f"{ns / 1e3:8.2f} us"


def readback_table(repeats):
    print("Readback (median per call)")
    print(f"  {'size':>10}  {'frame(out=a)':>12}  {'frame()':>12}  {'baseline':>12}  "
          f"{'out/base':>8}  {'new/base':>8}")
    ratios = {}
    for width, height in SIZES:
        capture, _, content = capture_of(width, height)
        out = np.empty((height, width, 4), np.uint8)
        staging = np.empty_like(out)
        target = np.empty_like(out)
        assert np.array_equal(capture.frame(out=out), content)

        def baseline():
            np.copyto(staging, content)
            np.copyto(target, staging)

        times = interleaved(
            {"out": lambda: capture.frame(out=out), "new": capture.frame, "base": baseline},
            repeats if width < 3840 else max(repeats // 3, 5))
        ratios[(width, height)] = times["out"] / times["base"]
        print(f"  {width:>4}x{height:<5}  {ms(times['out'])}  {ms(times['new'])}  "
              f"{ms(times['base'])}  {times['out'] / times['base']:8.2f}  "
              f"{times['new'] / times['base']:8.2f}")
        capture.stop()
    return ratios


BOX = (1792, 952, 256, 256)  # left, top, width, height: the middle of a 4K frame


def region_table(repeats):
    """frame_region of a 256x256 box of a 4K frame against frame(out=a) of the
    whole frame and against NumPy copying the box out of the frame in memory."""
    capture, _, content = capture_of(3840, 2160)
    left, top, width, height = BOX
    whole = np.empty((2160, 3840, 4), np.uint8)
    box = np.empty((height, width, 4), np.uint8)
    copied = np.empty_like(box)
    assert np.array_equal(capture.frame_region(*BOX, out=box),
                          content[top:top + height, left:left + width])

    def numpy_box():
        np.copyto(copied, content[top:top + height, left:left + width])

    def region():
        capture.frame_region(*BOX, out=box)

    # Each ratio from its own alternating rounds: the whole frame is slow, so
    # it gets fewer repetitions than the box and its NumPy baseline.
    against_whole = interleaved({"region": region, "whole": lambda: capture.frame(out=whole)},
                                max(repeats // 3, 5))
    against_copy = interleaved({"region": region, "numpy": numpy_box}, repeats * 10)
    capture.stop()
    cheaper = against_whole["whole"] / against_whole["region"]
    ratio = against_copy["region"] / against_copy["numpy"]
    print(f"Region readback ({width}x{height} box of a 3840x2160 frame, median per call)")
    print(f"  frame(out=a), whole frame {ms(against_whole['whole'])}   "
          f"frame_region(out=b) {us(against_whole['region'])}   whole / box {cheaper:7.1f}")
    print(f"  NumPy copies the box      {us(against_copy['numpy'])}   "
          f"frame_region(out=b) {us(against_copy['region'])}   box / NumPy {ratio:7.2f}")
    return cheaper, ratio


def fixed_cost(repeats):
    capture, _, _ = capture_of(1, 1)
    out = np.empty((1, 1, 4), np.uint8)
    times = interleaved({"frame": lambda: capture.frame(out=out), "active": lambda: capture.active},
                        repeats * 20)
    capture.stop()
    print("Fixed cost (1x1 frame, median per call)")
    print(f"  frame(out=a) {us(times['frame'])}   capture.active {us(times['active'])}   "
          f"ratio {times['frame'] / times['active']:.1f}")


def arrival_cost(frames):
    """Per-frame cost of delivering frames to a 720p and a 4K capture, both
    running at once and measured in alternating rounds."""
    print(f"Frame arrival (per frame, median of rounds of {frames} frames through present())")
    winsim.reset()
    winsim.set_frame_delivery(False)
    scenes = []
    for width, height in (SIZES[0], SIZES[2]):
        monitor = winsim.add_monitor(width, height)
        winsim.set_content(monitor, np.full((height, width, 4), 200, np.uint8))
        scenes.append((width, height, monitor))
    captures = []
    for target in oc.enumerate_monitors():
        capture = oc.Capture()
        capture.start(target, await_first_frame=False)
        captures.append(capture)
    samples = {width: [] for width, _, _ in scenes}
    for _ in range(9):
        for width, _, monitor in scenes:
            start = time.perf_counter_ns()
            winsim.present(monitor, frames)
            samples[width].append((time.perf_counter_ns() - start) / frames)
    for capture in captures:
        assert capture.frame().shape[0] in (720, 2160)
        capture.stop()
    costs = {width: statistics.median(values) for width, values in samples.items()}
    for width, height, _ in scenes:
        print(f"  {width:>4}x{height:<5}  {us(costs[width])}")
    ratio = costs[3840] / costs[1280]
    print(f"  4K / 720p: {ratio:.2f}")
    return ratio


def other_thread(seconds):
    """Counts loop iterations of a Python thread while the main thread reads
    4K frames back, against the same thread running alone for as long."""
    capture, _, _ = capture_of(3840, 2160)
    out = np.empty((2160, 3840, 4), np.uint8)
    count = [0]
    stop = threading.Event()

    def counter():
        while not stop.is_set():
            count[0] += 1

    def run(readbacks):
        count[0] = 0
        stop.clear()
        thread = threading.Thread(target=counter)
        thread.start()
        deadline = time.perf_counter() + seconds
        done = 0
        while time.perf_counter() < deadline:
            if readbacks:
                capture.frame(out=out)
                done += 1
            else:
                time.sleep(0.001)
        stop.set()
        thread.join()
        return count[0], done

    alone, _ = run(False)
    during, readbacks = run(True)
    capture.stop()
    print(f"Another Python thread during 4K readbacks ({seconds:.1f} s each)")
    print(f"  alone: {alone} iterations; during {readbacks} readbacks: {during} iterations "
          f"({100 * during / max(alone, 1):.0f}% of alone)")
    return during


def memory():
    capture, _, _ = capture_of(3840, 2160)
    out = np.empty((2160, 3840, 4), np.uint8)
    capture.frame(out=out)
    capture.frame()
    tracemalloc.start()
    for _ in range(10):
        capture.frame(out=out)
    _, peak_out = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    tracemalloc.start()
    for _ in range(10):
        capture.frame()
    _, peak_new = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    capture.stop()
    print("Memory allocated by Python and NumPy (tracemalloc peak over 10 calls at 4K)")
    print(f"  frame(out=a): {peak_out} bytes;  frame(): {peak_new / 2**20:.1f} MiB "
          f"(one frame is {out.nbytes / 2**20:.1f} MiB)")
    return peak_out, out.nbytes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repetitions")
    arguments = parser.parse_args()
    repeats = 10 if arguments.quick else 30

    print(f"Machine: {machine()}")
    print()
    ratios = readback_table(repeats)
    print()
    cheaper, against_numpy = region_table(repeats)
    print()
    fixed_cost(repeats)
    print()
    arrival = arrival_cost(200 if arguments.quick else 1000)
    print()
    other_thread(1.0 if arguments.quick else 2.0)
    print()
    peak_out, frame_bytes = memory()
    winsim.reset()

    print()
    print("Targets")
    checks = [
        (f"frame(out=a) within 1.10x of the baseline at 4K: {ratios[(3840, 2160)]:.2f}x",
         ratios[(3840, 2160)] <= 1.10),
        (f"frame_region of a 256x256 box at least 50x cheaper than frame(out=a) at 4K: "
         f"{cheaper:.1f}x", cheaper >= 50),
        (f"frame_region of a 256x256 box within 3x of NumPy copying it from memory: "
         f"{against_numpy:.2f}x", against_numpy <= 3),
        (f"arrival at 4K within 1.2x of 720p: {arrival:.2f}x", arrival <= 1.2),
        (f"frame(out=a) allocates no image memory: peak {peak_out} bytes",
         peak_out < frame_bytes // 100),
    ]
    for text, met in checks:
        print(f"  [{'met' if met else 'MISSED'}] {text}")


if __name__ == "__main__":
    sys.exit(main())
