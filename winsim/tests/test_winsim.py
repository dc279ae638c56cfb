"""The winsim control module itself: desktop setup, fault injection, counting.

The simulated Windows functions are called through ctypes on the library the
control module loaded, as the extension module calls them.
"""

import ctypes
import os
import subprocess
import sys
import threading

import pytest

import winsim

lib = winsim._lib

DWORD = ctypes.c_uint32
WCHAR_P = ctypes.POINTER(ctypes.c_uint16)  # UTF-16 units; ctypes.c_wchar is 32-bit here


class RECT(ctypes.Structure):
    _fields_ = [("left", ctypes.c_int32), ("top", ctypes.c_int32),
                ("right", ctypes.c_int32), ("bottom", ctypes.c_int32)]


class POINT(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int32), ("y", ctypes.c_int32)]


class DISPLAY_DEVICEW(ctypes.Structure):
    _fields_ = [("cb", DWORD), ("DeviceName", ctypes.c_uint16 * 32),
                ("DeviceString", ctypes.c_uint16 * 128), ("StateFlags", DWORD),
                ("DeviceID", ctypes.c_uint16 * 128), ("DeviceKey", ctypes.c_uint16 * 128)]


class MONITORINFOEXW(ctypes.Structure):
    _fields_ = [("cbSize", DWORD), ("rcMonitor", RECT), ("rcWork", RECT),
                ("dwFlags", DWORD), ("szDevice", ctypes.c_uint16 * 32)]


lib.GetLastError.restype = DWORD
lib.SetLastError.argtypes = [DWORD]
lib.IsWindowVisible.argtypes = [ctypes.c_void_p]
lib.FindWindowW.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
lib.FindWindowW.restype = ctypes.c_size_t
lib.GetForegroundWindow.restype = ctypes.c_size_t
lib.MonitorFromPoint.argtypes = [POINT, DWORD]
lib.MonitorFromPoint.restype = ctypes.c_size_t
lib.GetMonitorInfoW.argtypes = [ctypes.c_size_t, ctypes.POINTER(MONITORINFOEXW)]
lib.SysAllocString.argtypes = [ctypes.c_char_p]
lib.SysAllocString.restype = ctypes.c_void_p
lib.SysFreeString.argtypes = [ctypes.c_void_p]
lib.SysStringLen.argtypes = [ctypes.c_void_p]
lib.SysStringLen.restype = ctypes.c_uint32
lib.FormatMessageW.argtypes = [DWORD, ctypes.c_void_p, DWORD, DWORD,
                               ctypes.POINTER(WCHAR_P), DWORD, ctypes.c_void_p]
lib.FormatMessageW.restype = DWORD
lib.LoadLibraryExA.argtypes = [ctypes.c_char_p, ctypes.c_void_p, DWORD]
lib.LoadLibraryExA.restype = ctypes.c_void_p
lib.LocalFree.argtypes = [ctypes.c_void_p]
lib.LocalFree.restype = ctypes.c_void_p
lib.GetErrorInfo.argtypes = [DWORD, ctypes.POINTER(ctypes.c_void_p)]
lib.GetErrorInfo.restype = ctypes.c_int32
WNDENUMPROC = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_size_t, ctypes.c_ssize_t)
lib.EnumChildWindows.argtypes = [ctypes.c_size_t, WNDENUMPROC, ctypes.c_ssize_t]
lib.GetDesktopWindow.restype = ctypes.c_size_t
lib.GetWindowLongPtrW.argtypes = [ctypes.c_size_t, ctypes.c_int]
lib.GetWindowLongPtrW.restype = ctypes.c_ssize_t
lib.GetWindowTextLengthW.argtypes = [ctypes.c_size_t]
lib.EnumDisplaySettingsW.argtypes = [ctypes.c_char_p, DWORD, ctypes.c_void_p]
lib.EnumDisplayDevicesW.argtypes = [ctypes.c_char_p, DWORD, ctypes.c_void_p, DWORD]
lib.SetThreadDpiAwarenessContext.argtypes = [ctypes.c_ssize_t]
lib.SetThreadDpiAwarenessContext.restype = ctypes.c_ssize_t
lib.GetThreadDpiAwarenessContext.restype = ctypes.c_ssize_t
lib.GetClientRect.argtypes = [ctypes.c_size_t, ctypes.POINTER(RECT)]
lib.GetWindowRect.argtypes = [ctypes.c_size_t, ctypes.POINTER(RECT)]
lib.ClientToScreen.argtypes = [ctypes.c_size_t, ctypes.POINTER(POINT)]
lib.GetDpiForMonitor.argtypes = [ctypes.c_size_t, ctypes.c_int, ctypes.POINTER(ctypes.c_uint32),
                                 ctypes.POINTER(ctypes.c_uint32)]
lib.GetDpiForMonitor.restype = ctypes.c_int32
lib.GetModuleHandleW.argtypes = [ctypes.c_char_p]
lib.GetModuleHandleW.restype = ctypes.c_void_p
lib.GetProcAddress.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
lib.GetProcAddress.restype = ctypes.c_void_p

WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
GWL_STYLE = -16
ENUM_CURRENT_SETTINGS = 0xFFFFFFFF

ALLOCATE_SYSTEM_MESSAGE = 0x100 | 0x200 | 0x1000  # allocate buffer, ignore inserts, system
FROM_HMODULE = 0x800


def wide(text):
    return (text + "\0").encode("utf-16-le", "surrogatepass")


def units_to_str(units):
    return bytes(memoryview(units).cast("B")).decode("utf-16-le", "surrogatepass")


def release(com_object):
    """IUnknown::Release, the third slot of the vtable."""
    vtable = ctypes.cast(com_object, ctypes.POINTER(ctypes.POINTER(ctypes.c_void_p))).contents
    return ctypes.CFUNCTYPE(ctypes.c_uint32, ctypes.c_void_p)(vtable[2])(com_object)


def format_message(flags, message_id, module=None):
    buffer = WCHAR_P()
    count = lib.FormatMessageW(flags, module, message_id, 0, ctypes.byref(buffer), 0, None)
    if count == 0:
        return None, lib.GetLastError()
    text = ctypes.string_at(buffer, 2 * count).decode("utf-16-le")
    assert lib.LocalFree(buffer) is None
    return text, 0


def enum_child_windows(parent, visit=None):
    """The handles EnumChildWindows passes to its callback, in order, and its result."""
    seen = []

    def callback(hwnd, _):
        seen.append(hwnd)
        if visit is not None:
            visit(hwnd)
        return 1

    result = lib.EnumChildWindows(parent, WNDENUMPROC(callback), 0)
    return seen, result


def display_mode(name):
    """(width, height, refresh rate) from EnumDisplaySettingsW, or None."""
    mode = (ctypes.c_uint8 * 220)()
    ctypes.memmove(ctypes.addressof(mode) + 68, (ctypes.c_uint16 * 1)(220), 2)  # dmSize
    if not lib.EnumDisplaySettingsW(wide(name), ENUM_CURRENT_SETTINGS, mode):
        return None
    width, height, _, frequency = (ctypes.c_uint32 * 4).from_buffer(mode, 172)
    return width, height, frequency


@pytest.fixture(autouse=True)
def clean_platform():
    winsim.reset()
    yield
    assert winsim.errors() == []
    assert winsim.live_objects() == {}
    winsim.reset()


def test_fault_injection_counts_times_and_after():
    hwnd = winsim.add_window("w")
    winsim.fail("IsWindowVisible", 5, times=2, after=1)
    results = []
    for _ in range(4):
        lib.SetLastError(0)
        results.append((lib.IsWindowVisible(hwnd), lib.GetLastError()))
    assert results == [(1, 0), (0, 5), (0, 5), (1, 0)]
    assert winsim.calls("IsWindowVisible") == 4
    assert winsim.calls("FindWindowW") == 0

    # A null fault of a handle function: NULL with the last error untouched.
    winsim.fail("FindWindowW", null=True)
    lib.SetLastError(77)
    assert lib.FindWindowW(None, wide("w")) == 0
    assert lib.GetLastError() == 77
    assert lib.FindWindowW(None, wide("W")) == hwnd

    # times=0 removes a fault; reset() clears faults and counts.
    winsim.fail("IsWindowVisible", 5, times=3)
    winsim.fail("IsWindowVisible", times=0)
    assert lib.IsWindowVisible(hwnd) == 1
    winsim.fail("IsWindowVisible", 5)
    winsim.reset()
    hwnd = winsim.add_window("w")
    assert lib.IsWindowVisible(hwnd) == 1
    assert winsim.calls("IsWindowVisible") == 1

    with pytest.raises(ValueError):
        winsim.fail("NoSuchFunction")
    with pytest.raises(ValueError):
        winsim.calls("NoSuchFunction")
    with pytest.raises(ValueError):
        winsim.fail("GetLastError")
    with pytest.raises(ValueError):
        winsim.fail("IsWindowVisible", null=True)
    with pytest.raises(ValueError):
        winsim.fail("IsWindowVisible", description="text")


def test_bstr_double_free_is_counted_and_recorded():
    bstr = lib.SysAllocString(wide("hello"))
    assert lib.SysStringLen(bstr) == 5
    assert winsim.live_objects() == {"BSTR": 1}
    lib.SysFreeString(bstr)
    assert winsim.live_objects() == {}
    assert winsim.errors() == []
    lib.SysFreeString(bstr)
    assert len(winsim.errors()) == 1
    assert "SysFreeString" in winsim.errors()[0]
    winsim.reset()
    assert winsim.errors() == []


def test_format_message_tables_and_local_heap():
    assert format_message(ALLOCATE_SYSTEM_MESSAGE, 0x80070005) == ("Access is denied.\r\n", 0)
    assert format_message(ALLOCATE_SYSTEM_MESSAGE, 1461) == ("Invalid monitor handle.\r\n", 0)
    assert format_message(ALLOCATE_SYSTEM_MESSAGE, 0x12345678) == (None, 317)

    ntdll = lib.LoadLibraryExA(b"ntdll.dll", None, 0x1000)
    assert ntdll
    text, _ = format_message(ALLOCATE_SYSTEM_MESSAGE | FROM_HMODULE, 0xC000000D, ntdll)
    assert text == "An invalid parameter was passed to a service or function.\r\n"
    assert lib.LoadLibraryExA(b"user32.dll", None, 0x1000) is None
    assert lib.GetLastError() == 126

    winsim.fail("FormatMessageW", 8)
    assert format_message(ALLOCATE_SYSTEM_MESSAGE, 5) == (None, 8)
    assert winsim.live_objects() == {}

    block = WCHAR_P()
    assert lib.FormatMessageW(ALLOCATE_SYSTEM_MESSAGE, None, 87, 0, ctypes.byref(block), 0, None)
    assert winsim.live_objects() == {"HLOCAL": 1}
    assert lib.LocalFree(block) is None
    assert lib.LocalFree(block) is not None
    assert len(winsim.errors()) == 1
    winsim.reset()


def test_monitors_names_and_stale_handles():
    assert lib.MonitorFromPoint(POINT(0, 0), 0) == 0
    first = winsim.add_monitor(2560, 1440, 144)
    name = "\ud800" + "x" * 40  # a lone surrogate, longer than the buffer
    second = winsim.add_monitor(device_name=name, device_string="S" * 200)
    assert lib.MonitorFromPoint(POINT(0, 0), 0) == first

    info = MONITORINFOEXW(cbSize=ctypes.sizeof(MONITORINFOEXW))
    assert lib.GetMonitorInfoW(first, ctypes.byref(info))
    assert units_to_str(info.szDevice).rstrip("\0") == "\\\\.\\DISPLAY1"
    assert info.dwFlags == 1
    assert (info.rcMonitor.right, info.rcMonitor.bottom) == (2560, 1440)
    assert lib.GetMonitorInfoW(second, ctypes.byref(info))
    assert units_to_str(info.szDevice) == name[:32]
    assert info.dwFlags == 0

    winsim.remove_monitor(first)
    assert not lib.GetMonitorInfoW(first, ctypes.byref(info))
    assert lib.GetLastError() == 1461
    assert lib.MonitorFromPoint(POINT(0, 0), 0) == second
    info.cbSize = 41
    assert not lib.GetMonitorInfoW(second, ctypes.byref(info))
    assert lib.GetLastError() == 87

    with pytest.raises(ValueError):
        winsim.remove_monitor(first)
    with pytest.raises(ValueError):
        winsim.add_monitor(width=-1)


def test_windows_and_foreground():
    notepad = winsim.add_window("Notepad")
    hidden = winsim.add_window("Hidden", visible=False)
    assert lib.FindWindowW(None, wide("NOTEPAD")) == notepad
    assert lib.FindWindowW(None, wide("hidden")) == hidden
    assert lib.IsWindowVisible(hidden) == 0

    assert lib.GetForegroundWindow() == 0
    winsim.set_foreground(hidden)
    assert lib.GetForegroundWindow() == hidden
    winsim.destroy_window(hidden)
    assert lib.GetForegroundWindow() == 0
    assert lib.FindWindowW(None, wide("Hidden")) == 0

    for call in (winsim.destroy_window, winsim.set_foreground):
        with pytest.raises(ValueError):
            call(hidden)
    with pytest.raises(ValueError):
        winsim.resize_window(hidden, 1, 1)
    winsim.set_foreground(None)
    winsim.reset()
    assert winsim.add_window("Notepad") not in (notepad, hidden)


def test_error_info_reference_counting():
    winsim.set_error_info("plain", restricted_description="restricted")
    assert winsim.live_objects() == {"ErrorInfo": 1}
    info = ctypes.c_void_p()
    assert lib.GetErrorInfo(0, ctypes.byref(info)) == 0
    assert lib.GetErrorInfo(0, ctypes.byref(ctypes.c_void_p())) == 1  # S_FALSE: taken
    assert release(info) == 0
    assert winsim.live_objects() == {}
    assert winsim.errors() == []
    release(info)
    assert winsim.errors() == ["release below zero: ErrorInfo"]
    winsim.reset()


def test_startup_desktop_before_any_reset():
    script = (
        "import ctypes, winsim\n"
        "class P(ctypes.Structure):\n"
        "    _fields_ = [('x', ctypes.c_int32), ('y', ctypes.c_int32)]\n"
        "lib = winsim._lib\n"
        "lib.MonitorFromPoint.argtypes = [P, ctypes.c_uint32]\n"
        "lib.MonitorFromPoint.restype = ctypes.c_size_t\n"
        "lib.GetForegroundWindow.restype = ctypes.c_size_t\n"
        "dm = (ctypes.c_uint8 * 220)()\n"
        "ctypes.memmove(ctypes.addressof(dm) + 68, (ctypes.c_uint16 * 1)(220), 2)\n"
        "name = '\\\\\\\\.\\\\DISPLAY1\\0'.encode('utf-16-le')\n"
        "assert lib.EnumDisplaySettingsW(name, 0xFFFFFFFF, dm)\n"
        "print(lib.MonitorFromPoint(P(0, 0), 0) != 0, lib.GetForegroundWindow(),\n"
        "      list((ctypes.c_uint32 * 4).from_buffer(dm, 172)[:]))\n"
    )
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            env=os.environ, check=True, timeout=60)
    assert result.stdout.split() == ["True", "0", "[1920,", "1080,", "0,", "60]"]


def test_display_queries_match_device_names_ignoring_case():
    winsim.add_monitor(1920, 1080, 60)
    winsim.add_monitor(2560, 1440, 144, device_name=r"\\.\DISPLAY2", device_string="Second")
    for name in (r"\\.\DISPLAY2", r"\\.\display2", r"\\.\Display2"):
        assert display_mode(name) == (2560, 1440, 144), name
    assert display_mode(r"\\.\DISPLAY3") is None
    device = DISPLAY_DEVICEW(cb=ctypes.sizeof(DISPLAY_DEVICEW))
    assert lib.EnumDisplayDevicesW(wide(r"\\.\display2"), 0, ctypes.byref(device), 0)
    # The device is named in the adapter's own spelling.
    assert units_to_str(device.DeviceName).rstrip("\0") == r"\\.\DISPLAY2\Monitor0"
    assert units_to_str(device.DeviceString).rstrip("\0") == "Second"


def test_enum_child_windows_walks_parents_then_children_in_z_order():
    a = winsim.add_window("A")
    a1 = winsim.add_window("a1", parent=a)
    a2 = winsim.add_window("a2", parent=a)
    a2x = winsim.add_window("a2x", parent=a2)
    b = winsim.add_window("B")
    desktop = lib.GetDesktopWindow()
    assert enum_child_windows(desktop) == ([b, a, a2, a2x, a1], 1)
    assert enum_child_windows(a) == ([a2, a2x, a1], 1)
    assert enum_child_windows(a1) == ([], 1)

    # A window destroyed by an earlier callback is skipped, a child listed
    # before its parent's callback ran included.
    seen, _ = enum_child_windows(desktop, lambda h: h == a and winsim.destroy_window(a1))
    assert seen == [b, a, a2, a2x]
    seen, _ = enum_child_windows(desktop, lambda h: h == b and winsim.destroy_window(a2))
    assert seen == [b, a]

    winsim.destroy_window(a)
    lib.SetLastError(0)
    assert enum_child_windows(a) == ([], 0)
    assert lib.GetLastError() == 1400
    assert enum_child_windows(desktop) == ([b], 1)


def test_child_window_style_visibility_and_lookup():
    parent = winsim.add_window("Parent", visible=False)
    child = winsim.add_window("Child", parent=parent)
    grandchild = winsim.add_window("Grandchild", parent=child)
    # A child has WS_CHILD; its own WS_VISIBLE does not show it under a hidden
    # ancestor, however far up.
    style = lib.GetWindowLongPtrW(child, GWL_STYLE)
    assert style & (WS_CHILD | WS_VISIBLE) == WS_CHILD | WS_VISIBLE
    assert (lib.IsWindowVisible(child), lib.IsWindowVisible(grandchild)) == (0, 0)
    winsim.destroy_window(parent)
    parent = winsim.add_window("Parent")
    child = winsim.add_window("Child", parent=parent)
    grandchild = winsim.add_window("Grandchild", parent=child)
    hidden_child = winsim.add_window("Hidden child", parent=child, visible=False)
    assert [lib.IsWindowVisible(h) for h in (parent, child, grandchild, hidden_child)] == [1, 1, 1, 0]
    # FindWindowW searches top-level windows only, a top-level window with
    # WS_CHILD in its style included.
    assert lib.FindWindowW(None, wide("Child")) == 0
    restyled = winsim.add_window("Child", style=WS_CHILD)
    assert lib.FindWindowW(None, wide("child")) == restyled
    assert lib.FindWindowW(None, wide("Parent")) == parent
    # The foreground window is always a top-level window.
    with pytest.raises(ValueError, match="child window"):
        winsim.set_foreground(child)
    lib.SetForegroundWindow.argtypes = [ctypes.c_size_t]
    lib.SetLastError(0)
    assert lib.SetForegroundWindow(child) == 0
    assert lib.GetLastError() == 0
    assert lib.GetForegroundWindow() == 0
    with pytest.raises(ValueError, match="unknown parent"):
        winsim.add_window(parent=0x7FFF0000)


@pytest.mark.parametrize("title, query, found", [
    ("\u00c4rger", "\u00e4RGER", True),              # Latin-1 letters
    ("\u03a3\u039f\u03a6\u0399\u0391", "\u03c3\u03bf\u03c6\u03b9\u03b1", True),  # Greek
    ("\u041c\u043e\u0441\u043a\u0432\u0430", "\u043c\u043e\u0441\u043a\u0432\u0430", True),
    ("\u0100\u0101", "\u0101\u0100", True),          # alternating case pairs
    ("Stra\u00dfe", "STRASSE", False),               # one unit maps to one unit only
    ("\u2460", "\u24d0", False),                     # no case, different units
    ("\ud83d\ude00", "\ud83d\ude00", True),          # surrogates compare as they are
])
def test_find_window_ignores_case_with_a_fixed_table(title, query, found):
    hwnd = winsim.add_window(title)
    assert lib.FindWindowW(None, wide(query)) == (hwnd if found else 0)


def test_find_window_ignores_the_host_locale():
    # The same matches in a process whose locale has no Unicode case data.
    script = (
        "import ctypes, winsim\n"
        "lib = winsim._lib\n"
        "lib.FindWindowW.argtypes = [ctypes.c_void_p, ctypes.c_char_p]\n"
        "lib.FindWindowW.restype = ctypes.c_size_t\n"
        "hwnd = winsim.add_window('\u00c4rger \u03a3')\n"
        "print(lib.FindWindowW(None, '\u00e4rger \u03c3\\0'.encode('utf-16-le')) == hwnd)\n"
    )
    env = dict(os.environ, LC_ALL="C", LANG="C")
    env.pop("LC_CTYPE", None)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            env=env, check=True, timeout=60)
    assert result.stdout.split() == ["True"]


def test_window_text_length_overreport():
    hwnd = winsim.add_window("Title")
    empty = winsim.add_window("")
    assert (lib.GetWindowTextLengthW(hwnd), lib.GetWindowTextLengthW(empty)) == (5, 0)
    winsim.set_text_length_overreport(3)
    assert (lib.GetWindowTextLengthW(hwnd), lib.GetWindowTextLengthW(empty)) == (8, 0)
    winsim.set_text_length_overreport(0x7FFFFFFF)
    assert lib.GetWindowTextLengthW(hwnd) == 0x7FFFFFFF
    winsim.reset()
    hwnd = winsim.add_window("Title")
    assert lib.GetWindowTextLengthW(hwnd) == 5
    for bad, error in ((-1, ValueError), (2 ** 31, ValueError), (True, TypeError),
                       (1.0, TypeError)):
        with pytest.raises(error):
            winsim.set_text_length_overreport(bad)


def rect_of(function, handle):
    rect = RECT()
    assert function(handle, ctypes.byref(rect))
    return rect.left, rect.top, rect.right, rect.bottom


def test_dpi_awareness_is_per_thread_and_scales_what_a_thread_sees():
    winsim.add_monitor(1920, 1080)
    scaled = winsim.add_monitor(2880, 1620, scale=1.5)
    window = winsim.add_window("w", 600, 300, position=(2100, 150), style=0x00C00000)

    def seen():
        info = MONITORINFOEXW(cbSize=ctypes.sizeof(MONITORINFOEXW))
        assert lib.GetMonitorInfoW(scaled, ctypes.byref(info))
        dpi, other = ctypes.c_uint32(), ctypes.c_uint32()
        assert lib.GetDpiForMonitor(scaled, 0, ctypes.byref(dpi), ctypes.byref(other)) == 0
        origin = POINT(0, 0)
        assert lib.ClientToScreen(window, ctypes.byref(origin))
        return ((info.rcMonitor.left, info.rcMonitor.right, info.rcWork.bottom), dpi.value,
                rect_of(lib.GetWindowRect, window), rect_of(lib.GetClientRect, window),
                (origin.x, origin.y))

    # A DPI-unaware thread: divided by 1.5.
    assert lib.GetThreadDpiAwarenessContext() == -1
    assert seen() == ((1280, 3200, 1048), 96, (1400, 100, 1800, 300), (0, 0, 400, 169),
                      (1400, 131))
    assert lib.SetThreadDpiAwarenessContext(-4) == -1
    other_thread = []
    thread = threading.Thread(target=lambda: other_thread.append(lib.GetThreadDpiAwarenessContext()))
    thread.start()
    thread.join(timeout=10)
    assert other_thread == [-1]
    assert seen() == ((1920, 4800, 1572), 144, (2100, 150, 2700, 450), (0, 0, 600, 253),
                      (2100, 197))
    assert lib.SetThreadDpiAwarenessContext(0) == 0 and lib.GetLastError() == 87
    assert lib.SetThreadDpiAwarenessContext(-1) == -4


def test_the_dpi_functions_are_found_where_windows_has_them():
    user32 = lib.GetModuleHandleW(wide("USER32.dll"))
    assert user32 and lib.GetModuleHandleW(wide("user32")) == user32
    assert lib.GetProcAddress(user32, b"SetThreadDpiAwarenessContext") == ctypes.cast(
        lib.SetThreadDpiAwarenessContext, ctypes.c_void_p).value
    winsim.set_dpi_awareness_exports(False)
    assert lib.GetProcAddress(user32, b"SetThreadDpiAwarenessContext") is None
    assert lib.GetLastError() == 127
    assert lib.GetModuleHandleW(wide("shcore.dll")) is None


@pytest.mark.parametrize("arguments, error", [
    (dict(scale=0.5), ValueError), (dict(scale="1"), TypeError), (dict(orientation=45), ValueError),
    (dict(position=(0,)), TypeError), (dict(position=(2**31, 0)), ValueError),
    (dict(work_area=(0, 0, -1, 10)), ValueError)])
def test_monitor_geometry_is_checked(arguments, error):
    with pytest.raises(error):
        winsim.add_monitor(**arguments)
    assert lib.MonitorFromPoint(POINT(0, 0), 0) == 0


@pytest.mark.parametrize("arguments, error", [
    (dict(position=(0,)), TypeError), (dict(position=(0, 2**31)), ValueError),
    (dict(class_name=5), TypeError), (dict(owner="w"), TypeError)])
def test_a_refused_window_argument_leaves_no_window(arguments, error):
    with pytest.raises(error):
        winsim.add_window("checked", **arguments)
    assert lib.FindWindowW(None, wide("checked")) == 0
