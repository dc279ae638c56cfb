"""pytest support for tests that run against the simulated platform.

In a conftest.py::

    import pytest
    import winsim.testing

    desktop = pytest.fixture(autouse=True)(winsim.testing.clean_desktop)
"""

import winsim


def clean_desktop():
    """Each test starts on an empty simulated desktop and must leave no misuse
    and no live platform object behind (a capture still running, a frame or
    texture still held)."""
    winsim.reset()
    yield
    assert winsim.errors() == []
    assert winsim.live_objects() == {}
