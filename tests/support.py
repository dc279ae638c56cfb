"""Helpers and constants shared by several test modules."""

import _thread
import contextlib
import json
import signal
import subprocess
import sys
import threading

# HRESULTs the tests make the platform fail with, and window styles.
E_FAIL = 0x80004005
E_NOINTERFACE = 0x80004002
E_ACCESSDENIED = 0x80070005
E_OUTOFMEMORY = 0x8007000E
REGDB_E_CLASSNOTREG = 0x80040154
RPC_E_CHANGED_MODE = 0x80010106
DXGI_ERROR_UNSUPPORTED = 0x887A0004
DXGI_ERROR_DEVICE_REMOVED = 0x887A0005
WS_EX_TOOLWINDOW = 0x00000080
WS_POPUP = 0x80000000

# How long a test waits for a thread it started: far more than any honest
# thread needs, even under a sanitizer, so that only a lost wake-up meets it.
JOIN_SECONDS = 60


def join(*threads, timeout=JOIN_SECONDS):
    """Joins each thread; one still running after `timeout` seconds fails the
    test instead of hanging it. Start the threads with daemon=True, so that a
    stuck one does not hold the interpreter at exit either."""
    for thread in threads:
        thread.join(timeout)
        assert not thread.is_alive(), f"{thread.name} still runs after {timeout} s"


@contextlib.contextmanager
def ctrl_c_after(seconds):
    """Ctrl+C for the main thread `seconds` after the block starts, with a
    SIGINT handler of the block's own: a process started with SIGINT ignored
    (a background job, nohup) has none, and interrupt_main() would do nothing.
    The old handler is back after the block."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Timer(seconds, _thread.interrupt_main)
    timer.daemon = True
    try:
        timer.start()
        yield
        join(timer)
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)


def run_in_new_thread(function):
    """Runs function() on a fresh thread (one that has no apartment yet) and
    returns its result or raises its exception."""
    outcome = {}

    def body():
        try:
            outcome["value"] = function()
        except BaseException as error:  # handed to the caller
            outcome["error"] = error

    thread = threading.Thread(target=body, daemon=True)
    thread.start()
    join(thread)
    if "error" in outcome:
        raise outcome["error"]
    return outcome.get("value")


def run_script(script, *arguments, timeout=60):
    """Runs `script` in a fresh interpreter, with `arguments` as sys.argv[1:],
    and returns the JSON value of the last line it printed. A crash, an error
    or a hang (past `timeout` seconds) fails the test with the interpreter's
    status and standard error."""
    result = subprocess.run([sys.executable, "-c", script, *arguments], capture_output=True,
                            text=True, timeout=timeout)
    assert result.returncode == 0, f"the interpreter ended with {result.returncode}\n{result.stderr}"
    return json.loads(result.stdout.splitlines()[-1])


def sanitizer_loaded(*names):
    """True when this process runs under AddressSanitizer or ThreadSanitizer
    (or only those of `names`, such as "libtsan")."""
    names = names or ("libasan", "libtsan")
    with open("/proc/self/maps") as maps:
        return any(name in line for line in maps for name in names)
