"""Capture.frame_region: the pixels of a rectangle of the latest frame, read
through a GPU box into a staging texture of its own; the rectangles it
refuses; the `out` rules it shares with frame."""

import sys
import threading

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import join

HAS_NOTES = sys.version_info >= (3, 11)
CONTIGUITY = "Frame buffer is not contiguous: The given array is not contiguous or is misaligned."
READ_ONLY = "Frame buffer is read-only: The given array is not writeable."

WIDTH, HEIGHT = 80, 60
content = np.random.default_rng(18).integers(0, 256, (HEIGHT, WIDTH, 4), dtype=np.uint8)


@pytest.fixture
def window():
    """An 80x60 window showing `content`; frames arrive only when a test
    presents them."""
    winsim.set_frame_delivery(False)
    handle = winsim.add_window("target", WIDTH, HEIGHT)
    winsim.set_content(handle, content)
    return handle


@pytest.fixture
def capture(window):
    """A running capture of the window, with its first frame."""
    running = oc.Capture()
    running.start(oc.Window("target"), await_first_frame=False)
    winsim.present(window)
    yield running
    running.stop()


def outside(left, top, width, height, frame_width=WIDTH, frame_height=HEIGHT):
    return (f"Region (left={left}, top={top}, width={width}, height={height}) does not lie "
            f"inside the frame (width={frame_width}, height={frame_height})")


# --- the pixels -------------------------------------------------------------


@pytest.mark.parametrize("alignment", [1, 256], ids=["packed", "padded"])
@pytest.mark.parametrize(
    "left, top, width, height",
    [
        (0, 0, 1, 1),  # top-left pixel
        (WIDTH - 1, HEIGHT - 1, 1, 1),  # bottom-right pixel
        (3, 5, 7, 11),  # odd sizes inside
        (WIDTH - 13, 0, 13, HEIGHT),  # a full-height strip at the right edge
        (0, HEIGHT - 2, WIDTH, 2),  # full-width rows at the bottom
    ],
)
def test_the_pixels_of_the_rectangle(capture, alignment, left, top, width, height):
    winsim.set_row_pitch_alignment(alignment)
    region = capture.frame_region(left, top, width, height)
    assert region.shape == (height, width, 4) and region.dtype == np.uint8
    assert region.flags.c_contiguous and region.flags.owndata
    assert np.array_equal(region, content[top:top + height, left:left + width])


def test_the_whole_frame_equals_frame_and_the_caches_stay_apart(capture):
    whole = capture.frame_region(0, 0, WIDTH, HEIGHT)
    assert np.array_equal(whole, capture.frame())
    # One staging texture for frame() and one for frame_region(): reading
    # them in turn makes no texture, a rectangle of another size makes one.
    for _ in range(3):
        capture.frame()
        capture.frame_region(0, 0, WIDTH, HEIGHT)
    assert winsim.calls("CreateTexture2D") == 2
    for _ in range(3):
        capture.frame_region(1, 2, 3, 4)
        capture.frame()
    assert winsim.calls("CreateTexture2D") == 3


def test_a_region_of_a_window_that_shrank_and_grew(capture, window):
    """Rectangles are checked against the frame's content, not its buffer."""
    winsim.resize_window(window, 40, 30)
    winsim.present(window)
    assert np.array_equal(capture.frame_region(30, 20, 10, 10), content[20:30, 30:40])
    with pytest.raises(ValueError) as caught:
        capture.frame_region(30, 20, 11, 10)
    assert str(caught.value) == outside(30, 20, 11, 10, 40, 30)
    winsim.resize_window(window, 100, 70)
    winsim.present(window, 2)  # the second frame comes in a grown buffer
    shown = np.zeros((70, 100, 4), np.uint8)
    shown[..., 3] = 255  # opaque black beyond the content
    shown[:HEIGHT, :WIDTH] = content
    assert np.array_equal(capture.frame_region(70, 50, 30, 20), shown[50:70, 70:100])


@pytest.mark.parametrize(
    "left, top, width, height",
    [(0, 0, 0, 0), (5, 7, 0, 3), (5, 7, 3, 0), (WIDTH, HEIGHT, 0, 0)],
)
def test_an_empty_rectangle_is_an_empty_array_without_a_copy(capture, left, top, width, height):
    region = capture.frame_region(left, top, width, height)
    assert region.shape == (height, width, 4)
    out = np.empty((height, width, 4), np.uint8)
    assert capture.frame_region(left, top, width, height, out=out) is out
    assert winsim.calls("CopySubresourceRegion") == 0


# --- refused rectangles -----------------------------------------------------


@pytest.mark.parametrize(
    "left, top, width, height",
    [
        (-1, 0, 1, 1),
        (0, -1, 1, 1),
        (0, 0, -1, 1),
        (0, 0, 1, -5),
        (WIDTH - 9, 0, 10, 1),  # one column too far
        (0, HEIGHT - 9, 1, 10),  # one row too far
        (WIDTH + 1, 0, 0, 0),  # empty, but outside
        (2**62, 2**62, 2**62, 2**62),  # far edges beyond any 64-bit sum
        (-(2**63), 0, 2**63 - 1, 1),
    ],
)
def test_a_rectangle_outside_the_frame_is_refused(capture, left, top, width, height):
    out = np.full((1, 1, 4), 7, np.uint8)
    with pytest.raises(ValueError) as caught:
        capture.frame_region(left, top, width, height, out=out)
    assert str(caught.value) == outside(left, top, width, height)
    assert (out == 7).all()
    assert winsim.calls("CopySubresourceRegion") == 0


@pytest.mark.parametrize(
    "arguments, error, message, note",
    [
        ((1.0, 0, 1, 1), TypeError, "'float' object cannot be interpreted as an integer", "left"),
        ((0, "1", 1, 1), TypeError, "'str' object cannot be interpreted as an integer", "top"),
        ((0, 0, None, 1), TypeError, "'NoneType' object cannot be interpreted as an integer",
         "width"),
        ((0, 0, 1, 2**63), OverflowError, None, "height"),
        ((0, 0, 1), TypeError,
         "Capture.frame_region() missing 1 required positional argument: 'height'", None),
        ((0, 0, 1, 1, None, None), TypeError,
         "Capture.frame_region() takes from 4 to 5 positional arguments but 6 were given", None),
    ],
)
def test_arguments_are_converted_before_the_capture_is_looked_at(arguments, error, message, note):
    with pytest.raises(error) as caught:
        oc.Capture().frame_region(*arguments)
    if message is not None:
        assert str(caught.value) == message
    if HAS_NOTES:
        assert getattr(caught.value, "__notes__", None) == (
            None if note is None else [f"while processing '{note}'"])


def test_index_objects_are_accepted_and_the_capture_speaks_first(capture):
    assert np.array_equal(capture.frame_region(np.int64(3), True, np.uint8(2), 1),
                          content[1:2, 3:5])
    idle = oc.Capture()
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        idle.frame_region(-1, -1, -1, -1)
    winsim.add_monitor(64, 48)
    idle.start(oc.Monitor(1), await_first_frame=False)
    with pytest.raises(RuntimeError, match="^No frame available yet$"):
        idle.frame_region(-1, -1, -1, -1)
    idle.stop()


# --- `out`, as frame takes it -------------------------------------------------


class Sub(np.ndarray):
    pass


def fortran(shape):
    return np.asfortranarray(np.zeros(shape, np.uint8))


def read_only(shape):
    array = np.zeros(shape, np.uint8)
    array.flags.writeable = False
    return array


def strided(shape):
    return np.zeros((shape[0], shape[1] * 2, 4), np.uint8)[:, ::2]


# Each case makes an `out` for a read of the given shape.
OUT_CASES = {
    "exact": lambda shape: np.zeros(shape, np.uint8),
    "subclass": lambda shape: np.zeros(shape, np.uint8).view(Sub),
    "three channels": lambda shape: np.zeros(shape[:2] + (3,), np.uint8),
    "transposed shape": lambda shape: np.zeros((shape[1], shape[0], 4), np.uint8),
    "strided": strided,
    "fortran": fortran,
    "read-only": read_only,
    "float32": lambda shape: np.zeros(shape, np.float32),
    "list": lambda shape: [[[0, 0, 0, 0]]],
}


@pytest.mark.parametrize("case", OUT_CASES)
def test_out_follows_the_rules_of_frame(capture, case):
    """The same kind of `out` is taken or refused by frame_region as by frame,
    with the same text for the read's own shape, and a refused one is left as
    it was."""
    make = OUT_CASES[case]
    outcomes = []
    for read, shape in [(lambda out: capture.frame(out=out), (HEIGHT, WIDTH, 4)),
                        (lambda out: capture.frame_region(5, 6, 10, 9, out=out), (9, 10, 4))]:
        out = make(shape)
        before = np.array(out, copy=True)
        try:
            result = read(out)
        except (TypeError, ValueError) as error:
            assert np.array_equal(np.asarray(out), before)
            height, width = shape[:2]
            text = str(error).replace(f"[{height}, {width},", "[H, W,")
            text = text.replace(f"[{width}, {height},", "[W, H,")
            outcomes.append((type(error), text, getattr(error, "__notes__", None)))
        else:
            assert result is out
            outcomes.append((type(result), None, None))
    assert outcomes[0] == outcomes[1]
    assert capture.frame_region(5, 6, 10, 9).shape == (9, 10, 4)


def test_a_wrong_shape_names_the_rectangle(capture):
    with pytest.raises(ValueError) as caught:
        capture.frame_region(0, 0, 10, 9, out=np.zeros((10, 9, 4), np.uint8))
    assert str(caught.value) == "out has shape [10, 9, 4], expected [9, 10, 4]"


@pytest.mark.threaded
def test_python_threads_run_while_a_region_is_copied(capture):
    winsim.pause("Map")
    result = {}
    reader = threading.Thread(target=lambda: result.update(region=capture.frame_region(1, 1, 4, 4)),
                              daemon=True)
    reader.start()
    try:
        assert winsim.wait_paused("Map")
        assert sum(range(100_000)) == 4_999_950_000  # the interpreter lock is free
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            capture.stop()
    finally:
        winsim.resume("Map")
        join(reader)
    assert np.array_equal(result["region"], content[1:5, 1:5])
