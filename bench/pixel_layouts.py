"""Pixel-layout benchmarks of opticatcher: the conversion in the readback copy.

    python bench/pixel_layouts.py [--quick]

At 3840x2160 and 1920x1080, in alternating rounds of one run (medians), each
layout's frame(out=b) against RGBA frame(out=a), and BGR against what a
program without layouts does: RGBA frame(out=a) followed by NumPy's
np.copyto(b, a[..., 2::-1]), or by cv2.cvtColor(a, cv2.COLOR_RGBA2BGR, dst=b)
where OpenCV is installed. Prints the ratios and whether each goal is met.

On Linux the platform is winsim: its "GPU" is system memory, so a readback
is a real memory copy into the staging texture followed by the row copy
(which converts), as the RGBA baseline of bench/readback.py assumes.
"""

import argparse
import sys

import numpy as np

import opticatcher as oc
import winsim

# Run as a script from bench/: the timing helpers are the readback benchmark's.
from readback import capture_of as readback_capture, interleaved

try:
    import cv2
except ImportError:  # the OpenCV comparison is left out
    cv2 = None

SIZES = [(3840, 2160), (1920, 1080)]
SHAPES = {"RGBA": 4, "BGRA": 4, "RGB": 3, "BGR": 3, "GRAY": None}


def capture_of(width, height):
    return readback_capture(width, height)[0]


def reader(capture, layout, out):
    def read():
        capture.pixel_layout = layout
        capture.frame(out=out)
    return read


def measure(width, height, repeats, rounds):
    capture = capture_of(width, height)
    outs = {layout: np.empty((height, width) + ((channels,) if channels else ()), np.uint8)
            for layout, channels in SHAPES.items()}
    rgba, bgr = outs["RGBA"], outs["BGR"]
    functions = {layout: reader(capture, layout, out) for layout, out in outs.items()}
    read_rgba = functions["RGBA"]

    def rgba_then_numpy():
        read_rgba()
        np.copyto(bgr, rgba[..., 2::-1])

    functions["RGBA + NumPy"] = rgba_then_numpy
    if cv2 is not None:
        def rgba_then_cv2():
            read_rgba()
            cv2.cvtColor(rgba, cv2.COLOR_RGBA2BGR, dst=bgr)

        functions["RGBA + cv2"] = rgba_then_cv2
    times = interleaved(functions, repeats, rounds)
    capture.pixel_layout = "RGBA"
    capture.stop()
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repetitions")
    arguments = parser.parse_args()
    repeats, rounds = (5, 5) if arguments.quick else (10, 9)

    print(f"NumPy {np.__version__}" + (f", OpenCV {cv2.__version__} ({cv2.getNumThreads()} threads)"
                                       if cv2 else ", no OpenCV"))
    goals = []
    for width, height in SIZES:
        times = measure(width, height, repeats if width < 3840 else max(repeats // 2, 3), rounds)
        size = f"{width}x{height}"
        print(f"\n{size} (median per call over {rounds} alternating rounds)")
        for name, value in times.items():
            print(f"  {name:>13}  {value / 1e6:8.3f} ms  {value / times['RGBA']:5.2f}x RGBA")
        rgba = times["RGBA"]
        goals += [
            (f"{size} BGR / RGBA", times["BGR"] / rgba, "<=", 1.15),
            (f"{size} RGB / RGBA", times["RGB"] / rgba, "<=", 1.15),
            (f"{size} (RGBA + NumPy) / BGR", times["RGBA + NumPy"] / times["BGR"], ">=", 1.8),
        ]
        if cv2 is not None:
            goals.append((f"{size} (RGBA + cv2) / BGR", times["RGBA + cv2"] / times["BGR"],
                          ">=", 1.3))
        goals += [
            (f"{size} GRAY / RGBA", times["GRAY"] / rgba, "<=", 1.2),
            (f"{size} BGRA / RGBA", times["BGRA"] / rgba, "<=", 1.1),
        ]
    winsim.reset()

    print("\nGoals")
    for text, ratio, sense, goal in goals:
        met = ratio <= goal if sense == "<=" else ratio >= goal
        print(f"  [{'met' if met else 'MISSED'}] {text}: {ratio:.2f} (goal {sense} {goal})")


if __name__ == "__main__":
    sys.exit(main())
