"""The capture lifecycle against the simulated capture service: start, stop,
destruction, every failure while a capture is set up, frame arrival and the
growth of the frame pool."""

import ctypes
import gc
import subprocess
import sys
import threading
import time

import pytest

import opticatcher as oc
import winsim
from support import (
    DXGI_ERROR_DEVICE_REMOVED,
    DXGI_ERROR_UNSUPPORTED,
    E_ACCESSDENIED,
    E_FAIL,
    E_NOINTERFACE,
    REGDB_E_CLASSNOTREG,
    RPC_E_CHANGED_MODE,
    run_in_new_thread,
)

# Every capture here has the platform's delivery thread calling into the module
# while Python threads start, stop and wait: all of it runs under ThreadSanitizer.
pytestmark = pytest.mark.threaded

RO_INIT_SINGLETHREADED = 0

TEXTS = {
    E_FAIL: "Unspecified error (0x80004005)",
    E_NOINTERFACE: "No such interface supported (0x80004002)",
    E_ACCESSDENIED: "Access is denied. (0x80070005)",
    REGDB_E_CLASSNOTREG: "Class not registered (0x80040154)",
    DXGI_ERROR_UNSUPPORTED: "The specified device interface or feature level is not supported on "
    "this system. (0x887A0004)",
}


def api_error(code):
    return "Windows API error: " + TEXTS[code]


def settled_live_objects(expected={}):
    """live_objects() once it equals `expected`, or as it is after 2 s.

    The platform's frame-delivery thread may still hold its own reference to a
    frame pool for a moment after the handler call that stop() waited for.
    """
    deadline = time.monotonic() + 2.0
    while (live := winsim.live_objects()) != expected and time.monotonic() < deadline:
        time.sleep(0.005)
    return live


def frames_alive():
    return winsim.live_objects().get("Direct3D11CaptureFrame", 0)


@pytest.fixture
def monitor():
    handle = winsim.add_monitor(800, 600)
    return handle, oc.primary_monitor()


@pytest.fixture
def manual_delivery():
    """Frames come only when a test presents them."""
    winsim.set_frame_delivery(False)


# ---------------------------------------------------------------------------
# Start, stop, destruction


def test_start_returns_after_the_first_frame_and_stop_releases_everything(monitor):
    capture = oc.Capture()
    before = winsim.live_objects()
    assert capture.start(monitor[1]) is None
    assert capture.active is True
    assert winsim.calls("TryGetNextFrame") >= 1
    assert frames_alive() == 1
    assert capture.stop() is None
    assert capture.active is False
    assert settled_live_objects(before) == before
    assert winsim.errors() == []
    assert capture.stop() is None  # a second stop does nothing


def test_first_capture_of_a_fresh_process_on_the_default_desktop():
    script = (
        "import opticatcher, time, winsim\n"
        "before = winsim.live_objects()\n"
        "c = opticatcher.Capture()\n"
        "c.start(opticatcher.primary_monitor())\n"
        "assert c.active\n"
        "c.stop()\n"
        "deadline = time.monotonic() + 2\n"
        "while winsim.live_objects() != before and time.monotonic() < deadline:\n"
        "    time.sleep(0.005)\n"
        "assert winsim.live_objects() == before, winsim.live_objects()\n"
        "assert winsim.errors() == [], winsim.errors()\n"
    )
    subprocess.run([sys.executable, "-c", script], check=True, timeout=60)


def test_the_pool_factory_is_obtained_once_per_process():
    # In a fresh process the first start asks for two factories (item, pool);
    # a failure of the pool factory is not kept, so the next start asks again,
    # and from then on only the item factory is asked for.
    script = (
        "import opticatcher, time, winsim\n"
        "winsim.reset(); winsim.add_monitor()\n"
        "c = opticatcher.Capture()\n"
        "winsim.fail('RoGetActivationFactory', 0x80040154, after=1)\n"
        "try:\n"
        "    c.start(opticatcher.primary_monitor())\n"
        "except RuntimeError as e:\n"
        "    assert str(e) == 'Windows API error: Class not registered (0x80040154)', e\n"
        "else:\n"
        "    raise AssertionError('no failure')\n"
        "assert winsim.calls('RoGetActivationFactory') == 2\n"
        "for expected in (4, 5, 6):\n"
        "    c.start(opticatcher.primary_monitor())\n"
        "    assert winsim.calls('RoGetActivationFactory') == expected\n"
        "c.stop()\n"
        "deadline = time.monotonic() + 2\n"
        "while winsim.live_objects() and time.monotonic() < deadline:\n"
        "    time.sleep(0.005)\n"
        "assert winsim.live_objects() == {}, winsim.live_objects()\n"
        "assert winsim.errors() == [], winsim.errors()\n"
    )
    subprocess.run([sys.executable, "-c", script], check=True, timeout=60)


def test_destruction_stops_the_capture(monitor):
    capture = oc.Capture()
    capture.start(monitor[1])
    del capture
    gc.collect()
    assert winsim.calls("GraphicsCaptureSession.Close") == 1
    assert winsim.calls("remove_FrameArrived") == 1
    assert winsim.calls("Direct3D11CaptureFramePool.Close") == 1
    assert settled_live_objects() == {}


def test_each_start_creates_its_own_device(monitor):
    first, second = oc.Capture(), oc.Capture()
    first.start(monitor[1])
    second.start(monitor[1])
    assert winsim.calls("D3D11CreateDevice") == 2
    first.stop()
    assert second.active
    second.stop()


def test_start_without_waiting(monitor, manual_delivery):
    capture = oc.Capture()
    capture.start(monitor[1], await_first_frame=False)
    assert capture.active
    assert winsim.calls("TryGetNextFrame") == 0
    winsim.present(monitor[0])
    assert winsim.calls("TryGetNextFrame") == 1
    assert frames_alive() == 1
    capture.stop()


def test_first_frame_timeout_leaves_the_capture_running(monitor, manual_delivery):
    capture = oc.Capture()
    started = time.monotonic()
    with pytest.raises(RuntimeError) as caught:
        capture.start(monitor[1])
    assert str(caught.value) == "No frame arrived within 5s"
    assert time.monotonic() - started >= 4.9  # never gives up before the deadline
    assert capture.active is True
    winsim.present(monitor[0])
    assert winsim.calls("TryGetNextFrame") == 1
    assert frames_alive() == 1
    capture.stop()


def test_restart_on_a_second_target(manual_delivery):
    first = winsim.add_window("first")
    second = winsim.add_window("second")
    capture = oc.Capture()
    capture.start(oc.Window("first"), await_first_frame=False)
    capture.start(oc.Window("second"), await_first_frame=False)
    assert capture.active
    assert winsim.calls("GraphicsCaptureSession.Close") == 1
    winsim.present(first, count=3)
    assert winsim.calls("TryGetNextFrame") == 0
    winsim.present(second)
    assert winsim.calls("TryGetNextFrame") == 1
    capture.stop()


def test_no_handler_call_after_stop(monitor, manual_delivery):
    capture = oc.Capture()
    capture.start(monitor[1], await_first_frame=False)
    winsim.present(monitor[0])
    capture.stop()
    winsim.present(monitor[0], count=2)
    assert winsim.calls("TryGetNextFrame") == 1
    assert frames_alive() == 0


def test_only_the_latest_frame_is_held(monitor, manual_delivery):
    capture = oc.Capture()
    capture.start(monitor[1], await_first_frame=False)
    for presented in range(1, 5):
        winsim.present(monitor[0])
        assert winsim.calls("TryGetNextFrame") == presented
        assert frames_alive() == 1
    capture.stop()
    assert frames_alive() == 0


def test_stop_ignores_close_and_unsubscribe_failures(monitor):
    capture = oc.Capture()
    capture.start(monitor[1])
    for operation in (
        "GraphicsCaptureSession.Close",
        "remove_FrameArrived",
        "Direct3D11CaptureFramePool.Close",
    ):
        winsim.fail(operation, E_FAIL, description="ignored")
    assert capture.stop() is None
    assert capture.active is False
    # The ignored failures leave no error information behind for a later one.
    winsim.fail("CreateCaptureSession", E_FAIL)
    with pytest.raises(RuntimeError, match=r"^Windows API error: Unspecified error \(0x80004005\)$"):
        capture.start(monitor[1])


# ---------------------------------------------------------------------------
# The graphics device


def test_hardware_failure_falls_back_to_warp(monitor):
    winsim.fail("D3D11CreateDevice", DXGI_ERROR_UNSUPPORTED)
    capture = oc.Capture()
    capture.start(monitor[1])
    assert winsim.calls("D3D11CreateDevice") == 2
    capture.stop()


def test_the_warp_failure_is_reported(monitor):
    winsim.fail("D3D11CreateDevice", E_ACCESSDENIED)
    winsim.fail("D3D11CreateDevice", DXGI_ERROR_UNSUPPORTED)
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(monitor[1])
    assert str(caught.value) == api_error(DXGI_ERROR_UNSUPPORTED)
    assert capture.active is False


def test_a_device_call_without_a_device(monitor):
    winsim.fail("D3D11CreateDevice", null=True, times=2)
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(monitor[1])
    assert str(caught.value) == "Failed to create a DirectX device"
    # Without a device from the hardware try, WARP is tried and can serve.
    winsim.fail("D3D11CreateDevice", null=True)
    capture.start(monitor[1])
    capture.stop()


# ---------------------------------------------------------------------------
# Failures while a capture is set up

SETUP_FAILURES = [
    ("CreateForMonitor", E_ACCESSDENIED),
    ("RoGetActivationFactory", REGDB_E_CLASSNOTREG),
    ("QueryInterface:ID3D10Multithread", E_NOINTERFACE),
    ("get_Size", E_FAIL),
    ("QueryInterface:IDXGIDevice", E_NOINTERFACE),
    ("CreateDirect3D11DeviceFromDXGIDevice", DXGI_ERROR_UNSUPPORTED),
    ("QueryInterface:IDirect3DDevice", E_NOINTERFACE),
    ("CreateFreeThreaded", E_ACCESSDENIED),
    ("add_FrameArrived", E_FAIL),
    ("CreateCaptureSession", E_ACCESSDENIED),
    ("StartCapture", E_FAIL),
]


@pytest.mark.parametrize("operation, code", SETUP_FAILURES, ids=[op for op, _ in SETUP_FAILURES])
def test_a_failing_step_tears_everything_down(monitor, operation, code):
    window = winsim.add_window("running")
    capture = oc.Capture()
    capture.start(oc.Window("running"))  # torn down by the failing start below
    winsim.fail(operation, code)
    with pytest.raises(RuntimeError) as caught:
        capture.start(monitor[1])
    assert str(caught.value) == api_error(code)
    assert capture.active is False
    assert winsim.calls(operation) >= 1
    assert settled_live_objects() == {}
    # The old capture's frames go nowhere, and the next start works.
    winsim.present(window)
    capture.start(monitor[1])
    capture.stop()


NULL_RESULTS = [
    "CreateForMonitor",
    "RoGetActivationFactory",
    "QueryInterface:ID3D10Multithread",
    "QueryInterface:IDXGIDevice",
    "CreateDirect3D11DeviceFromDXGIDevice",
    "QueryInterface:IDirect3DDevice",
    "CreateFreeThreaded",
    "CreateCaptureSession",
]


@pytest.mark.parametrize("operation", NULL_RESULTS)
def test_a_success_without_an_object_is_a_failure(monitor, operation):
    winsim.fail(operation, null=True)
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(monitor[1])
    assert str(caught.value).startswith("Windows API error: ")
    assert str(caught.value).endswith("0x00000000)") or str(caught.value).endswith("0x00000000")
    assert capture.active is False
    assert settled_live_objects() == {}


def test_item_failure_of_a_window_target():
    winsim.add_window("target")
    winsim.fail("CreateForWindow", E_ACCESSDENIED)
    capture = oc.Capture()
    with pytest.raises(RuntimeError) as caught:
        capture.start(oc.Window("target"))
    assert str(caught.value) == api_error(E_ACCESSDENIED)
    assert capture.active is False


@pytest.mark.parametrize(
    "description, restricted, text",
    [
        ("Plain words", "Restricted words", "Restricted words (0x80004005)"),
        ("Plain words", "", "Plain words (0x80004005)"),
        ("Plain words", None, "Plain words (0x80004005)"),
        ("", None, "0x80004005"),
    ],
)
def test_error_information_wins_over_the_system_text(monitor, description, restricted, text):
    winsim.fail(
        "CreateCaptureSession", E_FAIL, description=description, restricted_description=restricted
    )
    with pytest.raises(RuntimeError) as caught:
        oc.Capture().start(monitor[1])
    assert str(caught.value) == "Windows API error: " + text


def test_another_apartment_type_is_accepted():
    def start_in_single_threaded_apartment():
        winsim_library = ctypes.CDLL("libwinsim.so", mode=ctypes.RTLD_GLOBAL)
        assert winsim_library.RoInitialize(RO_INIT_SINGLETHREADED) == 0
        # The simulation notes that it has no message loop for such an
        # apartment; that note is not what this test is about.
        winsim.reset()
        winsim.add_monitor()
        capture = oc.Capture()
        capture.start(oc.primary_monitor())  # RoInitialize: RPC_E_CHANGED_MODE
        capture.start(oc.primary_monitor())
        capture.stop()
        assert winsim.calls("RoInitialize") == 1

    run_in_new_thread(start_in_single_threaded_apartment)


def test_apartment_failure_is_retried_on_the_next_start(monitor):
    def starts():
        capture = oc.Capture()
        winsim.fail("RoInitialize", E_FAIL)
        with pytest.raises(RuntimeError) as caught:
            capture.start(monitor[1])
        assert str(caught.value) == api_error(E_FAIL)
        assert capture.active is False
        assert winsim.calls("RoInitialize") == 1
        capture.start(monitor[1])
        assert winsim.calls("RoInitialize") == 2
        capture.start(monitor[1])  # this thread is in its apartment now
        assert winsim.calls("RoInitialize") == 2
        capture.stop()

    run_in_new_thread(starts)


# ---------------------------------------------------------------------------
# Growth of the frame pool


def test_the_pool_grows_only_when_the_content_outgrows_it(manual_delivery):
    window = winsim.add_window("target", 800, 600)
    capture = oc.Capture()
    capture.start(oc.Window("target"), await_first_frame=False)

    def present(width, height):
        winsim.resize_window(window, width, height)
        winsim.present(window)
        return winsim.calls("Recreate")

    assert present(800, 600) == 0
    assert present(640, 480) == 0  # shrinking recreates nothing
    assert present(700, 900) == 1  # taller: recorded as 700x900, as it is
    assert present(800, 600) == 2  # wider than the recorded 700
    assert present(800, 600) == 2
    assert present(1024, 768) == 3
    assert present(1024, 768) == 3
    # A failing growth keeps the recorded size and is tried again.
    winsim.fail("Recreate", E_FAIL)
    assert present(1280, 1024) == 4
    assert frames_alive() == 1  # the frame that showed the growth is stored
    assert present(1280, 1024) == 5
    assert present(1280, 1024) == 5
    capture.stop()


def test_failing_device_wrapper_during_growth_is_retried(manual_delivery):
    window = winsim.add_window("target", 800, 600)
    capture = oc.Capture()
    capture.start(oc.Window("target"), await_first_frame=False)
    winsim.fail("CreateDirect3D11DeviceFromDXGIDevice", E_FAIL)
    winsim.resize_window(window, 900, 600)
    winsim.present(window)
    assert winsim.calls("Recreate") == 0
    winsim.present(window)
    assert winsim.calls("Recreate") == 1
    capture.stop()


# ---------------------------------------------------------------------------
# Many threads at once


def test_concurrent_starts_and_stops_while_frames_arrive_at_240_hz():
    monitors = [winsim.add_monitor(320, 240, refresh_rate=240) for _ in range(2)]
    windows = [winsim.add_window(f"window {i}", 320 + 16 * i, 240) for i in range(3)]
    targets = oc.enumerate_monitors() + [oc.Window(f"window {i}") for i in range(3)]
    assert len(monitors) == 2 and len(windows) == 3
    failures = []
    rounds = []
    deadline = time.monotonic() + 3.0

    def worker(seed):
        try:
            capture = oc.Capture()
            round_ = seed
            while time.monotonic() < deadline:
                target = targets[round_ % len(targets)]
                capture.start(target, await_first_frame=round_ % 2 == 0)
                if round_ % 3 == 0:
                    winsim.resize_window(windows[round_ % 3], 320 + round_ % 64, 240 + round_ % 48)
                if round_ % 4 == 0:
                    capture.stop()
                round_ += 1
            capture.stop()
            rounds.append(round_ - seed)
        except BaseException as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=worker, args=(seed,), daemon=True) for seed in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
    assert not any(thread.is_alive() for thread in threads), "deadlock"
    assert failures == []
    assert sum(rounds) > len(threads)
    assert winsim.calls("TryGetNextFrame") > 0
    assert winsim.errors() == []
    assert settled_live_objects() == {}
