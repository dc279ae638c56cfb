"""Random arguments for every entry point, mixed with random platform faults.

Whatever a caller passes and whatever the platform does, a call ends with one
of the documented exception types (or the caller's own exception, raised by
one of its objects), never with a crash, a SystemError or the internal-failure
exception; a rejected `out` is never written; and nothing simulated is left
alive once the objects are gone.

The property tests run in one child interpreter (test_fuzzing_in_a_child),
so that a crash fails that test instead of ending the whole run. The seed is
chosen here and shown on failure; OPTICATCHER_FUZZ_SEED=<n> repeats a run.
"""

import gc
import os
import random
import subprocess
import sys
import time

import numpy as np
import pytest
from hypothesis import HealthCheck, Phase, event, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import opticatcher as oc
import winsim

CHILD = os.environ.get("OPTICATCHER_FUZZ_CHILD") == "1"
child_only = pytest.mark.skipif(not CHILD, reason="runs in the child of test_fuzzing_in_a_child")

FUZZ = settings(
    max_examples=int(os.environ.get("OPTICATCHER_FUZZ_EXAMPLES", "120")),
    deadline=None,  # sanitizer builds are slow; time is bounded by the count
    database=None,
    print_blob=True,
    suppress_health_check=list(HealthCheck),
    # Shrinking a failure can take minutes; OPTICATCHER_FUZZ_SHRINK=1 turns it
    # on when a failure is being studied.
    phases=[phase for phase in Phase
            if phase != Phase.shrink or os.environ.get("OPTICATCHER_FUZZ_SHRINK") == "1"],
)


# --- the caller's own objects --------------------------------------------------


class Boom(Exception):
    """Raised by the caller's objects: it must come back out unchanged."""

    own = True


# Exceptions of other kinds that a caller's object may raise; they too must
# come back out as they are.
class OwnOverflow(OverflowError):
    own = True


class OwnMemoryError(MemoryError):
    own = True


class OwnInterrupt(KeyboardInterrupt):
    own = True


class OwnSystemError(SystemError):
    own = True


class Index:
    """An object with __index__, which may raise or return something odd."""

    def __init__(self, result):
        self.result = result

    def __index__(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result

    def __repr__(self):
        return f"Index({self.result!r})"


class LyingIndex:
    """__index__ answers differently on every call."""

    def __init__(self):
        self.answers = iter([1, -1, 2**70, 0] * 4)

    def __index__(self):
        return next(self.answers)


class IntSub(int):
    pass


class StrSub(str):
    pass


class HostileStr(str):
    def __str__(self):
        raise Boom("__str__")

    def __eq__(self, other):
        raise Boom("__eq__")

    def __hash__(self):
        raise Boom("__hash__")

    def encode(self, *args, **kwargs):
        raise Boom("encode")


class Hostile:
    """Every dunder the module could be tempted to use raises."""

    def __index__(self):
        raise Boom("__index__")

    def __int__(self):
        raise Boom("__int__")

    def __bool__(self):
        raise Boom("__bool__")

    def __len__(self):
        raise Boom("__len__")

    def __str__(self):
        raise Boom("__str__")

    def __repr__(self):  # kept: the test framework shows the values it drew
        return "Hostile()"

    def __eq__(self, other):
        raise Boom("__eq__")

    def __hash__(self):
        raise Boom("__hash__")

    def __array__(self, *args, **kwargs):
        raise Boom("__array__")

    def __getattr__(self, name):
        raise Boom(name)


class NamelessMeta(type):
    def __getattribute__(cls, name):
        if name in ("__qualname__", "__name__", "__module__"):
            raise Boom(name)
        return super().__getattribute__(name)


class Nameless(metaclass=NamelessMeta):
    def __repr__(self):
        return "Nameless()"


def nameless():
    return Nameless()


class ArraySub(np.ndarray):
    pass


# --- strategies ----------------------------------------------------------------

odd_ints = st.one_of(
    st.integers(min_value=-(2**70), max_value=2**70),
    st.sampled_from([0, 1, 2, 2**31 - 1, 2**31, 2**32 - 1, 2**32, 2**63 - 1, 2**63, 2**64 - 1,
                     2**64, -1, -(2**63), -(2**64)]),
    st.builds(IntSub, st.integers(min_value=-(2**65), max_value=2**65)),
    st.booleans(),
)

index_objects = st.one_of(
    st.builds(Index, odd_ints),
    st.builds(Index, st.sampled_from([Boom("index"), OwnOverflow("index"), OwnMemoryError(),
                                      OwnInterrupt(), OwnSystemError("index")])),
    st.builds(Index, st.sampled_from([1.5, "1", None, b"1", object()])),
    st.builds(LyingIndex),
)

texts = st.one_of(
    st.text(max_size=40),
    st.text(st.characters(codec=None, categories=["Cs", "Cc", "Lo", "So"]), max_size=20),
    st.sampled_from(["", "\0", "a\0b", "\ud800", "\udc80x", "\U0001F600", "'\"", "x" * 1000]),
)
str_objects = st.one_of(texts, st.builds(StrSub, texts), st.builds(HostileStr, texts))

numpy_scalars = st.one_of(
    st.builds(np.bool_, st.booleans()),
    st.builds(np.uint8, st.integers(0, 255)),
    st.builds(np.int64, st.integers(-(2**63), 2**63 - 1)),
    st.builds(np.uint64, st.integers(0, 2**64 - 1)),
    st.builds(np.float32, st.floats(width=32)),
    st.builds(np.float64, st.floats()),
    st.builds(np.complex128, st.complex_numbers()),
    st.builds(np.str_, texts),
    st.builds(np.bytes_, st.binary(max_size=8)),
)

ALL_DTYPES = [
    np.bool_, np.int8, np.uint8, np.int16, np.uint16, np.int32, np.uint32, np.int64, np.uint64,
    np.float16, np.float32, np.float64, np.complex64, np.complex128, np.object_, "U2", "S2", "V4",
    ">u1", "<u1", "=u1", np.dtype("u1", metadata={"k": 1}), np.dtype([("r", "u1"), ("g", "u1")]),
    np.dtype(("u1", (4,))), "M8[s]", "m8[s]",
]


BYTE_DTYPES = [np.uint8, ">u1", "<u1", np.dtype("u1", metadata={"k": 1}), np.int8, np.bool_]


FRAME_SHAPE = (48, 64, 4)  # the frames of the scene's monitor
# What the scene's monitor shows: pixel (x, y) is (x % 256, y % 256, 128, 255).
_y, _x = np.mgrid[0:FRAME_SHAPE[0], 0:FRAME_SHAPE[1]]
PATTERN = np.stack([_x, _y, np.full_like(_x, 128), np.full_like(_x, 255)], axis=-1).astype(np.uint8)
# The pixel layouts, each with the shape of a frame of the scene's monitor and
# the pattern in that layout.
LAYOUT_SHAPES = {"RGBA": FRAME_SHAPE, "BGRA": FRAME_SHAPE, "RGB": FRAME_SHAPE[:2] + (3,),
                 "BGR": FRAME_SHAPE[:2] + (3,), "GRAY": FRAME_SHAPE[:2]}


def in_layout(rgba, layout):
    if layout == "GRAY":
        r, g, b = (rgba[..., channel].astype(np.uint32) for channel in range(3))
        return ((4899 * r + 9617 * g + 1868 * b + 8192) >> 14).astype(np.uint8)
    return rgba[..., ["RGBA".index(letter) for letter in layout]]


@st.composite
def arrays(draw, dtypes=ALL_DTYPES, exact=False, frame_shape=FRAME_SHAPE):
    """Arrays of every dtype, shape and memory layout, many near a frame's shape."""
    dtype = np.dtype(draw(st.sampled_from(dtypes)))
    near = draw(st.integers(0, 3)) > 0
    if exact:
        shape = frame_shape
    elif near:
        shape = draw(st.sampled_from([(48, 64, 4), (64, 48, 4), (48, 64, 3), (0, 0, 4),
                                      (48, 0, 4), (96, 128, 4), (48, 128, 4), (1, 48, 64, 4),
                                      (48, 64), (64, 48), (48, 64, 1)]))
    else:
        shape = draw(hnp.array_shapes(min_dims=0, max_dims=4, min_side=0, max_side=5))
    base = np.zeros(shape, dtype) if dtype != np.object_ else np.full(shape, None, object)
    shape, dtype = base.shape, base.dtype  # a sub-array dtype adds dimensions
    layout = draw(st.sampled_from(["c", "f", "steps", "reversed", "transposed", "unaligned",
                                   "readonly", "sub", "broadcast"]))
    array = base
    if layout == "f":
        array = np.asfortranarray(base)
    elif layout == "steps" and base.ndim:
        array = np.repeat(base, 2, axis=0)[::2]
    elif layout == "reversed" and base.ndim:
        array = base[::-1]
    elif layout == "transposed":
        array = base.T
    elif layout == "unaligned" and dtype.kind not in "OV" and dtype.itemsize:
        raw = np.zeros(base.nbytes + dtype.itemsize + 1, np.uint8)
        array = raw[1:1 + base.nbytes].view(dtype).reshape(shape) if base.nbytes else base
    elif layout == "readonly":
        array = base.copy()
        array.flags.writeable = False
    elif layout == "sub":
        array = base.view(ArraySub)
    elif layout == "broadcast" and base.ndim and shape[0]:
        array = np.broadcast_to(base[:1], shape)  # read-only, rows overlapping
    return array


@st.composite
def out_values(draw, frame_shape=FRAME_SHAPE):
    """Mostly arrays (many of a frame's exact shape, in every layout), then
    anything else. Chosen in two steps: a flat choice would be swamped by the
    many kinds of non-array values."""
    kind = draw(st.integers(0, 9))
    if kind < 4:
        return draw(arrays(BYTE_DTYPES[:4], exact=True, frame_shape=frame_shape))
    if kind < 6:
        return draw(arrays(BYTE_DTYPES))
    if kind < 8:
        return draw(arrays())
    if kind == 8:
        return None
    return draw(st.one_of(
        numpy_scalars, odd_ints, st.binary(max_size=16),
        st.builds(bytearray, st.binary(max_size=16)),
        st.builds(lambda: memoryview(bytearray(64)).cast("B", (4, 4, 4))),
        st.builds(Hostile), st.builds(nameless), st.lists(st.integers(0, 255), max_size=4),
    ))


# A pixel layout and an `out` for it (many of that layout's exact shape).
layouts_and_outs = st.sampled_from(list(LAYOUT_SHAPES)).flatmap(
    lambda layout: st.tuples(st.just(layout), out_values(LAYOUT_SHAPES[layout])))


def any_values():
    return st.one_of(
        odd_ints, index_objects, str_objects, numpy_scalars, st.none(), st.floats(),
        st.binary(max_size=8), st.builds(Hostile), st.builds(nameless),
        st.sampled_from([oc.Monitor, oc.Window, oc.Capture, object(), [], {}, (), float("nan")]),
    )


keyword_names = st.one_of(
    st.sampled_from(["id", "name", "capture_target", "await_first_frame", "out", "self", "left",
                     "top", "width", "height", "timeout", "handle", "x", "y"]),
    texts,
    st.builds(StrSub, st.sampled_from(["id", "name", "out", "await_first_frame"])),
    odd_ints, st.binary(max_size=4), st.none(),
)


@st.composite
def call_arguments(draw, values):
    """Positional and keyword arguments: usually few, sometimes very many."""
    many = draw(st.integers(0, 9)) == 0
    count = draw(st.integers(0, 300 if many else 3))
    args = [draw(values) for _ in range(min(count, 4))] + [0] * max(0, count - 4)
    kwargs = {}
    for _ in range(draw(st.integers(0, 3))):
        try:
            kwargs[draw(keyword_names)] = draw(values)
        except Boom:  # a hostile str key cannot even be hashed
            pass
    if many and draw(st.booleans()):
        kwargs.update({f"k{i}": i for i in range(200)})
    return args, kwargs


# Faults the property tests mix in: every fallible operation the module calls
# on a Python thread. The frame-delivery thread's operations are left to the
# fault sweep, where delivery is deterministic.
FAULT_OPERATIONS = [
    "RoInitialize", "WindowsCreateString", "RoGetActivationFactory", "CreateForMonitor",
    "CreateForWindow", "D3D11CreateDevice", "QueryInterface:ID3D10Multithread", "get_Size",
    "QueryInterface:IDXGIDevice", "CreateDirect3D11DeviceFromDXGIDevice",
    "QueryInterface:IDirect3DDevice", "CreateFreeThreaded", "add_FrameArrived",
    "CreateCaptureSession", "StartCapture", "GraphicsCaptureSession.Close",
    "remove_FrameArrived", "Direct3D11CaptureFramePool.Close", "QueryInterface:IClosable",
    "get_Surface", "QueryInterface:IDirect3DDxgiInterfaceAccess", "GetInterface",
    "CreateTexture2D", "Map", "IsWindowVisible", "GetClientRect", "GetWindowLongPtrW",
    "EnumDisplayMonitors", "GetMonitorInfoW", "EnumDisplaySettingsW", "EnumDisplayDevicesW",
    "MonitorFromPoint", "FindWindowW", "EnumChildWindows", "GetWindowTextLengthW",
    "GetWindowTextW", "GetWindowThreadProcessId", "GetForegroundWindow", "SetForegroundWindow",
    # GetErrorInfo is left out: when it fails, the error information it should
    # have taken stays with the thread, as on Windows, until the next failure.
    # So is LocalFree: a block whose LocalFree fails stays allocated, and the
    # caller can do nothing but let it go, so such an example ends with a live
    # block that no code of the module owns any more.
    "GetDesktopWindow", "FormatMessageW", "GetDescription", "GetErrorDetails",
    "QueryInterface:IRestrictedErrorInfo", "LoadLibraryExA", "SysAllocString",
    "QueryInterface:IGraphicsCaptureSession2", "QueryInterface:IGraphicsCaptureSession3",
    "put_IsCursorCaptureEnabled", "put_IsBorderRequired",
    "QueryInterface:IGraphicsCaptureSession5", "QueryInterface:IGraphicsCaptureSession6",
    "put_MinUpdateInterval", "put_IncludeSecondaryWindows", "get_SystemRelativeTime",
    "GetModuleHandleW", "GetProcAddress", "SetThreadDpiAwarenessContext", "GetDpiForMonitor",
    "DwmGetWindowAttribute", "GetWindowRect", "ClientToScreen", "GetClassNameW", "IsIconic",
    "MonitorFromWindow", "add_Closed", "remove_Closed", "RequestAccessAsync", "put_Completed",
    "GetResults",
]

faults = st.lists(
    st.tuples(
        st.sampled_from(FAULT_OPERATIONS),
        # A failing HRESULT (one with the NT-status facility bit among them)...
        st.sampled_from([0x80004005, 0x80070005, 0x887A0005, 0xD0000005, 0x80004003]),
        # ... or a last error, for functions that report one.
        st.sampled_from([0, 5, 1400, 0xFFFF]),
        st.integers(0, 3),  # after
        st.integers(1, 3),  # times
        st.booleans(),  # null
        st.sampled_from([None, "", "described", "\ud800 lone", "x" * 300]),
    ),
    max_size=3,
)


def arm(planned):
    for operation, hresult, last_error, after, times, null, description in planned:
        try:
            winsim.fail(operation, hresult, after=after, times=times, null=null,
                        description=description)
        except ValueError:  # a function with a last error, or one with no object
            try:
                winsim.fail(operation, last_error, after=after, times=times)
            except ValueError:
                pass


# --- the checks ----------------------------------------------------------------

DOCUMENTED = (TypeError, ValueError, OverflowError, RuntimeError)


def outcome_of(call):
    """Runs call(); returns its result or the exception it raised, which must
    be a documented one or the caller's own."""
    try:
        return call()
    except BaseException as error:
        if getattr(error, "own", False):
            return error
        kind = type(error)
        assert not isinstance(error, SystemError), f"SystemError: {error}"
        assert kind.__name__ != "PanicException", f"internal failure: {error}"
        assert isinstance(error, DOCUMENTED), f"{kind.__name__}: {error}"
        return error


def context_restored(planned):
    """Every geometry query puts the thread's DPI context back, unless the
    platform refused to go back (a fault on SetThreadDpiAwarenessContext)."""
    if all(fault[0] != "SetThreadDpiAwarenessContext" for fault in planned):
        assert winsim.thread_dpi_awareness() == winsim.DPI_AWARENESS_CONTEXT_UNAWARE


def nothing_alive():
    gc.collect()
    deadline = time.monotonic() + 2.0
    while (live := winsim.live_objects()) and time.monotonic() < deadline:
        time.sleep(0.002)
    assert live == {}
    assert winsim.errors() == []


def scene():
    winsim.reset()
    winsim.set_frame_delivery(True)
    monitor = winsim.add_monitor(64, 48)
    winsim.add_window("fuzz", 32, 24)
    winsim.add_window("hidden", 32, 24, visible=False)
    return monitor


def snapshot(value):
    if isinstance(value, np.ndarray) and value.dtype != object:
        return value.tobytes()
    return None


# --- property tests (child interpreter only) -------------------------------------


def every_attribute_answers(made, planned):
    """Every attribute of a Monitor or Window that a call made answers or
    raises a documented error; afterwards nothing is left alive."""
    if isinstance(made, (oc.Monitor, oc.Window)):
        for attribute in dir(made):
            if not attribute.startswith("_"):
                outcome_of(lambda: getattr(made, attribute))
    context_restored(planned)
    del made
    nothing_alive()


@child_only
@FUZZ
@given(call_arguments(any_values()), faults, st.sampled_from(["Monitor", "Window", "Capture"]))
def test_constructors(arguments, planned, name):
    scene()
    args, kwargs = arguments
    arm(planned)
    # Passed on, not kept: the helper drops the last reference.
    every_attribute_answers(outcome_of(lambda: getattr(oc, name)(*args, **kwargs)), planned)


@child_only
@FUZZ
@given(call_arguments(any_values()), faults,
       st.sampled_from(["Monitor.from_handle", "Window.from_handle", "Monitor.from_point"]),
       st.booleans())
def test_class_functions(arguments, planned, name, live_handle):
    """Instances from any handle or point; whatever they name, every property
    answers or raises a documented error."""
    monitor = scene()
    window = winsim.add_window("placed", 40, 30, position=(-5, 20))
    args, kwargs = arguments
    if live_handle and name.endswith("from_handle"):
        args = [window if name.startswith("Window") else monitor]
    arm(planned)
    cls, function = name.split(".")
    every_attribute_answers(
        outcome_of(lambda: getattr(getattr(oc, cls), function)(*args, **kwargs)), planned)


@child_only
@FUZZ
@given(call_arguments(any_values()), faults,
       st.sampled_from(["enumerate_monitors", "primary_monitor", "enumerate_windows",
                        "foreground_window"]))
def test_module_functions(arguments, planned, name):
    scene()
    args, kwargs = arguments
    arm(planned)
    outcome_of(lambda: getattr(oc, name)(*args, **kwargs))
    nothing_alive()


class SceneTarget(str):
    """A target to build from the scene: a plain name is just a value."""


targets = st.one_of(
    st.sampled_from([SceneTarget(name) for name in
                     ["monitor", "window", "hidden", "stale window", "stale monitor"]]),
    any_values(),
)
await_values = st.one_of(
    st.sampled_from([False, np.False_]), st.booleans(), st.none(), st.builds(np.bool_),
    any_values(),
)


def materialise(target):
    if type(target) is not SceneTarget:
        return target
    if target == "monitor":
        return oc.Monitor(1)
    if target in ("window", "hidden"):
        return oc.Window("fuzz" if target == "window" else "hidden")
    if target == "stale window":
        handle = winsim.add_window("gone", 16, 16)
        window = oc.Window("gone")
        winsim.destroy_window(handle)
        return window
    if target == "stale monitor":
        handle = winsim.add_monitor(16, 16)
        monitor = oc.Monitor(2)
        winsim.remove_monitor(handle)
        return monitor
    raise AssertionError(target)


@child_only
@FUZZ
@given(targets, await_values, faults, st.integers(0, 2), call_arguments(any_values()))
def test_start(target, await_first_frame, planned, running_before, extra):
    """start with any target and flag, on an idle or running capture; a failed
    argument conversion leaves a running capture running."""
    scene()
    capture = oc.Capture()
    for _ in range(running_before):
        capture.start(oc.Monitor(1))
    target = materialise(target)
    if planned and not (await_first_frame is False or await_first_frame is np.False_):
        # A platform fault may keep the first frame away: no waiting then.
        await_first_frame = False
    arm(planned)
    extra_args, extra_kwargs = extra
    outcome_of(lambda: capture.start(target, await_first_frame))
    outcome_of(lambda: capture.start(target, await_first_frame=False, **extra_kwargs))
    outcome_of(lambda: capture.start(*[target, False] + extra_args))
    assert capture.target_closed is False or capture.active
    if not isinstance(target, (oc.Monitor, oc.Window)):
        before = capture.active
        outcome_of(lambda: capture.start(target))
        assert capture.active is before
    outcome_of(capture.stop)
    assert capture.active is False
    del capture, target
    nothing_alive()


@child_only
@FUZZ
@given(layouts_and_outs, faults, st.integers(0, 4).map(bool), st.booleans(),
       call_arguments(out_values()))
def test_frame(layout_and_out, planned, running, positional, extra):
    """frame with any `out` on a running or idle capture, in any pixel layout:
    a rejected `out` is left as it was, an accepted one is returned as itself."""
    layout, out = layout_and_out
    scene()
    capture = oc.Capture()
    if running:
        capture.start(oc.Monitor(1))
    capture.pixel_layout = layout
    before = snapshot(out)
    arm(planned)
    result = outcome_of(lambda: capture.frame(out) if positional else capture.frame(out=out))
    event("frame: " + type(result).__name__ + " " + (str(result)[:50] if isinstance(result, BaseException) else ""))
    if isinstance(result, BaseException):
        if before is not None:
            assert snapshot(out) == before, "a failing frame wrote into out"
    else:
        assert isinstance(result, np.ndarray) and result.dtype == np.uint8
        # The scene's monitor shows the test pattern: every byte in its place.
        assert np.array_equal(result, in_layout(PATTERN, layout))
        if out is not None:
            assert result is out
        # The frame read is numbered and timed.
        assert capture.frame_number >= 1 and isinstance(capture.frame_time, float)
    args, kwargs = extra
    outcome_of(lambda: capture.frame(*args, **kwargs))
    for method in (capture.stop, lambda: capture.active):
        outcome_of(method)
    del capture, result
    nothing_alive()


# Rectangle parts: mostly near the scene monitor's 64x48 frame, then anything.
region_parts = st.one_of(
    st.integers(-3, 70), st.integers(-3, 70), odd_ints, index_objects, any_values(),
)


@child_only
@FUZZ
@given(st.tuples(region_parts, region_parts, region_parts, region_parts), layouts_and_outs,
       faults, st.integers(0, 4).map(bool), st.booleans(), call_arguments(any_values()))
def test_frame_region(parts, layout_and_out, planned, running, positional, extra):
    """frame_region with any rectangle and `out`, in any pixel layout: a
    rejected `out` is left as it was, an accepted one is returned as itself,
    and a rectangle of plain ints gives exactly those pixels of the frame."""
    layout, out = layout_and_out
    scene()
    capture = oc.Capture()
    if running:
        capture.start(oc.Monitor(1))
    capture.pixel_layout = layout
    before = snapshot(out)
    arm(planned)
    result = outcome_of(lambda: capture.frame_region(*parts, out) if positional
                        else capture.frame_region(*parts, out=out))
    event("frame_region: " + type(result).__name__)
    if isinstance(result, BaseException):
        if before is not None:
            assert snapshot(out) == before, "a failing frame_region wrote into out"
    else:
        assert isinstance(result, np.ndarray) and result.dtype == np.uint8
        if out is not None:
            assert result is out
        if all(isinstance(part, int) for part in parts):
            left, top, width, height = (int(part) for part in parts)
            assert np.array_equal(result,
                                  in_layout(PATTERN, layout)[top:top + height, left:left + width])
    args, kwargs = extra
    outcome_of(lambda: capture.frame_region(*args, **kwargs))
    capture.stop()
    del capture, result
    nothing_alive()


timeouts = st.one_of(
    st.floats(min_value=0, max_value=0.02), st.floats(), st.none(), numpy_scalars, odd_ints,
    index_objects, any_values(),
)


@child_only
@FUZZ
@given(timeouts, faults, st.integers(0, 4).map(bool), st.booleans(), call_arguments(timeouts))
def test_wait_frame(timeout, planned, running, positional, extra):
    """wait_frame with any timeout, on a running capture (frames arrive at
    60 Hz, so no wait lasts) or an idle one."""
    scene()
    capture = oc.Capture()
    if running:
        capture.start(oc.Monitor(1))
    arm(planned)
    result = outcome_of(lambda: capture.wait_frame(timeout) if positional
                        else capture.wait_frame(timeout=timeout))
    event("wait_frame: " + type(result).__name__)
    assert isinstance(result, (bool, BaseException))
    args, kwargs = extra
    outcome_of(lambda: capture.wait_frame(*args, **kwargs))
    capture.stop()
    del capture
    nothing_alive()


@child_only
@FUZZ
@given(st.one_of(any_values(), st.sampled_from(list(LAYOUT_SHAPES))),
       st.sampled_from(["cursor", "border", "secondary_windows", "min_update_interval",
                        "pixel_layout"]),
       faults, st.integers(0, 2), st.tuples(*[st.booleans()] * 4),
       st.sampled_from([None, "denied"]))
def test_switches(value, name, planned, running, interfaces, border_access):
    """The session switches (cursor, border, secondary_windows and the
    interval) and pixel_layout take any value, on an idle or running capture,
    on Windows versions with or without them and with or without the border's
    consent (never allowed here: that would hold for the rest of the process);
    a refused value leaves the property as it was."""
    scene()
    winsim.set_session_interfaces(*interfaces)
    winsim.set_border_access(border_access)
    capture = oc.Capture()
    if running:
        capture.start(oc.Monitor(1))
    arm(planned)
    before = getattr(capture, name)
    result = outcome_of(lambda: setattr(capture, name, value))
    after = getattr(capture, name)
    if isinstance(result, BaseException):
        assert after == before and type(after) is type(before)
    elif name == "min_update_interval":
        # Whatever converted to seconds within the range, or None.
        assert (after is None) == (value is None)
        assert after is None or 0 <= after <= 3600
    elif name == "pixel_layout":
        assert after == value and type(after) is str
    else:
        assert after is bool(value)
    with pytest.raises(AttributeError):
        delattr(capture, name)
    if running == 2:
        outcome_of(lambda: capture.start(oc.Monitor(1), await_first_frame=False))
    capture.stop()
    del capture
    nothing_alive()


@child_only
@FUZZ
@given(call_arguments(any_values()), faults)
def test_methods_without_parameters(arguments, planned):
    scene()
    args, kwargs = arguments
    capture = oc.Capture()
    capture.start(oc.Monitor(1))
    window = oc.Window("fuzz")
    arm(planned)
    for method in (capture.stop, window.focus):
        if args or kwargs:
            error = outcome_of(lambda: method(*args, **kwargs))
            assert isinstance(error, TypeError)
        else:
            outcome_of(method)
    capture.stop()
    del capture, window
    nothing_alive()


# --- the parent's test ------------------------------------------------------------


def test_fuzzing_in_a_child():
    if CHILD:
        pytest.skip("this is the child")
    seed = int(os.environ.get("OPTICATCHER_FUZZ_SEED", random.randrange(2**32)))
    environment = dict(os.environ, OPTICATCHER_FUZZ_CHILD="1")
    result = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "-x",
         f"--hypothesis-seed={seed}", __file__],
        capture_output=True, text=True, timeout=600, env=environment,
        cwd=os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
    )
    assert result.returncode == 0, (
        f"fuzzing failed (exit status {result.returncode}); repeat with "
        f"OPTICATCHER_FUZZ_SEED={seed}\n{result.stdout[-20000:]}\n{result.stderr[-5000:]}"
    )
