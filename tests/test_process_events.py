"""Captures across events of the whole process: a frame-delivery thread that
cannot be made. Each case runs in a fresh interpreter, so that a regression to
a hang or a crash fails its test instead of the run."""

import pytest

from support import run_script, sanitizer_loaded

OUT_OF_MEMORY = (
    "Windows API error: Not enough memory resources are available to complete this operation. "
    "(0x8007000E)"
)

# Shared by both scripts: waits until the capture shows `rgba` in new frames.
SHOWS = """
import time
import numpy as np

def shows(capture, handle, rgba, seconds=5):
    content = np.empty((4, 4, 4), np.uint8)
    content[:] = rgba
    winsim.set_content(handle, content)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if (capture.frame()[0, 0] == rgba).all():
            return True
        time.sleep(0.002)
    return False
"""

ADDRESS_SPACE_LIMIT = """
import json, resource
import opticatcher as oc
import winsim

winsim.reset()
handle = winsim.add_monitor(64, 64, 240)
monitor = oc.primary_monitor()

def address_space():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[0]) * resource.getpagesize()

# Room for the small allocations of a start, not for a thread's stack (as
# large as the stack limit, 8 MiB without one).
stack = resource.getrlimit(resource.RLIMIT_STACK)[0]
room = (8 << 20 if stack == resource.RLIM_INFINITY else stack) // 2
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
capture = oc.Capture()
before = winsim.live_objects()
resource.setrlimit(resource.RLIMIT_AS, (address_space() + room, hard))
try:
    capture.start(monitor)
    failure = None
except RuntimeError as error:
    failure = str(error)
finally:
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
failed = [failure, capture.active, winsim.calls("StartCapture"), winsim.live_objects() == before]

capture.start(monitor)
frames = [shows(capture, handle, (9, 8, 7, 255)), shows(capture, handle, (1, 2, 3, 255))]
capture.stop()
print(json.dumps([failed, frames, winsim.errors()]))
"""


@pytest.mark.skipif(sanitizer_loaded(), reason="the sanitizer runtimes map their memory on demand "
                    "and end the process when an address-space limit refuses it")
def test_a_delivery_thread_that_cannot_be_made_fails_the_start_and_nothing_else():
    failed, frames, errors = run_script(SHOWS + ADDRESS_SPACE_LIMIT)
    # StartCapture itself failed, and left nothing alive or registered.
    assert failed == [OUT_OF_MEMORY, False, 1, True]
    assert frames == [True, True]
    assert errors == []
