"""What the Windows suite asks the system directly (through ctypes): message
texts, windows of this process, Notepad, Wine and the capture service."""
import contextlib
import ctypes
import os
import subprocess
import tempfile
import time
import uuid
from ctypes import wintypes

import opticatcher as oc

kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
user32 = ctypes.WinDLL("user32", use_last_error=True)
combase = ctypes.WinDLL("combase")

WS_OVERLAPPEDWINDOW = 0x00CF0000
WS_VISIBLE = 0x10000000
WS_CHILD = 0x40000000
WS_EX_TOOLWINDOW = 0x00000080
REGDB_E_CLASSNOTREG = 0x80040154

kernel32.FormatMessageW.argtypes = [
    wintypes.DWORD, wintypes.LPCVOID, wintypes.DWORD, wintypes.DWORD,
    wintypes.LPWSTR, wintypes.DWORD, wintypes.LPVOID,
]
user32.CreateWindowExW.restype = wintypes.HWND
user32.CreateWindowExW.argtypes = [
    wintypes.DWORD, wintypes.LPCWSTR, wintypes.LPCWSTR, wintypes.DWORD,
    ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int,
    wintypes.HWND, wintypes.HMENU, wintypes.HINSTANCE, wintypes.LPVOID,
]
user32.DestroyWindow.argtypes = [wintypes.HWND]
combase.WindowsCreateString.argtypes = [wintypes.LPCWSTR, wintypes.UINT, ctypes.POINTER(ctypes.c_void_p)]
combase.WindowsDeleteString.argtypes = [ctypes.c_void_p]
combase.RoGetActivationFactory.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
combase.RoGetActivationFactory.restype = ctypes.c_long

ITEM_CLASS = "Windows.Graphics.Capture.GraphicsCaptureItem"
# IActivationFactory, which every activatable class's factory answers.
IID_IACTIVATIONFACTORY = uuid.UUID("00000035-0000-0000-C000-000000000046").bytes_le


def under_wine():
    """Wine's ntdll exports wine_get_version; Windows' does not."""
    return hasattr(ctypes.WinDLL("ntdll"), "wine_get_version")


def system_message(code):
    """What FormatMessageW says for `code`, without the trailing line break."""
    buffer = ctypes.create_unicode_buffer(4096)
    flags = 0x1000 | 0x200  # FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
    length = kernel32.FormatMessageW(flags, None, code, 0, buffer, len(buffer), None)
    return buffer.value[:length].rstrip(" \t\r\n\v\f")


def windows_api_error(code):
    """The module's text for a failed call with `code` and no error information."""
    message = system_message(code)
    return "Windows API error: " + (f"{message} (0x{code:08X})" if message else f"0x{code:08X}")


def capture_service_answer():
    """The HRESULT of asking the runtime for the capture item's factory: 0 where
    the graphics-capture service exists, REGDB_E_CLASSNOTREG where it does not."""
    combase.RoInitialize(1)  # the multithreaded apartment, as the module joins it
    name = ctypes.c_void_p()
    hr = combase.WindowsCreateString(ITEM_CLASS, len(ITEM_CLASS), ctypes.byref(name))
    assert hr == 0
    try:
        factory = ctypes.c_void_p()
        iid = ctypes.create_string_buffer(IID_IACTIVATIONFACTORY)
        hr = combase.RoGetActivationFactory(name, iid, ctypes.byref(factory)) & 0xFFFFFFFF
        if factory.value:
            release = ctypes.WINFUNCTYPE(ctypes.c_ulong, ctypes.c_void_p)(
                ctypes.cast(factory, ctypes.POINTER(ctypes.POINTER(ctypes.c_void_p)))[0][2]
            )
            release(factory)
        return hr
    finally:
        combase.WindowsDeleteString(name)


def create_window(title, style, ex_style=0, parent=None):
    handle = user32.CreateWindowExW(
        ex_style, "STATIC", title, style, 20, 20, 300, 200, parent, None, None, None
    )
    assert handle, ctypes.get_last_error()
    return handle


def destroy_window(handle):
    user32.DestroyWindow(handle)


def wait_for(predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = predicate()
        if found:
            return found
        time.sleep(0.05)
    raise AssertionError(f"not within {timeout} s")


@contextlib.contextmanager
def notepad():
    """Notepad showing a file of its own; yields its window, found by the file
    name in its title. The process is ended afterwards."""
    stem = f"opticatcher-{os.getpid()}"
    path = os.path.join(tempfile.gettempdir(), stem + ".txt")
    with open(path, "w") as file:
        file.write("opticatcher\n")
    process = subprocess.Popen(["notepad.exe", path])
    try:
        yield wait_for(
            lambda: next((w for w in oc.enumerate_windows() if stem in w.name), None)
        )
    finally:
        process.kill()
        process.wait(timeout=20)
        os.remove(path)
