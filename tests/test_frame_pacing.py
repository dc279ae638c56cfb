"""Capture.frame_number and Capture.frame_time: which frame the last read
returned and when the system composed it, and the frames a minimum update
interval lets through."""

import time

import numpy as np
import pytest

import opticatcher as oc
import winsim


@pytest.fixture
def monitor():
    """A 64x48 monitor; frames arrive only when a test presents them."""
    winsim.set_frame_delivery(False)
    return winsim.add_monitor(64, 48)


def stamp(capture):
    return capture.frame_number, capture.frame_time


def test_numbers_and_times_describe_the_frame_read(monitor):
    capture = oc.Capture()
    assert stamp(capture) == (0, None)
    before = time.perf_counter()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    assert stamp(capture) == (0, None)  # a frame arrived, none was read
    capture.frame()
    number, first = stamp(capture)
    # The clock of time.perf_counter(): composed after `before`, read since.
    assert number == 1 and before <= first <= time.perf_counter()
    # No new frame in between: the same frame, whatever the read.
    capture.frame_region(1, 2, 3, 4)
    capture.frame_region(0, 0, 0, 0)
    assert stamp(capture) == (1, first)
    # Three frames arrive; only the latest is kept and read.
    winsim.present(monitor, 3)
    capture.frame_region(1, 2, 3, 4, out=np.zeros((4, 3, 4), np.uint8))
    number, latest = stamp(capture)
    assert number == 4 and first < latest <= time.perf_counter()
    # A read that fails returns no frame and changes nothing.
    winsim.present(monitor)
    with pytest.raises(ValueError):
        capture.frame_region(60, 0, 10, 10)
    assert stamp(capture) == (4, latest)
    assert capture.frame().shape == (48, 64, 4) and capture.frame_number == 5
    # Stopped, they describe the last read until the next start numbers anew.
    five = stamp(capture)
    capture.stop()
    assert stamp(capture) == five
    capture.start(oc.Monitor(1), await_first_frame=False)
    assert stamp(capture) == (0, None)
    winsim.present(monitor)
    capture.frame()
    assert capture.frame_number == 1 and capture.frame_time > five[1]
    capture.stop()


def test_the_minimum_interval_coalesces_refreshes():
    """On a 240 Hz monitor with a 20 ms interval, frames are composed at
    least 20 ms apart (within half a refresh); the refreshes between are
    coalesced, not queued."""
    winsim.add_monitor(64, 48, 240)
    capture = oc.Capture()
    capture.min_update_interval = 0.02
    capture.start(oc.Monitor(1))
    stamps = []
    deadline = time.monotonic() + 10
    while len(stamps) < 6 and time.monotonic() < deadline:
        if capture.wait_frame(1):
            capture.frame()
            stamps.append(stamp(capture))
    capture.stop()
    assert len(stamps) == 6
    numbers = [number for number, _ in stamps]
    times = [when for _, when in stamps]
    assert numbers == sorted(set(numbers))
    assert min(np.diff(times)) >= 0.02 - 1 / 480
