"""Long runs: nothing may grow with the number of calls.

Thousands of reads and of start/stop cycles must leave reference counts,
the interpreter's object count, the platform's live objects and the
process's memory where they were after a warm-up; a few seconds of 240 Hz
frames read from several threads while captures restart must end with
nothing alive.
"""

import gc
import os
import sys
import threading
import time

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import sanitizer_loaded

PAGE = os.sysconf("SC_PAGESIZE")
# Memory that may come and go without a leak (allocator pools, the
# interpreter's caches). A leak of one small object per call over these runs
# is above it; one of a frame's pixels per call is far above it.
RSS_SLACK = 2 * 1024 * 1024

WIDTH, HEIGHT = 64, 48


# Under a sanitizer, freed memory is held back in quarantine on purpose, so
# resident memory grows without a leak; the sanitizer's own leak check takes
# the place of this one there.
SANITIZED = sanitizer_loaded() or "ASAN_OPTIONS" in os.environ or "TSAN_OPTIONS" in os.environ


def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


class Gauges:
    """Reference counts, object counts, live objects and memory, compared
    between two moments."""

    def __init__(self, *objects):
        self.objects = objects

    def read(self):
        gc.collect()
        return {
            "refcounts": [sys.getrefcount(o) for o in self.objects],
            "gc objects": len(gc.get_objects()),
            "live": winsim.live_objects(),
            "rss": rss(),
        }

    def check_flat(self, before, after, live_allowed=None):
        assert after["refcounts"] == before["refcounts"]
        # The comparison itself and the frames of this function's own calls
        # may add a handful of objects; a leak per call adds thousands.
        assert after["gc objects"] - before["gc objects"] < 50, (before, after)
        assert after["live"] == before["live"]
        grown = after["rss"] - before["rss"]
        assert SANITIZED or grown < RSS_SLACK, f"resident memory grew by {grown} bytes"


def test_ten_thousand_reads_into_one_array():
    winsim.set_frame_delivery(False)
    monitor = winsim.add_monitor(WIDTH, HEIGHT)
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    out = np.zeros((HEIGHT, WIDTH, 4), np.uint8)
    gauges = Gauges(out, np.ndarray, oc.Capture, capture, np.dtype(np.uint8))

    def reads(count):
        for i in range(count):
            assert capture.frame(out=out) is out
            if i % 10 == 0:
                winsim.present(monitor)  # a new frame in the slot now and then

    reads(1000)  # warm-up: caches, the staging texture, allocator pools
    before = gauges.read()
    reads(10_000)
    after = gauges.read()
    gauges.check_flat(before, after)
    # One frame in the slot, one staging texture: nothing piled up.
    assert after["live"]["Direct3D11CaptureFrame"] == 1
    assert after["live"]["D3D11Texture2D"] <= 3  # the pool's two buffers, the staging texture
    capture.stop()


def test_ten_thousand_new_arrays():
    winsim.set_frame_delivery(False)
    monitor = winsim.add_monitor(WIDTH, HEIGHT)
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    gauges = Gauges(np.ndarray, oc.Capture, capture, np.dtype(np.uint8))

    def reads(count):
        for i in range(count):
            array = capture.frame()
            assert sys.getrefcount(array) == 2  # this name and the call's argument
            del array
            if i % 10 == 0:
                winsim.present(monitor)

    reads(1000)
    before = gauges.read()
    reads(10_000)
    gauges.check_flat(before, gauges.read())
    capture.stop()


def test_failing_reads_do_not_leak():
    """Every failure path of a read drops what it took (the caller's `out`
    included)."""
    winsim.set_frame_delivery(False)
    monitor = winsim.add_monitor(WIDTH, HEIGHT)
    capture = oc.Capture()
    capture.start(oc.Monitor(1), await_first_frame=False)
    winsim.present(monitor)
    wrong_shape = np.zeros((HEIGHT, WIDTH, 3), np.uint8)
    strided = np.zeros((HEIGHT, WIDTH * 2, 4), np.uint8)[:, ::2]
    gauges = Gauges(wrong_shape, strided, oc.Capture, capture)

    def reads(count):
        for i in range(count):
            operation = ("Map", "get_ContentSize", "get_Surface", "GetInterface")[i % 4]
            winsim.fail(operation, description="failed on purpose")
            with pytest.raises(RuntimeError):
                capture.frame()
            winsim.fail(operation, times=0)
            with pytest.raises(ValueError):
                capture.frame(out=wrong_shape)
            with pytest.raises(ValueError):
                capture.frame(out=strided)
            with pytest.raises(TypeError):
                capture.frame(out=[wrong_shape])

    reads(200)
    before = gauges.read()
    reads(2000)
    gauges.check_flat(before, gauges.read())
    capture.stop()


def test_a_thousand_start_stop_cycles():
    winsim.add_monitor(WIDTH, HEIGHT)
    winsim.add_window("cycled", WIDTH, HEIGHT)
    monitor, window = oc.Monitor(1), oc.Window("cycled")
    capture = oc.Capture()
    gauges = Gauges(monitor, window, capture, oc.Monitor, oc.Window, oc.Capture)

    def cycles(count):
        for i in range(count):
            capture.start(monitor if i % 2 else window)
            if i % 3 == 0:
                capture.start(window)  # a start on a running capture stops it first
            capture.stop()

    cycles(100)
    before = gauges.read()
    cycles(1000)
    after = gauges.read()
    gauges.check_flat(before, after)
    assert after["live"] == {}


def test_a_thousand_failing_starts():
    """A start that fails part-way releases what it made, memory included."""
    winsim.add_monitor(WIDTH, HEIGHT)
    monitor = oc.Monitor(1)
    capture = oc.Capture()
    gauges = Gauges(monitor, capture, oc.Capture)
    steps = ["CreateForMonitor", "QueryInterface:IDXGIDevice", "CreateFreeThreaded",
             "add_FrameArrived", "CreateCaptureSession", "StartCapture"]

    def cycles(count):
        for i in range(count):
            winsim.fail(steps[i % len(steps)], description="failed on purpose")
            with pytest.raises(RuntimeError, match="^Windows API error: failed on purpose"):
                capture.start(monitor)

    cycles(100)
    before = gauges.read()
    cycles(1000)
    gauges.check_flat(before, gauges.read())


def settled_live_objects():
    deadline = time.monotonic() + 2.0
    while (live := winsim.live_objects()) and time.monotonic() < deadline:
        time.sleep(0.005)
    return live


def test_pattern(height, width):
    """The pixels of a target whose content was never set."""
    y, x = np.mgrid[0:height, 0:width]
    return np.stack([x % 256, y % 256, np.full_like(x, 128), np.full_like(x, 255)],
                    axis=-1).astype(np.uint8)


test_pattern.__test__ = False


@pytest.mark.threaded
def test_soak_at_240_hz_with_readers_and_restarts():
    """Frames at 240 Hz, three threads reading one capture while another thread
    restarts it and a second capture starts and stops; each frame read is
    whole, and at the end nothing is alive."""
    duration = 3.0
    winsim.add_monitor(320, 240, refresh_rate=240)
    winsim.add_window("second", 160, 120)
    expected = test_pattern(240, 320)
    shared = oc.Capture()
    shared.start(oc.Monitor(1))
    stop_at = time.monotonic() + duration
    tallies = {"frames": 0, "conflicts": 0, "restarts": 0, "second": 0}
    lock = threading.Lock()
    problems = []

    def count(key):
        with lock:
            tallies[key] += 1

    # What a reader may meet while the capture is being restarted.
    tolerated = {"Already mutably borrowed", "Capture is not running", "No frame available yet"}

    # Every other restart waits until no reader is inside a read, so that
    # restarts happen however slow reads are (a sanitizer build); the others
    # go ahead and may meet a reader.
    gate = threading.Condition()
    state = {"closed": False, "reading": 0}

    def reader(use_out):
        out = np.zeros((240, 320, 4), np.uint8)
        try:
            while time.monotonic() < stop_at:
                with gate:
                    gate.wait_for(lambda: not state["closed"])
                    state["reading"] += 1
                try:
                    frame = shared.frame(out=out) if use_out else shared.frame()
                except RuntimeError as error:
                    if str(error) not in tolerated:
                        raise
                    continue
                finally:
                    with gate:
                        state["reading"] -= 1
                        gate.notify_all()
                if not np.array_equal(frame, expected):
                    problems.append("a frame with wrong pixels")
                    return
                count("frames")
        except BaseException as error:  # reported by the main thread
            problems.append(f"reader: {type(error).__name__}: {error}")

    def restart():
        try:
            shared.start(oc.Monitor(1))
            count("restarts")
        except RuntimeError as error:
            if str(error) != "Already borrowed":
                raise
            count("conflicts")

    def restarter():
        try:
            attempt = 0
            while time.monotonic() < stop_at:
                attempt += 1
                if attempt % 2:
                    restart()
                else:
                    with gate:
                        state["closed"] = True
                        gate.wait_for(lambda: state["reading"] == 0)
                    try:
                        restart()
                    finally:
                        with gate:
                            state["closed"] = False
                            gate.notify_all()
                time.sleep(0.02)
        except BaseException as error:
            problems.append(f"restarter: {type(error).__name__}: {error}")

    def second():
        try:
            capture = oc.Capture()
            while time.monotonic() < stop_at:
                capture.start(oc.Window("second"))
                capture.frame()
                capture.stop()
                count("second")
        except BaseException as error:
            problems.append(f"second capture: {type(error).__name__}: {error}")

    threads = [threading.Thread(target=reader, args=(i % 2 == 0,), daemon=True) for i in range(3)]
    threads += [threading.Thread(target=f, daemon=True) for f in (restarter, second)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=duration + 30)
    assert not any(thread.is_alive() for thread in threads), "a thread is stuck"
    shared.stop()
    del shared
    gc.collect()
    assert problems == []
    assert tallies["frames"] > 0 and tallies["restarts"] > 0 and tallies["second"] > 0, tallies
    assert settled_live_objects() == {}
    assert winsim.errors() == []
