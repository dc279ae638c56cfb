"""Every platform call of a capture's life, failed one at a time.

A good run of start (with the pointer and border switched off, pop-up windows
included and a minimum update interval), frame delivery, frame, frame_region
(in BGR), a request for captures without the border that Windows refuses, a
look at the target, switching them back while running (and a new interval),
and stop is recorded first: which platform operations each phase calls, and how
often. Then the same run is repeated once per recorded call, with exactly that
call failing (and, where the operation delivers an object, once more with the
call succeeding but delivering none). Each repetition checks what the failing
phase reports (the exception type and its exact text), that a failed start
leaves the capture inactive, a failed read leaves it running and readable (and
its frame number as it was) and a failed switch leaves it running with the
switch as it was, that a caller's
`out` is never written by a failing read, and that after stop nothing the run
created is still alive and the platform saw no misuse.

The outcomes are data (OUTCOMES below), written from the documented failure
behaviour of each phase, not derived from the code. A call that the good run
makes but the table does not know fails the sweep: a new platform call needs
a decision about what its failure means.
"""

import glob
import os
import re
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

import opticatcher as oc
import winsim
from support import E_FAIL, run_in_new_thread

ERROR_ACCESS_DENIED = 5

# Every operation winsim knows. The sweep reads the call count of each of
# them, so a call the module makes to any of them is seen.
OPERATIONS = [
    "CoCreateFreeThreadedMarshaler", "CopyResource", "CopySubresourceRegion",
    "CreateCaptureSession", "CreateDirect3D11DeviceFromDXGIDevice", "CreateForMonitor",
    "CreateForWindow", "CreateFreeThreaded", "CreateTexture2D", "D3D11CreateDevice",
    "Direct3D11CaptureFramePool.Close", "Direct3DDevice.Close", "EnumChildWindows",
    "EnumDisplayDevicesW", "EnumDisplayMonitors", "EnumDisplaySettingsW", "FindWindowW",
    "FormatMessageW", "FreeLibrary", "GetClientRect", "GetCurrentProcessId", "GetDesc",
    "GetDescription", "GetDesktopWindow", "GetErrorDetails", "GetErrorInfo",
    "GetForegroundWindow", "GetGUID", "GetHelpContext", "GetHelpFile", "GetInterface",
    "GetLastError", "GetMonitorInfoW", "GetReference", "GetSource", "GetWindowLongPtrW",
    "GetWindowTextLengthW", "GetWindowTextW", "GetWindowThreadProcessId",
    "GraphicsCaptureSession.Close", "IsWindowVisible", "LoadLibraryExA", "LocalAlloc",
    "LocalFree", "Map", "MonitorFromPoint", "Recreate", "RoGetActivationFactory",
    "RoInitialize", "RoUninitialize", "SetErrorInfo", "SetForegroundWindow", "SetLastError",
    "SetMultithreadProtected", "StartCapture", "SysAllocString", "SysAllocStringLen",
    "SysFreeString", "SysStringLen", "TryGetNextFrame", "Unmap", "WindowsCreateString",
    "WindowsDeleteString", "add_FrameArrived", "get_ContentSize", "get_DisplayName", "get_Size",
    "get_Surface", "get_SystemRelativeTime", "remove_FrameArrived", "get_IsCursorCaptureEnabled",
    "put_IsCursorCaptureEnabled", "get_IsBorderRequired", "put_IsBorderRequired",
    "get_MinUpdateInterval", "put_MinUpdateInterval", "get_IncludeSecondaryWindows",
    "put_IncludeSecondaryWindows",
    "ClientToScreen", "DwmGetWindowAttribute", "GetClassNameW", "GetDpiForMonitor",
    "GetModuleHandleW", "GetProcAddress", "GetThreadDpiAwarenessContext", "GetWindowRect",
    "IsIconic", "IsWindow", "MonitorFromWindow", "SetThreadDpiAwarenessContext",
    "add_Closed", "remove_Closed", "RequestAccessAsync", "put_Completed", "GetResults",
] + [
    "QueryInterface:" + name
    for name in [
        "IAgileObject", "IClosable", "ID3D10Multithread", "ID3D11Device", "ID3D11DeviceChild",
        "ID3D11DeviceContext", "ID3D11Resource", "ID3D11Texture2D", "IDXGIDevice", "IDXGIObject",
        "IDirect3D11CaptureFrame", "IDirect3D11CaptureFramePool",
        "IDirect3D11CaptureFramePoolStatics2", "IDirect3DDevice", "IDirect3DDxgiInterfaceAccess",
        "IDirect3DSurface", "IErrorInfo", "IGraphicsCaptureItem", "IGraphicsCaptureItemInterop",
        "IGraphicsCaptureSession", "IGraphicsCaptureSession2", "IGraphicsCaptureSession3",
        "IGraphicsCaptureSession5", "IGraphicsCaptureSession6",
        "IInspectable", "IMarshal", "IRestrictedErrorInfo",
        "ITypedEventHandler_FramePool_Inspectable", "IUnknown", "IAsyncInfo",
        "IGraphicsCaptureAccessStatics", "IAsyncOperation_AppCapabilityAccessStatus",
        "ITypedEventHandler_GraphicsCaptureItem_Inspectable",
    ]
]

# --- what a failing call means, by the phase that made it --------------------

# Outcome kinds.
WINDOWS = "the failing call's Windows API error"
NULL_OBJECT = "Windows API error: The operation completed successfully. (0x00000000)"
NULL_POINTER = "Windows API error: Invalid pointer (0x80004003)"
INVALID_TARGET = "Invalid capture target"
NO_STAGING = "Failed to create a staging texture"
NO_FRAME = "No frame available yet"  # the frame was not stored: the next read has none
LATE_GROWTH = "the pool grows one frame late"  # the grown frame comes in the old size
SUCCEEDS = "the run succeeds as a good one does"

# (phase, operation) -> (outcome when the call fails, outcome when it succeeds
# without an object, or None where the operation delivers no object).
OUTCOMES = {
    # start: every failure leaves the capture inactive and releases all it made.
    ("start", "IsWindowVisible"): (INVALID_TARGET, None),
    ("start", "GetClientRect"): (INVALID_TARGET, None),
    # A style that cannot be read reads as no style: the window passes.
    ("start", "GetWindowLongPtrW"): (SUCCEEDS, None),
    ("start", "RoInitialize"): (WINDOWS, None),
    ("start", "WindowsCreateString"): (WINDOWS, None),
    ("start", "RoGetActivationFactory"): (WINDOWS, NULL_OBJECT),
    ("start", "CreateForMonitor"): (WINDOWS, NULL_OBJECT),
    ("start", "CreateForWindow"): (WINDOWS, NULL_OBJECT),
    # Only one try of the two fails: the software device takes over, silently.
    ("start", "D3D11CreateDevice"): (SUCCEEDS, SUCCEEDS),
    ("start", "QueryInterface:ID3D10Multithread"): (WINDOWS, NULL_OBJECT),
    ("start", "get_Size"): (WINDOWS, None),
    ("start", "QueryInterface:IDXGIDevice"): (WINDOWS, NULL_OBJECT),
    ("start", "CreateDirect3D11DeviceFromDXGIDevice"): (WINDOWS, NULL_OBJECT),
    ("start", "QueryInterface:IDirect3DDevice"): (WINDOWS, NULL_OBJECT),
    ("start", "CreateFreeThreaded"): (WINDOWS, NULL_OBJECT),
    ("start", "add_FrameArrived"): (WINDOWS, None),
    ("start", "add_Closed"): (WINDOWS, None),
    ("start", "CreateCaptureSession"): (WINDOWS, NULL_OBJECT),
    # The switches that differ from the session's defaults, and the interval,
    # apply before the first frame.
    ("start", "QueryInterface:IGraphicsCaptureSession2"): (WINDOWS, NULL_OBJECT),
    ("start", "put_IsCursorCaptureEnabled"): (WINDOWS, None),
    ("start", "QueryInterface:IGraphicsCaptureSession3"): (WINDOWS, NULL_OBJECT),
    ("start", "put_IsBorderRequired"): (WINDOWS, None),
    ("start", "QueryInterface:IGraphicsCaptureSession6"): (WINDOWS, NULL_OBJECT),
    ("start", "put_IncludeSecondaryWindows"): (WINDOWS, None),
    ("start", "QueryInterface:IGraphicsCaptureSession5"): (WINDOWS, NULL_OBJECT),
    ("start", "put_MinUpdateInterval"): (WINDOWS, None),
    ("start", "StartCapture"): (WINDOWS, None),
    # The first frame's delivery: the handler reports to the platform, the
    # slot stays empty.
    ("first delivery", "TryGetNextFrame"): (NO_FRAME, NO_FRAME),
    ("first delivery", "get_ContentSize"): (NO_FRAME, None),
    # Reads: the frame call fails, the capture and the caller's array do not
    # change.
    ("first read", "get_ContentSize"): (WINDOWS, None),
    ("first read", "get_SystemRelativeTime"): (WINDOWS, None),
    ("first read", "get_Surface"): (WINDOWS, NULL_OBJECT),
    ("first read", "QueryInterface:IDirect3DDxgiInterfaceAccess"): (WINDOWS, NULL_POINTER),
    ("first read", "GetInterface"): (WINDOWS, NULL_OBJECT),
    ("first read", "CreateTexture2D"): (WINDOWS, NO_STAGING),
    # A mapping without memory is refused before anything is copied.
    ("first read", "Map"): (WINDOWS, NULL_POINTER),
    # A rectangle: the same steps into a staging texture of its own.
    ("region read", "get_ContentSize"): (WINDOWS, None),
    ("region read", "get_SystemRelativeTime"): (WINDOWS, None),
    ("region read", "get_Surface"): (WINDOWS, NULL_OBJECT),
    ("region read", "QueryInterface:IDirect3DDxgiInterfaceAccess"): (WINDOWS, NULL_POINTER),
    ("region read", "GetInterface"): (WINDOWS, NULL_OBJECT),
    ("region read", "CreateTexture2D"): (WINDOWS, NO_STAGING),
    ("region read", "Map"): (WINDOWS, NULL_POINTER),
    # The border's consent, refused by Windows: a failing call is reported
    # instead of the refusal; closing the finished operation may fail unseen.
    ("consent", "WindowsCreateString"): (WINDOWS, None),
    ("consent", "RoGetActivationFactory"): (WINDOWS, NULL_OBJECT),
    ("consent", "RequestAccessAsync"): (WINDOWS, NULL_OBJECT),
    ("consent", "put_Completed"): (WINDOWS, None),
    ("consent", "GetResults"): (WINDOWS, None),
    ("consent", "QueryInterface:IAsyncInfo"): (SUCCEEDS, SUCCEEDS),
    # A look at the target: a monitor the system cannot answer for counts as
    # gone (target_closed reads True); nothing fails.
    ("target", "GetMonitorInfoW"): (SUCCEEDS, None),
    # Switching back while running: the switch stays as it was, the capture
    # runs on.
    ("switches", "QueryInterface:IGraphicsCaptureSession2"): (WINDOWS, NULL_OBJECT),
    ("switches", "put_IsCursorCaptureEnabled"): (WINDOWS, None),
    ("switches", "QueryInterface:IGraphicsCaptureSession3"): (WINDOWS, NULL_OBJECT),
    ("switches", "put_IsBorderRequired"): (WINDOWS, None),
    ("switches", "QueryInterface:IGraphicsCaptureSession6"): (WINDOWS, NULL_OBJECT),
    ("switches", "put_IncludeSecondaryWindows"): (WINDOWS, None),
    ("switches", "QueryInterface:IGraphicsCaptureSession5"): (WINDOWS, NULL_OBJECT),
    ("switches", "put_MinUpdateInterval"): (WINDOWS, None),
    # The content grew: the frame that shows it is stored, then the pool is
    # recreated; a failure anywhere in that delays the growth by a frame.
    ("growth", "TryGetNextFrame"): (LATE_GROWTH, LATE_GROWTH),
    ("growth", "get_ContentSize"): (LATE_GROWTH, None),
    ("growth", "QueryInterface:IDXGIDevice"): (LATE_GROWTH, LATE_GROWTH),
    ("growth", "CreateDirect3D11DeviceFromDXGIDevice"): (LATE_GROWTH, LATE_GROWTH),
    ("growth", "QueryInterface:IDirect3DDevice"): (LATE_GROWTH, LATE_GROWTH),
    ("growth", "Recreate"): (LATE_GROWTH, None),
    ("second read", "get_ContentSize"): (WINDOWS, None),
    ("second read", "get_SystemRelativeTime"): (WINDOWS, None),
    ("second read", "get_Surface"): (WINDOWS, NULL_OBJECT),
    ("second read", "QueryInterface:IDirect3DDxgiInterfaceAccess"): (WINDOWS, NULL_POINTER),
    ("second read", "GetInterface"): (WINDOWS, NULL_OBJECT),
    ("second read", "CreateTexture2D"): (WINDOWS, NO_STAGING),
    ("second read", "Map"): (WINDOWS, NULL_POINTER),
    # stop never fails: every failure is ignored and everything is released.
    ("stop", "GraphicsCaptureSession.Close"): (SUCCEEDS, None),
    ("stop", "QueryInterface:IClosable"): (SUCCEEDS, SUCCEEDS),
    ("stop", "remove_FrameArrived"): (SUCCEEDS, None),
    ("stop", "remove_Closed"): (SUCCEEDS, None),
    ("stop", "Direct3D11CaptureFramePool.Close"): (SUCCEEDS, None),
}

PHASES = ["start", "first delivery", "first read", "region read", "consent", "target",
          "switches", "growth", "second read", "stop"]
# How Windows refuses the consent in a good run. An Allowed would be
# remembered for the process and change every later run.
REFUSED = "Windows did not allow a capture without the border (DeniedByUser)"
READS = {"first read", "region read", "second read"}
# The reads that write into a caller's `out`.
OUTS = {"first read", "region read"}
# Which switch a failing operation belongs to.
SWITCH_OF = {"QueryInterface:IGraphicsCaptureSession2": "cursor",
             "put_IsCursorCaptureEnabled": "cursor",
             "QueryInterface:IGraphicsCaptureSession3": "border",
             "put_IsBorderRequired": "border",
             "QueryInterface:IGraphicsCaptureSession6": "secondary_windows",
             "put_IncludeSecondaryWindows": "secondary_windows",
             "QueryInterface:IGraphicsCaptureSession5": "min_update_interval",
             "put_MinUpdateInterval": "min_update_interval"}
# The switches as start applies them, and as the switches phase sets them
# (the interval only changes: None would make no call).
STARTING = {"cursor": False, "border": False, "secondary_windows": True,
            "min_update_interval": 0.001}
SWITCHED = {"cursor": True, "border": True, "secondary_windows": False,
            "min_update_interval": 0.002}

SMALL = (64, 48)  # width, height of the target when the capture starts
GROWN = (80, 60)  # the window's size for the growth phase
REGION = (5, 7, 11, 13)  # left, top, width, height of the region read
# The pixel layout of each read: the conversions fail as the plain copy does.
LAYOUT_OF = {"first read": "RGBA", "region read": "BGR", "second read": "GRAY"}
OUT_FILL = 0xA5


# --- one run ------------------------------------------------------------------


class Run:
    """One capture's life on a fresh simulated desktop and a fresh thread.

    A fresh thread has not joined an apartment yet, so every run makes the
    apartment call too. Calls are counted per phase.
    """

    def __init__(self, kind):
        self.kind = kind  # "monitor" or "window"
        winsim.reset()
        winsim.set_frame_delivery(False)
        if kind == "monitor":
            self.handle = winsim.add_monitor(*SMALL)
            self.target = oc.Monitor(1)
        else:
            self.handle = winsim.add_window("swept", *SMALL)
            self.target = oc.Window("swept")
        self.capture = oc.Capture()
        # No consent class yet: the border is switched off as before.
        for switch, value in STARTING.items():
            setattr(self.capture, switch, value)
        winsim.set_border_access("denied")
        self.outs = {
            "first read": np.full((SMALL[1], SMALL[0], 4), OUT_FILL, np.uint8),
            "region read": np.full((REGION[3], REGION[2], 3), OUT_FILL, np.uint8),
        }
        self.calls = {}

    def read(self, phase):
        """The read of a read phase, as the run makes it."""
        self.capture.pixel_layout = LAYOUT_OF[phase]
        if phase == "first read":
            return self.capture.frame(out=self.outs[phase])
        if phase == "region read":
            return self.capture.frame_region(*REGION, out=self.outs[phase])
        return self.capture.frame()

    def ask_consent(self):
        """Sets the border off again, which Windows refuses."""
        try:
            self.capture.border = False
        except RuntimeError as error:
            if str(error) != REFUSED:
                raise
        else:
            raise AssertionError("the border was switched off without consent")

    def switch_on(self):
        for switch, value in SWITCHED.items():
            setattr(self.capture, switch, value)

    def phases(self):
        yield "start", lambda: self.capture.start(self.target, await_first_frame=False)
        yield "first delivery", lambda: winsim.present(self.handle)
        yield "first read", lambda: self.read("first read")
        yield "region read", lambda: self.read("region read")
        yield "consent", self.ask_consent
        yield "target", lambda: self.capture.target_closed
        yield "switches", self.switch_on
        if self.kind == "window":
            def grow():
                winsim.resize_window(self.handle, *GROWN)
                winsim.present(self.handle)
                winsim.present(self.handle)

            yield "growth", grow
            yield "second read", lambda: self.read("second read")
        yield "stop", self.capture.stop

    @staticmethod
    def counts():
        return {name: winsim.calls(name) for name in OPERATIONS}

    def record(self):
        """Runs a good life; returns {phase: {operation: calls}} and the results."""
        results = {}
        before = self.counts()
        for phase, action in self.phases():
            results[phase] = action()
            after = self.counts()
            self.calls[phase] = {
                name: after[name] - before[name] for name in OPERATIONS if after[name] != before[name]
            }
            before = after
        return self.calls, results


def settled_live_objects():
    """live_objects() once empty, or as it is after 2 s: the platform's delivery
    thread may hold a pool reference for a moment after stop."""
    deadline = time.monotonic() + 2.0
    while (live := winsim.live_objects()) and time.monotonic() < deadline:
        time.sleep(0.002)
    return live


def arm(operation, call, null, description):
    """Makes call number `call` (from 0) of `operation` fail; False when the
    operation cannot fail at all."""
    try:
        if null:
            winsim.fail(operation, after=call, null=True)
        else:
            try:
                winsim.fail(operation, E_FAIL, after=call, description=description)
            except ValueError as error:
                if "descriptions do not apply" not in str(error):
                    raise
                winsim.fail(operation, ERROR_ACCESS_DENIED, after=call)
    except ValueError as error:
        if "cannot fail" in str(error):
            return False
        raise
    return True


def expected_shapes(kind):
    shapes = {"first read": (SMALL[1], SMALL[0], 4), "region read": (REGION[3], REGION[2], 3)}
    if kind == "window":
        shapes["second read"] = (GROWN[1], GROWN[0])
    return shapes


def check_case(kind, phase, operation, call, null, outcome):
    """Runs one life with one failing call; returns a list of problems."""
    problems = []
    description = f"{operation} call {call + 1} failed"
    run = Run(kind)
    if not arm(operation, call, null, description):
        return None
    shapes = expected_shapes(kind)
    if outcome == LATE_GROWTH:
        shapes["second read"] = (SMALL[1], SMALL[0])
    if outcome == WINDOWS:
        expected_text = f"Windows API error: {description} (0x{E_FAIL:08X})"
    else:
        expected_text = outcome

    # The phase whose action reports the failure, if any does.
    if outcome in (SUCCEEDS, LATE_GROWTH):
        failing_phase = None
    elif outcome == NO_FRAME:
        failing_phase = "first read"
    else:
        failing_phase = phase

    def life():
        for current, action in run.phases():
            if current != failing_phase:
                try:
                    result = action()
                except BaseException as error:
                    problems.append(f"{current}: unexpected {type(error).__name__}: {error}")
                    break
                if current in shapes and getattr(result, "shape", None) != shapes[current]:
                    problems.append(f"{current}: got {getattr(result, 'shape', result)!r}, "
                                    f"expected shape {shapes[current]}")
                if current in OUTS and result is not run.outs[current]:
                    problems.append(f"{current}: did not return `out` itself")
                continue
            number = run.capture.frame_number
            try:
                action()
            except BaseException as error:
                if type(error) is not RuntimeError or str(error) != expected_text:
                    problems.append(f"{current}: raised {type(error).__name__}({str(error)!r}), "
                                    f"expected RuntimeError({expected_text!r})")
            else:
                problems.append(f"{current}: did not fail, expected {expected_text!r}")
            if current == "start" and run.capture.active:
                problems.append("start failed but the capture is active")
            if current in READS:
                if not run.capture.active:
                    problems.append(f"{current} failed and the capture stopped")
                if current in OUTS and not (run.outs[current] == OUT_FILL).all():
                    problems.append(f"{current} failed but wrote into `out`")
                if run.capture.frame_number != number:
                    problems.append(f"{current} failed but changed the frame number")
                if outcome != NO_FRAME:
                    # The capture is untouched: the same read works now.
                    try:
                        again = run.read(current)
                        if again.shape != shapes[current]:
                            problems.append(f"{current} again: shape {again.shape}")
                    except BaseException as error:
                        problems.append(f"{current} again: {type(error).__name__}: {error}")
            if current == "switches":
                if not run.capture.active:
                    problems.append("a switch failed and the capture stopped")
                switch = SWITCH_OF[operation]
                if getattr(run.capture, switch) != STARTING[switch]:
                    problems.append(f"the {switch} switch failed but changed")
            break
        run.capture.stop()
        if run.capture.active:
            problems.append("active after stop")

    run_in_new_thread(life)
    del run.capture
    live = settled_live_objects()
    if live:
        problems.append(f"alive after stop: {live}")
    errors = winsim.errors()
    if errors:
        problems.append(f"platform saw misuse: {errors}")
    return problems


def sweep(kind, null, tally):
    calls, _ = run_in_new_thread(lambda: Run(kind).record())
    failures, unknown, ran = [], [], 0
    for phase in PHASES:
        for operation, count in sorted(calls.get(phase, {}).items()):
            # Calls numbered over the whole life: the first `earlier` of them
            # were made by earlier phases.
            earlier = sum(calls[p].get(operation, 0) for p in PHASES[: PHASES.index(phase)] if p in calls)
            entry = OUTCOMES.get((phase, operation))
            for call in range(earlier, earlier + count):
                if entry is None:
                    if arm(operation, 0, False, "probe"):
                        unknown.append(f"{phase}: {operation}")
                    winsim.reset()
                    break
                outcome = entry[1] if null else entry[0]
                if outcome is None:
                    break
                problems = check_case(kind, phase, operation, call, null, outcome)
                if problems is None:
                    break
                ran += 1
                tally[(kind, "null" if null else "fail", phase)] = (
                    tally.get((kind, "null" if null else "fail", phase), 0) + 1)
                if problems:
                    form = "null" if null else "failing"
                    failures.append(f"{kind}, {phase}, {form} {operation} call {call + 1}: "
                                    + "; ".join(problems))
    assert not unknown, f"calls with no known outcome (add them to OUTCOMES): {unknown}"
    assert not failures, "\n".join(failures)
    return ran, calls


# --- the count, shown in every run ---------------------------------------------


class _Summary:
    def __init__(self):
        self.tally = {}

    def pytest_terminal_summary(self, terminalreporter):
        if not self.tally:
            return
        total = sum(self.tally.values())
        parts = {}
        for (kind, form, phase), count in sorted(self.tally.items()):
            parts.setdefault(f"{kind} {form}", []).append(f"{phase} {count}")
        terminalreporter.write_sep("-", f"fault sweep: {total} cases")
        for key, items in parts.items():
            terminalreporter.write_line(f"  {key}: " + ", ".join(items))


@pytest.fixture(scope="module")
def tally(request):
    summary = _Summary()
    request.config.pluginmanager.register(summary, "opticatcher-fault-sweep-summary")
    yield summary.tally
    total = sum(summary.tally.values())
    print(f"\nfault sweep: {total} cases")


# --- the sweeps ----------------------------------------------------------------


def test_operation_list_is_complete():
    """OPERATIONS names every operation winsim defines, so no call goes unseen."""
    for name in OPERATIONS:
        winsim.calls(name)  # unknown names raise
    root = os.path.join(os.path.dirname(__file__), os.pardir, os.pardir, "winsim")
    sources = glob.glob(os.path.join(root, "**", "*.cpp"), recursive=True)
    if not sources:
        pytest.skip("winsim sources are not beside the tests")
    defined = set()
    for path in sources:
        with open(path, encoding="utf-8") as source:
            text = source.read()
        defined |= set(re.findall(r'Operation\s+\w+\s*\{\s*"([^"]+)"', text))
        defined |= set(re.findall(r'"(QueryInterface:\w+)"', text))
    assert defined - set(OPERATIONS) == set()


@pytest.mark.parametrize("kind", ["monitor", "window"])
def test_good_life_calls_what_the_sweep_knows(kind):
    calls, results = run_in_new_thread(lambda: Run(kind).record())
    for phase, shape in expected_shapes(kind).items():
        assert results[phase].shape == shape
    assert settled_live_objects() == {}
    # Every phase makes platform calls, or the sweep would miss one.
    assert all(calls[phase] for phase in calls), calls


@pytest.mark.parametrize("null", [False, True], ids=["failing", "null"])
@pytest.mark.parametrize("kind", ["monitor", "window"])
def test_sweep(kind, null, tally):
    ran, calls = sweep(kind, null, tally)
    assert ran > 0
    print(f"\n{kind}, {'null' if null else 'failing'} calls: {ran} cases")


# --- failures the single-call sweep cannot reach ---------------------------------


def start_failure(kind, arm_faults):
    run = Run(kind)
    arm_faults()

    def attempt():
        try:
            run.capture.start(run.target, await_first_frame=False)
        except RuntimeError as error:
            return str(error)
        finally:
            active = run.capture.active
            run.capture.stop()
        assert active
        return None

    text = run_in_new_thread(attempt)
    del run.capture
    assert settled_live_objects() == {}
    return text


def test_both_device_tries_failing_report_the_second():
    def faults():
        winsim.fail("D3D11CreateDevice", E_FAIL, description="hardware try")
        winsim.fail("D3D11CreateDevice", 0x887A0004, description="software try")

    assert start_failure("monitor", faults) == "Windows API error: software try (0x887A0004)"


@pytest.mark.parametrize("first_null", [False, True])
def test_a_software_try_without_a_device_is_no_device(first_null):
    def faults():
        if first_null:
            winsim.fail("D3D11CreateDevice", null=True)
        else:
            winsim.fail("D3D11CreateDevice", E_FAIL, description="hardware try")
        winsim.fail("D3D11CreateDevice", null=True)

    assert start_failure("monitor", faults) == "Failed to create a DirectX device"


def test_a_discarded_failure_leaves_no_error_information_behind():
    """The hardware try's error information must not be read later as the
    information of an unrelated failure that brings none."""
    def faults():
        winsim.fail("D3D11CreateDevice", E_FAIL, description="hardware try")
        winsim.fail("get_Size", E_FAIL)

    assert start_failure("monitor", faults) == "Windows API error: Unspecified error (0x80004005)"


def test_first_pool_factory_fetch_of_a_process():
    """The frame pool factory is fetched by the first start of a process and
    kept; the calls of that fetch fail one at a time in fresh processes."""
    script = textwrap.dedent(
        """
        import opticatcher as oc, winsim
        operation, call, null = {operation!r}, {call}, {null}
        winsim.reset()
        winsim.set_frame_delivery(False)
        winsim.add_monitor(64, 48)
        target = oc.Monitor(1)
        if null:
            winsim.fail(operation, after=call, null=True)
        else:
            winsim.fail(operation, 0x80004005, after=call, description="first fetch failed")
        capture = oc.Capture()
        try:
            capture.start(target, await_first_frame=False)
            print("started")
        except RuntimeError as error:
            print(error)
        print(capture.active)
        capture.start(target, await_first_frame=False)  # fetched now
        capture.stop()
        del capture
        print(winsim.live_objects(), winsim.errors())
        """
    )
    cases = [
        ("WindowsCreateString", 1, False, "Windows API error: first fetch failed (0x80004005)"),
        ("RoGetActivationFactory", 1, False, "Windows API error: first fetch failed (0x80004005)"),
        ("RoGetActivationFactory", 1, True, NULL_OBJECT),
    ]
    for operation, call, null, expected in cases:
        output = subprocess.run(
            [sys.executable, "-c", script.format(operation=operation, call=call, null=null)],
            capture_output=True, text=True, timeout=60,
        )
        assert output.returncode == 0, output.stderr
        assert output.stdout.splitlines() == [expected, "False", "{} []"], (operation, null)


# --- the geometry members, each call failed once --------------------------------

# Outcome kinds of a geometry read, besides an exact error text.
AS_SEEN = "the value the calling thread sees without a DPI context of its own"
KEPT_CONTEXT = "the right value, but the thread keeps the per-monitor-v2 context"
GONE_TEXT = "The window no longer exists"
ACCESS_DENIED = "Windows API error: Access is denied. (0x80070005)"

# The switch to physical pixels: failing to find or to enter it runs the query
# as it is; failing to leave it (which Windows never refuses for a context it
# gave) leaves the thread in it.
SCOPE = {"GetModuleHandleW": AS_SEEN, "GetProcAddress": AS_SEEN,
         "SetThreadDpiAwarenessContext": [AS_SEEN, KEPT_CONTEXT]}

# member -> {operation: outcome, or a list of one outcome per call in order};
# an outcome serves both a failing call and one that delivers no object, or is
# a pair (failing, delivering none) where they differ.
GEOMETRY_OUTCOMES = {
    "Monitor.rect": {**SCOPE, "GetMonitorInfoW": "Failed to get monitor info"},
    "Monitor.work_area": {**SCOPE, "GetMonitorInfoW": "Failed to get monitor info"},
    "Monitor.primary": {"GetMonitorInfoW": "Failed to get monitor info"},
    # A "no object" fault has nothing to withhold from GetDpiForMonitor.
    "Monitor.scale": {**SCOPE, "GetDpiForMonitor": ("Failed to get monitor info", SUCCEEDS)},
    "Monitor.orientation": {"GetMonitorInfoW": "Failed to get monitor info",
                            "EnumDisplaySettingsW": "Failed to get monitor settings"},
    "Monitor.from_point": {**SCOPE, "MonitorFromPoint": "Failed to find monitor"},
    # The Desktop Window Manager failing: the window rectangle stands in.
    "Window.rect": {**SCOPE, "DwmGetWindowAttribute": SUCCEEDS},
    "Window.client_rect": {**SCOPE, "GetClientRect": ACCESS_DENIED,
                           "ClientToScreen": ACCESS_DENIED},
    "Window.process_id": {"GetWindowThreadProcessId": ACCESS_DENIED},
    "Window.class_name": {"GetClassNameW": ACCESS_DENIED},
    # IsIconic failing reads as "not minimized", which the window is not.
    "Window.minimized": {"IsIconic": SUCCEEDS},
    "Window.monitor": {**SCOPE, "MonitorFromWindow": "No monitor found for the window"},
}


def geometry_scene():
    """A window on a monitor at 150 %, left of the primary one, so that what a
    DPI-unaware thread sees differs from the physical pixels."""
    winsim.reset()
    winsim.add_monitor(1920, 1080)
    scaled = winsim.add_monitor(2880, 1620, position=(-2880, 0), scale=1.5)
    window = winsim.add_window("swept", 900, 600, position=(-2000, 300), style=0x00C00000)
    monitor, target = oc.Monitor.from_handle(scaled), oc.Window.from_handle(window)

    def read(member):
        if member == "Monitor.from_point":
            value = oc.Monitor.from_point(-1, 1000)
        else:
            value = getattr(target if member.startswith("Window.") else monitor,
                            member.split(".")[1])
        # A monitor by its place in the scene: handles differ from scene to scene.
        return ("scaled" if value.handle == scaled else "other") \
            if isinstance(value, oc.Monitor) else value

    return read


def geometry_case(member, operation, call, null, outcome, good, as_seen):
    read = geometry_scene()
    description = f"{operation} call {call + 1} failed"
    try:
        if not arm(operation, call, null, description):
            return None
    except ValueError as error:
        if "delivers no object" in str(error):
            return None
        raise
    problems = []
    try:
        value = read(member)
    except BaseException as error:
        expected = f"Windows API error: {description} (0x{E_FAIL:08X})" if outcome == WINDOWS \
            else outcome
        if type(error) is not RuntimeError or str(error) != expected:
            problems.append(f"raised {type(error).__name__}({str(error)!r}), expected {outcome!r}")
    else:
        expected = {SUCCEEDS: good, KEPT_CONTEXT: good, AS_SEEN: as_seen}.get(outcome)
        if expected is None or value != expected:
            problems.append(f"gave {value!r}, expected {outcome!r} ({expected!r})")
    context = winsim.thread_dpi_awareness()
    wanted = (winsim.DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 if outcome == KEPT_CONTEXT
              else winsim.DPI_AWARENESS_CONTEXT_UNAWARE)
    if context != wanted:
        problems.append(f"left the thread's DPI context at {context}")
    if winsim.errors():
        problems.append(f"platform saw misuse: {winsim.errors()}")
    return problems


@pytest.mark.parametrize("member", sorted(GEOMETRY_OUTCOMES))
def test_geometry_sweep(member, tally):
    """Each call a geometry member makes, failing once (and, for calls that
    deliver an object, once delivering none), gives its documented outcome and
    leaves the calling thread's DPI context as it was."""
    def run():
        read = geometry_scene()
        before = Run.counts()
        good = read(member)
        calls = {name: count - before[name] for name, count in Run.counts().items()
                 if count != before[name]}
        winsim.set_dpi_awareness_exports(False)
        as_seen = read(member)
        assert as_seen is not None
        failures, unknown = [], []
        for operation, count in sorted(calls.items()):
            outcomes = GEOMETRY_OUTCOMES[member].get(operation)
            for call in range(count):
                planned = outcomes[call] if isinstance(outcomes, list) else outcomes
                for null in (False, True):
                    outcome = planned[null] if isinstance(planned, tuple) else planned
                    if outcome is None:
                        if not null and arm(operation, 0, False, "probe"):
                            unknown.append(operation)
                        winsim.reset()
                        continue
                    problems = geometry_case(member, operation, call, null, outcome, good,
                                             as_seen)
                    if problems is None:
                        continue
                    key = (member.split(".")[0].lower(), "null" if null else "fail", member)
                    tally[key] = tally.get(key, 0) + 1
                    if problems:
                        form = "null" if null else "failing"
                        failures.append(f"{member}, {form} {operation} call {call + 1}: "
                                        + "; ".join(problems))
        return failures, unknown

    failures, unknown = run_in_new_thread(run)
    assert not unknown, f"calls with no known outcome (add them to GEOMETRY_OUTCOMES): {unknown}"
    assert not failures, "\n".join(failures)
