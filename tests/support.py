"""Helpers shared by several test modules."""

import threading


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
