# Types of the compiled module opticatcher. The docstrings repeat the module's
# own, so that editors show them; tools/ci/stubs.sh checks that they match.
"""Exports the opticatcher screen-capture library to Python.

The Python-facing types come from the platform selected at compile time"""

from typing import Literal, NamedTuple, SupportsIndex, TypeVar, final, overload

import numpy as np
import numpy.typing as npt

__all__ = [
    "enumerate_windows",
    "foreground_window",
    "Window",
    "primary_monitor",
    "enumerate_monitors",
    "Monitor",
    "Capture",
    "__version__",
]

__version__: str

# A caller's `out` array comes back as the very same object, with its own type.
_FrameArray = TypeVar("_FrameArray", bound=npt.NDArray[np.uint8])
# The names Capture.pixel_layout takes; the frame's shape follows from it
# ([h, w, 4], [h, w, 3] or [h, w]), which the array type does not carry.
_PixelLayout = Literal["RGBA", "BGRA", "RGB", "BGR", "GRAY"]

# opticatcher.Rect, the type of the geometry properties (not a module attribute):
# a rectangle of the virtual screen in physical pixels, still a tuple.
class _Rect(NamedTuple):
    left: int
    top: int
    width: int
    height: int

def enumerate_windows() -> list[Window]:
    """Enumerate all windows that are currently available.

    Windows owned by the calling process are omitted.

    Returns:
        A list of all windows.

    Raises:
       WindowError: Enumerating the windows has failed.
    """

def foreground_window() -> Window:
    """Get the currently active window.

    Returns:
       The active window.

    Raises:
      NoActiveWindow: No active window was found.
    """

@final
class Window:
    """Window abstraction for the Windows operating system.

    Windows can be used as capture target for the :class:`.Capture` class.

    Args:
        name: The name of the window.
    """

    def __new__(cls, name: str) -> Window: ...
    def focus(self) -> None:
        """Bring the window to the foreground and give it the input focus."""

    @property
    def valid(self) -> bool:
        """:``bool``: True if the window is still valid (i.e., open), else False."""

    @property
    def name(self) -> str:
        """:``str``: The name string of the window."""

    @property
    def focused(self) -> bool:
        """:``bool``: True if the window currently holds the foreground focus, else False."""

    @classmethod
    def from_handle(cls, handle: SupportsIndex, /) -> Window:
        """Make a Window for a window handle (``HWND``), such as one another library gave.

        The handle is not checked: :attr:`valid` says whether the window can be captured.

        Args:
            handle: The handle, an int from 0 to 2**64 - 1.

        Returns:
            The window.

        Raises:
            TypeError: The handle is not an int.
            OverflowError: The int does not fit a handle.
        """

    @property
    def rect(self) -> _Rect:
        """:``Rect``: The window's visible bounds in the virtual screen, ``(left, top, width,
        height)``: what a capture of the window shows.

        In physical pixels whatever the process's DPI awareness (on Windows 10 version 1703
        and later; before, as the calling thread sees them). A minimized window lies where
        Windows keeps it, off every monitor."""

    @property
    def client_rect(self) -> _Rect:
        """:``Rect``: The window's client area (its content without the frame and title bar), in
        the virtual screen, in physical pixels as :attr:`rect`."""

    @property
    def process_id(self) -> int:
        """:``int``: The id of the process that created the window."""

    @property
    def class_name(self) -> str:
        """:``str``: The name of the window's class."""

    @property
    def minimized(self) -> bool:
        """:``bool``: True if the window is minimized, else False."""

    @property
    def monitor(self) -> Monitor:
        """:``Monitor``: The monitor that holds the largest part of the window, or the nearest
        one; for a minimized window, where it is restored to."""

    @property
    def handle(self) -> int:
        """:``int``: The window's handle (``HWND``), for other Windows tools."""

def primary_monitor() -> Monitor:
    """Get the primary monitor.

    Returns:
       The monitor.

    Raises:
       NotFound: No monitor contains the origin of the virtual screen.
    """

def enumerate_monitors() -> list[Monitor]:
    """Enumerate all monitors connected to the system.

    Returns:
      The list of all monitors.

    Raises:
       WindowsError: Enumerating the monitors has failed.
    """

@final
class Monitor:
    """Monitor class for the Windows operating system.

    Monitor can be used as capture target for the :class:`.Capture` class. It also provides some
    convenience methods to get information about the monitor.

    Args:
       id: The index of the monitor. If None, the primary monitor is used.
    """

    def __new__(cls, id: SupportsIndex | None = None) -> Monitor: ...
    @property
    def width(self) -> int:
        """:``int``: The pixel width of the monitor."""

    @property
    def height(self) -> int:
        """:``int``: The pixel height of the monitor."""

    @property
    def index(self) -> int:
        """:``int``: The index of the monitor."""

    @property
    def refresh_rate(self) -> int:
        """:``int``: The refresh rate of the monitor in Hz."""

    @property
    def device_name(self) -> str:
        """:``str``: The monitor device name."""

    @property
    def device_string(self) -> str:
        """:``str``: The device string of the monitor."""

    @classmethod
    def from_handle(cls, handle: SupportsIndex, /) -> Monitor:
        """Make a Monitor for a monitor handle (``HMONITOR``), such as one another library gave.

        The handle is not checked: a handle that names no monitor makes the properties fail.

        Args:
           handle: The handle, an int from 0 to 2**64 - 1.

        Returns:
           The monitor.

        Raises:
           TypeError: The handle is not an int.
           OverflowError: The int does not fit a handle.
        """

    @classmethod
    def from_point(cls, x: SupportsIndex, y: SupportsIndex) -> Monitor:
        """Get the monitor that holds a point of the virtual screen, or else the nearest one.

        Coordinates are physical pixels, as :attr:`rect` gives them.

        Args:
           x: The x coordinate (negative left of the primary monitor).
           y: The y coordinate (negative above the primary monitor).

        Returns:
           The monitor.

        Raises:
           NotFound: The system has no monitor.
        """

    @property
    def rect(self) -> _Rect:
        """:``Rect``: The monitor in the virtual screen, ``(left, top, width, height)``.

        In physical pixels whatever the process's DPI awareness (on Windows 10 version 1703
        and later; before, as the calling thread sees them). Monitors left of or above the
        primary monitor have negative coordinates."""

    @property
    def work_area(self) -> _Rect:
        """:``Rect``: The part of the monitor that the task bar and docked tool bars leave free,
        in the virtual screen, in physical pixels as :attr:`rect`."""

    @property
    def primary(self) -> bool:
        """:``bool``: True if this is the primary monitor, else False."""

    @property
    def scale(self) -> float:
        """:``float``: The display scale the user chose for the monitor: its effective DPI divided
        by 96, 1.5 at 150 %. On Windows before version 1703 it is 1.0 unless the process is
        DPI aware."""

    @property
    def orientation(self) -> int:
        """:``int``: The rotation of the monitor's display in degrees clockwise: 0, 90, 180 or 270.

        Frames of a rotated monitor come as the desktop shows them: 90 and 270 give portrait
        frames."""

    @property
    def handle(self) -> int:
        """:``int``: The monitor's handle (``HMONITOR``), for other Windows tools."""

@final
class Capture:
    """Capture frames from a window or a monitor.

    The idea is to get either a :class:`.Monitor` or a :class:`.Window` as target, create a Capture
    object, and then start a capture that tracks the latest frame. Frames are only read back from
    the GPU and converted to NumPy arrays when the user asks for them, to avoid unnecessary copies.
    """

    def __new__(cls) -> Capture: ...
    def start(
        self,
        capture_target: Monitor | Window,
        await_first_frame: bool | np.bool_ | None = None,
    ) -> None:
        """Start the capture.

        Frames arrive on a capture worker thread and can be read with :meth:`frame`. The first frame
        is not available immediately, so :meth:`start` waits for it unless ``await_first_frame`` is
        False.

        Args:
            capture_target: The :class:`.Monitor` or :class:`.Window` to capture.
            await_first_frame: Waits for the first frame to arrive if True.
        """

    @property
    def active(self) -> bool:
        """:``bool``: True if a capture is running."""

    def stop(self) -> None:
        """Stop the capture and release the frame pool, the capture session and the last frame."""

    @overload
    def frame(self, out: None = None) -> npt.NDArray[np.uint8]:
        """Read the latest frame back from the GPU and return it.

        Args:
            out: An optional [h w 4] uint8 array to write into.

        Returns:
            The frame as a 3D NumPy array with dimensions [h w 4].
        """

    @overload
    def frame(self, out: _FrameArray) -> _FrameArray: ...
    @overload
    def frame_region(
        self,
        left: SupportsIndex,
        top: SupportsIndex,
        width: SupportsIndex,
        height: SupportsIndex,
        out: None = None,
    ) -> npt.NDArray[np.uint8]:
        """Read a rectangle of the latest frame back from the GPU and return it.

        Only the rectangle is copied from the GPU, so reading a small part of a large frame is
        cheap. The rectangle must lie inside the frame; 0, 0 is the frame's top-left pixel.

        Args:
            left: The column of the rectangle's left edge.
            top: The row of the rectangle's top edge.
            width: The width of the rectangle in pixels.
            height: The height of the rectangle in pixels.
            out: An optional [height width 4] uint8 array to write into.

        Returns:
            The rectangle as a 3D NumPy array with dimensions [height width 4].
        """

    @overload
    def frame_region(
        self,
        left: SupportsIndex,
        top: SupportsIndex,
        width: SupportsIndex,
        height: SupportsIndex,
        out: _FrameArray,
    ) -> _FrameArray: ...
    def wait_frame(self, timeout: float | None = None) -> bool:
        """Wait for a frame newer than the last one read.

        Waits until a frame arrives that is newer than the one the last :meth:`frame` or
        :meth:`frame_region` returned (before the first read, newer than the first frame). Other
        Python threads run meanwhile, and another thread may stop the capture, which ends the wait.

        Args:
            timeout: The longest wait in seconds. If None, waits as long as it takes.

        Returns:
            True if a new frame arrived, False if the timeout passed or the capture stopped first.
        """

    @property
    def cursor(self) -> bool:
        """:``bool``: True if the mouse pointer is drawn into the frames (the default).

        A change applies to the running capture at once and to later starts. False needs Windows 10
        version 2004 or later.
        """

    @cursor.setter
    def cursor(self, value: bool | np.bool_) -> None: ...
    @property
    def border(self) -> bool:
        """:``bool``: True if Windows draws a border around the captured target (the default).

        A change applies to the running capture at once and to later starts. False needs Windows 11
        (or Windows Server 2022) or later. Where Windows asks for consent to captures without the
        border, setting False asks for it first (once per process, waiting up to 5 seconds for the
        answer) and raises RuntimeError when it is not given.
        """

    @border.setter
    def border(self, value: bool | np.bool_) -> None: ...
    @property
    def target_closed(self) -> bool:
        """:``bool``: True once the captured window has closed or the captured monitor has gone.

        The capture stays active and :meth:`frame` keeps returning the last frame until :meth:`stop`;
        :meth:`wait_frame` returns False. False when no capture is running.
        """

    @property
    def secondary_windows(self) -> bool:
        """:``bool``: True if the target's pop-up windows (menus, tool windows) are drawn into its
        frames. False by default.

        A change applies to the running capture at once and to later starts. True needs Windows 11
        version 24H2 or later.
        """

    @secondary_windows.setter
    def secondary_windows(self, value: bool | np.bool_) -> None: ...
    @property
    def min_update_interval(self) -> float | None:
        """:``float | None``: The shortest time in seconds between two frames, or None (the default)
        to leave the system's pacing alone.

        Windows 11 version 24H2 paces captures to about 60 frames per second unless this is set: a
        small value such as 0.001 lets every refresh of a faster monitor through, a larger one caps
        the rate. A change applies to the running capture at once and to later starts; None makes
        no call, so a running capture keeps its interval until the next start. A value needs
        Windows 11 version 24H2 or later and lies between 0 and 3600.
        """

    @min_update_interval.setter
    def min_update_interval(self, value: float | None) -> None: ...
    @property
    def frame_number(self) -> int:
        """:``int``: The number of the frame that the last :meth:`frame` or
        :meth:`frame_region` returned.

        Frames are numbered 1, 2, 3, ... in the order they arrive, anew from each :meth:`start`; 0
        before the first read. Two reads with the same number returned the same frame, and a gap
        means frames were missed. Where several threads read one capture, it is that of the latest
        read.
        """

    @property
    def frame_time(self) -> float | None:
        """:``float | None``: When the system composed the frame that the last :meth:`frame` or
        :meth:`frame_region` returned, in seconds.

        This is the frame's SystemRelativeTime, directly comparable with :func:`time.perf_counter`
        on Windows (Python 3.10 and newer: 3.9's counts from its first call in the process), so
        ``time.perf_counter() - capture.frame_time`` is the frame's age. None before the first read.
        Where several threads read one capture, it is that of the latest read.
        """

    @property
    def pixel_layout(self) -> _PixelLayout:
        """:``str``: The pixel layout of the frames of :meth:`frame` and :meth:`frame_region`.

        "RGBA" (the default) and "BGRA" give [h w 4] arrays, "RGB" and "BGR" [h w 3] (no alpha),
        "GRAY" [h w] (luma: (4899 R + 9617 G + 1868 B + 8192) >> 14). The pixels are converted in
        the one copy out of the GPU; ``out`` must have the layout's shape. A change applies to every
        later read.
        """

    @pixel_layout.setter
    def pixel_layout(self, value: _PixelLayout) -> None: ...
