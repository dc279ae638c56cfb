"""Threads meeting inside the simulated platform.

On Windows the capture service calls into the module from its own worker
threads while the caller's threads query monitors and windows. Here the
`winsim` control functions run without the GIL (ctypes releases it), so a
thread changing the desktop really runs alongside one that reads it through
opticatcher. These tests carry the `threaded` marker: the ThreadSanitizer
build (tools/ci/sanitizers.sh tsan) runs exactly the tests marked so.
"""

import threading

import pytest

import opticatcher as oc
import winsim

pytestmark = pytest.mark.threaded

ROUNDS = 300


def run_together(*workers):
    """Runs each worker on its own thread, started together; re-raises the
    first exception a worker raised."""
    start = threading.Barrier(len(workers), timeout=60)
    failures = []

    def run(worker):
        try:
            start.wait()
            worker()
        except BaseException as error:  # noqa: BLE001 - handed to the test
            failures.append(error)

    threads = [threading.Thread(target=run, args=(worker,), daemon=True) for worker in workers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
        assert not thread.is_alive(), "a worker thread hangs"
    if failures:
        raise failures[0]


def test_window_churn_while_enumerating_and_finding():
    winsim.add_window("steady")

    def churn():
        for round in range(ROUNDS):
            handle = winsim.add_window(f"churn {round}")
            winsim.resize_window(handle, 320 + round, 240)
            winsim.set_foreground(handle)
            winsim.destroy_window(handle)

    def enumerate_windows():
        for _ in range(ROUNDS):
            listed = [window.name for window in oc.enumerate_windows()]
            # A churned window may be gone by the time its title is read.
            assert listed.count("steady") == 1
            assert all(name == "steady" or name.startswith("churn ") or name == ""
                       for name in listed)

    def find():
        for _ in range(ROUNDS):
            window = oc.Window("steady")
            assert window.name == "steady"
            assert window.valid is True
            window.focused  # changes under our feet: only must not fail

    run_together(churn, enumerate_windows, find)
    assert [window.name for window in oc.enumerate_windows()] == ["steady"]


def test_monitor_churn_while_reading_properties():
    winsim.add_monitor(2560, 1440, 144)

    def churn():
        for _ in range(ROUNDS):
            handle = winsim.add_monitor(1280, 1024, 75)
            winsim.remove_monitor(handle)

    def read():
        for _ in range(ROUNDS):
            primary = oc.primary_monitor()
            assert (primary.width, primary.height, primary.refresh_rate) == (2560, 1440, 144)
            for monitor in oc.enumerate_monitors():
                try:
                    size = (monitor.width, monitor.height)
                except RuntimeError as error:
                    # Removed between enumeration and the read, or between
                    # the read's two system calls.
                    assert str(error) in ("Failed to get monitor info",
                                          "Failed to get monitor settings")
                else:
                    assert size in ((2560, 1440), (1280, 1024))

    run_together(churn, read, read)
    assert len(oc.enumerate_monitors()) == 1


def test_failures_and_call_counts_from_several_threads():
    winsim.add_monitor()
    # Queued failures are consumed exactly once, whichever thread asks.
    winsim.fail("GetMonitorInfoW", times=50)
    failed = []

    def read():
        for _ in range(100):
            try:
                oc.primary_monitor().width
            except RuntimeError:
                failed.append(1)

    def observe():
        for _ in range(200):
            winsim.calls("GetMonitorInfoW")
            winsim.live_objects()
            assert winsim.errors() == []

    run_together(read, read, observe)
    assert len(failed) == 50
