"""The examples and the README's Python code, each run as a user runs them: in
a fresh interpreter, against the simulated desktop of that process.

An example may not import winsim, so the scene it needs is arranged by a few
lines of setup that run in the same process just before it. A README block
runs as it is, after the setup of an HTML comment `<!-- test-setup ... -->`
right above it (for the blocks that need a window to exist); when a ```text
block follows it, that block is its exact output.
"""

import re
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parent.parent

# Runs the example at `path` with `argv` as its command line, after `setup`.
BOOTSTRAP = """\
import runpy, sys
{setup}
sys.argv = {argv!r}
runpy.run_path({path!r}, run_name="__main__")
"""


def run_python(code, cwd):
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, capture_output=True,
                          text=True, timeout=120)


def pattern(height, width):
    """What a monitor or window whose content was never set shows."""
    y, x = np.mgrid[0:height, 0:width]
    return np.stack([x % 256, y % 256, np.full_like(x, 128), np.full_like(x, 255)],
                    axis=-1).astype(np.uint8)


# --- the examples ----------------------------------------------------------------

TARGETS_SCENE = """
import winsim
winsim.reset()
winsim.add_monitor(1920, 1080, 60)
winsim.add_monitor(2560, 1440, 144, device_string="Wide Monitor")
winsim.add_window("Hidden", visible=False)
winsim.add_window("Palette", ex_style=0x80)  # a tool window: never listed
editor = winsim.add_window("Notes - Editor")
winsim.add_window("Calculator")
winsim.set_foreground(editor)
"""

WINDOW_SCENE = """
import winsim
winsim.add_window("Calculator", 800, 600)
"""

# The window grows once the example has read a frame, and closes once it has
# read one of the new size: each read of a new size makes a staging texture.
CHANGING_WINDOW_SCENE = """
import threading, time, winsim
window = winsim.add_window("Calculator", 800, 600)
def after_reads_of_sizes(count):
    while winsim.calls("CreateTexture2D") < count:
        time.sleep(0.005)
def change():
    after_reads_of_sizes(1)
    winsim.resize_window(window, 1024, 768)
    after_reads_of_sizes(2)
    winsim.destroy_window(window)
threading.Thread(target=change, daemon=True).start()
"""

# A window with a caption on a monitor at 150 % right of the primary one: its
# client area starts 47 pixels (31 at 100 %) below its top, 180 pixels into
# the monitor.
SCALED_WINDOW_SCENE = """
import winsim
winsim.reset()
winsim.add_monitor(1920, 1080)
winsim.add_monitor(2880, 1620, scale=1.5, device_string="Scaled Monitor")
winsim.add_window("Notes - Editor", 1500, 900, position=(2100, 200), style=0x00C00000)
"""

WITHOUT_PILLOW = "sys.modules['PIL'] = None  # as if Pillow were not installed"
WITHOUT_OPENCV = "sys.modules['cv2'] = None  # as if OpenCV were not installed"


def check_targets(result, tmp_path):
    assert result.stdout == (
        "Monitors (Monitor(n) takes the n-th of this list, counting from 1):\n"
        "  1. \\\\.\\DISPLAY1  1920x1080 @ 60 Hz  Generic PnP Monitor  (primary)\n"
        "  2. \\\\.\\DISPLAY2  2560x1440 @ 144 Hz  Wide Monitor\n"
        "Windows:\n"
        "  'Notes - Editor'  (foreground)\n"
        "  'Calculator'\n")


def check_saved_npy(result, tmp_path):
    path = tmp_path / "shot.npy"
    assert result.stdout == f"saved a 1920x1080 frame of \\\\.\\DISPLAY1 to {path}\n"
    assert not (tmp_path / "shot.png").exists()
    np.testing.assert_array_equal(np.load(path), pattern(1080, 1920))


def check_saved_png(result, tmp_path):
    from PIL import Image

    path = tmp_path / "shot.png"
    assert result.stdout == f"saved a 1920x1080 frame of \\\\.\\DISPLAY1 to {path}\n"
    with Image.open(path) as image:
        assert image.mode == "RGBA"
        np.testing.assert_array_equal(np.asarray(image), pattern(1080, 1920))


def check_window(result, tmp_path):
    assert result.stdout == "'Calculator': 800x600 frame\n"


def check_changing_window(result, tmp_path):
    # Ended by the closing window, long before its 60 s.
    assert result.stdout == ("'Calculator': 800x600 frame\n"
                             "'Calculator': 1024x768 frame\n"
                             "the window was closed\n")


def check_missing_window(result, tmp_path):
    assert result.stdout == ("Failed to find window with name 'Untitled - Notepad'; "
                             "run examples/list_targets.py for the titles there are\n")


def check_window_region(result, tmp_path):
    # The region's first pixel is the monitor's pixel (180, 247): red and green
    # are its column and row in the content pattern.
    assert result.stdout == (
        "'Notes - Editor': client area 1500x853 at (2100, 247) on \\\\.\\DISPLAY2 at 150%\n"
        "read 1500x853 pixels; the first is RGBA (180, 247, 128, 255)\n")


def check_frame_rate(result, tmp_path):
    summary = result.stdout.splitlines()[-1]
    match = re.fullmatch(r"(\d+) frames of 1920x1080 in (\d+\.\d\d) s: (\d+) frames per second",
                         summary)
    assert match, summary
    assert int(match[1]) > 1 and float(match[2]) >= 0.5 and int(match[3]) > 0


def check_no_opencv(result, tmp_path):
    assert result.stdout == "OpenCV is not installed (pip install opencv-python); nothing to do\n"


def check_opencv(result, tmp_path):
    import cv2

    path = tmp_path / "small.png"
    assert result.stdout == f"wrote a 960x540 frame to {path}\n"
    bgr = cv2.imread(str(path))
    assert bgr.shape == (540, 960, 3)
    # B, G, R: blue is the pattern's constant 128; red follows the column and
    # green the row (each pixel the mean of a 2x2 block of the pattern).
    assert (bgr[..., 0] == 128).all()
    assert abs(int(bgr[0, 50, 2]) - 101) <= 1 and abs(int(bgr[0, 50, 1]) - 1) <= 1
    assert abs(int(bgr[50, 0, 1]) - 101) <= 1 and abs(int(bgr[50, 0, 2]) - 1) <= 1


# (example, arguments, setup, module the case needs, exit status, check)
EXAMPLES = {
    "list_targets": ("list_targets.py", [], TARGETS_SCENE, None, 0, check_targets),
    "save_frame_npy": ("save_frame.py", ["shot.png"], WITHOUT_PILLOW, None, 0, check_saved_npy),
    "save_frame_png": ("save_frame.py", ["shot.png"], "", "PIL", 0, check_saved_png),
    "capture_window": ("capture_window.py", ["Calculator", "0.3"], WINDOW_SCENE, None, 0,
                       check_window),
    "capture_window_resized_closed": ("capture_window.py", ["Calculator", "60"],
                                      CHANGING_WINDOW_SCENE, None, 0, check_changing_window),
    "capture_window_missing": ("capture_window.py", [], "", None, 1, check_missing_window),
    "window_region": ("window_region.py", ["Notes - Editor"], SCALED_WINDOW_SCENE, None, 0,
                      check_window_region),
    "frame_rate": ("frame_rate.py", ["0.5"], "", None, 0, check_frame_rate),
    "opencv_missing": ("opencv_frames.py", [], WITHOUT_OPENCV, None, 0, check_no_opencv),
    "opencv": ("opencv_frames.py", ["3", "small.png"], "", "cv2", 0, check_opencv),
}


@pytest.mark.parametrize("case", EXAMPLES)
def test_example(case, tmp_path):
    script, arguments, setup, needs, status, check = EXAMPLES[case]
    if needs:
        pytest.importorskip(needs)
    path = ROOT / "examples" / script
    # Relative output paths land in the working directory: give them in full
    # so that the messages are predictable.
    argv = [str(path)] + [str(tmp_path / a) if a.endswith(".png") else a for a in arguments]
    started = time.monotonic()
    result = run_python(BOOTSTRAP.format(setup=setup, argv=argv, path=str(path)), tmp_path)
    assert result.returncode == status, result.stderr
    assert result.stderr == ""
    check(result, tmp_path)
    assert time.monotonic() - started < 30


# --- the README ------------------------------------------------------------------

BLOCK = re.compile(
    r"(?:<!-- test-setup\n(?P<setup>.*?)-->\n)?"
    r"```python\n(?P<code>.*?)```\n"
    r"(?:\n*```text\n(?P<output>.*?)```\n)?", re.S)


def readme_blocks():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    blocks = []
    for match in BLOCK.finditer(text):
        line = text.count("\n", 0, match.start("code"))
        blocks.append(pytest.param(match["setup"] or "", match["code"], match["output"],
                                   id=f"README.md:{line}"))
    # A block that the pattern misses would go untested.
    assert len(blocks) == text.count("```python"), "a README block is not in the expected form"
    return blocks


@pytest.mark.parametrize("setup, code, output", readme_blocks())
def test_readme_block(setup, code, output, tmp_path):
    result = run_python(setup + code, tmp_path)
    assert result.returncode == 0, result.stderr
    if output is not None:
        assert result.stdout == output
