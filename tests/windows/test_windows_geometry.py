"""Where monitors and windows are, compared with what the system answers to a
per-monitor-v2 thread; the module is asked from the process's own context,
which every query must leave as it was."""
import contextlib
import ctypes
import os
from ctypes import wintypes

import opticatcher as oc
import windows_support as support

user32 = support.user32
dwmapi = ctypes.WinDLL("dwmapi")
shcore = ctypes.WinDLL("shcore")

PER_MONITOR_AWARE_V2 = -4
DWMWA_EXTENDED_FRAME_BOUNDS = 9
MONITOR_DEFAULTTONEAREST = 2
SWP_NOZORDER_NOACTIVATE = 0x0004 | 0x0010


class MONITORINFO(ctypes.Structure):
    _fields_ = [("cbSize", wintypes.DWORD), ("rcMonitor", wintypes.RECT),
                ("rcWork", wintypes.RECT), ("dwFlags", wintypes.DWORD),
                ("szDevice", wintypes.WCHAR * 32)]


user32.SetThreadDpiAwarenessContext.restype = ctypes.c_void_p
user32.SetThreadDpiAwarenessContext.argtypes = [ctypes.c_void_p]
user32.GetThreadDpiAwarenessContext.restype = ctypes.c_void_p
user32.AreDpiAwarenessContextsEqual.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
user32.GetMonitorInfoW.argtypes = [ctypes.c_void_p, ctypes.POINTER(MONITORINFO)]
user32.MonitorFromPoint.restype = ctypes.c_void_p
user32.MonitorFromPoint.argtypes = [wintypes.POINT, wintypes.DWORD]
user32.MonitorFromWindow.restype = ctypes.c_void_p
user32.MonitorFromWindow.argtypes = [wintypes.HWND, wintypes.DWORD]
user32.SetWindowPos.argtypes = [wintypes.HWND, wintypes.HWND] + [ctypes.c_int] * 4 + [wintypes.UINT]
user32.GetClientRect.argtypes = [wintypes.HWND, ctypes.POINTER(wintypes.RECT)]
user32.ClientToScreen.argtypes = [wintypes.HWND, ctypes.POINTER(wintypes.POINT)]
user32.GetClassNameW.argtypes = [wintypes.HWND, wintypes.LPWSTR, ctypes.c_int]
user32.EnumDisplaySettingsW.argtypes = [wintypes.LPCWSTR, wintypes.DWORD, ctypes.c_void_p]
dwmapi.DwmGetWindowAttribute.argtypes = [wintypes.HWND, wintypes.DWORD, ctypes.c_void_p,
                                         wintypes.DWORD]
shcore.GetDpiForMonitor.argtypes = [ctypes.c_void_p, ctypes.c_int,
                                    ctypes.POINTER(wintypes.UINT), ctypes.POINTER(wintypes.UINT)]


@contextlib.contextmanager
def physical_pixels():
    previous = user32.SetThreadDpiAwarenessContext(PER_MONITOR_AWARE_V2)
    try:
        yield
    finally:
        if previous:
            user32.SetThreadDpiAwarenessContext(previous)


def rect(r):
    return (r.left, r.top, r.right - r.left, r.bottom - r.top)


def system_monitor(handle):
    with physical_pixels():
        info = MONITORINFO(cbSize=ctypes.sizeof(MONITORINFO))
        assert user32.GetMonitorInfoW(handle, ctypes.byref(info))
        dpi, _ = wintypes.UINT(), wintypes.UINT()
        assert shcore.GetDpiForMonitor(handle, 0, ctypes.byref(dpi), ctypes.byref(_)) == 0
    mode = (ctypes.c_uint8 * 220)()
    ctypes.memmove(ctypes.addressof(mode) + 68, (ctypes.c_uint16 * 1)(220), 2)  # dmSize
    assert user32.EnumDisplaySettingsW(info.szDevice, 0xFFFFFFFF, mode)
    orientation = ctypes.c_uint32.from_buffer(mode, 84).value  # dmDisplayOrientation
    return (rect(info.rcMonitor), rect(info.rcWork), bool(info.dwFlags & 1), dpi.value / 96,
            orientation * 90)


def system_window(hwnd):
    with physical_pixels():
        bounds = wintypes.RECT()
        if dwmapi.DwmGetWindowAttribute(hwnd, DWMWA_EXTENDED_FRAME_BOUNDS, ctypes.byref(bounds),
                                        ctypes.sizeof(bounds)) != 0:
            assert user32.GetWindowRect(hwnd, ctypes.byref(bounds))
        client, origin = wintypes.RECT(), wintypes.POINT(0, 0)
        assert user32.GetClientRect(hwnd, ctypes.byref(client))
        assert user32.ClientToScreen(hwnd, ctypes.byref(origin))
        monitor = user32.MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST)
    class_name = ctypes.create_unicode_buffer(257)
    assert user32.GetClassNameW(hwnd, class_name, 257)
    return (rect(bounds), (origin.x, origin.y, client.right, client.bottom), monitor,
            class_name.value, os.getpid(), False)


def unchanged_context(read):
    before = user32.GetThreadDpiAwarenessContext()
    value = read()
    assert user32.AreDpiAwarenessContextsEqual(before, user32.GetThreadDpiAwarenessContext())
    return value


def test_monitor_geometry():
    monitors = oc.enumerate_monitors()
    for monitor in monitors:
        assert unchanged_context(lambda: (monitor.rect, monitor.work_area, monitor.primary,
                                          monitor.scale, monitor.orientation)) \
            == system_monitor(monitor.handle)
        assert oc.Monitor.from_handle(monitor.handle).device_name == monitor.device_name
    assert [m.primary for m in monitors].count(True) == 1
    with physical_pixels():
        left, top = user32.GetSystemMetrics(76), user32.GetSystemMetrics(77)  # SM_[XY]VIRTUALSCREEN
        right = left + user32.GetSystemMetrics(78)
        bottom = top + user32.GetSystemMetrics(79)
    rects = [m.rect for m in monitors]
    assert (min(r.left for r in rects), min(r.top for r in rects),
            max(r.left + r.width for r in rects), max(r.top + r.height for r in rects)) \
        == (left, top, right, bottom)
    # Corners and points off the virtual screen: the monitor the system names.
    for x, y in [(left, top), (right - 1, bottom - 1), (left - 50, top - 50), (right + 9, top)]:
        found = unchanged_context(lambda: oc.Monitor.from_point(x, y))
        with physical_pixels():
            assert found.handle == user32.MonitorFromPoint(wintypes.POINT(x, y),
                                                           MONITOR_DEFAULTTONEAREST)


def test_window_geometry(own_window):
    hwnd = own_window("opticatcher geometry")
    window = oc.Window.from_handle(hwnd)
    assert window.name == "opticatcher geometry" and window.handle == hwnd
    work = oc.primary_monitor().work_area
    for x, y, width, height in [(40, 50, 400, 300), (120, 90, 640, 480)]:
        with physical_pixels():
            assert user32.SetWindowPos(hwnd, None, work.left + x, work.top + y, width, height,
                                       SWP_NOZORDER_NOACTIVATE)
        found = unchanged_context(lambda: (window.rect, window.client_rect, window.monitor.handle,
                                           window.class_name, window.process_id, window.minimized))
        assert found == system_window(hwnd)
        placed = wintypes.RECT()
        with physical_pixels():
            user32.GetWindowRect(hwnd, ctypes.byref(placed))
        assert (placed.left, placed.top) == (work.left + x, work.top + y)
    support.destroy_window(hwnd)
    for name in ["rect", "client_rect", "process_id", "class_name", "minimized", "monitor"]:
        try:
            getattr(window, name)
        except RuntimeError as error:
            assert str(error) == "The window no longer exists"
        else:
            raise AssertionError(f"{name} of a closed window did not fail")
