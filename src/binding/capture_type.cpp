// The Python class Capture.
#include "array/frame_array.h"
#include "binding/binding.h"
#include "binding/classes.h"
#include "platform/windows/capture.h"

namespace {

constexpr ArgumentSpec kNewSpec{"Capture.__new__()", {}, 0};
constexpr const char* kStartParameters[] = {"capture_target", "await_first_frame"};
constexpr ArgumentSpec kStartSpec{"Capture.start()", kStartParameters, 1};
constexpr const char* kFrameParameters[] = {"out"};
constexpr ArgumentSpec kFrameSpec{"Capture.frame()", kFrameParameters, 0};

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

// The `out` argument as an array or none; false with the exception set.
bool convert_out_array(PyObject* value, std::optional<OwnedArray>& out) {
  auto converted = extract_out_array(value);
  if (!converted) {
    raise_error(std::move(converted.error()));
    return false;
  }
  out = std::move(*converted);
  return true;
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

// The frame goes into `out` or a new array, and the copy runs without the
// interpreter lock: other Python threads run meanwhile.
class ArrayDestination final : public FrameDestination {
 public:
  explicit ArrayDestination(std::optional<OwnedArray> out) : out_(std::move(out)) {}

  std::expected<std::span<std::byte>, CaptureError> prepare(std::uint32_t height,
                                                            std::uint32_t width) override {
    auto array = prepare_frame_array(std::move(out_), height, width);
    if (!array) return std::unexpected(std::move(array.error()));
    array_ = std::move(*array);
    return writable_array_bytes(*array_);
  }

  std::expected<void, CaptureError> run_copy(Copy copy) override { return without_gil(copy); }

  // The array the frame was written into.
  PyObject* release() { return array_->release(); }

 private:
  std::optional<OwnedArray> out_;
  std::optional<OwnedArray> array_;
};

PyObject* frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!parse_arguments(kFrameSpec, args, nargs, kwnames, slots)) return nullptr;
    return with_shared_access<Capture>(self, [&](Capture& capture) -> PyObject* {
      // `out` is checked before the capture is looked at: a bad `out` is
      // reported even when nothing is running.
      std::optional<OwnedArray> out;
      if (!convert_argument("out", [&] { return convert_out_array(slots[0], out); })) {
        return nullptr;
      }
      ArrayDestination destination(std::move(out));
      auto read = capture.read_frame(destination);
      if (!read) return raise_error(std::move(read.error()));
      return destination.release();
    });
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
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef capture_getset[] = {
    {"active", property_getter<Capture, &Capture::active>, nullptr,
     ":``bool``: True if a capture is running.", nullptr},
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
