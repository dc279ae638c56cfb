"""Captures across events of the whole process: a frame-delivery thread that
cannot be made, and fork() while captures run. Each case runs in a fresh
interpreter, so that a regression to a hang or a crash fails its test instead
of the run."""

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


@pytest.mark.threaded
def test_a_delivery_thread_that_cannot_be_made_fails_the_start_and_nothing_else():
    failed, frames, errors = run_script(SHOWS + ADDRESS_SPACE_LIMIT)
    # StartCapture itself failed, and left nothing alive or registered.
    assert failed == [OUT_OF_MEMORY, False, 1, True]
    assert frames == [True, True]
    assert errors == []


FORK = """
import faulthandler, gc, json, os, time, warnings
import opticatcher as oc
import winsim

warnings.simplefilter("ignore", DeprecationWarning)  # fork() with threads running
winsim.reset()
fast = winsim.add_monitor(64, 64, 1000)
other = winsim.add_monitor(32, 32, 60)
inherited, dropped = oc.Capture(), oc.Capture()
inherited.start(oc.Monitor(1))
dropped.start(oc.Monitor(1))

def timed(action):
    started = time.monotonic()
    action()
    return time.monotonic() - started

def child():
    # What an inherited capture does in the child, and what a new one does.
    last = inherited.frame().shape
    fresh = oc.Capture()
    seconds = [timed(lambda: fresh.start(oc.Monitor(2)))]
    new_frames = shows(fresh, other, (5, 6, 7, 255))
    winsim.set_frame_delivery(False)
    seconds.append(timed(lambda: winsim.present(other, 2)))
    seconds.append(timed(lambda: winsim.present(fast)))
    seconds.append(timed(inherited.stop))
    seconds.append(timed(lambda: (globals().pop("dropped"), gc.collect())))
    fresh.stop()
    return [last, new_frames, max(seconds) < 2, winsim.live_objects(), winsim.errors()]

results = []
for _ in range(5):
    time.sleep(0.02)  # frames arriving at 1000 Hz, twice
    reader, writer = os.pipe()
    pid = os.fork()
    if pid == 0:
        faulthandler.dump_traceback_later(20, exit=True)  # a hang ends the child
        try:
            outcome = child()
        except BaseException as error:
            outcome = repr(error)
        os.write(writer, json.dumps(outcome).encode())
        os._exit(0)
    os.close(writer)
    with os.fdopen(reader) as pipe:
        results.append(json.loads(pipe.read() or "null"))
    results.append(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))

# The parent goes on as before.
parent = [shows(inherited, fast, (200, 100, 50, 255)), shows(dropped, fast, (50, 100, 200, 255))]
inherited.stop()
del dropped
gc.collect()
print(json.dumps([results, parent, winsim.live_objects(), winsim.errors()]))
"""


@pytest.mark.threaded
@pytest.mark.skipif(sanitizer_loaded("libtsan"),
                    reason="ThreadSanitizer ends a child that starts a thread after a fork "
                           "of a process with threads")
def test_fork_while_captures_run():
    results, parent, live, errors = run_script(SHOWS + FORK, timeout=120)
    child = [[64, 64, 4], True, True, {}, []]
    assert results == [child, 0] * 5
    assert parent == [True, True]
    assert live == {}
    assert errors == []
