"""Capture one frame of the primary monitor and save it.

    python examples/save_frame.py [PATH]

Saves a PNG with Pillow when it is installed (PATH defaults to frame.png);
without Pillow it saves the raw array in NumPy's .npy format instead.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np
import numpy.typing as npt

import opticatcher as oc


def save_png(frame: npt.NDArray[np.uint8], path: Path) -> bool:
    """Saves the frame as a PNG through Pillow; False when Pillow is missing."""
    try:
        from PIL import Image
    except ImportError:
        return False
    # The bytes of each pixel are R, G, B, A: Pillow's "RGBA" as they are.
    Image.fromarray(frame).save(path)
    return True


def main(argv: list[str]) -> int:
    path = Path(argv[1] if len(argv) > 1 else "frame.png")
    monitor = oc.primary_monitor()

    capture = oc.Capture()
    capture.start(monitor)  # returns once the first frame is there (at most 5 s)
    try:
        frame = capture.frame()  # a new uint8 array [height, width, 4]
    finally:
        capture.stop()  # frees the capture at once (dropping `capture` would too)

    if not save_png(frame, path):
        path = path.with_suffix(".npy")
        np.save(path, frame)  # load it again with np.load(path)
    height, width, _ = frame.shape
    print(f"saved a {width}x{height} frame of {monitor.device_name} to {path}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
