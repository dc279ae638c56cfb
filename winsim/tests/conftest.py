import pytest
import winsim.testing

desktop = pytest.fixture(autouse=True)(winsim.testing.clean_desktop)
