"""Capture.frame end to end on the simulated platform: the pixels read back,
the row-pitch paths, content and pool sizes, the staging-texture cache, every
failure of the readback with `out` left unchanged, and readback across
threads."""

import subprocess
import sys
import textwrap
import threading

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import E_FAIL, E_OUTOFMEMORY, JOIN_SECONDS, join, sanitizer_loaded

UNSPECIFIED = "Windows API error: Unspecified error (0x80004005)"
INVALID_POINTER = "Windows API error: Invalid pointer (0x80004003)"
# A success without an object reports the thread's (empty) last error.
NULL_OBJECT = "Windows API error: The operation completed successfully. (0x00000000)"
INVALID_ARGUMENT = "Windows API error: The parameter is incorrect. (0x80070057)"
CONTIGUITY = "Frame buffer is not contiguous: The given array is not contiguous or is misaligned."

rng = np.random.default_rng(9)


def random_content(height, width):
    return rng.integers(0, 256, (height, width, 4), dtype=np.uint8)


def shown(content, height, width):
    """What a target of height x width shows: the top-left of its content,
    opaque black beyond it."""
    picture = np.zeros((height, width, 4), np.uint8)
    picture[..., 3] = 255
    rows, columns = min(height, content.shape[0]), min(width, content.shape[1])
    picture[:rows, :columns] = content[:rows, :columns]
    return picture


def frames_alive():
    return winsim.live_objects().get("Direct3D11CaptureFrame", 0)


@pytest.fixture
def manual_delivery():
    """Frames come only when a test presents them."""
    winsim.set_frame_delivery(False)


@pytest.fixture
def window_capture(manual_delivery):
    """A running capture of an 80x60 window showing random content, with its
    first frame; yields (capture, window handle, content)."""
    window = winsim.add_window("target", 80, 60)
    content = random_content(60, 80)
    winsim.set_content(window, content)
    capture = oc.Capture()
    capture.start(oc.Window("target"), await_first_frame=False)
    winsim.present(window)
    yield capture, window, content
    capture.stop()


def present_size(window, width, height):
    winsim.resize_window(window, width, height)
    winsim.present(window)


# --- the pixels -------------------------------------------------------------


def test_first_frame_of_a_fresh_process_shows_the_default_monitor():
    """A fresh install on Linux: the default desktop's primary monitor shows
    the documented test pattern (R = x mod 256, G = y mod 256, B = 128)."""
    code = """
        import numpy as np
        import opticatcher as oc
        capture = oc.Capture()
        capture.start(oc.primary_monitor())
        frame = capture.frame()
        print(type(frame).__name__, frame.dtype, frame.shape, frame.flags.c_contiguous)
        y, x = np.mgrid[0:1080, 0:1920]
        expected = np.stack([x % 256, y % 256, np.full_like(x, 128), np.full_like(x, 255)], -1)
        print((frame == expected).all())
        out = np.empty_like(frame)
        print(capture.frame(out=out) is out, (out == frame).all())
        capture.stop()
    """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                            text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "ndarray uint8 (1080, 1920, 4) True",
        "True",
        "True True",
    ]


def test_primary_monitor_frame_equals_its_content():
    monitor = winsim.add_monitor()
    content = random_content(1080, 1920)
    winsim.set_content(monitor, content)
    capture = oc.Capture()
    capture.start(oc.primary_monitor())
    frame = capture.frame()
    assert frame.shape == (1080, 1920, 4) and frame.dtype == np.uint8
    assert frame.flags.c_contiguous and frame.strides == (7680, 4, 1)
    assert np.array_equal(frame, content)
    out = np.zeros_like(frame)
    assert capture.frame(out=out) is out
    assert np.array_equal(out, content)
    capture.stop()


@pytest.mark.parametrize("alignment", [1, 64, 256])
@pytest.mark.parametrize("width", [64, 100, 33])  # rows of 256, 400 and 132 bytes
def test_content_read_through_packed_and_padded_rows(alignment, width):
    winsim.set_row_pitch_alignment(alignment)
    monitor = winsim.add_monitor(width, 30)
    content = random_content(30, width)
    winsim.set_content(monitor, content)
    capture = oc.Capture()
    capture.start(oc.primary_monitor())
    assert np.array_equal(capture.frame(), content)
    out = np.full((30, width, 4), 7, np.uint8)
    assert capture.frame(out=out) is out
    assert np.array_equal(out, content)
    capture.stop()


def test_a_pitch_with_padding_that_is_no_power_of_two(manual_delivery):
    winsim.set_row_pitch(3 * 40 * 4 // 2 + 4)  # 40 pixels: 160 bytes a row, pitch 244
    monitor = winsim.add_monitor(40, 20)
    content = random_content(20, 40)
    winsim.set_content(monitor, content)
    capture = oc.Capture()
    capture.start(oc.primary_monitor(), await_first_frame=False)
    winsim.present(monitor)
    assert np.array_equal(capture.frame(), content)
    capture.stop()


def test_repeated_reads_see_the_same_frame_until_a_new_one_arrives(window_capture):
    capture, window, content = window_capture
    first = capture.frame()
    winsim.set_content(window, random_content(60, 80))  # not yet presented
    second = capture.frame()
    assert np.array_equal(first, content) and np.array_equal(second, first)
    assert frames_alive() == 1  # reading never takes the frame from the slot
    winsim.present(window)
    assert not np.array_equal(capture.frame(), first)


def test_content_smaller_and_larger_than_the_pool(window_capture):
    capture, window, content = window_capture
    # Shrunk: the content's top-left rectangle of the larger buffer.
    present_size(window, 50, 40)
    assert np.array_equal(capture.frame(), content[:40, :50])
    # Grown past the pool (80x60): this frame still has the old buffer size.
    present_size(window, 100, 70)
    assert np.array_equal(capture.frame(), content)
    # The next frame comes from the grown pool: content, then black.
    winsim.present(window)
    assert np.array_equal(capture.frame(), shown(content, 70, 100))
    # Taller only.
    present_size(window, 100, 90)
    winsim.present(window)
    assert capture.frame().shape == (90, 100, 4)


def test_zero_size_content_is_refused_by_the_platform(window_capture):
    capture, window, content = window_capture
    present_size(window, 0, 0)
    for out in (None, np.zeros((0, 0, 4), np.uint8)):
        with pytest.raises(RuntimeError) as caught:
            capture.frame(out=out)
        assert str(caught.value) == INVALID_ARGUMENT
    present_size(window, 30, 0)
    with pytest.raises(RuntimeError, match=r"^Windows API error: The parameter is incorrect\."):
        capture.frame(out=np.zeros((0, 30, 4), np.uint8))
    with pytest.raises(ValueError, match=r"^out has shape \[0, 0, 4\], expected \[0, 30, 4\]$"):
        capture.frame(out=np.zeros((0, 0, 4), np.uint8))
    present_size(window, 80, 60)
    assert np.array_equal(capture.frame(), content)


def test_the_staging_texture_is_made_once_per_size(window_capture):
    capture, window, _ = window_capture
    for _ in range(3):
        capture.frame()
    assert winsim.calls("CreateTexture2D") == 1
    out = np.empty((60, 80, 4), np.uint8)
    capture.frame(out=out)
    assert winsim.calls("CreateTexture2D") == 1
    sizes = [(40, 30), (40, 30), (80, 60), (80, 30), (40, 30), (40, 30)]
    created = [2, 2, 3, 4, 5, 5]
    for (width, height), count in zip(sizes, created):
        present_size(window, width, height)
        assert capture.frame().shape == (height, width, 4)
        assert winsim.calls("CreateTexture2D") == count
    assert winsim.live_objects()["D3D11Texture2D"] == 3  # 2 pool buffers and 1 staging
    capture.stop()
    assert "D3D11Texture2D" not in winsim.live_objects()


# --- `out` ------------------------------------------------------------------


class Sub(np.ndarray):
    pass


def fortran(shape):
    return np.asfortranarray(np.zeros(shape, np.uint8))


def read_only(shape):
    array = np.zeros(shape, np.uint8)
    array.flags.writeable = False
    return array


@pytest.mark.parametrize(
    "make, error, message",
    [
        (lambda: [[[7] * 4] * 80] * 60, TypeError, "'list' object is not an instance of 'ndarray'"),
        (lambda: np.zeros((60, 320), np.uint8), TypeError,
         "'ndarray' object is not an instance of 'ndarray'"),
        (lambda: np.zeros((60, 80, 4), np.float32), TypeError,
         "'ndarray' object is not an instance of 'ndarray'"),
        (lambda: np.zeros((60, 80, 4), np.int8), TypeError,
         "'ndarray' object is not an instance of 'ndarray'"),
        (lambda: np.zeros((60, 80, 3), np.uint8), ValueError,
         "out has shape [60, 80, 3], expected [60, 80, 4]"),
        (lambda: np.zeros((80, 60, 4), np.uint8), ValueError,
         "out has shape [80, 60, 4], expected [60, 80, 4]"),
        (lambda: np.zeros((60, 160, 4), np.uint8)[:, ::2], ValueError, CONTIGUITY),
        (lambda: np.zeros((60, 80, 8), np.uint8)[..., :4], ValueError, CONTIGUITY),
        (lambda: read_only((60, 80, 4)), ValueError,
         "Frame buffer is read-only: The given array is not writeable."),
        (lambda: fortran((60, 80, 4)), ValueError, CONTIGUITY),
    ],
)
def test_every_unusable_out_is_refused_and_left_unchanged(window_capture, make, error, message):
    capture, _, content = window_capture
    out = make()
    before = np.array(out, copy=True)
    with pytest.raises(error) as caught:
        capture.frame(out=out)
    assert str(caught.value) == message
    assert np.array_equal(np.asarray(out), before)
    assert np.array_equal(capture.frame(), content)


def test_an_ndarray_subclass_is_filled_and_returned(window_capture):
    capture, _, content = window_capture
    out = np.zeros((60, 80, 4), np.uint8).view(Sub)
    assert capture.frame(out) is out
    assert np.array_equal(out, content)


# --- failures ---------------------------------------------------------------


@pytest.mark.parametrize(
    "operation, null, message",
    [
        ("get_ContentSize", False, UNSPECIFIED),
        ("get_Surface", False, UNSPECIFIED),
        ("get_Surface", True, NULL_OBJECT),
        ("QueryInterface:IDirect3DDxgiInterfaceAccess", False, UNSPECIFIED),
        ("QueryInterface:IDirect3DDxgiInterfaceAccess", True, INVALID_POINTER),
        ("GetInterface", False, UNSPECIFIED),
        ("GetInterface", True, NULL_OBJECT),
        ("CreateTexture2D", False, UNSPECIFIED),
        ("CreateTexture2D", True, "Failed to create a staging texture"),
        ("Map", False, UNSPECIFIED),
        ("Map", True, INVALID_POINTER),  # mapped, but no memory delivered
    ],
)
@pytest.mark.parametrize("with_out", [False, True])
def test_a_failing_step_leaves_out_unchanged_and_the_next_call_works(
        window_capture, operation, null, message, with_out):
    capture, _, content = window_capture
    out = np.full((60, 80, 4), 7, np.uint8) if with_out else None
    winsim.fail(operation, E_FAIL, null=null)
    with pytest.raises(RuntimeError) as caught:
        capture.frame(out=out)
    assert str(caught.value) == message
    if with_out:
        assert (out == 7).all()
    assert capture.active
    assert np.array_equal(capture.frame(out=out), content)


def test_error_information_of_a_failing_map_is_reported(window_capture):
    capture, _, _ = window_capture
    winsim.fail("Map", E_OUTOFMEMORY, description="The GPU is out of memory.")
    with pytest.raises(RuntimeError) as caught:
        capture.frame()
    assert str(caught.value) == "Windows API error: The GPU is out of memory. (0x8007000E)"


def test_a_failing_map_keeps_the_new_staging_texture(window_capture):
    capture, _, content = window_capture
    winsim.fail("Map", E_FAIL)
    with pytest.raises(RuntimeError):
        capture.frame()
    assert np.array_equal(capture.frame(), content)
    assert winsim.calls("CreateTexture2D") == 1


def test_a_failing_staging_texture_keeps_the_cached_one(window_capture):
    capture, window, content = window_capture
    capture.frame()
    present_size(window, 40, 30)
    winsim.fail("CreateTexture2D", E_FAIL)
    with pytest.raises(RuntimeError, match="^Windows API error: Unspecified error"):
        capture.frame()
    present_size(window, 80, 60)
    assert np.array_equal(capture.frame(), content)
    assert winsim.calls("CreateTexture2D") == 2  # the cached 80x60 texture was reused


def test_no_frame_yet_and_not_running(manual_delivery):
    monitor = winsim.add_monitor(64, 48)
    capture = oc.Capture()
    out = np.full((48, 64, 4), 7, np.uint8)
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        capture.frame(out=out)
    capture.start(oc.primary_monitor(), await_first_frame=False)
    with pytest.raises(RuntimeError, match="^No frame available yet$"):
        capture.frame(out=out)
    # Checked before the shape of `out`.
    with pytest.raises(RuntimeError, match="^No frame available yet$"):
        capture.frame(out=np.zeros((1, 1, 4), np.uint8))
    winsim.present(monitor)
    assert capture.frame(out=out) is out
    capture.stop()
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        capture.frame(out=np.zeros((1, 1, 4), np.uint8))
    # A bad type still comes first.
    with pytest.raises(TypeError):
        capture.frame(out=[])


def test_a_closed_window_still_reads_its_last_frame(window_capture):
    capture, window, content = window_capture
    winsim.destroy_window(window)
    assert capture.active
    assert np.array_equal(capture.frame(), content)
    assert np.array_equal(capture.frame(), content)


def test_a_short_row_pitch_is_an_internal_failure_and_unmaps(window_capture):
    capture, window, content = window_capture
    winsim.set_row_pitch(80 * 4 - 4)
    out = np.full((60, 80, 4), 7, np.uint8)
    for _ in range(2):  # a texture left mapped would be seen mapped twice
        with pytest.raises(BaseException) as caught:
            capture.frame(out=out)
        assert type(caught.value).__name__ == "PanicException"
        assert "row pitch 316 is shorter than a row of 320 bytes" in str(caught.value)
        assert (out == 7).all()
    assert winsim.errors() == []
    # Still usable: a new staging texture (another size) gets a sound pitch.
    winsim.set_row_pitch(None)
    present_size(window, 40, 30)
    assert np.array_equal(capture.frame(), content[:30, :40])
    assert capture.active


# --- threads ----------------------------------------------------------------


@pytest.mark.threaded
def test_stop_during_a_readback_is_refused_while_active_answers(window_capture):
    capture, _, content = window_capture
    winsim.pause("Map")
    result = {}
    reader = threading.Thread(target=lambda: result.update(frame=capture.frame()), daemon=True)
    reader.start()
    try:
        assert winsim.wait_paused("Map")
        # The reader holds its shared borrow, without the interpreter lock.
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            capture.stop()
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            capture.start(oc.Window("target"))
        assert capture.active is True
    finally:
        winsim.resume("Map")
        join(reader)
    assert np.array_equal(result["frame"], content)
    capture.stop()
    assert capture.active is False


@pytest.mark.threaded
def test_python_threads_run_while_a_readback_waits(window_capture):
    capture, _, _ = window_capture
    winsim.pause("Map")
    reader = threading.Thread(target=capture.frame, daemon=True)
    reader.start()
    try:
        assert winsim.wait_paused("Map")
        # The interpreter lock is free: this thread runs Python meanwhile.
        assert sum(range(100_000)) == 4_999_950_000
        assert reader.is_alive()
    finally:
        winsim.resume("Map")
        join(reader)


@pytest.mark.threaded
def test_several_threads_read_one_capture_at_once(window_capture):
    capture, window, content = window_capture
    errors = []
    start = threading.Barrier(4, timeout=JOIN_SECONDS)

    def reader():
        out = np.empty((60, 80, 4), np.uint8)
        try:
            start.wait()
            for _ in range(50):
                assert capture.frame(out=out) is out
                assert np.array_equal(out, content)
                assert np.array_equal(capture.frame(), content)
        except BaseException as error:  # reported by the main thread
            errors.append(error)

    threads = [threading.Thread(target=reader, daemon=True) for _ in range(4)]
    for thread in threads:
        thread.start()
    join(*threads)
    assert errors == []
    assert winsim.calls("CreateTexture2D") == 1


@pytest.mark.threaded
def test_readers_while_frames_arrive():
    """Automatic delivery at 240 Hz while threads read: every array is a whole
    frame of one of the two contents, never a mix."""
    monitor = winsim.add_monitor(64, 48, refresh_rate=240)
    red, blue = np.zeros((48, 64, 4), np.uint8), np.zeros((48, 64, 4), np.uint8)
    red[..., 0], blue[..., 2] = 255, 255
    winsim.set_content(monitor, red)
    capture = oc.Capture()
    capture.start(oc.primary_monitor())
    failures = []
    done = threading.Event()

    def reader():
        try:
            while not done.is_set():
                frame = capture.frame()
                if not (np.array_equal(frame, red) or np.array_equal(frame, blue)):
                    failures.append("a torn frame")
        except BaseException as error:
            failures.append(error)

    threads = [threading.Thread(target=reader, daemon=True) for _ in range(3)]
    for thread in threads:
        thread.start()
    for content in (blue, red, blue, red) * 5:
        winsim.set_content(monitor, content)
        threading.Event().wait(0.01)
    done.set()
    join(*threads)
    capture.stop()
    assert failures == []


@pytest.mark.skipif(sanitizer_loaded(), reason="a sanitizer's allocator aborts on the request")
def test_a_staging_texture_too_large_to_allocate_is_out_of_memory(manual_delivery):
    # 1080 rows 4 GB apart: far more than the machine has. The platform reports
    # E_OUTOFMEMORY instead of letting an allocation failure escape.
    monitor = winsim.add_monitor()
    capture = oc.Capture()
    capture.start(oc.primary_monitor(), await_first_frame=False)
    winsim.present(monitor)
    winsim.set_row_pitch(0xFFFFFFF0)
    out = np.full((1080, 1920, 4), 7, np.uint8)
    with pytest.raises(RuntimeError, match=r"^Windows API error: .*\(0x8007000E\)$"):
        capture.frame(out=out)
    assert (out == 7).all()
    winsim.set_row_pitch(None)
    assert capture.frame(out=out) is out
    capture.stop()
