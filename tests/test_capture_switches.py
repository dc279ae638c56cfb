"""The session switches of Capture: cursor and border (the mouse pointer in
the frames and the border around the captured target), secondary_windows (the
target's pop-up windows in its frames) and min_update_interval (the shortest
time between frames), before and during a capture, and on Windows versions
that lack them."""

import threading

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import E_ACCESSDENIED, E_FAIL, WS_EX_TOOLWINDOW, WS_POPUP, join

NEEDS = {
    "cursor": "Hiding the mouse pointer needs Windows 10 version 2004 or later",
    "border": "Hiding the capture border needs Windows 11 (or Windows Server 2022) or later",
    "secondary_windows": "Including pop-up windows needs Windows 11 version 24H2 or later",
    "min_update_interval":
        "Setting the minimum update interval needs Windows 11 version 24H2 or later",
}
# The winsim control that leaves a switch's interface out, by property.
LACKING = {"cursor": {"cursor_switch": False}, "border": {"border_switch": False},
           "secondary_windows": {"secondary_windows_switch": False},
           "min_update_interval": {"update_interval_switch": False}}
PUT = {"cursor": "put_IsCursorCaptureEnabled", "border": "put_IsBorderRequired",
       "secondary_windows": "put_IncludeSecondaryWindows",
       "min_update_interval": "put_MinUpdateInterval"}
QUERY = {"cursor": "QueryInterface:IGraphicsCaptureSession2",
         "border": "QueryInterface:IGraphicsCaptureSession3",
         "secondary_windows": "QueryInterface:IGraphicsCaptureSession6",
         "min_update_interval": "QueryInterface:IGraphicsCaptureSession5"}
# Each switch's default (what a session has without a call) and the other
# value the tests set; winsim reports the interval in seconds, 0.0 for none.
DEFAULT = {"cursor": True, "border": True, "secondary_windows": False,
           "min_update_interval": None}
OTHER = {"cursor": False, "border": False, "secondary_windows": True,
         "min_update_interval": 0.25}
SWITCHES = list(DEFAULT)
# What winsim reports for a session that got no call.
UNTOUCHED = {"cursor": True, "border": True, "min_update_interval": 0.0,
             "secondary_windows": False}

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


def sessions(handle, *switches):
    """winsim's open sessions of `handle`, with only the switches named
    (cursor and border when none are)."""
    keys = switches or ("cursor", "border")
    return [{key: session[key] for key in keys} for session in winsim.capture_sessions(handle)]


def reported(switch, value):
    return 0.0 if value is None else value


def test_defaults_and_idle_settings():
    capture = oc.Capture()
    assert capture.cursor is True and capture.border is True
    capture.cursor = False
    capture.border = np.False_
    assert capture.cursor is False and capture.border is False
    capture.cursor = True
    assert capture.cursor is True
    assert capture.secondary_windows is False and capture.min_update_interval is None
    assert winsim.calls(QUERY["cursor"]) == 0  # nothing to switch while idle


@pytest.mark.parametrize("switch", SWITCHES)
def test_a_switch_applies_at_start_and_while_running(monitor, switch):
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    # A session keeps its defaults without a call.
    assert winsim.capture_sessions(monitor) == [UNTOUCHED]
    assert winsim.calls(QUERY[switch]) == 0
    setattr(capture, switch, OTHER[switch])  # while running: at once
    assert sessions(monitor, switch) == [{switch: reported(switch, OTHER[switch])}]
    capture.stop()
    capture.start(oc.Monitor(1), await_first_frame=False)  # set before start
    assert getattr(capture, switch) == OTHER[switch]
    assert sessions(monitor, switch) == [{switch: reported(switch, OTHER[switch])}]
    setattr(capture, switch, DEFAULT[switch])
    assert getattr(capture, switch) is DEFAULT[switch]
    # None makes no call: the running session keeps its interval.
    kept = OTHER[switch] if switch == "min_update_interval" else DEFAULT[switch]
    assert sessions(monitor, switch) == [{switch: reported(switch, kept)}]
    capture.start(oc.Monitor(1), await_first_frame=False)
    assert winsim.capture_sessions(monitor) == [UNTOUCHED]
    capture.stop()
    assert winsim.capture_sessions(monitor) == []


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
    assert sessions(monitor) == []
    capture.start(oc.Monitor(1), await_first_frame=False)
    assert sessions(monitor) == [{"cursor": True, "border": False}]
    capture.border = True
    capture.cursor = False
    assert sessions(monitor) == [{"cursor": False, "border": True}]
    capture.border = False
    capture.start(oc.Monitor(1), await_first_frame=False)  # a new session, as set
    assert sessions(monitor) == [{"cursor": False, "border": False}]
    capture.stop()
    assert winsim.capture_sessions(monitor) == []


@pytest.mark.parametrize("switch", SWITCHES)
def test_a_windows_without_the_switch(monitor, switch):
    """Setting a switch where Windows lacks it is refused with the version it
    needs; its default is what the session does anyway."""
    winsim.set_session_interfaces(**LACKING[switch])
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    with pytest.raises(RuntimeError) as caught:
        setattr(capture, switch, OTHER[switch])
    assert str(caught.value) == NEEDS[switch]
    assert getattr(capture, switch) is DEFAULT[switch] and capture.active
    setattr(capture, switch, DEFAULT[switch])
    capture.stop()

    # Set while idle, it is refused by the next start, which leaves nothing.
    setattr(capture, switch, OTHER[switch])
    with pytest.raises(RuntimeError) as caught:
        capture.start(oc.Monitor(1), await_first_frame=False)
    assert str(caught.value) == NEEDS[switch]
    assert not capture.active and getattr(capture, switch) == OTHER[switch]
    assert winsim.live_objects() == {}
    setattr(capture, switch, DEFAULT[switch])
    capture.start(oc.Monitor(1), await_first_frame=False)
    capture.stop()


@pytest.mark.parametrize("switch", SWITCHES)
@pytest.mark.parametrize("operation", ["query", "put"])
def test_other_failures_are_windows_errors(monitor, switch, operation):
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    name = QUERY[switch] if operation == "query" else PUT[switch]
    winsim.fail(name, E_ACCESSDENIED, description="Denied.")
    with pytest.raises(RuntimeError, match=r"^Windows API error: Denied\. \(0x80070005\)$"):
        setattr(capture, switch, OTHER[switch])
    assert getattr(capture, switch) is DEFAULT[switch]
    assert winsim.capture_sessions(monitor) == [UNTOUCHED]
    # At start: the capture is left inactive.
    setattr(capture, switch, OTHER[switch])
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
@pytest.mark.parametrize("switch", ["cursor", "border", "secondary_windows"])
def test_only_a_bool_is_taken(switch, value, error, message):
    capture = oc.Capture()
    with pytest.raises(error) as caught:
        setattr(capture, switch, value)
    assert str(caught.value) == message
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(capture, switch)
    assert getattr(capture, switch) is DEFAULT[switch]


INTERVAL_RANGE = "Minimum update interval must be None or a finite number of seconds from 0 to 3600"


@pytest.mark.parametrize(
    "value, error, message",
    [
        (-0.001, ValueError, INTERVAL_RANGE),
        (3600.5, ValueError, INTERVAL_RANGE),
        (float("nan"), ValueError, INTERVAL_RANGE),
        (float("inf"), ValueError, INTERVAL_RANGE),
        ("0.1", TypeError, "must be real number, not str"),
    ],
)
def test_only_an_interval_in_range_is_taken(monitor, value, error, message):
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    with pytest.raises(error) as caught:
        capture.min_update_interval = value
    assert str(caught.value) == message
    assert capture.min_update_interval is None and winsim.calls(PUT["min_update_interval"]) == 0
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del capture.min_update_interval
    # The ends of the range, and 100-nanosecond ticks rounded to the nearest.
    for seconds, ticks in [(0, 0), (3600, 36_000_000_000), (1 / 30, 333_333), (5e-8, 1)]:
        capture.min_update_interval = seconds
        assert capture.min_update_interval == seconds
        assert sessions(monitor, "min_update_interval") == [{"min_update_interval": ticks / 1e7}]
    capture.stop()


def test_pop_up_windows_appear_in_their_owners_frames():
    winsim.set_frame_delivery(False)
    owner = winsim.add_window("owner", 32, 16)
    winsim.set_content(owner, np.zeros((16, 32, 4), np.uint8))
    popups = [
        # A menu half over the owner's right edge, a tool window over it...
        winsim.add_window("menu", 8, 4, style=WS_POPUP, owner=owner, position=(28, 2)),
        winsim.add_window("tool", 4, 4, ex_style=WS_EX_TOOLWINDOW, owner=owner, position=(1, 3)),
        # ... and owned windows that are not drawn: no pop-up, hidden, away.
        winsim.add_window("plain", 4, 4, owner=owner, position=(10, 10)),
        winsim.add_window("hidden", 4, 4, visible=False, style=WS_POPUP, owner=owner),
        winsim.add_window("away", 4, 4, style=WS_POPUP, owner=owner, position=(32, 0)),
    ]
    for value, popup in enumerate(popups, 1):
        winsim.set_content(popup, np.full((4, 8, 4), value, np.uint8))
    # A pop-up of another window is not its.
    other = winsim.add_window("other", 32, 16)
    winsim.add_window("theirs", 4, 4, style=WS_POPUP, owner=other)

    capture = oc.Capture()
    capture.secondary_windows = True
    capture.start(oc.Window("owner"), await_first_frame=False)
    frame = next_frame(capture, owner)
    expected = np.zeros((16, 32), np.uint8)
    expected[2:6, 28:32] = 1  # clipped to the owner
    expected[3:7, 1:5] = 2
    assert np.array_equal(frame[:, :, 0], expected)
    capture.secondary_windows = False
    assert not next_frame(capture, owner)[:, :, 0].any()
    capture.stop()


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
