// The Python class Monitor and the monitor functions of the module.
#include "binding/binding.h"
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
    return new_instance<HMONITOR>(type, *monitor);
  });
}

void monitor_dealloc(PyObject* self) {
  guarded_dealloc(self, [&] { destroy_instance<HMONITOR>(self); });
}

// A getter that reports one field of the current display mode.
template <DWORD DisplayMode::*Field>
PyObject* get_display_mode_field(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HMONITOR>(self, [](HMONITOR monitor) -> PyObject* {
      auto mode = monitor_display_mode(monitor);
      if (!mode) return raise_error(std::move(mode.error()));
      return PyLong_FromUnsignedLong((*mode).*Field);
    });
  });
}

PyObject* get_index(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HMONITOR>(self, [](HMONITOR monitor) -> PyObject* {
      auto index = monitor_index(monitor);
      if (!index) return raise_error(std::move(index.error()));
      return PyLong_FromUnsignedLongLong(*index);
    });
  });
}

template <std::expected<std::string, MonitorError> (*Query)(HMONITOR)>
PyObject* get_text(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HMONITOR>(self, [](HMONITOR monitor) -> PyObject* {
      auto text = Query(monitor);
      if (!text) return raise_error(std::move(text.error()));
      return new_str(*text);
    });
  });
}

PyGetSetDef monitor_getset[] = {
    {"width", get_display_mode_field<&DisplayMode::width>, nullptr,
     ":``int``: The pixel width of the monitor.", nullptr},
    {"height", get_display_mode_field<&DisplayMode::height>, nullptr,
     ":``int``: The pixel height of the monitor.", nullptr},
    {"index", get_index, nullptr, ":``int``: The index of the monitor.", nullptr},
    {"refresh_rate", get_display_mode_field<&DisplayMode::refresh_rate>, nullptr,
     ":``int``: The refresh rate of the monitor in Hz.", nullptr},
    {"device_name", get_text<monitor_device_name>, nullptr, ":``str``: The monitor device name.",
     nullptr},
    {"device_string", get_text<monitor_device_string>, nullptr,
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

PyType_Spec monitor_spec = {"opticatcher.Monitor", sizeof(Instance<HMONITOR>), 0,
                            Py_TPFLAGS_DEFAULT, monitor_slots};

PyObject* enumerate_monitors_function(PyObject*, PyObject*) {
  return guarded([]() -> PyObject* {
    auto monitors = enumerate_monitors();
    if (!monitors) return raise_error(std::move(monitors.error()));
    return new_list(*monitors, new_monitor);
  });
}

PyObject* primary_monitor_function(PyObject*, PyObject*) {
  return guarded([]() -> PyObject* {
    auto monitor = primary_monitor();
    if (!monitor) return raise_error(std::move(monitor.error()));
    return new_monitor(*monitor);
  });
}

}  // namespace

PyTypeObject* monitor_type() {
  static PyObject* type = nullptr;
  return type_once(type, monitor_spec);
}

PyObject* new_monitor(HMONITOR monitor) { return new_instance<HMONITOR>(monitor_type(), monitor); }

PyMethodDef primary_monitor_def = {
    "primary_monitor", primary_monitor_function, METH_NOARGS,
    "primary_monitor()\n--\n\nGet the primary monitor.\n\nReturns:\n   The monitor.\n\n"
    "Raises:\n   NotFound: No monitor contains the origin of the virtual screen."};

PyMethodDef enumerate_monitors_def = {
    "enumerate_monitors", enumerate_monitors_function, METH_NOARGS,
    "enumerate_monitors()\n--\n\nEnumerate all monitors connected to the system.\n\n"
    "Returns:\n  The list of all monitors.\n\n"
    "Raises:\n   WindowsError: Enumerating the monitors has failed."};
