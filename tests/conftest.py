import time

import pytest
import winsim


def drained_live_objects(timeout=2.0):
    """live_objects() once nothing is alive, or as it is after `timeout`.

    The platform's frame-delivery thread can hold its own reference to a frame
    pool for a moment after the handler call that stop() waited for has
    returned; a real leak is still there when the time is up.
    """
    deadline = time.monotonic() + timeout
    while (live := winsim.live_objects()) and time.monotonic() < deadline:
        time.sleep(0.005)
    return live


@pytest.fixture(autouse=True)
def desktop():
    """Each test starts on an empty simulated desktop and must leave no misuse
    and no live platform object behind."""
    winsim.reset()
    yield
    assert winsim.errors() == []
    assert drained_live_objects() == {}
