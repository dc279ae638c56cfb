import pytest
import winsim.testing

desktop = pytest.fixture(autouse=True)(winsim.testing.clean_desktop)


def pytest_addoption(parser):
    # The per-test limit in pyproject.toml is pytest-timeout's (in the test
    # extras). Where it is missing, the setting stays a known name instead of
    # an unknown one, which -W error would turn into an internal error.
    try:
        import pytest_timeout  # noqa: F401
    except ImportError:
        parser.addini("timeout", "the per-test time limit of pytest-timeout (not installed)")
