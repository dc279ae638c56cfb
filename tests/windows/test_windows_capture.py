"""Capture targets, argument errors and `start` in the Windows build. Where
the graphics-capture service is missing (Wine without the stand-in), `start`
fails with the system's own message; where it exists, it captures."""
import numpy as np
import pytest

import opticatcher as oc
import windows_support as support

# Asked before any test can register the stand-in service (test_windows_frames.py
# does so for each of its tests).
SERVICE = support.capture_service_answer()
needs_service = pytest.mark.skipif(SERVICE != 0, reason="no graphics-capture service here")
without_service = pytest.mark.skipif(SERVICE == 0, reason="the graphics-capture service exists")


def target_error(type_name):
    reason = f"'{type_name}' object is not an instance of"
    return (
        "failed to extract enum CaptureTarget ('Monitor | Window')\n"
        "- variant Monitor (Monitor): TypeError: failed to extract field CaptureTarget::Monitor.0,"
        f" caused by TypeError: {reason} 'Monitor'\n"
        "- variant Window (Window): TypeError: failed to extract field CaptureTarget::Window.0,"
        f" caused by TypeError: {reason} 'Window'"
    )


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: oc.Capture().start(5), TypeError, target_error("int")),
        (lambda: oc.Capture().start(oc.Monitor(), 1), TypeError,
         "'int' object is not an instance of 'bool'"),
        (lambda: oc.Capture().start(), TypeError,
         "Capture.start() missing 1 required positional argument: 'capture_target'"),
        (lambda: oc.Capture().frame(None, None), TypeError,
         "Capture.frame() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: oc.Window(5), TypeError, "'int' object is not an instance of 'str'"),
        (lambda: oc.Window("\ud800"), UnicodeEncodeError, None),
        (lambda: oc.Capture().frame(out=[[[0, 0, 0, 0]]]), TypeError,
         "'list' object is not an instance of 'ndarray'"),
        (lambda: oc.Capture().frame(out=np.zeros((4, 4, 4), np.float32)), TypeError,
         "'ndarray' object is not an instance of 'ndarray'"),
        # A usable `out` goes through NumPy's C API; then the capture is idle.
        (lambda: oc.Capture().frame(out=np.zeros((2, 3, 4), np.uint8)), RuntimeError,
         "Capture is not running"),
    ],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message


def test_uncapturable_windows_are_refused(own_window):
    handle = own_window("opticatcher doomed")
    doomed = oc.Window("opticatcher doomed")
    support.destroy_window(handle)
    own_window("opticatcher hidden", style=support.WS_OVERLAPPEDWINDOW)
    own_window("opticatcher tool", ex_style=support.WS_EX_TOOLWINDOW)
    capture = oc.Capture()
    for window in (doomed, oc.Window("opticatcher hidden"), oc.Window("opticatcher tool")):
        with pytest.raises(RuntimeError) as caught:
            capture.start(window)
        assert str(caught.value) == "Invalid capture target"
        assert capture.active is False


@without_service
@pytest.mark.parametrize("target", ["monitor", "window"])
def test_start_without_the_capture_service(target, notepad):
    assert SERVICE == support.REGDB_E_CLASSNOTREG
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(oc.primary_monitor() if target == "monitor" else notepad)
    assert str(caught.value) == support.windows_api_error(SERVICE)
    assert capture.active is False
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        capture.frame()


@needs_service
@pytest.mark.capture_service
def test_start_captures_the_primary_monitor():
    monitor = oc.primary_monitor()
    capture = oc.Capture()
    capture.start(monitor)
    try:
        assert capture.active
        frame = capture.frame()
        assert frame.shape == (monitor.height, monitor.width, 4) and frame.dtype == np.uint8
    finally:
        capture.stop()
    assert capture.active is False
