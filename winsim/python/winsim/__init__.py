"""Control of the simulated Windows platform (winsim).

On Linux, opticatcher's Windows code runs against libwinsim.so, which stands
where the Windows system DLLs stand. This module loads the same library, so a
test sets up the simulated desktop here (monitors, windows, the foreground
window), injects failures into Windows operations, and afterwards asks what
the code under test called, which simulated objects are still alive and what
misuse the platform saw.

The library is looked up in this order: the copy already loaded in this
process (opticatcher links it), the one installed next to this file, then the
path in the environment variable WINSIM_LIBRARY (for development trees).
"""

import ctypes
import os

__all__ = [
    "reset",
    "add_monitor",
    "remove_monitor",
    "add_window",
    "destroy_window",
    "resize_window",
    "move_window",
    "set_minimized",
    "set_foreground",
    "set_text_length_overreport",
    "fail",
    "calls",
    "live_objects",
    "errors",
    "set_error_info",
    "set_frame_delivery",
    "present",
    "set_content",
    "set_row_pitch_alignment",
    "set_row_pitch",
    "pause",
    "wait_paused",
    "resume",
    "set_pointer",
    "set_session_interfaces",
    "capture_sessions",
    "set_dpi_awareness_exports",
    "thread_dpi_awareness",
    "set_thread_dpi_awareness",
    "DPI_AWARENESS_CONTEXT_UNAWARE",
    "DPI_AWARENESS_CONTEXT_SYSTEM_AWARE",
    "DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE",
    "DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2",
    "DPI_AWARENESS_CONTEXT_UNAWARE_GDISCALED",
    "TASK_BAR_HEIGHT",
    "CAPTION_HEIGHT",
    "MINIMIZED_POSITION",
    "set_border_access",
    "remove_device",
    "POINTER_SIZE",
    "POINTER_RGBA",
]

# The simulated mouse pointer as captures draw it (set_pointer).
POINTER_SIZE = 8
POINTER_RGBA = (255, 0, 255, 255)

# The thread DPI awareness contexts, as Windows defines the pseudo-handles.
DPI_AWARENESS_CONTEXT_UNAWARE = -1
DPI_AWARENESS_CONTEXT_SYSTEM_AWARE = -2
DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE = -3
DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 = -4
DPI_AWARENESS_CONTEXT_UNAWARE_GDISCALED = -5

# The task bar that a monitor's default work area leaves out at its bottom;
# the caption of a window with WS_CAPTION at 100 % scale (it scales with the
# window's monitor); where minimized windows are parked.
TASK_BAR_HEIGHT = 48
CAPTION_HEIGHT = 31
MINIMIZED_POSITION = -32000

_LIBRARY_NAME = "libwinsim.so"


def _load_library():
    # Already loaded (by opticatcher, through its run path): share that copy,
    # and with it the one simulated desktop.
    try:
        return ctypes.CDLL(_LIBRARY_NAME, mode=os.RTLD_NOLOAD | os.RTLD_NOW)
    except OSError:
        pass
    installed = os.path.join(os.path.dirname(os.path.abspath(__file__)), _LIBRARY_NAME)
    if os.path.exists(installed):
        return ctypes.CDLL(installed)
    development = os.environ.get("WINSIM_LIBRARY")
    if development:
        return ctypes.CDLL(development)
    raise ImportError(
        f"winsim: {_LIBRARY_NAME} is neither installed next to {__file__} "
        "nor named by the environment variable WINSIM_LIBRARY"
    )


_lib = _load_library()

_handle = ctypes.c_size_t
_units = ctypes.c_char_p  # UTF-16 units, passed as bytes with a separate count

_lib.winsim_reset.argtypes = []
_lib.winsim_reset.restype = None
_lib.winsim_add_monitor.argtypes = [
    ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32,
    _units, ctypes.c_size_t, _units, ctypes.c_size_t,
]
_lib.winsim_add_monitor.restype = _handle
_lib.winsim_remove_monitor.argtypes = [_handle]
_lib.winsim_remove_monitor.restype = ctypes.c_int
_lib.winsim_add_window.argtypes = [
    _units, ctypes.c_size_t, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int,
    ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int, _handle,
]
_lib.winsim_add_window.restype = _handle
_lib.winsim_set_owner.argtypes = [_handle, _handle]
_lib.winsim_set_owner.restype = ctypes.c_int
_lib.winsim_destroy_window.argtypes = [_handle]
_lib.winsim_destroy_window.restype = ctypes.c_int
_lib.winsim_resize_window.argtypes = [_handle, ctypes.c_uint32, ctypes.c_uint32]
_lib.winsim_resize_window.restype = ctypes.c_int
_lib.winsim_set_monitor_geometry.argtypes = [
    _handle, ctypes.c_int, ctypes.c_int32, ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint32,
    ctypes.c_int, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32]
_lib.winsim_set_monitor_geometry.restype = ctypes.c_int
_lib.winsim_move_window.argtypes = [_handle, ctypes.c_int32, ctypes.c_int32]
_lib.winsim_move_window.restype = ctypes.c_int
_lib.winsim_set_minimized.argtypes = [_handle, ctypes.c_int]
_lib.winsim_set_minimized.restype = ctypes.c_int
_lib.winsim_set_window_class.argtypes = [_handle, _units, ctypes.c_size_t]
_lib.winsim_set_window_class.restype = ctypes.c_int
_lib.winsim_set_dpi_awareness_exports.argtypes = [ctypes.c_int]
_lib.winsim_set_dpi_awareness_exports.restype = None
_lib.winsim_thread_dpi_awareness.argtypes = []
_lib.winsim_thread_dpi_awareness.restype = ctypes.c_ssize_t
_lib.winsim_set_thread_dpi_awareness.argtypes = [ctypes.c_ssize_t]
_lib.winsim_set_thread_dpi_awareness.restype = ctypes.c_int
_lib.winsim_set_foreground.argtypes = [_handle]
_lib.winsim_set_foreground.restype = ctypes.c_int
_lib.winsim_set_text_length_overreport.argtypes = [ctypes.c_int32]
_lib.winsim_set_text_length_overreport.restype = None
_lib.winsim_fail.argtypes = [
    ctypes.c_char_p, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int,
    _units, ctypes.c_size_t, _units, ctypes.c_size_t, ctypes.c_int,
]
_lib.winsim_fail.restype = ctypes.c_int
_lib.winsim_calls.argtypes = [ctypes.c_char_p]
_lib.winsim_calls.restype = ctypes.c_int64
_lib.winsim_live_objects.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
_lib.winsim_live_objects.restype = ctypes.c_size_t
_lib.winsim_errors.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
_lib.winsim_errors.restype = ctypes.c_size_t
_lib.winsim_set_error_info.argtypes = [
    _units, ctypes.c_size_t, _units, ctypes.c_size_t, ctypes.c_int,
]
_lib.winsim_set_error_info.restype = None

_lib.winsim_set_frame_delivery.argtypes = [ctypes.c_int]
_lib.winsim_set_frame_delivery.restype = None
_lib.winsim_present.argtypes = [_handle, ctypes.c_uint32]
_lib.winsim_present.restype = ctypes.c_int
_lib.winsim_set_content.argtypes = [_handle, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32]
_lib.winsim_set_content.restype = ctypes.c_int
_lib.winsim_set_row_pitch_alignment.argtypes = [ctypes.c_uint32]
_lib.winsim_set_row_pitch_alignment.restype = ctypes.c_int
_lib.winsim_set_row_pitch.argtypes = [ctypes.c_uint32]
_lib.winsim_set_row_pitch.restype = None
_lib.winsim_pause.argtypes = [ctypes.c_char_p, ctypes.c_int]
_lib.winsim_pause.restype = ctypes.c_int
_lib.winsim_wait_paused.argtypes = [ctypes.c_char_p, ctypes.c_uint32]
_lib.winsim_wait_paused.restype = ctypes.c_int
_lib.winsim_take_failure.argtypes = []
_lib.winsim_take_failure.restype = ctypes.c_int
_lib.winsim_set_pointer.argtypes = [_handle, ctypes.c_int, ctypes.c_int32, ctypes.c_int32]
_lib.winsim_set_pointer.restype = ctypes.c_int
_lib.winsim_set_session_interfaces.argtypes = [ctypes.c_int] * 4
_lib.winsim_set_session_interfaces.restype = None
_lib.winsim_capture_sessions.argtypes = [_handle, ctypes.c_char_p, ctypes.c_size_t]
_lib.winsim_capture_sessions.restype = ctypes.c_size_t
_lib.winsim_set_border_access.argtypes = [ctypes.c_int]
_lib.winsim_set_border_access.restype = ctypes.c_int
_lib.winsim_remove_device.argtypes = []
_lib.winsim_remove_device.restype = None

# Results of the control functions (winsim/control.h).
_OK = 0
_UNKNOWN_HANDLE = 1
_UNKNOWN_OPERATION = 2
_OPERATION_CANNOT_FAIL = 3
_NULL_NOT_APPLICABLE = 4
_DESCRIPTION_NOT_APPLICABLE = 5
_NOT_TOP_LEVEL = 6
_INVALID_ARGUMENT = 7
_OUT_OF_MEMORY = 8


def _check_failure(result, function, arguments):
    # Any control call may fail inside the library, whatever it returns: the
    # failure waits in winsim_take_failure().
    status = _lib.winsim_take_failure()
    if status == _OUT_OF_MEMORY:
        raise MemoryError(f"{function.__name__}: out of memory (or threads)")
    if status != _OK:
        raise RuntimeError(f"{function.__name__} failed inside winsim")
    return result


for _function in (
    _lib.winsim_reset, _lib.winsim_add_monitor, _lib.winsim_remove_monitor,
    _lib.winsim_add_window, _lib.winsim_destroy_window, _lib.winsim_resize_window,
    _lib.winsim_set_foreground, _lib.winsim_set_text_length_overreport, _lib.winsim_fail,
    _lib.winsim_calls, _lib.winsim_live_objects, _lib.winsim_errors,
    _lib.winsim_set_error_info, _lib.winsim_set_frame_delivery, _lib.winsim_present,
    _lib.winsim_set_content, _lib.winsim_set_row_pitch_alignment, _lib.winsim_set_row_pitch,
    _lib.winsim_pause, _lib.winsim_wait_paused, _lib.winsim_set_pointer,
    _lib.winsim_set_session_interfaces, _lib.winsim_capture_sessions,
    _lib.winsim_set_monitor_geometry, _lib.winsim_move_window, _lib.winsim_set_minimized,
    _lib.winsim_set_window_class, _lib.winsim_set_dpi_awareness_exports,
    _lib.winsim_thread_dpi_awareness, _lib.winsim_set_thread_dpi_awareness,
    _lib.winsim_set_border_access, _lib.winsim_remove_device,
):
    _function.errcheck = _check_failure

_UINT32_MAX = 0xFFFFFFFF
_INT32_MAX = 0x7FFFFFFF
_HANDLE_MAX = 2 ** (8 * ctypes.sizeof(_handle)) - 1


def _uint32(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not 0 <= value <= _UINT32_MAX:
        raise ValueError(f"{name} must be in 0..0xFFFFFFFF, got {value}")
    return value


def _text(name, value):
    """(bytes, unit count) of a str as UTF-16 units, lone surrogates kept."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    units = value.encode("utf-16-le", "surrogatepass")
    return units, len(units) // 2


def _optional_text(name, value):
    return (None, 0) if value is None else _text(name, value)


def _handle_value(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int handle, not {type(value).__name__}")
    if not 0 < value <= _HANDLE_MAX:
        raise ValueError(f"unknown {name} {value:#x}")
    return value


def _int32(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not -0x80000000 <= value <= _INT32_MAX:
        raise ValueError(f"{name} must fit in 32 bits, got {value}")
    return value


def _point(name, value):
    """(x, y) of a pair of 32-bit ints."""
    try:
        x, y = value
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a pair (x, y), not {value!r}") from None
    return _int32(f"{name} x", x), _int32(f"{name} y", y)


def _area(name, value):
    """(left, top, right, bottom) of a (left, top, width, height) rectangle."""
    try:
        left, top, width, height = value
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be (left, top, width, height), not {value!r}") from None
    left, top = _int32(f"{name} left", left), _int32(f"{name} top", top)
    right = _int32(f"{name} right", left + _uint32(f"{name} width", width))
    bottom = _int32(f"{name} bottom", top + _uint32(f"{name} height", height))
    return left, top, right, bottom


def _dpi(scale):
    if isinstance(scale, bool) or not isinstance(scale, (int, float)):
        raise TypeError(f"scale must be a number, not {type(scale).__name__}")
    if not 1.0 <= scale <= 5.0:
        raise ValueError(f"scale must be in 1.0..5.0, got {scale}")
    return round(96 * scale)


def _check_handle(status, name, value):
    if status == _UNKNOWN_HANDLE:
        raise ValueError(f"unknown {name} {value:#x}")


def _listing(function):
    size = function(None, 0)
    while True:
        buffer = ctypes.create_string_buffer(size)
        needed = function(buffer, size)
        if needed <= size:
            return buffer.value.decode("utf-8", "replace")
        size = needed


def _lines(text):
    # Each entry ends with a line feed; entries hold no line feeds.
    return text.split("\n")[:-1]


def reset():
    """Empty desktop: no monitors, no windows, no foreground window, no content.

    Faults, call counts and the errors() list are cleared, the calling
    thread's error information is released, window-text lengths are exact
    again (set_text_length_overreport(0)), automatic frame delivery is
    switched back on and staging row pitches return to a 256-byte alignment.
    Frame deliveries in progress finish first; captures still running stay
    alive but get no frames from the emptied desktop. Objects still alive stay
    counted.
    """
    _lib.winsim_reset()


def add_monitor(width=1920, height=1080, refresh_rate=60, device_name=None,
                device_string="Generic PnP Monitor", position=None, scale=1.0, orientation=0,
                work_area=None):
    """Adds a monitor, enumerated after those added before; returns its HMONITOR.

    device_name defaults to "\\\\.\\DISPLAY<n>" with the lowest n that no monitor
    present uses. Names longer than the system's buffers are cut to 32
    (device_name) and 128 (device_string) UTF-16 units. Device names are
    unique, as on Windows: a name that another monitor has already, compared
    ignoring case, raises ValueError.

    Coordinates are physical pixels of the virtual screen. position=(x, y)
    puts the monitor's top-left corner there (negative values left of or above
    the primary monitor); None puts it right of the monitors before it that
    have no position either, from x = 0. The primary monitor is the first one
    whose top-left corner is (0, 0) (the first one of all when none is): keep
    monitors from overlapping, as Windows does.

    width and height are the current display mode as the desktop shows it: a
    monitor turned by 90 or 270 degrees (orientation, clockwise) is given its
    portrait size. scale is the user's display scale (1.5 for 150 %): the
    effective DPI is 96 * scale, and a thread that is not per-monitor DPI
    aware sees this monitor's rectangles, and those of the windows on it,
    divided by it. work_area=(left, top, width, height) in the virtual
    screen; None means the whole monitor less a TASK_BAR_HEIGHT task bar at
    the bottom.
    """
    name, name_units = _optional_text("device_name", device_name)
    string, string_units = _text("device_string", device_string)
    width, height = _uint32("width", width), _uint32("height", height)
    refresh_rate = _uint32("refresh_rate", refresh_rate)
    has_position, x, y = (0, 0, 0) if position is None else (1, *_point("position", position))
    dpi = _dpi(scale)
    if isinstance(orientation, bool) or orientation not in (0, 90, 180, 270):
        raise ValueError(f"orientation must be 0, 90, 180 or 270, got {orientation!r}")
    work = (0, 0, 0, 0, 0) if work_area is None else (1, *_area("work_area", work_area))
    handle = _lib.winsim_add_monitor(
        width, height, refresh_rate, name, name_units, string, string_units)
    if handle == 0:
        raise ValueError(f"device name {device_name!r} is already used by another monitor")
    _lib.winsim_set_monitor_geometry(handle, has_position, x, y, dpi, orientation // 90, *work)
    return handle


def remove_monitor(hmonitor):
    """Removes a monitor; its handle becomes stale and info queries fail.

    The capture items of the monitor raise their Closed event on the delivery
    thread; this returns once the handlers have run.
    """
    hmonitor = _handle_value("monitor handle", hmonitor)
    _check_handle(_lib.winsim_remove_monitor(hmonitor), "monitor handle", hmonitor)


def add_window(title="", width=640, height=480, visible=True, style=0, ex_style=0,
               own_process=False, parent=None, position=(0, 0), class_name="WinsimWindow",
               minimized=False, owner=None):
    """Adds a window on top of the Z-order; returns its HWND.

    Windows are enumerated and found by title in Z-order, topmost first, so a
    new window comes before those added earlier (set_foreground() raises a
    window to the top).

    With parent=None the window is a top-level window, belonging to this
    process when own_process is true, else to a made-up other process. A
    top-level window may have WS_CHILD in `style`: it stands for a window whose
    style was changed after it was created.

    With parent=hwnd it is a child window of that live window (a top-level or
    a child window): WS_CHILD is added to `style`, it belongs to its parent's
    process (to this process when own_process is true), it goes on top of its
    parent's other children, and it is destroyed with its parent. Child
    windows are visited by EnumChildWindows of the desktop window right after
    their parent, are not found by FindWindowW, which searches top-level
    windows only, and are not visible while an ancestor is hidden.

    With owner=hwnd the new top-level window is owned by that live top-level
    window. A visible, not minimized owned window with WS_POPUP in `style` or
    WS_EX_TOOLWINDOW in `ex_style` whose visible bounds overlap its owner's is
    a pop-up: captures of the owner whose session includes secondary windows
    (opticatcher's Capture.secondary_windows) draw its content (set_content,
    else the test pattern) where it lies on the owner, clipped to its size,
    over their frames, later windows over earlier ones.

    `visible` sets or clears WS_VISIBLE in `style`. The title is cut at its
    first zero character, as a window title is a zero-terminated string.

    width and height are the window's visible bounds, the size its captures
    show; position=(x, y) is their top-left corner in physical pixels of the
    virtual screen. The client area is the same less a caption at the top
    when `style` has WS_CAPTION (CAPTION_HEIGHT at 100 % scale, scaled with
    the DPI of the monitor the window is on). The class name is cut to 256
    characters. A minimized window (IsIconic) has its rectangles parked at
    MINIMIZED_POSITION and no client area, while MonitorFromWindow still
    counts it where it was restored.
    """
    units, count = _text("title", title)
    parent_handle = 0 if parent is None else _handle_value("parent window handle", parent)
    # Every argument is checked before the window exists, so that a refused
    # one leaves no window behind.
    x, y = _point("position", position)
    class_units, class_count = _text("class_name", class_name)
    owner_handle = None if owner is None else _handle_value("owner window handle", owner)
    handle = _lib.winsim_add_window(
        units, count, _uint32("width", width), _uint32("height", height), bool(visible),
        _uint32("style", style), _uint32("ex_style", ex_style), bool(own_process),
        parent_handle)
    if handle == 0:
        raise ValueError(f"unknown parent window handle {parent_handle:#x}")
    _lib.winsim_move_window(handle, x, y)
    _lib.winsim_set_window_class(handle, class_units, class_count)
    _lib.winsim_set_minimized(handle, bool(minimized))
    if owner_handle is not None:
        if _lib.winsim_set_owner(handle, owner_handle) != 0:
            _lib.winsim_destroy_window(handle)
            raise ValueError(f"owner {owner_handle:#x} is no live top-level window of another")
    return handle


def destroy_window(hwnd):
    """Destroys a window and all its child windows; their handles become stale.

    A destroyed foreground window leaves no window in the foreground. The
    capture items of the window raise their Closed event on the delivery
    thread; this returns once the handlers have run.
    """
    hwnd = _handle_value("window handle", hwnd)
    _check_handle(_lib.winsim_destroy_window(hwnd), "window handle", hwnd)


def resize_window(hwnd, width, height):
    """Sets the client size of a window."""
    hwnd = _handle_value("window handle", hwnd)
    _check_handle(
        _lib.winsim_resize_window(hwnd, _uint32("width", width), _uint32("height", height)),
        "window handle", hwnd)


def move_window(hwnd, x, y):
    """Moves the top-left corner of a window's visible bounds to (x, y), in
    physical pixels of the virtual screen."""
    hwnd = _handle_value("window handle", hwnd)
    _check_handle(
        _lib.winsim_move_window(hwnd, _int32("x", x), _int32("y", y)), "window handle", hwnd)


def set_minimized(hwnd, minimized):
    """Minimizes a window (true) or restores it (false)."""
    hwnd = _handle_value("window handle", hwnd)
    _check_handle(_lib.winsim_set_minimized(hwnd, bool(minimized)), "window handle", hwnd)


def set_dpi_awareness_exports(offered):
    """Whether GetProcAddress finds SetThreadDpiAwarenessContext and
    GetThreadDpiAwarenessContext in user32.dll; false stands for Windows
    before version 1607. reset() offers them again."""
    _lib.winsim_set_dpi_awareness_exports(bool(offered))


def thread_dpi_awareness():
    """The calling thread's DPI awareness context (DPI_AWARENESS_CONTEXT_*),
    read without counting a call. Threads start DPI unaware, as in an
    interpreter that declares no awareness."""
    return _lib.winsim_thread_dpi_awareness()


def set_thread_dpi_awareness(context):
    """Sets the calling thread's DPI awareness context (DPI_AWARENESS_CONTEXT_*)
    without counting a call; reset() makes the calling thread unaware again."""
    if isinstance(context, bool) or not isinstance(context, int) or not -5 <= context <= -1:
        raise ValueError(f"not a DPI awareness context: {context!r}")
    _lib.winsim_set_thread_dpi_awareness(context)


def set_foreground(hwnd):
    """Makes a top-level window the foreground window and raises it to the top
    of the Z-order; None leaves no foreground window.

    A child window cannot be the foreground window: ValueError.
    """
    if hwnd is None:
        _lib.winsim_set_foreground(0)
        return
    hwnd = _handle_value("window handle", hwnd)
    status = _lib.winsim_set_foreground(hwnd)
    if status == _NOT_TOP_LEVEL:
        raise ValueError(f"window {hwnd:#x} is a child window and cannot be the foreground window")
    _check_handle(status, "window handle", hwnd)


def set_text_length_overreport(extra):
    """Makes GetWindowTextLengthW answer `extra` units more than the length of
    every non-empty title.

    Windows documents that GetWindowTextLengthW may return more than the
    length of the text, so a caller must find the text's end by its
    terminating zero, not by that length. This switch lets a test check that
    a caller does. 0, the state after reset(), gives exact lengths.
    """
    if isinstance(extra, bool) or not isinstance(extra, int):
        raise TypeError(f"extra must be an int, not {type(extra).__name__}")
    if not 0 <= extra <= _INT32_MAX:
        raise ValueError(f"extra must be in 0..0x7FFFFFFF, got {extra}")
    _lib.winsim_set_text_length_overreport(extra)


def fail(operation, code=0x80004005, *, times=1, after=0, null=False, description=None,
         restricted_description=None):
    """Makes the next `times` calls of `operation`, after `after` good ones, fail.

    `code` is an HRESULT or a last-error value (negative HRESULTs are taken
    modulo 2**32). With null=True the calls succeed but deliver no object. The
    descriptions become error information on the calling thread when an
    HRESULT operation fails. Several fail() calls on one operation queue up
    and are used in the order they were made (`after` counts good calls from
    the end of the previous one), so "the first call fails with X, the second
    with Y" is two calls; times=0 removes every queued failure of `operation`.

    Operation names are the Windows names: functions ("D3D11CreateDevice"),
    methods ("CreateTexture2D"), Windows Runtime members under their ABI names
    ("get_Size", "add_FrameArrived"), a method that two classes share
    qualified with the class ("GraphicsCaptureSession.Close",
    "Direct3D11CaptureFramePool.Close"), and interface queries as
    "QueryInterface:<interface>" ("QueryInterface:IDXGIDevice").
    """
    if not isinstance(operation, str):
        raise TypeError(f"operation must be a str, not {type(operation).__name__}")
    if isinstance(code, bool) or not isinstance(code, int):
        raise TypeError(f"code must be an int, not {type(code).__name__}")
    if not -0x80000000 <= code <= _UINT32_MAX:
        raise ValueError(f"code must fit in 32 bits, got {code}")
    description_units, description_count = _optional_text("description", description)
    restricted_units, restricted_count = _optional_text(
        "restricted_description", restricted_description)
    status = _lib.winsim_fail(
        operation.encode("utf-8"), code & _UINT32_MAX, _uint32("times", times),
        _uint32("after", after), bool(null), description_units, description_count,
        restricted_units, restricted_count, restricted_description is not None)
    if status == _UNKNOWN_OPERATION:
        raise ValueError(f"unknown operation {operation!r}")
    if status == _OPERATION_CANNOT_FAIL:
        raise ValueError(f"{operation} cannot fail")
    if status == _NULL_NOT_APPLICABLE:
        raise ValueError(f"{operation} delivers no object: null=True does not apply")
    if status == _DESCRIPTION_NOT_APPLICABLE:
        raise ValueError(f"{operation} does not return an HRESULT: descriptions do not apply")


def calls(operation):
    """How often `operation` was called since reset()."""
    if not isinstance(operation, str):
        raise TypeError(f"operation must be a str, not {type(operation).__name__}")
    count = _lib.winsim_calls(operation.encode("utf-8"))
    if count < 0:
        raise ValueError(f"unknown operation {operation!r}")
    return count


def live_objects():
    """Live simulated COM objects by class name, plus "BSTR" and "HLOCAL".

    Only non-zero entries: an empty dict means nothing is alive. Counted once
    any frame delivery in progress has finished (a delivery holds references
    of its own for its duration).
    """
    result = {}
    for line in _lines(_listing(_lib.winsim_live_objects)):
        name, count = line.rsplit("\t", 1)
        result[name] = int(count)
    return result


def errors():
    """Misuse seen since reset(): double releases, frees of unknown memory, ..."""
    return _lines(_listing(_lib.winsim_errors))


def set_error_info(description, restricted_description=None):
    """Attaches an error object to the calling thread, as a failing COM method does.

    description None means no description text; the object offers
    IRestrictedErrorInfo only when restricted_description is given.
    """
    description_units, description_count = _optional_text("description", description)
    restricted_units, restricted_count = _optional_text(
        "restricted_description", restricted_description)
    _lib.winsim_set_error_info(description_units, description_count, restricted_units,
                               restricted_count, restricted_description is not None)


def set_frame_delivery(automatic):
    """Switches automatic frame delivery on (True) or off (False).

    On: every started capture gets frames on winsim's delivery thread, the
    first right after StartCapture, then at its target's refresh rate
    (windows: 60 Hz). Off: frames arrive only through present(). reset()
    switches it back on.
    """
    if not isinstance(automatic, bool):
        raise TypeError(f"automatic must be a bool, not {type(automatic).__name__}")
    _lib.winsim_set_frame_delivery(automatic)


def present(handle, count=1):
    """Delivers `count` frames to every running capture of a monitor or window.

    Returns after the FrameArrived handlers of those frames have run. A frame
    pool whose buffers are all held (by frames nobody released) gets no new
    frame, as on Windows. Nothing happens when no capture of the target runs.
    """
    handle = _handle_value("handle", handle)
    status = _lib.winsim_present(handle, _uint32("count", count))
    _check_handle(status, "handle", handle)


def set_content(handle, rgba):
    """Sets what a monitor or window shows: a [h, w, 4] uint8 array of R, G, B, A.

    The pixels are copied once, into an immutable snapshot that frames refer
    to; changing the array afterwards changes nothing. A capture shows the
    top-left part of the content within the target's current size and black
    (0, 0, 0, 255) beyond it.

    A target whose content was never set (or since reset()) shows the test
    pattern: the pixel at column x, row y is (x % 256, y % 256, 128, 255).
    """
    import numpy

    handle = _handle_value("handle", handle)
    if not isinstance(rgba, numpy.ndarray):
        raise TypeError(f"rgba must be a numpy.ndarray, not {type(rgba).__name__}")
    if rgba.dtype != numpy.uint8 or rgba.ndim != 3 or rgba.shape[2] != 4:
        raise ValueError(
            f"rgba must be a [h, w, 4] uint8 array, got shape {rgba.shape} of {rgba.dtype}")
    height, width = rgba.shape[0], rgba.shape[1]
    pixels = numpy.ascontiguousarray(rgba)
    status = _lib.winsim_set_content(
        handle, pixels.ctypes.data if pixels.size else None, _uint32("width", width),
        _uint32("height", height))
    _check_handle(status, "handle", handle)


def set_row_pitch_alignment(nbytes):
    """Staging textures get rows of width * 4 bytes rounded up to nbytes.

    nbytes is a power of two; reset() restores 256. Like set_row_pitch(), this
    applies to staging textures created afterwards.
    """
    status = _lib.winsim_set_row_pitch_alignment(_uint32("nbytes", nbytes))
    if status == _INVALID_ARGUMENT:
        raise ValueError(f"nbytes must be a power of two, got {nbytes}")


def set_row_pitch(nbytes):
    """Forces the row pitch of staging textures; None: back to the alignment.

    As on a GPU, a texture's pitch is fixed when it is created: this applies to
    staging textures created afterwards, and Map reports it. The pitch may be
    smaller than a row, to test a caller's guard.
    """
    _lib.winsim_set_row_pitch(0 if nbytes is None else _uint32("nbytes", nbytes))


def _operation_name(operation):
    if not isinstance(operation, str):
        raise TypeError(f"operation must be a str, not {type(operation).__name__}")
    return operation.encode("utf-8")


def pause(operation):
    """Makes later calls of `operation` wait inside the platform until resume().

    A test uses it to hold a call of the code under test at a known point
    (for example a readback inside "Map") while another thread acts. reset()
    resumes every operation.
    """
    if _lib.winsim_pause(_operation_name(operation), 1) == _UNKNOWN_OPERATION:
        raise ValueError(f"unknown operation {operation!r}")


def wait_paused(operation, timeout=5.0):
    """True once a call of the paused `operation` is waiting; False after `timeout` seconds."""
    milliseconds = max(0, min(int(timeout * 1000), _UINT32_MAX))
    return bool(_lib.winsim_wait_paused(_operation_name(operation), milliseconds))


def resume(operation):
    """Lets the waiting and later calls of `operation` run again."""
    if _lib.winsim_pause(_operation_name(operation), 0) == _UNKNOWN_OPERATION:
        raise ValueError(f"unknown operation {operation!r}")


def set_pointer(handle, position):
    """Puts the mouse pointer over a monitor or window at `position`, an (x, y)
    pair in the target's content coordinates; None takes it away from there.

    Captures whose session has cursor capture on (opticatcher's
    Capture.cursor) draw it into the frames delivered afterwards: a square of
    POINTER_SIZE x POINTER_SIZE pixels of POINTER_RGBA, its top-left pixel at
    (x, y), clipped to the target. Each target has its own pointer position;
    reset() takes the pointer away from every target.
    """
    handle = _handle_value("handle", handle)
    if position is None:
        status = _lib.winsim_set_pointer(handle, 0, 0, 0)
    else:
        if not isinstance(position, tuple) or len(position) != 2:
            raise TypeError(f"position must be an (x, y) tuple or None, not {position!r}")
        status = _lib.winsim_set_pointer(
            handle, 1, _int32("x", position[0]), _int32("y", position[1]))
    _check_handle(status, "handle", handle)


def set_session_interfaces(cursor_switch=True, border_switch=True, update_interval_switch=True,
                           secondary_windows_switch=True):
    """Whether capture sessions made from now on offer the interfaces of their
    switches, as the Windows version they stand for would.

    IGraphicsCaptureSession2 carries the pointer switch (Windows 10 version
    2004 and later), IGraphicsCaptureSession3 the border switch (Windows 11),
    IGraphicsCaptureSession5 the minimum update interval and
    IGraphicsCaptureSession6 the pop-up windows switch (both Windows 11
    version 24H2): without one, its query fails with E_NOINTERFACE. reset()
    offers all four.
    """
    switches = (("cursor_switch", cursor_switch), ("border_switch", border_switch),
                ("update_interval_switch", update_interval_switch),
                ("secondary_windows_switch", secondary_windows_switch))
    for name, value in switches:
        if not isinstance(value, bool):
            raise TypeError(f"{name} must be a bool, not {type(value).__name__}")
    _lib.winsim_set_session_interfaces(*(value for _, value in switches))


def capture_sessions(handle):
    """The switches of the open capture sessions of a monitor or window (made,
    neither closed nor released), oldest first: one dict each, like
    {"cursor": True, "border": False, "min_update_interval": 0.0,
    "secondary_windows": False} (cursor: the pointer is drawn into the frames;
    border: Windows draws its border around the target; min_update_interval:
    the shortest time between two frames in seconds, 0.0 for every refresh;
    secondary_windows: the target's pop-up windows are drawn into its
    frames)."""
    handle = _handle_value("handle", handle)
    sessions = []
    for line in _lines(_listing(lambda buffer, size: _lib.winsim_capture_sessions(
            handle, buffer, size))):
        cursor, border, interval, secondary = line.split("\t")
        sessions.append({"cursor": cursor == "1", "border": border == "1",
                         "min_update_interval": int(interval) / 10_000_000,
                         "secondary_windows": secondary == "1"})
    return sessions


_BORDER_ACCESS = {None: 0, "allowed": 1, "denied": 2, "prompt_timeout": 3}


def set_border_access(status):
    """How Windows answers a request for captures without the border
    (GraphicsCaptureAccess.RequestAccessAsync(Borderless)).

    "allowed" and "denied" (DeniedByUser) complete the operation on the
    delivery thread, as the system answers from a thread of its own;
    "prompt_timeout" stands for a prompt nobody answers: the operation never
    completes. None, the state after reset(), means this Windows has no
    GraphicsCaptureAccess class (Windows 10): activating it fails with
    REGDB_E_CLASSNOTREG. Calls are counted as "RequestAccessAsync".
    """
    if not (status is None or isinstance(status, str)) or status not in _BORDER_ACCESS:
        raise ValueError(f"status must be one of {sorted(k for k in _BORDER_ACCESS if k)} "
                         f"or None, got {status!r}")
    _lib.winsim_set_border_access(_BORDER_ACCESS[status])


def remove_device():
    """Removes the Direct3D device of every running capture, as a driver update
    or a GPU reset does.

    From then on its calls fail with DXGI_ERROR_DEVICE_REMOVED (0x887A0005):
    staging textures cannot be made, Map fails, frame pools cannot be made or
    recreated on it, and its captures get no more frames. Devices made later
    are not affected.
    """
    _lib.winsim_remove_device()
