import pytest

import opticatcher as oc
import winsim
from support import WS_EX_TOOLWINDOW

WS_CHILD = 0x40000000


def target_error(type_name, none=False):
    def reason(cls):
        if none:
            return f"'None' is not an instance of '{cls}'"
        return f"'{type_name}' object is not an instance of '{cls}'"

    return (
        "failed to extract enum CaptureTarget ('Monitor | Window')\n"
        "- variant Monitor (Monitor): TypeError: failed to extract field CaptureTarget::Monitor.0,"
        f" caused by TypeError: {reason('Monitor')}\n"
        "- variant Window (Window): TypeError: failed to extract field CaptureTarget::Window.0,"
        f" caused by TypeError: {reason('Window')}"
    )


@pytest.mark.parametrize("value, message", [(5, target_error("int")), (None, target_error("", none=True))])
def test_capture_target_must_be_monitor_or_window(value, message):
    with pytest.raises(TypeError) as caught:
        oc.Capture().start(value)
    assert str(caught.value) == message
    if hasattr(caught.value, "__notes__"):
        assert caught.value.__notes__ == ["while processing 'capture_target'"]


@pytest.mark.parametrize(
    "kwargs",
    [dict(visible=False), dict(ex_style=WS_EX_TOOLWINDOW), dict(style=WS_CHILD)],
    ids=["hidden", "tool", "child"],
)
def test_uncapturable_windows_are_refused(kwargs):
    winsim.add_window("target", **kwargs)
    window = oc.Window("target")
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(window)
    assert str(caught.value) == "Invalid capture target"
    assert capture.active is False


def test_destroyed_window_is_refused():
    handle = winsim.add_window("target")
    window = oc.Window("target")
    winsim.destroy_window(handle)
    with pytest.raises(RuntimeError, match="^Invalid capture target$"):
        oc.Capture().start(window, await_first_frame=False)


def test_valid_targets_pass_the_check():
    winsim.add_window("mine", own_process=True)
    monitor_handle = winsim.add_monitor()
    monitor = oc.Monitor()
    winsim.remove_monitor(monitor_handle)  # a gone monitor is not examined here
    window = oc.Window("mine")
    before = winsim.calls("IsWindowVisible")
    capture = oc.Capture()
    capture.start(window, await_first_frame=False)
    assert capture.active
    assert winsim.calls("IsWindowVisible") == before + 1
    # The gone monitor passes the check; creating its capture item fails.
    with pytest.raises(RuntimeError, match="^Windows API error: "):
        capture.start(monitor, await_first_frame=False)
    assert winsim.calls("IsWindowVisible") == before + 1
    assert winsim.calls("CreateForMonitor") == 1
    assert capture.active is False
