import pytest
import winsim


@pytest.fixture(autouse=True)
def desktop():
    """Each test starts on an empty simulated desktop and must leave no misuse
    and no live platform object behind."""
    winsim.reset()
    yield
    assert winsim.errors() == []
    assert winsim.live_objects() == {}
