"""Hand captured frames to OpenCV.

    python examples/opencv_frames.py [FRAMES] [PATH]

Reads FRAMES frames (default 30) of the primary monitor in OpenCV's B, G, R
byte order (the capture converts them during its one copy out of the GPU),
scales each to half size, and writes the last one to PATH (default
opencv_frame.png).
"""

from __future__ import annotations

import sys

import opticatcher as oc


def main(argv: list[str]) -> int:
    try:
        import cv2
    except ImportError:
        print("OpenCV is not installed (pip install opencv-python); nothing to do")
        return 0

    count = max(1, int(argv[1])) if len(argv) > 1 else 30
    path = argv[2] if len(argv) > 2 else "opencv_frame.png"

    capture = oc.Capture()
    capture.pixel_layout = "BGR"  # [h, w, 3] frames, as OpenCV orders the bytes
    capture.start(oc.primary_monitor())
    try:
        frame = capture.frame()
        for _ in range(count):
            capture.frame(out=frame)
            small = cv2.resize(frame, None, fx=0.5, fy=0.5, interpolation=cv2.INTER_AREA)
    finally:
        capture.stop()

    cv2.imwrite(path, small)
    print(f"wrote a {small.shape[1]}x{small.shape[0]} frame to {path}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
