"""Capture.pixel_layout: every layout read exactly by frame and frame_region,
into new arrays and into `out`, through packed and padded staging rows."""

import numpy as np
import pytest

import opticatcher as oc
import winsim

LAYOUTS = ["RGBA", "BGRA", "RGB", "BGR", "GRAY"]
HEIGHT = 5
REGION_LEFT, REGION_TOP, REGION_HEIGHT = 3, 1, 3  # odd offsets

rng = np.random.default_rng(25)


def converted(rgba, layout):
    """`rgba` in `layout`, written out in NumPy."""
    if layout == "GRAY":
        r, g, b = (rgba[..., channel].astype(np.uint32) for channel in range(3))
        return ((4899 * r + 9617 * g + 1868 * b + 8192) >> 14).astype(np.uint8)
    return rgba[..., ["RGBA".index(letter) for letter in layout]]


@pytest.mark.parametrize("pitch", ["packed", "padded"])
@pytest.mark.parametrize("into", ["new", "out"])
@pytest.mark.parametrize("read", ["frame", "frame_region"])
@pytest.mark.parametrize("layout", LAYOUTS)
def test_every_layout_reads_exactly(layout, read, into, pitch):
    for width in (1, 3, 17, 1931):
        winsim.reset()
        # The read is `width` columns wide: the whole frame, or a rectangle at
        # odd offsets inside a wider one.
        monitor_width = width if read == "frame" else width + REGION_LEFT + 2
        if pitch == "packed":
            winsim.set_row_pitch_alignment(1)
        else:
            winsim.set_row_pitch(width * 4 + 36)  # rows start off any 16-byte boundary
        monitor = winsim.add_monitor(monitor_width, HEIGHT)
        content = rng.integers(0, 256, (HEIGHT, monitor_width, 4), dtype=np.uint8)
        winsim.set_content(monitor, content)
        capture = oc.Capture()
        capture.pixel_layout = layout  # set while idle: it holds for the capture's reads
        capture.start(oc.primary_monitor())
        expected = converted(content, layout)
        if read == "frame_region":
            expected = expected[REGION_TOP:REGION_TOP + REGION_HEIGHT,
                                REGION_LEFT:REGION_LEFT + width]
        out = None if into == "new" else np.full(expected.shape, 7, np.uint8)
        if read == "frame":
            result = capture.frame(out=out)
        else:
            result = capture.frame_region(REGION_LEFT, REGION_TOP, width, REGION_HEIGHT, out=out)
        assert result.dtype == np.uint8 and result.flags.c_contiguous
        assert result.shape == expected.shape
        assert np.array_equal(result, expected), width
        if out is not None:
            assert result is out
        assert capture.pixel_layout == layout
        capture.stop()


def test_gray_agrees_with_opencv():
    """OpenCV's own conversion of the same frame. Its current releases weigh
    the channels in 1/32768ths (9798, 19235, 3735) rather than the 1/16384ths
    this module uses, which moves a few values that fall near a half by one."""
    cv2 = pytest.importorskip("cv2")
    monitor = winsim.add_monitor(1931, 64)
    content = rng.integers(0, 256, (64, 1931, 4), dtype=np.uint8)
    winsim.set_content(monitor, content)
    capture = oc.Capture()
    capture.pixel_layout = "GRAY"
    capture.start(oc.primary_monitor())
    gray = capture.frame()
    capture.stop()
    theirs = cv2.cvtColor(content, cv2.COLOR_RGBA2GRAY)
    assert np.abs(gray.astype(int) - theirs).max() <= 1
    assert np.mean(gray == theirs) > 0.99
