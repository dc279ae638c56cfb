"""The Windows suite: the cross-built opticatcher.pyd in Windows' own CPython,
on Windows or under Wine (tools/windows/wine.sh runs it). Anywhere else nothing
here is collected; the Linux suite covers the logic against winsim."""
import os
import sys

if sys.platform != "win32":
    collect_ignore_glob = ["*"]
else:
    import pytest

    import opticatcher as oc
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

    @pytest.fixture(scope="session")
    def stand_in():
        """The stand-in capture service, under Wine only, loaded into this process
        with the module's import of CreateDirect3D11DeviceFromDXGIDevice (an
        aborting stub in Wine) pointed at its own. On Windows the real service is
        used, and the tests that need the stand-in are skipped."""
        if not support.under_wine():
            pytest.skip("the stand-in capture service replaces a missing one under Wine only")
        path = os.environ.get("OPTICATCHER_STAND_IN_DLL")
        assert path, "OPTICATCHER_STAND_IN_DLL names no stand-in service (tools/windows/wine.sh sets it)"
        service = support.StandIn(path)
        assert service.replace_import(oc.__file__) == 1
        return service

    @pytest.fixture
    def service(stand_in):
        """The stand-in, reset and registered for the capture classes for one test;
        nothing of it may be left alive, running or misused afterwards."""
        stand_in.reset()
        stand_in.register()
        try:
            yield stand_in
        finally:
            stand_in.unregister()
            stand_in.reset()
        assert stand_in.running_sessions() == 0
        assert stand_in.live_objects() == 0
        assert stand_in.misuse() == (0, "")

    def pytest_terminal_summary(terminalreporter):
        if support.frames_compared:
            terminalreporter.write_line(
                f"wine capture: {support.frames_compared} frames read back exactly"
            )
