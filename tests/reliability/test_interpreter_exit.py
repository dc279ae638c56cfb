"""Interpreter exit while daemon threads are inside the module. The
interpreter ends such threads where they next ask for its lock (on Linux,
CPython up to 3.13 unwinds them through the module's frames), so a program
that exits while a daemon thread reads frames, converts arguments or waits for
a capture must still end normally. Each program runs several times in a fresh
interpreter, since the moment the thread is caught differs from run to run."""

import os
import subprocess
import sys
import textwrap

import pytest

pytestmark = pytest.mark.threaded

RUNS = 4

PRELUDE = """
import os, threading, time
import opticatcher as oc
import winsim

def daemon(body, count=1):
    def loop():
        while True:
            try:
                body()
            except Exception:
                pass
    for _ in range(count):
        threading.Thread(target=loop, daemon=True).start()
"""

PROGRAMS = {
    # The readback: the thread takes the interpreter lock back after the copy.
    "frame": """
        c = oc.Capture(); c.start(oc.primary_monitor())
        daemon(c.frame)
        time.sleep(0.3)
    """,
    "frame into one out from 4 threads at 4K": """
        winsim.reset(); winsim.add_monitor(3840, 2160, refresh_rate=240)
        c = oc.Capture(); c.start(oc.primary_monitor())
        out = c.frame()
        daemon(lambda: c.frame(out=out), count=4)
        time.sleep(0.3)
    """,
    # Calls that run Python code, which gives the lock away while it runs.
    "__index__ of a Monitor argument": """
        class Slow:
            def __index__(self):
                time.sleep(0.05)
                return 1
        daemon(lambda: oc.Monitor(Slow()))
        time.sleep(0.2)
    """,
    "__qualname__ of a wrong capture target's type": """
        class Meta(type):
            def __getattribute__(cls, name):
                if name == "__qualname__":
                    time.sleep(0.05)
                return super().__getattribute__(name)
        class Target(metaclass=Meta):
            pass
        c = oc.Capture()
        daemon(lambda: c.start(Target()))
        time.sleep(0.2)
    """,
    "NumPy's first import": """
        c = oc.Capture(); c.start(oc.primary_monitor())
        daemon(c.frame)
        time.sleep(0.01)
    """,
    # Starting and stopping, first-frame wait included.
    "start and stop": """
        winsim.reset(); winsim.add_monitor(640, 480, refresh_rate=240)
        c = oc.Capture()
        monitor = oc.primary_monitor()
        daemon(lambda: (c.start(monitor), c.stop()))
        time.sleep(0.3)
    """,
}


# The ended threads never release what their frames held: under the address
# sanitizer that is reported as leaks, which here are the expected outcome.
ENVIRONMENT = dict(os.environ)
if "ASAN_OPTIONS" in ENVIRONMENT:
    ENVIRONMENT["ASAN_OPTIONS"] += ":detect_leaks=0"


@pytest.mark.parametrize("program", PROGRAMS.values(), ids=list(PROGRAMS))
def test_exit_with_a_daemon_thread_inside_the_module(program):
    source = PRELUDE + textwrap.dedent(program)
    children = [
        subprocess.Popen(
            [sys.executable, "-c", source], env=ENVIRONMENT, stderr=subprocess.PIPE, text=True
        )
        for _ in range(RUNS)
    ]
    outcomes = [(child.wait(timeout=60), child.stderr.read()) for child in children]
    for child in children:
        child.stderr.close()
    assert outcomes == [(0, "")] * RUNS
