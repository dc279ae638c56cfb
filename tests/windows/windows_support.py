"""What the Windows suite asks the system directly (through ctypes): message
texts, windows of this process, Notepad, Wine and the capture service."""
import contextlib
import ctypes
import os
import subprocess
import tempfile
import time
import uuid
import winreg
from ctypes import wintypes

import numpy as np

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
user32.FindWindowW.restype = wintypes.HWND
user32.FindWindowW.argtypes = [wintypes.LPCWSTR, wintypes.LPCWSTR]
user32.GetWindowRect.argtypes = [wintypes.HWND, ctypes.POINTER(wintypes.RECT)]
kernel32.GetModuleHandleW.restype = ctypes.c_void_p
kernel32.GetModuleHandleW.argtypes = [wintypes.LPCWSTR]
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


# --- the stand-in capture service (Wine only) -----------------------------------

ACTIVATABLE_CLASSES = r"Software\Microsoft\WindowsRuntime\ActivatableClassId"
CAPTURE_CLASSES = [ITEM_CLASS, "Windows.Graphics.Capture.Direct3D11CaptureFramePool",
                   "Windows.Graphics.Capture.GraphicsCaptureAccess"]
# Frames that tests compared byte for byte with the pattern they were given.
frames_compared = 0


def pattern(width, height, seed):
    """The stand-in's frame content (tests/windows/stand_in/pattern.h): [h, w, 4]."""
    x = np.arange(width, dtype=np.uint32)[None, :, None]
    y = np.arange(height, dtype=np.uint32)[:, None, None]
    c = np.arange(4, dtype=np.uint32)[None, None, :]
    return ((x * 7 + y * 131 + c * 61 + seed) & 0xFF).astype(np.uint8)


def assert_exact(frame, width, height, seed):
    """`frame` holds exactly the pattern of `seed` over `width` x `height`."""
    global frames_compared
    assert frame.shape == (height, width, 4) and frame.dtype == np.uint8
    expected = pattern(width, height, seed)
    if not np.array_equal(frame, expected):
        where = tuple(int(i) for i in np.argwhere(frame != expected)[0])
        raise AssertionError(
            f"frame {width}x{height} of seed {seed} differs first at {where}: "
            f"{frame[where]} instead of {expected[where]}"
        )
    frames_compared += 1


def window_size(title):
    """Width and height of the window rectangle of the window titled `title`."""
    handle = user32.FindWindowW(None, title)
    rect = wintypes.RECT()
    assert handle and user32.GetWindowRect(handle, ctypes.byref(rect))
    return rect.right - rect.left, rect.bottom - rect.top


class StandIn:
    """The stand-in capture service DLL, loaded into this process."""

    def __init__(self, path):
        self.path = path
        self.dll = ctypes.WinDLL(path)
        self.dll.stand_in_fail.argtypes = [ctypes.c_char_p, ctypes.c_long]
        self.dll.stand_in_last_sequence.restype = ctypes.c_uint
        self.dll.stand_in_replace_import.argtypes = [ctypes.c_void_p]
        self.dll.stand_in_misuse.argtypes = [ctypes.c_char_p, ctypes.c_int]

    def register(self):
        """Registers the DLL for the capture classes, as the runtime finds
        activatable classes (values DllPath and ActivationType, in-process)."""
        for name in CAPTURE_CLASSES:
            with winreg.CreateKeyEx(winreg.HKEY_LOCAL_MACHINE, ACTIVATABLE_CLASSES + "\\" + name) as key:
                winreg.SetValueEx(key, "DllPath", 0, winreg.REG_SZ, self.path)
                winreg.SetValueEx(key, "ActivationType", 0, winreg.REG_DWORD, 0)

    def unregister(self):
        for name in CAPTURE_CLASSES:
            winreg.DeleteKey(winreg.HKEY_LOCAL_MACHINE, ACTIVATABLE_CLASSES + "\\" + name)

    def replace_import(self, module_path):
        """Points the loaded module's import of CreateDirect3D11DeviceFromDXGIDevice
        (an aborting stub in Wine) at the stand-in's; the number of entries replaced."""
        handle = kernel32.GetModuleHandleW(module_path)
        assert handle, f"{module_path} is not loaded"
        return self.dll.stand_in_replace_import(handle)

    def reset(self):
        self.dll.stand_in_reset()

    def set_content(self, width, height):
        self.dll.stand_in_set_content(width, height)

    def set_first_frame(self, deliver):
        self.dll.stand_in_set_first_frame(int(deliver))

    def set_rate(self, frames_per_second):
        self.dll.stand_in_set_rate(frames_per_second)

    def deliver(self, count=1):
        """Frames delivered by every running session (returns after their handlers ran)."""
        return self.dll.stand_in_deliver(count)

    def last_sequence(self):
        return self.dll.stand_in_last_sequence()

    def fail(self, operation, code):
        self.dll.stand_in_fail(operation.encode(), ctypes.c_long(code - (1 << 32) if code >= 1 << 31 else code))

    def live_objects(self):
        return self.dll.stand_in_live_objects()

    def set_border_access(self, answer):
        """0 not registered, 1 Allowed, 2 DeniedByUser, 3 never answered."""
        self.dll.stand_in_set_border_access(answer)

    def close_items(self):
        """Every item raises Closed, from a thread of the service's."""
        self.dll.stand_in_close_items()

    def remove_device(self):
        """The device under every pool and frame made so far is removed."""
        self.dll.stand_in_remove_device()

    def running_sessions(self):
        return self.dll.stand_in_running_sessions()

    def misuse(self):
        text = ctypes.create_string_buffer(512)
        return self.dll.stand_in_misuse(text, len(text)), text.value.decode()
