"""What a capture meets on real Windows: the consent Windows asks for before it
leaves the border off, a target that closes while it is captured, and a
Direct3D device that is lost under a running capture."""

import threading
import time

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import DXGI_ERROR_DEVICE_REMOVED, E_ACCESSDENIED, ctrl_c_after, run_script

# Generous: a sanitizer build is slow. A wait that hangs runs into it anyway.
PROMPT = 2.0
REFUSED = "Windows did not allow a capture without the border ({})"

# The consent, once allowed, holds for the whole process: each case runs in a
# fresh interpreter, in an order where an Allowed comes last.
BORDER_CONSENT = r"""
import json, sys, time
import opticatcher as oc
import winsim

def refused():
    started = time.monotonic()
    try:
        capture.border = False
    except RuntimeError as error:
        return [str(error), round(time.monotonic() - started, 1), capture.border]
    return None

winsim.reset()
winsim.set_frame_delivery(False)
monitor = winsim.add_monitor(64, 48)
capture = oc.Capture()
report = {}
for status in sys.argv[1].split(","):
    answer, _, running = status.partition("-")
    winsim.set_border_access(None if answer == "missing" else answer)
    if running:
        capture.start(oc.Monitor(1), await_first_frame=False)
    before = winsim.calls("RequestAccessAsync")
    entry = {"refused": refused()}
    entry["border"] = capture.border
    entry["requests"] = winsim.calls("RequestAccessAsync") - before
    entry["sessions"] = winsim.capture_sessions(monitor)
    capture.border = True
    capture.stop()
    entry["live"] = winsim.live_objects()
    entry["errors"] = winsim.errors()
    report[status] = entry
print(json.dumps(report))
"""


def consent(*statuses):
    return run_script(BORDER_CONSENT, ",".join(statuses), timeout=120)


def test_border_consent_refused_missing_and_timed_out():
    report = consent("missing", "denied", "denied-running", "prompt_timeout")
    # No GraphicsCaptureAccess class (Windows 10): the switch is set as before.
    assert report["missing"]["refused"] is None and report["missing"]["requests"] == 0
    assert report["missing"]["border"] is False
    # Refused: raised by the setter, border as it was, before or during a
    # capture; asked again each time.
    text, seconds, border = report["denied"]["refused"]
    assert text == REFUSED.format("DeniedByUser") and seconds < PROMPT and border is True
    assert report["denied"]["requests"] == 1
    assert report["denied-running"]["refused"][0] == REFUSED.format("DeniedByUser")
    (session,) = report["denied-running"]["sessions"]
    assert session["border"] is True
    # No answer: the wait gives up after 5 s and abandons the operation.
    text, seconds, border = report["prompt_timeout"]["refused"]
    assert text == REFUSED.format("no answer within 5s") and 4.9 <= seconds < 15
    for entry in report.values():
        assert entry["live"] == {} and entry["errors"] == []


def test_border_consent_allowed_once_for_the_process():
    report = consent("allowed-running", "allowed", "denied")
    assert report["allowed-running"]["refused"] is None
    assert report["allowed-running"]["requests"] == 1
    (session,) = report["allowed-running"]["sessions"]
    assert session["border"] is False
    # Remembered: no further request, even where Windows would now refuse.
    for later in ("allowed", "denied"):
        assert report[later]["refused"] is None and report[later]["requests"] == 0
        assert report[later]["border"] is False
    for entry in report.values():
        assert entry["live"] == {} and entry["errors"] == []


@pytest.mark.parametrize(
    "operation", ["RoGetActivationFactory", "RequestAccessAsync", "put_Completed", "GetResults"])
def test_a_failing_consent_call_is_a_windows_error(operation):
    """Failures never get as far as remembering anything: the process is asked
    again next time."""
    winsim.set_border_access("denied")
    capture = oc.Capture()
    winsim.fail(operation, E_ACCESSDENIED, description="Denied.")
    with pytest.raises(RuntimeError, match=r"^Windows API error: Denied\. \(0x80070005\)$"):
        capture.border = False
    assert capture.border is True


@pytest.mark.threaded
def test_a_signal_ends_the_wait_for_consent():
    winsim.set_border_access("prompt_timeout")
    capture = oc.Capture()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt), ctrl_c_after(0.1):
        capture.border = False
    assert time.monotonic() - started < PROMPT and capture.border is True


# ---------------------------------------------------------------------------
# A closed target


@pytest.fixture(params=["window", "monitor"])
def target(request):
    """A target of each kind, with the call that makes it go away; frames
    arrive only when a test presents them."""
    winsim.set_frame_delivery(False)
    winsim.add_monitor(64, 48)
    if request.param == "window":
        handle = winsim.add_window("Closing", 32, 24)
        return handle, oc.Window("Closing"), winsim.destroy_window
    handle = winsim.add_monitor(40, 30)
    return handle, oc.Monitor(2), winsim.remove_monitor


def waiters(capture, count, timeout):
    """`count` threads in wait_frame(timeout); their results and durations."""
    results = []

    def wait():
        started = time.monotonic()
        results.append((capture.wait_frame(timeout), time.monotonic() - started))

    threads = [threading.Thread(target=wait, daemon=True) for _ in range(count)]
    for thread in threads:
        thread.start()
    return threads, results


@pytest.mark.threaded
@pytest.mark.parametrize("timeout", [None, 30])
def test_a_closed_target_ends_every_wait(target, timeout):
    handle, capture_target, close = target
    capture = oc.Capture()
    assert capture.target_closed is False
    capture.start(capture_target, await_first_frame=False)
    winsim.present(handle)
    first = capture.frame()
    assert capture.target_closed is False
    threads, results = waiters(capture, 3, timeout)
    time.sleep(0.05)
    close(handle)
    for thread in threads:
        thread.join(PROMPT * 5)
    assert not any(thread.is_alive() for thread in threads)
    assert [value for value, _ in results] == [False] * 3
    assert all(seconds < PROMPT for _, seconds in results)
    # Active, the last frame readable, later waits over at once, until stop.
    assert capture.target_closed is True and capture.active
    assert np.array_equal(capture.frame(), first)
    assert capture.wait_frame(10) is False
    capture.stop()
    assert capture.target_closed is False and winsim.live_objects() == {}
    assert winsim.calls("remove_Closed") == 1


@pytest.mark.threaded
def test_the_handle_is_looked_at_when_the_event_does_not_come(target):
    """A subscription that Windows accepts but never raises: reading the
    property and each signal check of wait_frame look at the handle."""
    handle, capture_target, close = target
    winsim.fail("add_Closed", null=True)
    capture = oc.Capture()
    capture.start(capture_target, await_first_frame=False)
    checks = winsim.calls("IsWindow") + winsim.calls("GetMonitorInfoW")
    assert capture.target_closed is False
    assert winsim.calls("IsWindow") + winsim.calls("GetMonitorInfoW") > checks
    threads, results = waiters(capture, 1, None)
    time.sleep(0.05)
    close(handle)
    threads[0].join(PROMPT * 5)
    assert not threads[0].is_alive() and results[0][0] is False and results[0][1] < PROMPT
    assert capture.target_closed is True
    capture.stop()


@pytest.mark.threaded
def test_a_close_racing_stop(rounds=20):
    """A window destroyed on one thread while another stops its capture: the
    Closed call and the revocation never overlap badly, nothing is left."""
    winsim.set_frame_delivery(False)
    winsim.add_monitor(64, 48)
    for _ in range(rounds):
        handle = winsim.add_window("Racing", 16, 16)
        capture = oc.Capture()
        capture.start(oc.Window("Racing"), await_first_frame=False)
        waiting, results = waiters(capture, 1, None)
        closer = threading.Thread(target=winsim.destroy_window, args=(handle,), daemon=True)
        closer.start()
        capture.stop()
        closer.join(PROMPT * 5)
        waiting[0].join(PROMPT * 5)
        assert not closer.is_alive() and not waiting[0].is_alive()
        assert results[0][0] is False
    assert winsim.live_objects() == {}


def test_a_failing_subscription_fails_start():
    winsim.add_monitor(64, 48)
    capture = oc.Capture()
    winsim.fail("add_Closed", E_ACCESSDENIED)
    with pytest.raises(RuntimeError, match=r"\(0x80070005\)$"):
        capture.start(oc.Monitor(1), await_first_frame=False)
    assert not capture.active and capture.target_closed is False
    assert winsim.live_objects() == {}


# ---------------------------------------------------------------------------
# A lost device


def test_a_lost_device_is_recovered_by_a_new_start():
    winsim.set_frame_delivery(False)
    monitor = winsim.add_monitor(64, 48)
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    out = capture.frame()
    winsim.remove_device()
    message = rf"^Windows API error: .*\(0x{DXGI_ERROR_DEVICE_REMOVED:08X}\)$"
    # Every readback fails the same way, into a new array or into `out`.
    for read in (capture.frame, lambda: capture.frame(out=out),
                 lambda: capture.frame_region(0, 0, 8, 8)):
        with pytest.raises(RuntimeError, match=message):
            read()
    # No more frames: a wait runs out; the capture stays active.
    winsim.present(monitor)
    assert capture.wait_frame(0.1) is False and capture.active
    capture.stop()
    assert winsim.live_objects() == {}
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    assert capture.frame(out=out) is out
    capture.stop()
    assert winsim.live_objects() == {}
