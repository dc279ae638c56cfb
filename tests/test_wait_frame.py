"""Capture.wait_frame: waits for a frame newer than the last one read, without
the interpreter lock and without the capture's access, so that another thread
may stop the capture, which ends the wait."""

import math
import sys
import threading
import time

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import ctrl_c_after, join

HAS_NOTES = sys.version_info >= (3, 11)
# Generous: a sanitizer build is slow. A wait that hangs runs into it anyway.
PROMPT = 2.0


@pytest.fixture
def monitor():
    """A 64x48 monitor; frames arrive only when a test presents them."""
    winsim.set_frame_delivery(False)
    return winsim.add_monitor(64, 48)


@pytest.fixture
def capture(monitor):
    """A running capture of the monitor, with its first frame."""
    running = oc.Capture()
    running.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    yield running
    running.stop()


def in_thread(function):
    """Starts function() on a new thread; returns the thread and a dict that
    will hold its result ("value") or exception ("error") and its duration."""
    outcome = {}

    def body():
        started = time.monotonic()
        try:
            outcome["value"] = function()
        except BaseException as error:  # handed to the test
            outcome["error"] = error
        outcome["seconds"] = time.monotonic() - started

    thread = threading.Thread(target=body, daemon=True)
    thread.start()
    return thread, outcome


def test_frames_read_in_between(capture, monitor):
    """Each wait looks for a frame newer than the last one a read returned; the
    first frame counts as read until something is read."""
    assert capture.wait_frame(0) is False
    winsim.present(monitor)
    assert capture.wait_frame(0) is True
    assert capture.wait_frame(timeout=0.0) is True  # nothing was read: still newer
    capture.frame()
    assert capture.wait_frame(0) is False
    winsim.present(monitor, 2)
    assert capture.wait_frame(0) is True
    capture.frame_region(0, 0, 1, 1)
    assert capture.wait_frame(0) is False
    capture.frame_region(0, 0, 0, 0)  # an empty read returns the frame too
    assert capture.wait_frame(0) is False


def test_a_failed_read_does_not_count_as_read(capture, monitor):
    winsim.present(monitor)
    winsim.fail("Map")
    with pytest.raises(RuntimeError):
        capture.frame()
    with pytest.raises(ValueError):
        capture.frame(out=np.zeros((1, 1, 4), np.uint8))
    assert capture.wait_frame(0) is True


def test_a_timeout_passes(capture):
    started = time.monotonic()
    assert capture.wait_frame(0.1) is False
    assert 0.1 <= time.monotonic() - started < 0.1 + PROMPT


def test_a_start_without_frames_waits_for_the_second(monitor):
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    assert capture.wait_frame(0) is False
    capture.stop()


@pytest.mark.threaded
def test_a_frame_ends_a_wait(capture, monitor):
    thread, outcome = in_thread(lambda: capture.wait_frame(10))
    time.sleep(0.05)
    assert thread.is_alive()
    winsim.present(monitor)
    join(thread)
    assert outcome["value"] is True and outcome["seconds"] < PROMPT
    assert np.array_equal(capture.frame().shape, (48, 64, 4))


@pytest.mark.threaded
@pytest.mark.parametrize("timeout", [None, 10])
@pytest.mark.parametrize("how", ["stop", "restart"])
def test_stopping_from_another_thread_ends_a_wait(monitor, timeout, how):
    """The waiting thread holds neither the interpreter lock nor the capture's
    access: stop is not refused, and the wait returns False promptly."""
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    thread, outcome = in_thread(lambda: capture.wait_frame(timeout))
    time.sleep(0.05)
    assert thread.is_alive()
    if how == "stop":
        capture.stop()
    else:
        capture.start(oc.Monitor(1), await_first_frame=False)
        winsim.present(monitor, 3)  # frames of the new capture do not count
    thread.join(PROMPT * 5)
    assert not thread.is_alive()
    assert outcome["value"] is False and outcome["seconds"] < PROMPT
    capture.stop()
    assert winsim.live_objects() == {}


@pytest.mark.threaded
def test_a_signal_handler_runs_during_a_wait(capture):
    """Ctrl+C interrupts a wait without a timeout in the main thread."""
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt), ctrl_c_after(0.1):
        capture.wait_frame()
    assert time.monotonic() - started < PROMPT
    assert capture.active


@pytest.mark.threaded
def test_several_threads_wait_while_frames_arrive():
    """Waiters that read each new frame while frames arrive at 240 Hz, then a
    stop that ends every wait (a waiter between two calls finds the capture
    stopped)."""
    monitor = winsim.add_monitor(64, 48, refresh_rate=240)
    capture = oc.Capture()
    capture.start(oc.Monitor(1))
    failures = []
    reads = []

    def waiter():
        try:
            while capture.wait_frame(5):
                capture.frame()
                reads.append(1)
        except RuntimeError as error:
            if str(error) != "Capture is not running":
                failures.append(error)
        except BaseException as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=waiter, daemon=True) for _ in range(3)]
    for thread in threads:
        thread.start()
    time.sleep(0.2)
    while True:
        try:
            capture.stop()  # refused while a waiter is inside frame()
            break
        except RuntimeError:
            time.sleep(0.001)
    for thread in threads:
        thread.join(PROMPT * 5)
        assert not thread.is_alive()
    assert failures == []
    assert len(reads) > 3
    winsim.remove_monitor(monitor)


@pytest.mark.parametrize(
    "timeout, error, message",
    [
        (-1, ValueError, "Timeout must be a finite number of seconds, not negative"),
        (-0.001, ValueError, "Timeout must be a finite number of seconds, not negative"),
        (math.nan, ValueError, "Timeout must be a finite number of seconds, not negative"),
        (math.inf, ValueError, "Timeout must be a finite number of seconds, not negative"),
        (-math.inf, ValueError, "Timeout must be a finite number of seconds, not negative"),
        ("1", TypeError, "must be real number, not str"),
        (10**400, OverflowError, "int too large to convert to float"),
    ],
)
def test_a_bad_timeout_is_refused_before_the_capture_is_looked_at(timeout, error, message):
    with pytest.raises(error) as caught:
        oc.Capture().wait_frame(timeout)
    assert str(caught.value) == message
    if HAS_NOTES and error is not ValueError:
        assert caught.value.__notes__ == ["while processing 'timeout'"]


@pytest.mark.parametrize("timeout", [None, 0, 2.5, True, np.float64(1e300), 10**30])
def test_an_idle_capture_is_not_running(timeout):
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        oc.Capture().wait_frame(timeout)
