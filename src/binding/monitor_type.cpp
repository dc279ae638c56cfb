// The Python class Monitor and the monitor functions of the module.
#include "binding/binding.h"
#include "expected_ops.h"
#include "platform/windows/monitor.h"
#include "binding/classes.h"

namespace {

constexpr const char* kNewParameters[] = {"id"};
constexpr ArgumentSpec kNewSpec{"Monitor.__new__()", kNewParameters, 0};

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
