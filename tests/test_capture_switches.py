"""Capture.cursor and Capture.border: the session switches for the mouse
pointer in the frames and the border around the captured target, before and
during a capture, and on Windows versions that lack them."""

import threading

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import E_ACCESSDENIED, E_FAIL, join

NEEDS = {
    "cursor": "Hiding the mouse pointer needs Windows 10 version 2004 or later",
    "border": "Hiding the capture border needs Windows 11 (or Windows Server 2022) or later",
}
# The winsim control that leaves a switch's interface out, by property.
LACKING = {"cursor": {"cursor_switch": False}, "border": {"border_switch": False}}
PUT = {"cursor": "put_IsCursorCaptureEnabled", "border": "put_IsBorderRequired"}
QUERY = {"cursor": "QueryInterface:IGraphicsCaptureSession2",
         "border": "QueryInterface:IGraphicsCaptureSession3"}

SPOT = (10, 5)


@pytest.fixture
def monitor():
    """A 64x48 monitor with the pointer over it; frames arrive only when a
    test presents them."""
    winsim.set_frame_delivery(False)
    handle = winsim.add_monitor(64, 48)
    winsim.set_pointer(handle, SPOT)
    return handle


def pointer_shown(frame, spot=SPOT):
    x, y = spot
    size = winsim.POINTER_SIZE
    square = frame[y:y + size, x:x + size]
    return bool((square == winsim.POINTER_RGBA).all())


def next_frame(capture, monitor):
    winsim.present(monitor)
    return capture.frame()


def test_defaults_and_idle_settings():
    capture = oc.Capture()
    assert capture.cursor is True and capture.border is True
    capture.cursor = False
    capture.border = np.False_
    assert capture.cursor is False and capture.border is False
    capture.cursor = True
    assert capture.cursor is True
    assert winsim.calls(QUERY["cursor"]) == 0  # nothing to switch while idle


def test_the_pointer_appears_and_disappears(monitor):
    capture = oc.Capture()
    capture.cursor = False
    capture.start(oc.Monitor(1), await_first_frame=False)
    frame = next_frame(capture, monitor)
    assert not pointer_shown(frame)
    # Exactly the pointer's pixels differ from the test pattern.
    capture.cursor = True
    shown = next_frame(capture, monitor)
    assert pointer_shown(shown)
    changed = np.argwhere((shown != frame).any(axis=2))
    assert len(changed) == winsim.POINTER_SIZE**2
    assert (changed.min(axis=0) == SPOT[::-1]).all()
    assert capture.frame_region(SPOT[0], SPOT[1], 2, 2).tolist() == [[list(winsim.POINTER_RGBA)] * 2] * 2
    capture.cursor = False
    assert np.array_equal(next_frame(capture, monitor), frame)
    # With the pointer away from the target, cursor capture draws nothing.
    winsim.set_pointer(monitor, None)
    capture.cursor = True
    assert np.array_equal(next_frame(capture, monitor), frame)
    capture.stop()


def test_the_border_state_follows_the_property(monitor):
    capture = oc.Capture()
    capture.border = False
    assert winsim.capture_sessions(monitor) == []
    capture.start(oc.Monitor(1), await_first_frame=False)
    assert winsim.capture_sessions(monitor) == [{"cursor": True, "border": False}]
    capture.border = True
    capture.cursor = False
    assert winsim.capture_sessions(monitor) == [{"cursor": False, "border": True}]
    capture.border = False
    capture.start(oc.Monitor(1), await_first_frame=False)  # a new session, as set
    assert winsim.capture_sessions(monitor) == [{"cursor": False, "border": False}]
    capture.stop()
    assert winsim.capture_sessions(monitor) == []


@pytest.mark.parametrize("switch", ["cursor", "border"])
def test_a_windows_without_the_switch(monitor, switch):
    """Turning a switch off where Windows lacks it is refused with the version
    it needs; turning it on is what the session does anyway."""
    winsim.set_session_interfaces(**LACKING[switch])
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    with pytest.raises(RuntimeError) as caught:
        setattr(capture, switch, False)
    assert str(caught.value) == NEEDS[switch]
    assert getattr(capture, switch) is True and capture.active
    setattr(capture, switch, True)
    capture.stop()

    # Set while idle, it is refused by the next start, which leaves nothing.
    setattr(capture, switch, False)
    with pytest.raises(RuntimeError) as caught:
        capture.start(oc.Monitor(1), await_first_frame=False)
    assert str(caught.value) == NEEDS[switch]
    assert not capture.active and getattr(capture, switch) is False
    assert winsim.live_objects() == {}
    setattr(capture, switch, True)
    capture.start(oc.Monitor(1), await_first_frame=False)
    capture.stop()


@pytest.mark.parametrize("switch", ["cursor", "border"])
@pytest.mark.parametrize("operation", ["query", "put"])
def test_other_failures_are_windows_errors(monitor, switch, operation):
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    name = QUERY[switch] if operation == "query" else PUT[switch]
    winsim.fail(name, E_ACCESSDENIED, description="Denied.")
    with pytest.raises(RuntimeError, match=r"^Windows API error: Denied\. \(0x80070005\)$"):
        setattr(capture, switch, False)
    assert getattr(capture, switch) is True
    assert winsim.capture_sessions(monitor) == [{"cursor": True, "border": True}]
    # At start: the capture is left inactive.
    setattr(capture, switch, False)
    winsim.fail(name, E_FAIL)
    with pytest.raises(RuntimeError, match=r"^Windows API error: .*\(0x80004005\)$"):
        capture.start(oc.Monitor(1), await_first_frame=False)
    assert not capture.active


@pytest.mark.parametrize(
    "value, error, message",
    [
        (1, TypeError, "'int' object is not an instance of 'bool'"),
        (None, TypeError, "'None' is not an instance of 'bool'"),
        ("yes", TypeError, "'str' object is not an instance of 'bool'"),
    ],
)
@pytest.mark.parametrize("switch", ["cursor", "border"])
def test_only_a_bool_is_taken(switch, value, error, message):
    capture = oc.Capture()
    with pytest.raises(error) as caught:
        setattr(capture, switch, value)
    assert str(caught.value) == message
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(capture, switch)
    assert getattr(capture, switch) is True


@pytest.mark.threaded
@pytest.mark.parametrize("name, value, before", [("cursor", False, True),
                                                 ("pixel_layout", "GRAY", "RGBA")])
def test_a_switch_waits_for_readers_like_start(monitor, name, value, before):
    """Setting a switch (or the pixel layout) needs the capture to itself, as
    start and stop do."""
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    winsim.pause("Map")
    reader = threading.Thread(target=capture.frame, daemon=True)
    reader.start()
    try:
        assert winsim.wait_paused("Map")
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            setattr(capture, name, value)
        assert getattr(capture, name) == before
    finally:
        winsim.resume("Map")
        join(reader)
    capture.stop()
