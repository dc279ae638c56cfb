"""Captures of the shipped Windows build, end to end: `start`, frames arriving on
the capture service's own thread, `frame()` and `frame(out=a)` reading real
Direct3D 11 textures back. Under Wine the capture service is the stand-in
(tests/windows/stand_in), which fills its pool's textures with a known pattern;
every frame read is compared with it byte for byte. On Windows these tests are
skipped: the real service's content cannot be known (the `capture_service`
test of test_windows_capture.py captures there)."""
import threading
import time

import numpy as np
import pytest

import opticatcher as oc
import windows_support as support
from windows_support import assert_exact


@pytest.fixture
def new_capture(service):
    """Makes captures; each is stopped after the test, also after a failure,
    before the stand-in is checked for what is left."""
    made = []

    def make():
        made.append(oc.Capture())
        return made[-1]

    yield make
    for capture in made:
        capture.stop()


@pytest.fixture
def capture(new_capture):
    """A capture of the primary monitor that has its first frame."""
    capture = new_capture()
    capture.start(oc.primary_monitor())
    return capture


def read_both_ways(capture, width, height, seed):
    """frame() and frame(out=a) both give exactly the pattern of `seed`."""
    frame = capture.frame()
    assert frame.strides == (width * 4, 4, 1) and frame.flags.owndata and frame.flags.writeable
    assert_exact(frame, width, height, seed)
    out = np.full((height, width, 4), 0x5A, np.uint8)
    assert capture.frame(out=out) is out
    assert_exact(out, width, height, seed)


@pytest.mark.parametrize("target", ["monitor", "window"])
def test_start_returns_after_the_first_frame(service, new_capture, target, notepad):
    if target == "monitor":
        monitor = oc.primary_monitor()
        target, (width, height) = monitor, (monitor.width, monitor.height)
    else:
        target, (width, height) = notepad, support.window_size(notepad.name)
    capture = new_capture()
    capture.start(target)
    # No wait: the first frame is there when start returns.
    read_both_ways(capture, width, height, service.last_sequence())
    capture.stop()
    assert capture.active is False
    assert service.live_objects() == 0


def test_waiting_for_a_first_frame_that_does_not_come(service, new_capture):
    service.set_first_frame(False)
    monitor = oc.primary_monitor()
    capture = new_capture()
    capture.start(monitor, await_first_frame=False)
    with pytest.raises(RuntimeError, match="^No frame available yet$"):
        capture.frame()
    # The wait measures its 5 s on a monotonic clock, on a Windows thread.
    started = time.monotonic()
    with pytest.raises(RuntimeError, match="^No frame arrived within 5s$"):
        capture.start(monitor)
    assert 4.9 < time.monotonic() - started < 15  # the set-up before the wait included
    assert capture.active  # frames may still come
    assert service.deliver(1) == 1
    read_both_ways(capture, monitor.width, monitor.height, service.last_sequence())
    capture.stop()


@pytest.mark.parametrize(
    "width, height",
    [
        (1, 1),
        (33, 17),  # rows of 132 bytes
        (641, 3),  # rows of 2564 bytes: not a multiple of 256
        (1000, 700),  # smaller than the pool: only the content is read
        (1920, 1080),  # the whole pool
    ],
)
def test_frames_are_exact(capture, service, width, height):
    service.set_content(width, height)
    assert service.deliver(1) == 1
    read_both_ways(capture, width, height, service.last_sequence())


@pytest.mark.parametrize(
    "left, top, width, height",
    [
        (0, 0, 1, 1),
        (5, 3, 33, 17),  # rows of 132 bytes from inside the frame
        (993, 695, 7, 5),  # the bottom-right corner of the content
        (0, 0, 1000, 700),  # the whole content
    ],
)
def test_regions_are_exact(capture, service, left, top, width, height):
    """frame_region copies its box out of a real Direct3D 11 texture."""
    service.set_content(1000, 700)
    assert service.deliver(1) == 1
    expected = support.pattern(1000, 700, service.last_sequence())
    expected = expected[top:top + height, left:left + width]
    assert np.array_equal(capture.frame_region(left, top, width, height), expected)
    out = np.full((height, width, 4), 0x5A, np.uint8)
    assert capture.frame_region(left, top, width, height, out=out) is out
    assert np.array_equal(out, expected)
    with pytest.raises(ValueError, match=r"^Region \(left=994, top=0, width=7, height=1\)"):
        capture.frame_region(994, 0, 7, 1)


def in_layout(rgba, layout):
    """`rgba` in a pixel layout, written out in NumPy."""
    if layout == "GRAY":
        r, g, b = (rgba[..., channel].astype(np.uint32) for channel in range(3))
        return ((4899 * r + 9617 * g + 1868 * b + 8192) >> 14).astype(np.uint8)
    return rgba[..., ["RGBA".index(letter) for letter in layout]]


@pytest.mark.parametrize("layout", ["RGBA", "BGRA", "RGB", "BGR", "GRAY"])
def test_each_pixel_layout_is_exact(capture, service, layout):
    """Every layout converted out of a real Direct3D 11 texture: rows of 641
    pixels (2564, 1923 and 641 bytes) and a box of 637 at odd offsets."""
    service.set_content(641, 7)
    assert service.deliver(1) == 1
    expected = in_layout(support.pattern(641, 7, service.last_sequence()), layout)
    capture.pixel_layout = layout
    assert np.array_equal(capture.frame(), expected)
    out = np.full(expected.shape, 0x5A, np.uint8)
    assert capture.frame(out=out) is out
    assert np.array_equal(out, expected)
    assert np.array_equal(capture.frame_region(3, 1, 637, 5), expected[1:6, 3:640])


def test_new_frames_and_a_service_without_the_switches(capture, service):
    """wait_frame sees the stand-in's frames arrive on its own thread; the
    stand-in's session has neither switch interface, as Windows 10 before
    version 2004 has not."""
    assert capture.wait_frame(0) is False  # the first frame counts as read
    assert service.deliver(1) == 1
    assert capture.wait_frame(5) is True
    capture.frame_region(0, 0, 1, 1)
    assert capture.wait_frame(0.05) is False
    with pytest.raises(RuntimeError,
                       match="^Hiding the mouse pointer needs Windows 10 version 2004 or later$"):
        capture.cursor = False
    with pytest.raises(RuntimeError, match="^Hiding the capture border needs Windows 11"):
        capture.border = False
    capture.cursor = capture.border = True  # what the session does anyway
    assert capture.active


def test_frame_times_are_on_the_clock_of_perf_counter(capture, service):
    """The stand-in stamps each frame with QueryPerformanceCounter, as Windows
    does: frame_time, read in the real Windows interpreter, lies between a
    time.perf_counter() taken before the delivery and one after the read (on
    Python 3.9, whose perf_counter counts from its first call, the same clock
    read through ctypes)."""
    before = support.system_perf_counter()
    assert service.deliver(1) == 1
    capture.frame()
    after = support.system_perf_counter()
    assert before <= capture.frame_time <= after
    number = capture.frame_number
    assert service.deliver(2) == 2
    capture.frame_region(0, 0, 1, 1)
    assert capture.frame_number == number + 2 and capture.frame_time > after


def test_the_newer_session_settings_reach_the_service(capture, service):
    """The minimum update interval and the pop-up windows switch go through
    IGraphicsCaptureSession5 and 6, at once and at the next start; a failing
    setter leaves the setting as it was."""
    assert service.session_settings() == (0.0, False)  # no call by default
    capture.min_update_interval = 1 / 30
    capture.secondary_windows = True
    assert service.session_settings() == (0.0333333, True)
    service.fail("put_MinUpdateInterval", 0x80070005)
    with pytest.raises(RuntimeError, match=r"^Windows API error: .*\(0x80070005\)$"):
        capture.min_update_interval = 0.5
    assert capture.min_update_interval == 1 / 30
    capture.start(oc.primary_monitor())
    assert service.session_settings() == (0.0333333, True)


def test_the_pool_grows_with_the_content(capture, service):
    monitor = oc.primary_monitor()
    width, height = monitor.width + 64, monitor.height + 32
    service.set_content(width, height)
    assert service.deliver(1) == 1
    # Still in a buffer of the old size: the texture holds what there is.
    read_both_ways(capture, monitor.width, monitor.height, service.last_sequence())
    # The handler recreated the pool for the larger content.
    assert service.deliver(1) == 1
    read_both_ways(capture, width, height, service.last_sequence())


@pytest.mark.threaded
def test_readers_on_several_threads_while_frames_arrive(capture, service):
    width, height = 320, 200
    service.set_content(width, height)
    service.deliver(1)
    seen, failures = set(), []

    def read(index):
        out = np.empty((height, width, 4), np.uint8)
        try:
            for i in range(20):
                frame = capture.frame() if i % 2 else capture.frame(out=out)
                # Which frame it is shows in its first byte.
                seed = int(frame[0, 0, 0])
                assert_exact(frame, width, height, seed)
                seen.add(seed)
        except Exception as error:  # reported by the main thread
            failures.append(f"reader {index}: {error!r}")

    service.set_rate(60)
    readers = [threading.Thread(target=read, args=(i,), daemon=True) for i in range(4)]
    for reader in readers:
        reader.start()
    for reader in readers:
        reader.join(timeout=60)
    service.set_rate(0)
    assert not any(reader.is_alive() for reader in readers), "a reader hangs"
    assert failures == []
    assert len(seen) > 1  # frames arrived while they read


def test_frame_reads_on_after_delivery_stops(capture, service):
    service.set_rate(60)
    time.sleep(0.3)
    service.set_rate(0)
    time.sleep(0.1)
    seed = service.last_sequence()
    monitor = oc.primary_monitor()
    for _ in range(3):
        read_both_ways(capture, monitor.width, monitor.height, seed)


@pytest.mark.threaded
def test_restarts_while_frames_arrive(service, new_capture):
    service.set_content(64, 48)
    service.set_rate(120)
    capture = new_capture()
    for _ in range(8):
        capture.start(oc.primary_monitor())
        assert capture.frame().shape == (48, 64, 4)
        capture.stop()
        assert service.running_sessions() == 0 and service.live_objects() == 0


@pytest.mark.parametrize(
    "operation, code",
    [
        pytest.param(operation, code, id=f"{operation}-0x{code:08X}")
        for operation, code in [
            ("CreateForMonitor", 0x80070005),
            ("CreateDirect3D11DeviceFromDXGIDevice", 0x887A0004),
            ("CreateFreeThreaded", 0x80070057),
            ("CreateCaptureSession", 0x80004005),
            ("StartCapture", 0x887A0005),
            ("add_Closed", 0x80070005),
        ]
    ],
)
def test_failures_give_the_module_texts_and_leave_nothing(service, new_capture, operation, code):
    service.fail(operation, code)
    capture = new_capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(oc.primary_monitor())
    assert str(caught.value) == support.windows_api_error(code)
    assert capture.active is False
    assert service.live_objects() == 0
    # The failure was used up: the next start captures.
    capture.start(oc.primary_monitor())
    assert capture.frame().shape[2] == 4
    capture.stop()


# --- what a capture meets on real Windows ------------------------------------------------

REFUSED = "Windows did not allow a capture without the border ({})"


def test_the_borders_consent(service, new_capture):
    """GraphicsCaptureAccess answering from a thread of the service's: refused,
    unanswered, then allowed, which holds for the rest of the process (so
    this test comes last of those that switch the border)."""
    capture = new_capture()
    service.set_border_access(2)
    with pytest.raises(RuntimeError) as caught:
        capture.border = False
    assert str(caught.value) == REFUSED.format("DeniedByUser") and capture.border is True
    service.set_border_access(3)
    started = time.monotonic()
    with pytest.raises(RuntimeError) as caught:
        capture.border = False
    assert str(caught.value) == REFUSED.format("no answer within 5s")
    assert 4.9 <= time.monotonic() - started < 15 and capture.border is True
    service.set_border_access(1)
    capture.border = False
    assert capture.border is False
    service.set_border_access(2)  # remembered: not asked again
    capture.border = True
    capture.border = False
    # The stand-in's session has no border switch, as before Windows 11.
    with pytest.raises(RuntimeError, match="^Hiding the capture border needs Windows 11"):
        capture.start(oc.primary_monitor())
    capture.border = True


@pytest.mark.threaded
@pytest.mark.parametrize("how", ["Closed", "IsWindow"])
def test_a_closed_target_ends_every_wait(service, new_capture, how):
    """Closed raised by the service (as for a monitor that goes), or a window
    destroyed without it: target_closed, and every wait_frame returns False."""
    handle = support.create_window("opticatcher closing", support.WS_OVERLAPPEDWINDOW | support.WS_VISIBLE)
    capture = new_capture()
    capture.start(oc.Window("opticatcher closing") if how == "IsWindow" else oc.primary_monitor())
    assert capture.target_closed is False
    results = []
    waiters = [threading.Thread(target=lambda: results.append(capture.wait_frame(30)))
               for _ in range(2)]
    for waiter in waiters:
        waiter.start()
    time.sleep(0.1)
    started = time.monotonic()
    if how == "Closed":
        service.close_items()
        support.destroy_window(handle)
    else:
        support.destroy_window(handle)
    for waiter in waiters:
        waiter.join(10)
    assert results == [False, False] and time.monotonic() - started < 2
    assert capture.target_closed is True and capture.active
    assert capture.frame().shape[2] == 4  # the last frame stays readable
    capture.stop()
    assert capture.target_closed is False


def test_a_lost_device_and_a_new_start(service, new_capture):
    monitor = oc.primary_monitor()
    capture = new_capture()
    capture.start(monitor)
    capture.frame()
    service.remove_device()
    for read in (capture.frame, lambda: capture.frame_region(0, 0, 4, 4)):
        with pytest.raises(RuntimeError) as caught:
            read()
        assert str(caught.value) == support.windows_api_error(0x887A0005)
    assert service.deliver(1) == 0 and capture.wait_frame(0.1) is False
    capture.stop()
    assert service.live_objects() == 0
    capture.start(monitor)
    read_both_ways(capture, monitor.width, monitor.height, service.last_sequence())
