"""The `out` argument of Capture.frame and the arrays a frame is written into."""
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import opticatcher as oc
import winsim

HAS_NOTES = sys.version_info >= (3, 11)
CONTIGUITY = "Frame buffer is not contiguous: The given array is not contiguous or is misaligned."


class Sub(np.ndarray):
    pass


def frame_type_error(capture, out):
    with pytest.raises(TypeError) as caught:
        capture.frame(out=out)
    if HAS_NOTES:
        assert caught.value.__notes__ == ["while processing 'out'"]
    return str(caught.value)


# --- conversion of `out`: checked before the capture is looked at ------------


@pytest.mark.parametrize(
    "out, type_name",
    [
        ([[[0, 0, 0, 0]]], "list"),
        ("abc", "str"),
        (b"\0\0\0\0", "bytes"),
        (3, "int"),
        (np.uint8(3), "uint8"),
        (np.zeros((4, 4), np.uint8), "ndarray"),  # 2 dimensions
        (np.zeros((1, 4, 4, 4), np.uint8), "ndarray"),  # 4 dimensions
        (np.zeros((4, 4, 4), np.float32), "ndarray"),
        (np.zeros((4, 4, 4), np.int8), "ndarray"),
        (np.zeros((4, 4, 4), np.uint16), "ndarray"),
        (np.zeros((4, 4, 4), np.bool_), "ndarray"),
        (np.zeros((4, 4, 4), np.float32).view(Sub), "Sub"),
        (memoryview(bytearray(64)).cast("B", (4, 4, 4)), "memoryview"),
    ],
)
def test_bad_out_is_a_type_error_even_when_idle(out, type_name):
    capture = oc.Capture()
    message = frame_type_error(capture, out)
    assert message == f"'{type_name}' object is not an instance of 'ndarray'"
    # Also positionally, and the capture is none the worse for it.
    assert frame_type_error(capture, out) == message
    assert capture.active is False


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.zeros((2, 3, 4), np.uint8),
        lambda: np.zeros((7, 1, 3), np.ubyte),  # any shape: checked once a frame is there
        lambda: np.zeros((2, 3, 4), np.dtype("u1", metadata={"k": 1})),  # an equivalent type
        lambda: np.zeros((2, 3, 4), np.uint8).view(Sub),
        lambda: np.asfortranarray(np.zeros((2, 3, 4), np.uint8)),
        lambda: np.zeros((2, 6, 4), np.uint8)[:, ::2],
    ],
)
def test_3d_uint8_out_passes_conversion(make):
    out = make()
    out[...] = 7
    with pytest.raises(RuntimeError, match="^Capture is not running$") as caught:
        oc.Capture().frame(out)
    assert not getattr(caught.value, "__notes__", None)
    assert (out == 7).all()


def test_read_only_out_passes_conversion_unwritten():
    out = np.full((2, 3, 4), 7, np.uint8)
    out.flags.writeable = False
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        oc.Capture().frame(out=out)
    assert (out == 7).all()


def run_fresh(code):
    """Runs `code` in a new interpreter (the module loads NumPy once per process)."""
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=60
    )
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_numpy_is_loaded_only_when_out_needs_it():
    output = run_fresh(
        """
        import sys
        import opticatcher as oc
        print("numpy" in sys.modules)
        for out in (None,):
            try:
                oc.Capture().frame(out=out)
            except RuntimeError:
                pass
        oc.Capture().active
        print("numpy" in sys.modules)
        try:
            oc.Capture().frame(out=[])
        except TypeError as error:
            print(error)
        print("numpy" in sys.modules)
        """
    )
    assert output.splitlines() == [
        "False",
        "False",
        "'list' object is not an instance of 'ndarray'",
        "True",
    ]


def test_numpy_missing_is_an_internal_failure_not_a_crash():
    output = run_fresh(
        """
        import sys
        sys.modules["numpy"] = None  # import numpy now fails
        import opticatcher as oc
        capture = oc.Capture()
        for attempt in range(2):
            try:
                capture.frame(out=[])
            except Exception as error:
                print("Exception", type(error).__name__)
            except BaseException as error:
                print(type(error).__name__, str(error).split(":")[0])
        try:
            capture.frame()
        except RuntimeError as error:
            print(error)
        """
    )
    assert output.splitlines() == [
        "PanicException Failed to access NumPy array API capsule",
        "PanicException Failed to access NumPy array API capsule",
        "Capture is not running",
    ]


# --- with frames --------------------------------------------------------------


@pytest.fixture
def running():
    """A capture of a 64x48 primary monitor that has its first frame."""
    winsim.add_monitor(width=64, height=48)
    capture = oc.Capture()
    capture.start(oc.primary_monitor())
    yield capture
    capture.stop()


def test_new_frame_arrays(running):
    first, second = running.frame(), running.frame(out=None)
    for array in (first, second):
        assert type(array) is np.ndarray and array.dtype == np.uint8
        assert array.shape == (48, 64, 4) and array.strides == (256, 4, 1)
        assert array.flags.c_contiguous and array.flags.owndata and array.flags.writeable
    assert first is not second


@pytest.mark.parametrize("kind", [np.ndarray, Sub])
def test_out_is_filled_and_returned_as_itself(running, kind):
    out = np.full((48, 64, 4), 7, np.uint8).view(kind)
    assert running.frame(out=out) is out
    assert (out == running.frame()).all()


@pytest.mark.parametrize(
    "out, message",
    [
        (np.zeros((48, 64, 3), np.uint8), "out has shape [48, 64, 3], expected [48, 64, 4]"),
        (np.zeros((64, 48, 4), np.uint8), "out has shape [64, 48, 4], expected [48, 64, 4]"),
        (np.zeros((48, 128, 4), np.uint8)[:, ::2], CONTIGUITY),
        (np.zeros((96, 64, 4), np.uint8)[::2], CONTIGUITY),
        (np.asfortranarray(np.zeros((48, 64, 4), np.uint8)), CONTIGUITY),
    ],
)
def test_unusable_out_is_refused_and_left_unchanged(running, out, message):
    out[...] = 7
    with pytest.raises(ValueError) as caught:
        running.frame(out=out)
    assert str(caught.value) == message
    assert (out == 7).all()
    assert running.frame().shape == (48, 64, 4)


NOT_AN_ARRAY = "'ndarray' object is not an instance of 'ndarray'"


@pytest.mark.parametrize(
    "layout, out, error, message",
    [
        ("BGRA", np.zeros((48, 64, 3), np.uint8), ValueError,
         "out has shape [48, 64, 3], expected [48, 64, 4]"),
        ("RGB", np.zeros((48, 64, 4), np.uint8), ValueError,
         "out has shape [48, 64, 4], expected [48, 64, 3]"),
        ("BGR", np.zeros((64, 48, 3), np.uint8), ValueError,
         "out has shape [64, 48, 3], expected [48, 64, 3]"),
        ("BGR", np.zeros((48, 64, 4), np.uint8)[..., :3], ValueError, CONTIGUITY),
        ("RGB", np.zeros((48, 192), np.uint8), TypeError, NOT_AN_ARRAY),  # 2 dimensions
        ("GRAY", np.zeros((48, 65), np.uint8), ValueError, "out has shape [48, 65], expected [48, 64]"),
        ("GRAY", np.zeros((48, 128), np.uint8)[:, ::2], ValueError, CONTIGUITY),
        ("GRAY", np.zeros((48, 64, 4), np.uint8), TypeError, NOT_AN_ARRAY),  # 3 dimensions
    ],
)
def test_out_of_another_layout_is_checked_against_its_shape(running, layout, out, error, message):
    running.pixel_layout = layout
    out[...] = 7
    with pytest.raises(error) as caught:
        running.frame(out=out)
    assert str(caught.value) == message
    assert (out == 7).all()
    assert running.frame().shape == {"GRAY": (48, 64)}.get(layout, (48, 64, len(layout)))


@pytest.mark.parametrize(
    "value, error, message",
    [
        ("rgb", ValueError, "Pixel layout must be one of 'RGBA', 'BGRA', 'RGB', 'BGR' or 'GRAY'"),
        ("GRAY\0", ValueError, "Pixel layout must be one of 'RGBA', 'BGRA', 'RGB', 'BGR' or 'GRAY'"),
        ("\udcff", ValueError, "Pixel layout must be one of 'RGBA', 'BGRA', 'RGB', 'BGR' or 'GRAY'"),
        (b"RGB", TypeError, "'bytes' object is not an instance of 'str'"),
        (None, TypeError, "'None' is not an instance of 'str'"),
    ],
)
def test_a_refused_pixel_layout_keeps_the_one_set(running, value, error, message):
    assert running.pixel_layout == "RGBA"
    running.pixel_layout = "BGR"
    with pytest.raises(error) as caught:
        running.pixel_layout = value
    assert str(caught.value) == message
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del running.pixel_layout
    assert running.pixel_layout == "BGR" and running.frame().shape == (48, 64, 3)


def test_read_only_out_is_refused_and_left_unchanged(running):
    out = np.full((48, 64, 4), 7, np.uint8)
    out.flags.writeable = False
    with pytest.raises(ValueError) as caught:
        running.frame(out=out)
    assert str(caught.value) == "Frame buffer is read-only: The given array is not writeable."
    assert (out == 7).all()
