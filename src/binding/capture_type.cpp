// The Python class Capture.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "binding/array_destination.h"
#include "binding/binding.h"
#include "binding/classes.h"
#include "binding/frame_array.h"
#include "platform/windows/capture.h"
#include "platform/windows/capture_access.h"

namespace {

constexpr ArgumentSpec kNewSpec{"Capture.__new__()", {}, 0};
constexpr const char* kStartParameters[] = {"capture_target", "await_first_frame"};
constexpr ArgumentSpec kStartSpec{"Capture.start()", kStartParameters, 1};
constexpr const char* kFrameParameters[] = {"out"};
constexpr ArgumentSpec kFrameSpec{"Capture.frame()", kFrameParameters, 0};
constexpr const char* kFrameRegionParameters[] = {"left", "top", "width", "height", "out"};
constexpr ArgumentSpec kFrameRegionSpec{"Capture.frame_region()", kFrameRegionParameters, 4};
constexpr const char* kWaitFrameParameters[] = {"timeout"};
constexpr ArgumentSpec kWaitFrameSpec{"Capture.wait_frame()", kWaitFrameParameters, 0};

// How often a long wait (wait_frame, the border's consent) takes the
// interpreter lock back to let a signal handler run (Ctrl+C raises
// KeyboardInterrupt in the waiting thread).
constexpr auto kSignalCheckInterval = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

enum class SlicedWait { Ended, TimedOut, Interrupted };

// Runs `wait(until)` (true once what it waits for has happened) without the
// interpreter lock, in slices of at most kSignalCheckInterval, until it ends,
// `deadline` (none: no limit) passes, or a signal handler raises. Between
// slices, with the lock held, signal handlers run and `check()` may end the
// wait early (true).
template <class Wait, class Check>
SlicedWait wait_in_slices(std::optional<Clock::time_point> deadline, Wait wait, Check check) {
  while (true) {
    const Clock::time_point slice = Clock::now() + kSignalCheckInterval;
    const Clock::time_point until = deadline ? std::min(*deadline, slice) : slice;
    if (without_gil([&] { return wait(until); })) return SlicedWait::Ended;
    if (deadline && Clock::now() >= *deadline) return SlicedWait::TimedOut;
    if (PyErr_CheckSignals() < 0) return SlicedWait::Interrupted;
    if (check()) return SlicedWait::Ended;
  }
}
// Longer timeouts wait without limit: a deadline that far off would overflow
// the clock's range, and nobody waits that long.
constexpr double kLongestTimeout = 1e9;  // seconds, about 32 years

// Copies the handle of a Monitor or Window under a shared access to it.
template <class Handle, class Variant>
bool copy_target_handle(PyObject* value, std::optional<CaptureTarget>& out) {
  auto* instance = instance_of<Handle>(value);
  SharedAccess access(instance->access);
  if (!access) {
    raise_shared_access_refused();
    return false;
  }
  out = CaptureTarget{Variant{instance->payload}};
  return true;
}

// A Monitor or a Window, tried in that order. The real type decides (subtypes
// included): the instance test would believe an object's own __class__, and a
// proxy or mock claiming to be a Monitor would have its memory read as one.
bool convert_capture_target(PyObject* value, std::optional<CaptureTarget>& out) {
  PyTypeObject* monitor = monitor_type();
  PyTypeObject* window = window_type();
  if (monitor == nullptr || window == nullptr) return false;
  if (PyObject_TypeCheck(value, monitor)) {
    return copy_target_handle<MonitorHandle, CaptureTarget::Monitor>(value, out);
  }
  if (PyObject_TypeCheck(value, window)) {
    return copy_target_handle<WindowHandle, CaptureTarget::Window>(value, out);
  }

  const std::string message =
      "failed to extract enum CaptureTarget ('Monitor | Window')"
      "\n- variant Monitor (Monitor): TypeError: failed to extract field "
      "CaptureTarget::Monitor.0, caused by TypeError: " +
      type_mismatch_text(value, "Monitor") +
      "\n- variant Window (Window): TypeError: failed to extract field "
      "CaptureTarget::Window.0, caused by TypeError: " +
      type_mismatch_text(value, "Window");
  raise_message(PyExc_TypeError, message);
  return false;
}

// The `out` argument, for a frame in `layout`, as an array or none; false
// with the exception set.
bool convert_out_array(PyObject* value, PixelLayout layout, std::optional<OwnedArray>& out) {
  auto converted = extract_out_array(value, layout);
  if (!converted) {
    raise_error(std::move(converted.error()));
    return false;
  }
  out = std::move(*converted);
  return true;
}

// A layout's name: a str, compared without encoding it (so that any str,
// however odd, is simply not a name).
bool convert_pixel_layout(PyObject* value, PixelLayout& out) {
  if (!PyUnicode_Check(value)) {
    raise_type_mismatch(value, "str");
    return false;
  }
  for (PixelLayout layout : PIXEL_LAYOUTS) {
    if (PyUnicode_CompareWithASCIIString(value, pixel_layout_name(layout)) == 0) {
      out = layout;
      return true;
    }
  }
  raise_error(CaptureError::of(CaptureError::Kind::UnknownPixelLayout));
  return false;
}

PyObject* capture_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    if (!parse_arguments(kNewSpec, args, kwargs, {})) return nullptr;
    return new_instance<Capture>(type);
  });
}

void capture_dealloc(PyObject* self) {
  guarded_dealloc(self, [&] { destroy_instance<Capture>(self); });
}

PyObject* start(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[2];
    if (!parse_arguments(kStartSpec, args, nargs, kwnames, slots)) return nullptr;
    return with_exclusive_access<Capture>(self, [&](Capture& capture) -> PyObject* {
      std::optional<CaptureTarget> target;
      if (!convert_argument("capture_target",
                            [&] { return convert_capture_target(slots[0], target); })) {
        return nullptr;
      }
      bool await_first_frame = true;
      if (!convert_argument("await_first_frame", [&] {
            return convert_await_first_frame(slots[1], await_first_frame);
          })) {
        return nullptr;
      }
      auto started = capture.start(*target, await_first_frame);
      if (!started) return raise_error(std::move(started.error()));
      Py_RETURN_NONE;
    });
  });
}

PyObject* frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!parse_arguments(kFrameSpec, args, nargs, kwnames, slots)) return nullptr;
    return with_shared_access<Capture>(self, [&](Capture& capture) -> PyObject* {
      // `out` is checked before the capture is looked at: a bad `out` is
      // reported even when nothing is running.
      std::optional<OwnedArray> out;
      if (!convert_argument(
              "out", [&] { return convert_out_array(slots[0], capture.pixel_layout(), out); })) {
        return nullptr;
      }
      ArrayDestination destination(std::move(out));
      auto read = capture.read_frame(destination);
      if (!read) return raise_error(std::move(read.error()));
      return destination.release();
    });
  });
}

PyObject* frame_region(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[5];
    if (!parse_arguments(kFrameRegionSpec, args, nargs, kwnames, slots)) return nullptr;
    return with_shared_access<Capture>(self, [&](Capture& capture) -> PyObject* {
      // The arguments are converted before the capture is looked at, as
      // frame's `out` is.
      FrameRectangle region;
      std::int64_t* parts[] = {&region.left, &region.top, &region.width, &region.height};
      for (std::size_t i = 0; i < std::size(parts); ++i) {
        if (!convert_argument(kFrameRegionParameters[i],
                              [&] { return convert_index_i64(slots[i], *parts[i]); })) {
          return nullptr;
        }
      }
      std::optional<OwnedArray> out;
      if (!convert_argument(
              "out", [&] { return convert_out_array(slots[4], capture.pixel_layout(), out); })) {
        return nullptr;
      }
      ArrayDestination destination(std::move(out));
      auto read = capture.read_region(region, destination);
      if (!read) return raise_error(std::move(read.error()));
      return destination.release();
    });
  });
}

// The wait runs without the interpreter lock and without the capture's
// access, so that another thread may stop the capture meanwhile (which ends
// the wait). It takes the lock back every kSignalCheckInterval to run signal
// handlers.
PyObject* wait_frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!parse_arguments(kWaitFrameSpec, args, nargs, kwnames, slots)) return nullptr;
    std::optional<double> timeout;
    if (!convert_argument("timeout", [&] { return convert_seconds(slots[0], timeout); })) {
      return nullptr;
    }
    if (timeout && !(std::isfinite(*timeout) && *timeout >= 0)) {
      return raise_error(CaptureError::of(CaptureError::Kind::InvalidTimeout));
    }

    // The wait is made under a shared access, which ends before the wait
    // begins: the wait holds the capture's frame slot, not the capture.
    std::optional<FrameWait> wait;
    PyObject* prepared = with_shared_access<Capture>(self, [&](Capture& capture) -> PyObject* {
      auto made = capture.frame_wait();
      if (!made) return raise_error(std::move(made.error()));
      wait.emplace(std::move(*made));
      Py_RETURN_NONE;
    });
    if (prepared == nullptr) return nullptr;
    Py_DECREF(prepared);

    std::optional<Clock::time_point> deadline;
    if (timeout && *timeout < kLongestTimeout) {
      deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(*timeout));
    }
    // Each signal check also looks at the target's handle: a target found
    // gone ends every wait of the capture.
    FrameWait::Result result = FrameWait::Result::TimedOut;
    const SlicedWait ended = wait_in_slices(
        deadline,
        [&](Clock::time_point until) {
          result = wait->wait_until(until);
          return result != FrameWait::Result::TimedOut;
        },
        [&] {
          if (!wait->target_gone()) return false;
          result = FrameWait::Result::Stopped;
          return true;
        });
    if (ended == SlicedWait::Interrupted) return nullptr;
    if (result == FrameWait::Result::Arrived) Py_RETURN_TRUE;
    Py_RETURN_FALSE;
  });
}

// Switching the border off needs Windows' consent first (capture_access.h):
// the request is made and waited for before the capture is touched, without
// the interpreter lock and without the capture's access, taking signals as
// wait_frame does, for at most BORDER_ACCESS_TIMEOUT. A refusal leaves the
// setting as it was.
int set_border(PyObject* self, PyObject* value, void* closure) {
  return guarded_status([&]() -> int {
    if (value != nullptr) {
      bool on = true;
      if (!convert_bool(value, on)) return -1;
      if (!on) {
        auto request = without_gil([] { return request_borderless_access(); });
        if (!request) return raise_error(std::move(request.error())), -1;
        if (*request) {
          const SlicedWait ended = wait_in_slices(
              Clock::now() + BORDER_ACCESS_TIMEOUT,
              [&](Clock::time_point until) { return (*request)->wait_until(until); },
              [] { return false; });
          if (ended == SlicedWait::Interrupted) return -1;
          if (auto allowed = (*request)->finish(); !allowed) {
            return raise_error(std::move(allowed.error())), -1;
          }
        }
      }
    }
    return exclusive_setter<Capture, bool, convert_bool, &Capture::set_border>(self, value,
                                                                               closure);
  });
}

PyMethodDef capture_methods[] = {
    {"start", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(start)),
     METH_FASTCALL | METH_KEYWORDS,
     "start($self, capture_target, await_first_frame=None)\n--\n\n"
     "Start the capture.\n\n"
     "Frames arrive on a capture worker thread and can be read with :meth:`frame`. The first "
     "frame\nis not available immediately, so :meth:`start` waits for it unless "
     "``await_first_frame`` is\nFalse.\n\n"
     "Args:\n    capture_target: The :class:`.Monitor` or :class:`.Window` to capture.\n"
     "    await_first_frame: Waits for the first frame to arrive if True."},
    {"stop", exclusive_method<Capture, &Capture::stop>, METH_NOARGS,
     "stop($self)\n--\n\n"
     "Stop the capture and release the frame pool, the capture session and the last frame."},
    {"frame", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(frame)),
     METH_FASTCALL | METH_KEYWORDS,
     "frame($self, out=None)\n--\n\n"
     "Read the latest frame back from the GPU and return it.\n\n"
     "Args:\n    out: An optional [h w 4] uint8 array to write into.\n\n"
     "Returns:\n    The frame as a 3D NumPy array with dimensions [h w 4]."},
    {"frame_region", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(frame_region)),
     METH_FASTCALL | METH_KEYWORDS,
     "frame_region($self, left, top, width, height, out=None)\n--\n\n"
     "Read a rectangle of the latest frame back from the GPU and return it.\n\n"
     "Only the rectangle is copied from the GPU, so reading a small part of a large frame is\n"
     "cheap. The rectangle must lie inside the frame; 0, 0 is the frame's top-left pixel.\n\n"
     "Args:\n    left: The column of the rectangle's left edge.\n"
     "    top: The row of the rectangle's top edge.\n"
     "    width: The width of the rectangle in pixels.\n"
     "    height: The height of the rectangle in pixels.\n"
     "    out: An optional [height width 4] uint8 array to write into.\n\n"
     "Returns:\n    The rectangle as a 3D NumPy array with dimensions [height width 4]."},
    {"wait_frame", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(wait_frame)),
     METH_FASTCALL | METH_KEYWORDS,
     "wait_frame($self, timeout=None)\n--\n\n"
     "Wait for a frame newer than the last one read.\n\n"
     "Waits until a frame arrives that is newer than the one the last :meth:`frame` or\n"
     ":meth:`frame_region` returned (before the first read, newer than the first frame). Other\n"
     "Python threads run meanwhile, and another thread may stop the capture, which ends the "
     "wait.\n\n"
     "Args:\n    timeout: The longest wait in seconds. If None, waits as long as it takes.\n\n"
     "Returns:\n    True if a new frame arrived, False if the timeout passed or the capture "
     "stopped first."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef capture_getset[] = {
    {"active", property_getter<Capture, &Capture::active>, nullptr,
     ":``bool``: True if a capture is running.", nullptr},
    {"cursor", property_getter<Capture, &Capture::cursor>,
     exclusive_setter<Capture, bool, convert_bool, &Capture::set_cursor>,
     ":``bool``: True if the mouse pointer is drawn into the frames (the default).\n\n"
     "A change applies to the running capture at once and to later starts. False needs Windows "
     "10\nversion 2004 or later.",
     nullptr},
    {"border", property_getter<Capture, &Capture::border>, set_border,
     ":``bool``: True if Windows draws a border around the captured target (the default).\n\n"
     "A change applies to the running capture at once and to later starts. False needs Windows "
     "11\n(or Windows Server 2022) or later. Where Windows asks for consent to captures without "
     "the\nborder, setting False asks for it first (once per process, waiting up to 5 seconds "
     "for the\nanswer) and raises RuntimeError when it is not given.",
     nullptr},
    {"target_closed", property_getter<Capture, &Capture::target_closed>, nullptr,
     ":``bool``: True once the captured window has closed or the captured monitor has gone.\n\n"
     "The capture stays active and :meth:`frame` keeps returning the last frame until "
     ":meth:`stop`;\n:meth:`wait_frame` returns False. False when no capture is running.",
     nullptr},
    {"secondary_windows", property_getter<Capture, &Capture::secondary_windows>,
     exclusive_setter<Capture, bool, convert_bool, &Capture::set_secondary_windows>,
     ":``bool``: True if the target's pop-up windows (menus, tool windows) are drawn into its\n"
     "frames. False by default.\n\n"
     "A change applies to the running capture at once and to later starts. True needs Windows "
     "11\nversion 24H2 or later.",
     nullptr},
    {"min_update_interval", property_getter<Capture, &Capture::min_update_interval>,
     exclusive_setter<Capture, std::optional<double>, convert_seconds,
                      &Capture::set_min_update_interval>,
     ":``float | None``: The shortest time in seconds between two frames, or None (the "
     "default)\nto leave the system's pacing alone.\n\n"
     "Windows 11 version 24H2 paces captures to about 60 frames per second unless this is set: "
     "a\nsmall value such as 0.001 lets every refresh of a faster monitor through, a larger one "
     "caps\nthe rate. A change applies to the running capture at once and to later starts; None "
     "makes\nno call, so a running capture keeps its interval until the next start. A value "
     "needs\nWindows 11 version 24H2 or later and lies between 0 and 3600.",
     nullptr},
    {"frame_number", property_getter<Capture, &Capture::frame_number>, nullptr,
     ":``int``: The number of the frame that the last :meth:`frame` or\n"
     ":meth:`frame_region` returned.\n\n"
     "Frames are numbered 1, 2, 3, ... in the order they arrive, anew from each :meth:`start`; "
     "0\nbefore the first read. Two reads with the same number returned the same frame, and a "
     "gap\nmeans frames were missed. Where several threads read one capture, it is that of the "
     "latest\nread.",
     nullptr},
    {"frame_time", property_getter<Capture, &Capture::frame_time>, nullptr,
     ":``float | None``: When the system composed the frame that the last :meth:`frame` or\n"
     ":meth:`frame_region` returned, in seconds.\n\n"
     "This is the frame's SystemRelativeTime, directly comparable with :func:`time.perf_counter`"
     "\non Windows (Python 3.10 and newer: 3.9's counts from its first call in the process), so\n"
     "``time.perf_counter() - capture.frame_time`` is the frame's age. None before the first "
     "read.\nWhere several threads read one capture, it is that of the latest read.",
     nullptr},
    {"pixel_layout", property_getter<Capture, &Capture::pixel_layout>,
     exclusive_setter<Capture, PixelLayout, convert_pixel_layout, &Capture::set_pixel_layout>,
     ":``str``: The pixel layout of the frames of :meth:`frame` and :meth:`frame_region`.\n"
     "\n"
     "\"RGBA\" (the default) and \"BGRA\" give [h w 4] arrays, \"RGB\" and \"BGR\" [h w 3] (no "
     "alpha),\n"
     "\"GRAY\" [h w] (luma: (4899 R + 9617 G + 1868 B + 8192) >> 14). The pixels are converted in\n"
     "the one copy out of the GPU; ``out`` must have the layout's shape. A change applies to "
     "every\n"
     "later read.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kCaptureDoc[] =
    "Capture()\n--\n\n"
    "Capture frames from a window or a monitor.\n\n"
    "The idea is to get either a :class:`.Monitor` or a :class:`.Window` as target, create a "
    "Capture\nobject, and then start a capture that tracks the latest frame. Frames are only "
    "read back from\nthe GPU and converted to NumPy arrays when the user asks for them, to "
    "avoid unnecessary copies.";

PyType_Slot capture_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(capture_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(capture_dealloc)},
    {Py_tp_doc, const_cast<char*>(kCaptureDoc)},
    {Py_tp_methods, capture_methods},
    {Py_tp_getset, capture_getset},
    {0, nullptr},
};

PyType_Spec capture_spec = {"opticatcher.Capture", sizeof(Instance<Capture>), 0, Py_TPFLAGS_DEFAULT,
                            capture_slots};

}  // namespace

PyTypeObject* capture_type() {
  static PyObject* type = nullptr;
  return type_once(type, capture_spec);
}
