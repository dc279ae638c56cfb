"""The module as the Windows build makes it: loads in Windows' CPython through
python3.dll, with its names, documentation and version."""
import os
import sys

import pytest
import tomli

import opticatcher as oc

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def test_module_surface():
    assert oc.__file__.endswith(".pyd")
    assert oc.__all__ == [
        "enumerate_windows", "foreground_window", "Window",
        "primary_monitor", "enumerate_monitors", "Monitor", "Capture", "__version__",
    ]
    with open(os.path.join(ROOT, "pyproject.toml"), "rb") as file:
        assert oc.__version__ == tomli.load(file)["project"]["version"]
    members = {
        oc.Monitor: {"width", "height", "index", "refresh_rate", "device_name", "device_string",
                     "rect", "work_area", "primary", "scale", "orientation", "handle",
                     "from_handle", "from_point"},
        oc.Window: {"valid", "name", "focus", "focused", "rect", "client_rect", "process_id",
                    "class_name", "minimized", "monitor", "handle", "from_handle"},
        oc.Capture: {"start", "active", "stop", "frame", "frame_region", "wait_frame", "cursor",
                     "border", "target_closed", "secondary_windows", "min_update_interval",
                     "frame_number", "frame_time", "pixel_layout"},
    }
    for cls, names in members.items():
        assert {name for name in vars(cls) if not name.startswith("__")} == names
        assert cls.__module__ == "opticatcher"
        assert all(getattr(cls, name).__doc__ for name in names)
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})


def test_text_signatures_and_docstrings():
    signatures = {
        oc.Capture.start: "($self, capture_target, await_first_frame=None)",
        oc.Capture.frame: "($self, out=None)",
        oc.Capture.frame_region: "($self, left, top, width, height, out=None)",
        oc.Capture.wait_frame: "($self, timeout=None)",
        oc.Capture.stop: "($self)",
        oc.Window.focus: "($self)",
        oc.enumerate_windows: "()",
        oc.enumerate_monitors: "()",
        oc.primary_monitor: "()",
        oc.foreground_window: "()",
    }
    for function, signature in signatures.items():
        assert function.__text_signature__ == signature
        assert "\n--\n" not in function.__doc__
    assert oc.Window.__doc__.startswith("Window abstraction for the Windows operating system.")
    assert oc.foreground_window.__doc__ == (
        "Get the currently active window.\n\nReturns:\n   The active window.\n\n"
        "Raises:\n  NoActiveWindow: No active window was found."
    )
    assert oc.Capture.active.__doc__ == ":``bool``: True if a capture is running."
    assert oc.__doc__.startswith("Exports the opticatcher screen-capture library to Python.")
    if sys.version_info < (3, 10):
        # 3.9 cuts the signature off a heap type's docstring without keeping it.
        assert oc.Monitor.__doc__.startswith("Monitor class for the Windows operating system.")
