import importlib.metadata
import importlib.util
import subprocess
import sys
import textwrap

import pytest

import opticatcher as oc

ALL = [
    "enumerate_windows",
    "foreground_window",
    "Window",
    "primary_monitor",
    "enumerate_monitors",
    "Monitor",
    "Capture",
    "__version__",
]

MEMBERS = {
    oc.Monitor: ["width", "height", "index", "refresh_rate", "device_name", "device_string",
                 "rect", "work_area", "primary", "scale", "orientation", "handle", "from_handle",
                 "from_point"],
    oc.Window: ["valid", "name", "focus", "focused", "rect", "client_rect", "process_id",
                "class_name", "minimized", "monitor", "handle", "from_handle"],
    oc.Capture: ["start", "active", "stop", "frame", "frame_region", "wait_frame", "cursor",
                 "border", "target_closed", "secondary_windows", "min_update_interval",
                 "frame_number", "frame_time", "pixel_layout"],
}


def test_version_is_the_distribution_version():
    # pyproject.toml and the module each state it: a release bumps both.
    assert oc.__version__ == importlib.metadata.version("opticatcher")


def test_module_surface():
    assert oc.__all__ == ALL
    assert oc.__version__ == "0.2.1"
    assert all(hasattr(oc, name) for name in ALL)
    assert oc.__doc__.split("\n\n")[1] == (
        "The Python-facing types come from the platform selected at compile time"
    )
    assert not hasattr(oc, "PanicException")
    for cls, members in MEMBERS.items():
        assert {name for name in vars(cls) if not name.startswith("__")} == set(members)
        for kind in ("getset_descriptor", "method_descriptor"):
            in_table = [name for name in members if type(vars(cls)[name]).__name__ == kind]
            in_type = [name for name in vars(cls) if name in in_table]
            assert in_type == in_table, cls


def test_text_signatures_and_docstrings():
    assert oc.Capture.start.__text_signature__ == "($self, capture_target, await_first_frame=None)"
    assert oc.Capture.frame.__text_signature__ == "($self, out=None)"
    assert oc.Capture.stop.__text_signature__ == "($self)"
    assert oc.Capture.frame_region.__text_signature__ == (
        "($self, left, top, width, height, out=None)")
    assert oc.Capture.wait_frame.__text_signature__ == "($self, timeout=None)"
    assert oc.Window.focus.__text_signature__ == "($self)"
    # CPython 3.9 cuts the signature line off a heap type's docstring without
    # keeping it as the class's __text_signature__; 3.10 and newer keep it.
    if sys.version_info >= (3, 10):
        assert oc.Monitor.__text_signature__ == "(id=None)"
        assert oc.Window.__text_signature__ == "(name)"
        assert oc.Capture.__text_signature__ == "()"
    assert oc.enumerate_windows.__text_signature__ == "()"
    assert oc.Window.__doc__.startswith("Window abstraction for the Windows operating system.")
    assert oc.Monitor.__doc__.endswith(
        "Args:\n   id: The index of the monitor. If None, the primary monitor is used."
    )
    assert oc.foreground_window.__doc__ == (
        "Get the currently active window.\n\nReturns:\n   The active window.\n\n"
        "Raises:\n  NoActiveWindow: No active window was found."
    )
    assert oc.Capture.stop.__doc__ == (
        "Stop the capture and release the frame pool, the capture session and the last frame."
    )
    assert oc.Monitor.refresh_rate.__doc__ == ":``int``: The refresh rate of the monitor in Hz."
    assert oc.Capture.active.__doc__ == ":``bool``: True if a capture is running."
    assert oc.primary_monitor.__module__ == "opticatcher"


@pytest.mark.parametrize("cls", [oc.Monitor, oc.Window, oc.Capture])
def test_classes_are_final_and_closed(cls):
    assert cls.__qualname__ == cls.__name__ and "." not in cls.__name__
    assert cls.__module__ == "opticatcher"
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert "__dict__" not in dir(cls)
    assert cls.__weakrefoffset__ == 0


def test_properties_are_read_only():
    import winsim

    winsim.add_monitor()
    monitor = oc.Monitor()
    with pytest.raises(AttributeError):
        monitor.width = 5
    with pytest.raises(AttributeError):
        monitor.colour = "red"
    capture = oc.Capture()
    with pytest.raises(AttributeError):
        capture.active = True


@pytest.mark.parametrize(
    "function", [oc.enumerate_monitors, oc.primary_monitor, oc.enumerate_windows, oc.foreground_window]
)
def test_module_functions_take_no_arguments(function):
    with pytest.raises(TypeError):
        function(1)


def test_idle_capture():
    capture = oc.Capture()
    assert capture.active is False
    assert capture.stop() is None
    assert capture.stop() is None
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        capture.frame(out=None)
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        capture.frame()


def _fresh_module():
    spec = importlib.util.find_spec("opticatcher")
    return spec, importlib.util.module_from_spec(spec)


def test_reexecution_reuses_the_types():
    spec, module = _fresh_module()
    spec.loader.exec_module(module)
    assert module.__all__ == ALL
    assert module.Monitor is oc.Monitor and module.Capture is oc.Capture


def test_internal_fault_becomes_panic_exception():
    # An __all__ that cannot be appended to is a state the module rules out.
    spec, module = _fresh_module()
    module.__all__ = ()
    with pytest.raises(BaseException) as caught:
        spec.loader.exec_module(module)
    panic = caught.value
    assert type(panic).__name__ == "PanicException"
    assert type(panic).__bases__ == (BaseException,)
    assert not isinstance(panic, Exception)
    assert str(panic) == "could not append __name__ to __all__"
    # The interpreter and the module go on working.
    assert oc.Capture().active is False


def test_import_is_warning_free():
    subprocess.run([sys.executable, "-W", "error", "-c", "import opticatcher"], check=True,
                   timeout=60)


def test_fresh_process_sees_the_default_desktop():
    script = textwrap.dedent(
        """
        import opticatcher as oc
        m = oc.primary_monitor()
        print(m.device_name, m.width, m.height, m.refresh_rate, m.index)
        """
    )
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True,
                         timeout=60)
    assert out.stdout.strip() == r"\\.\DISPLAY1 1920 1080 60 1"
