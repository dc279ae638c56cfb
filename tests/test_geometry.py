"""Where monitors and windows are: rectangles in physical pixels of the virtual
screen, scales, rotation, handles, and building instances from a handle or a
point."""

import os
import threading

import pytest

import opticatcher as oc
import winsim
from support import E_FAIL

WS_CAPTION = 0x00C00000
# The caption at 150 %, rounded half away from zero as Windows scales.
CAPTION_150 = (winsim.CAPTION_HEIGHT * 3 + 1) // 2
TASK_BAR = winsim.TASK_BAR_HEIGHT


def layout():
    """A primary monitor with one to its left (150 %), one above it turned to
    portrait (200 %) and one to its right with a work area of its own."""
    handles = {
        "primary": winsim.add_monitor(1920, 1080),
        "left": winsim.add_monitor(2560, 1440, position=(-2560, -360), scale=1.5),
        "above": winsim.add_monitor(1080, 1920, position=(0, -1920), scale=2.0, orientation=90),
        "right": winsim.add_monitor(1280, 1024, scale=1.25, orientation=180,
                                    work_area=(1920, 100, 1280, 924)),
    }
    return {name: oc.Monitor.from_handle(handle) for name, handle in handles.items()}


EXPECTED = {
    # rect, work_area, primary, scale, orientation
    "primary": ((0, 0, 1920, 1080), (0, 0, 1920, 1080 - TASK_BAR), True, 1.0, 0),
    "left": ((-2560, -360, 2560, 1440), (-2560, -360, 2560, 1440 - TASK_BAR), False, 1.5, 0),
    "above": ((0, -1920, 1080, 1920), (0, -1920, 1080, 1920 - TASK_BAR), False, 2.0, 90),
    "right": ((1920, 0, 1280, 1024), (1920, 100, 1280, 924), False, 1.25, 180),
}


def geometry(monitor):
    return (monitor.rect, monitor.work_area, monitor.primary, monitor.scale, monitor.orientation)


def test_monitor_layout():
    monitors = layout()
    for name, monitor in monitors.items():
        assert geometry(monitor) == EXPECTED[name], name
    rect = monitors["left"].rect
    assert isinstance(rect, tuple) and type(rect).__name__ == "Rect"
    assert (rect.left, rect.top, rect.width, rect.height) == rect
    assert [m.handle for m in oc.enumerate_monitors()] == [m.handle for m in monitors.values()]
    assert oc.primary_monitor().handle == monitors["primary"].handle
    # The rotated monitor's frames are as the desktop shows it: portrait.
    assert (monitors["above"].width, monitors["above"].height) == (1080, 1920)


@pytest.mark.parametrize("context", [
    winsim.DPI_AWARENESS_CONTEXT_UNAWARE, winsim.DPI_AWARENESS_CONTEXT_SYSTEM_AWARE,
    winsim.DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2])
def test_physical_pixels_whatever_the_calling_thread_sees(context):
    """Each query switches the thread to per-monitor-v2 for its own duration
    and puts the thread's own context back."""
    monitors = layout()
    window = oc.Window.from_handle(
        winsim.add_window("scaled", 900, 700, position=(-2000, 100), style=WS_CAPTION))
    reads = [lambda m=m: geometry(m) for m in monitors.values()] + [
        lambda: (window.rect, window.client_rect, window.monitor.handle),
        lambda: oc.Monitor.from_point(-1, 0).handle,
    ]

    def run():
        winsim.set_thread_dpi_awareness(context)
        results = []
        for read in reads:
            results.append(read())
            assert winsim.thread_dpi_awareness() == context
        return results

    results = []
    thread = threading.Thread(target=lambda: results.append(run()), daemon=True)
    thread.start()
    thread.join(timeout=30)
    assert not thread.is_alive()
    caption = CAPTION_150
    assert results == [[*(EXPECTED[name] for name in monitors),
                        ((-2000, 100, 900, 700), (-2000, 100 + caption, 900, 700 - caption),
                         monitors["left"].handle),
                        monitors["left"].handle]]


def test_without_thread_contexts_queries_see_what_the_thread_sees():
    """On Windows before 1607 the queries run as they are: a DPI-unaware
    thread gets coordinates divided by the monitor's scale."""
    monitors = layout()
    winsim.set_dpi_awareness_exports(False)
    assert monitors["left"].rect == (-1707, -240, 1707, 960)
    assert monitors["above"].work_area == (0, -960, 540, 936)
    assert monitors["left"].scale == 1.0
    assert winsim.calls("SetThreadDpiAwarenessContext") == 0


def test_window_geometry():
    layout()
    handle = winsim.add_window("editor", 1200, 800, position=(-2400, -300), style=WS_CAPTION,
                               class_name="EditorFrame", own_process=True)
    window = oc.Window("editor")
    assert (window.handle, window.class_name, window.process_id) == (
        handle, "EditorFrame", os.getpid())
    caption = CAPTION_150
    assert window.rect == (-2400, -300, 1200, 800)
    assert window.client_rect == (-2400, -300 + caption, 1200, 800 - caption)
    assert window.monitor.scale == 1.5
    # Mostly on the primary monitor now.
    winsim.move_window(handle, 1000, 500)
    assert window.rect == (1000, 500, 1200, 800)
    assert window.monitor.primary
    # Minimized: parked off the monitors, counted where it is restored to.
    assert window.minimized is False
    winsim.set_minimized(handle, True)
    parked = winsim.MINIMIZED_POSITION
    assert (window.minimized, window.rect, window.monitor.primary) == (
        True, (parked, parked, 1200, 800), True)
    assert window.client_rect == (parked, parked, 0, 0)


def test_window_rect_has_the_shape_of_its_frames_on_a_scaled_monitor():
    winsim.add_monitor(1920, 1080)
    winsim.add_monitor(2880, 1620, scale=1.5)
    handle = winsim.add_window("scaled", 1500, 900, position=(2100, 200), style=WS_CAPTION)
    window = oc.Window.from_handle(handle)
    capture = oc.Capture()
    capture.start(window)
    try:
        frame = capture.frame()
    finally:
        capture.stop()
    assert frame.shape == (window.rect.height, window.rect.width, 4)
    assert window.monitor.scale == 1.5


def test_window_rect_falls_back_to_the_window_rectangle():
    winsim.add_monitor()
    window = oc.Window.from_handle(winsim.add_window("w", 300, 200, position=(10, 20)))
    winsim.fail("DwmGetWindowAttribute", E_FAIL)
    assert window.rect == (10, 20, 300, 200)
    assert winsim.calls("GetWindowRect") == 1
    winsim.fail("DwmGetWindowAttribute", E_FAIL)
    winsim.fail("GetWindowRect", 5)
    with pytest.raises(RuntimeError, match=r"^Windows API error: .*\(0x80070005\)$"):
        window.rect


def test_a_closed_window_and_a_removed_monitor():
    monitor_handle = winsim.add_monitor()
    handle = winsim.add_window("doomed")
    window, monitor = oc.Window("doomed"), oc.primary_monitor()
    winsim.destroy_window(handle)
    winsim.remove_monitor(monitor_handle)
    for name in ["rect", "client_rect", "process_id", "class_name", "minimized", "monitor"]:
        with pytest.raises(RuntimeError, match="^The window no longer exists$"):
            getattr(window, name)
    for name in ["rect", "work_area", "primary", "scale", "orientation"]:
        with pytest.raises(RuntimeError, match="^Failed to get monitor info$"):
            getattr(monitor, name)
    assert (window.handle, monitor.handle, window.valid) == (handle, monitor_handle, False)


def test_a_window_on_no_monitor():
    window = oc.Window.from_handle(winsim.add_window("alone"))
    with pytest.raises(RuntimeError, match="^No monitor found for the window$"):
        window.monitor


def test_from_handle():
    monitor_handle = winsim.add_monitor()
    handle = winsim.add_window("live")
    window = oc.Window.from_handle(handle)
    assert (type(window), window.name, window.valid) == (oc.Window, "live", True)
    assert oc.Monitor.from_handle(monitor_handle).rect == (0, 0, 1920, 1080)
    # Not checked: a handle that names nothing makes an object whose queries fail.
    stale = oc.Window.from_handle(handle + 1000)
    assert (stale.valid, stale.name) == (False, "")
    assert oc.Window.from_handle(2**64 - 1).handle == 2**64 - 1
    assert oc.Monitor.from_handle(True).handle == 1  # a bool is an int


@pytest.mark.parametrize("cls", [oc.Window, oc.Monitor])
@pytest.mark.parametrize("value, error", [
    (None, TypeError), ("1", TypeError), (1.0, TypeError), (-1, OverflowError),
    (2**64, OverflowError)])
def test_from_handle_refuses(cls, value, error):
    with pytest.raises(error) as raised:
        cls.from_handle(value)
    # Exception notes exist from Python 3.11 on.
    note = ["while processing 'handle'"]
    assert getattr(raised.value, "__notes__", note) == note


@pytest.mark.parametrize("point, expected", [
    ((0, 0), "primary"), ((1919, 1079), "primary"), ((-1, 0), "left"), ((-2560, -360), "left"),
    ((0, -1), "above"), ((1920, 0), "right"), ((3199, 1023), "right"),
    # Off every monitor: the nearest one.
    ((3200, 0), "right"), ((-10**12, 0), "left"), ((500, 2**40), "primary")])
def test_from_point(point, expected):
    monitors = layout()
    assert oc.Monitor.from_point(*point).handle == monitors[expected].handle


def test_from_point_arguments_and_an_empty_desktop():
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.Monitor.from_point(y=0, x=0)
    with pytest.raises(TypeError) as raised:
        oc.Monitor.from_point(0, "0")
    note = ["while processing 'y'"]
    assert getattr(raised.value, "__notes__", note) == note
    with pytest.raises(TypeError):
        oc.Monitor.from_point(0)
