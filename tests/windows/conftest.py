"""The Windows suite: the cross-built opticatcher.pyd in Windows' own CPython,
on Windows or under Wine (tools/windows/wine.sh runs it). Anywhere else nothing
here is collected; the Linux suite covers the logic against winsim."""
import sys

if sys.platform != "win32":
    collect_ignore_glob = ["*"]
else:
    import pytest

    import windows_support as support

    # Sizes in pixels, before this process makes any window.
    support.user32.SetProcessDPIAware()

    def pytest_configure(config):
        config.addinivalue_line(
            "markers",
            "capture_service: needs the graphics-capture service (Windows itself, "
            "or the stand-in under Wine); skipped where it is missing",
        )

    @pytest.fixture(scope="session")
    def notepad():
        """A Notepad window: a capturable window of another process."""
        with support.notepad() as window:
            yield window

    @pytest.fixture
    def own_window():
        """Makes windows of this process; they are destroyed after the test."""
        made = []

        def make(title, style=support.WS_OVERLAPPEDWINDOW | support.WS_VISIBLE, ex_style=0, parent=None):
            made.append(support.create_window(title, style, ex_style, parent))
            return made[-1]

        yield make
        for handle in reversed(made):
            support.destroy_window(handle)
