"""Helpers and constants shared by several test modules."""

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


def run_in_new_thread(function):
    """Runs function() on a fresh thread (one that has no apartment yet) and
    returns its result or raises its exception."""
    outcome = {}

    def body():
        try:
            outcome["value"] = function()
        except BaseException as error:  # handed to the caller
            outcome["error"] = error

    thread = threading.Thread(target=body)
    thread.start()
    thread.join()
    if "error" in outcome:
        raise outcome["error"]
    return outcome.get("value")


def sanitizer_loaded():
    """True when this process runs under AddressSanitizer or ThreadSanitizer."""
    with open("/proc/self/maps") as maps:
        return any(name in line for line in maps for name in ("libasan", "libtsan"))
