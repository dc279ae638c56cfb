"""Monitors, windows and focus, answered by the system (Windows, or Wine on an
Xvfb screen)."""
import pytest

import opticatcher as oc
import windows_support as support


def test_monitors():
    monitors = oc.enumerate_monitors()
    assert len(monitors) == support.user32.GetSystemMetrics(80)  # SM_CMONITORS
    primary = oc.primary_monitor()
    assert [m.device_name for m in monitors].count(primary.device_name) == 1
    assert oc.Monitor().device_name == primary.device_name
    for number, monitor in enumerate(monitors, 1):
        assert monitor.device_name.startswith("\\\\.\\DISPLAY")
        assert monitor.index == int(monitor.device_name[len("\\\\.\\DISPLAY"):])
        assert oc.Monitor(number).device_name == monitor.device_name
        assert monitor.width > 0 and monitor.height > 0
        assert isinstance(monitor.refresh_rate, int) and monitor.refresh_rate >= 0
        assert isinstance(monitor.device_string, str) and monitor.device_string
    # The primary monitor's size as the system gives it (to a DPI-aware process).
    assert (primary.width, primary.height) == (
        support.user32.GetSystemMetrics(0),  # SM_CXSCREEN
        support.user32.GetSystemMetrics(1),
    )


@pytest.mark.parametrize(
    "id, error, message",
    [
        (0, RuntimeError, "Monitor index is lower than one"),
        ("past", RuntimeError, "Failed to find monitor"),
        # C long is 32 bits on Windows: ids beyond it are still plain ids.
        (2**32 + 1, RuntimeError, "Failed to find monitor"),
        (2**64 - 1, RuntimeError, "Failed to find monitor"),
        (2**64, OverflowError, None),
        (-1, OverflowError, None),
    ],
)
def test_monitor_ids(id, error, message):
    if id == "past":
        id = len(oc.enumerate_monitors()) + 1
    with pytest.raises(error) as caught:
        oc.Monitor(id)
    if message is not None:
        assert str(caught.value) == message


def test_another_process_window(notepad):
    title = notepad.name
    assert title in [w.name for w in oc.enumerate_windows()]
    window = oc.Window(title)
    assert window.name == title and window.valid
    # The system compares titles without regard to case.
    assert oc.Window(title.upper()).name == title


def test_focus(notepad, own_window):
    own_window("opticatcher focus")
    mine = oc.Window("opticatcher focus")
    mine.focus()
    assert mine.focused and not notepad.focused
    # Another process's window is activated by its own thread, a moment later.
    notepad.focus()
    support.wait_for(lambda: notepad.focused, timeout=5)
    assert not mine.focused
    assert oc.foreground_window().name == notepad.name


def test_own_windows(own_window):
    titles = {
        "visible": dict(),
        "hidden": dict(style=support.WS_OVERLAPPEDWINDOW),
        "tool": dict(ex_style=support.WS_EX_TOOLWINDOW),
    }
    for name, kwargs in titles.items():
        own_window(f"opticatcher {name} \u00e9t\u00e9 \U0001f600", **kwargs)
    found = {name: oc.Window(f"opticatcher {name} \u00e9t\u00e9 \U0001f600") for name in titles}
    assert found["visible"].name == "opticatcher visible \u00e9t\u00e9 \U0001f600"
    assert [found[name].valid for name in titles] == [True, False, False]
    # This process's windows are left out of the enumeration.
    listed = {w.name for w in oc.enumerate_windows()}
    assert not listed & {window.name for window in found.values()}


def test_destroyed_window(own_window):
    handle = own_window("opticatcher doomed")
    window = oc.Window("opticatcher doomed")
    support.destroy_window(handle)
    assert (window.valid, window.name, window.focused) == (False, "", False)


def test_missing_window_names_the_title():
    with pytest.raises(RuntimeError) as caught:
        oc.Window("opticatcher: no such window \U0001f600")
    assert str(caught.value) == "Failed to find window with name 'opticatcher: no such window \U0001f600'"
