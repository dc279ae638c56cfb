"""The winsim control module itself: desktop setup, fault injection, counting.

The simulated Windows functions are called through ctypes on the library the
control module loaded, as the extension module calls them.
"""

import ctypes
import os
import subprocess
import sys

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
                            env=os.environ, check=True)
    assert result.stdout.split() == ["True", "0", "[1920,", "1080,", "0,", "60]"]
