// The Python class Monitor and the monitor functions of the module.
#include "binding/binding.h"
#include "expected_ops.h"
#include "platform/windows/monitor.h"
#include "binding/classes.h"

namespace {

constexpr const char* kNewParameters[] = {"id"};
constexpr ArgumentSpec kNewSpec{"Monitor.__new__()", kNewParameters, 0};
constexpr const char* kFromPointParameters[] = {"x", "y"};
constexpr ArgumentSpec kFromPointSpec{"Monitor.from_point()", kFromPointParameters, 2};

PyObject* monitor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!parse_arguments(kNewSpec, args, kwargs, slots)) return nullptr;
    std::optional<std::uint64_t> id;
    if (!convert_argument("id", [&] { return convert_index_u64(slots[0], id); })) return nullptr;
    auto monitor = monitor_from_id(id);
    if (!monitor) return raise_error(std::move(monitor.error()));
    return new_instance<MonitorHandle>(type, *monitor);
  });
}

void monitor_dealloc(PyObject* self) {
  guarded_dealloc(self, [&] { destroy_instance<MonitorHandle>(self); });
}

PyObject* monitor_at_point(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[2];
    if (!parse_arguments(kFromPointSpec, args, nargs, kwnames, slots)) return nullptr;
    std::int64_t x = 0;
    std::int64_t y = 0;
    if (!convert_argument("x", [&] { return convert_index_i64(slots[0], x); }) ||
        !convert_argument("y", [&] { return convert_index_i64(slots[1], y); })) {
      return nullptr;
    }
    auto monitor = monitor_from_point(x, y);
    if (!monitor) return raise_error(std::move(monitor.error()));
    return new_instance<MonitorHandle>(reinterpret_cast<PyTypeObject*>(type), *monitor);
  });
}

PyMethodDef monitor_methods[] = {
    {"from_handle", from_handle<MonitorHandle>, METH_O | METH_CLASS,
     "from_handle($type, handle, /)\n--\n\n"
     "Make a Monitor for a monitor handle (``HMONITOR``), such as one another library gave.\n\n"
     "The handle is not checked: a handle that names no monitor makes the properties fail.\n\n"
     "Args:\n   handle: The handle, an int from 0 to 2**64 - 1.\n\n"
     "Returns:\n   The monitor.\n\n"
     "Raises:\n   TypeError: The handle is not an int.\n"
     "   OverflowError: The int does not fit a handle."},
    {"from_point", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(monitor_at_point)),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_point($type, x, y)\n--\n\n"
     "Get the monitor that holds a point of the virtual screen, or else the nearest one.\n\n"
     "Coordinates are physical pixels, as :attr:`rect` gives them.\n\n"
     "Args:\n   x: The x coordinate (negative left of the primary monitor).\n"
     "   y: The y coordinate (negative above the primary monitor).\n\n"
     "Returns:\n   The monitor.\n\n"
     "Raises:\n   NotFound: The system has no monitor."},
    {nullptr, nullptr, 0, nullptr},
};

// One field of the monitor's current display mode.
template <std::uint32_t DisplayMode::*Field>
std::expected<std::uint32_t, MonitorError> display_mode_field(MonitorHandle monitor) {
  return transform(monitor_display_mode(monitor), Field);
}

PyGetSetDef monitor_getset[] = {
    {"width", property_getter<MonitorHandle, display_mode_field<&DisplayMode::width>>, nullptr,
     ":``int``: The pixel width of the monitor.", nullptr},
    {"height", property_getter<MonitorHandle, display_mode_field<&DisplayMode::height>>, nullptr,
     ":``int``: The pixel height of the monitor.", nullptr},
    {"index", property_getter<MonitorHandle, monitor_index>, nullptr,
     ":``int``: The index of the monitor.", nullptr},
    {"refresh_rate", property_getter<MonitorHandle, display_mode_field<&DisplayMode::refresh_rate>>,
     nullptr, ":``int``: The refresh rate of the monitor in Hz.", nullptr},
    {"device_name", property_getter<MonitorHandle, monitor_device_name>, nullptr,
     ":``str``: The monitor device name.", nullptr},
    {"device_string", property_getter<MonitorHandle, monitor_device_string>, nullptr,
     ":``str``: The device string of the monitor.", nullptr},
    {"rect", property_getter<MonitorHandle, monitor_rect>, nullptr,
     ":``Rect``: The monitor in the virtual screen, ``(left, top, width, height)``.\n\n"
     "In physical pixels whatever the process's DPI awareness (on Windows 10 version 1703\n"
     "and later; before, as the calling thread sees them). Monitors left of or above the\n"
     "primary monitor have negative coordinates.",
     nullptr},
    {"work_area", property_getter<MonitorHandle, monitor_work_area>, nullptr,
     ":``Rect``: The part of the monitor that the task bar and docked tool bars leave free,\n"
     "in the virtual screen, in physical pixels as :attr:`rect`.",
     nullptr},
    {"primary", property_getter<MonitorHandle, monitor_primary>, nullptr,
     ":``bool``: True if this is the primary monitor, else False.", nullptr},
    {"scale", property_getter<MonitorHandle, monitor_scale>, nullptr,
     ":``float``: The display scale the user chose for the monitor: its effective DPI divided\n"
     "by 96, 1.5 at 150 %. On Windows before version 1703 it is 1.0 unless the process is\n"
     "DPI aware.",
     nullptr},
    {"orientation", property_getter<MonitorHandle, monitor_orientation>, nullptr,
     ":``int``: The rotation of the monitor's display in degrees clockwise: 0, 90, 180 or 270.\n\n"
     "Frames of a rotated monitor come as the desktop shows them: 90 and 270 give portrait\n"
     "frames.",
     nullptr},
    {"handle", property_getter<MonitorHandle, monitor_handle_value>, nullptr,
     ":``int``: The monitor's handle (``HMONITOR``), for other Windows tools.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kMonitorDoc[] =
    "Monitor(id=None)\n--\n\n"
    "Monitor class for the Windows operating system.\n\n"
    "Monitor can be used as capture target for the :class:`.Capture` class. It also provides "
    "some\nconvenience methods to get information about the monitor.\n\n"
    "Args:\n   id: The index of the monitor. If None, the primary monitor is used.";

PyType_Slot monitor_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(monitor_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(monitor_dealloc)},
    {Py_tp_doc, const_cast<char*>(kMonitorDoc)},
    {Py_tp_methods, monitor_methods},
    {Py_tp_getset, monitor_getset},
    {0, nullptr},
};

PyType_Spec monitor_spec = {"opticatcher.Monitor", sizeof(Instance<MonitorHandle>), 0,
                            Py_TPFLAGS_DEFAULT, monitor_slots};

}  // namespace

PyTypeObject* monitor_type() {
  static PyObject* type = nullptr;
  return type_once(type, monitor_spec);
}

PyObject* to_python(MonitorHandle monitor) {
  return new_instance<MonitorHandle>(monitor_type(), monitor);
}

PyMethodDef primary_monitor_def = {
    "primary_monitor", module_function<primary_monitor>, METH_NOARGS,
    "primary_monitor()\n--\n\nGet the primary monitor.\n\nReturns:\n   The monitor.\n\n"
    "Raises:\n   NotFound: No monitor contains the origin of the virtual screen."};

PyMethodDef enumerate_monitors_def = {
    "enumerate_monitors", module_function<enumerate_monitors>, METH_NOARGS,
    "enumerate_monitors()\n--\n\nEnumerate all monitors connected to the system.\n\n"
    "Returns:\n  The list of all monitors.\n\n"
    "Raises:\n   WindowsError: Enumerating the monitors has failed."};
