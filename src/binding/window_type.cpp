// The Python class Window and the window functions of the module.
#include "binding/binding.h"
#include "platform/windows/window.h"
#include "binding/classes.h"

namespace {

constexpr const char* kNewParameters[] = {"name"};
constexpr ArgumentSpec kNewSpec{"Window.__new__()", kNewParameters, 1};

PyObject* window_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!parse_arguments(kNewSpec, args, kwargs, slots)) return nullptr;
    std::string name;
    if (!convert_argument("name", [&] { return convert_str(slots[0], name); })) return nullptr;
    auto window = find_window(name);
    if (!window) return raise_error(std::move(window.error()));
    return new_instance<HWND>(type, *window);
  });
}

void window_dealloc(PyObject* self) {
  guarded_dealloc(self, [&] { destroy_instance<HWND>(self); });
}

PyObject* get_valid(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HWND>(
        self, [](HWND window) { return PyBool_FromLong(is_capturable_window(window)); });
  });
}

PyObject* get_name(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HWND>(self, [](HWND window) { return new_str(window_name(window)); });
  });
}

PyObject* focus(PyObject* self, PyObject*) {
  return guarded([&] {
    return with_shared_access<HWND>(self, [](HWND window) {
      focus_window(window);
      Py_RETURN_NONE;
    });
  });
}

PyObject* get_focused(PyObject* self, void*) {
  return guarded([&] {
    return with_shared_access<HWND>(
        self, [](HWND window) { return PyBool_FromLong(window_focused(window)); });
  });
}

PyMethodDef window_methods[] = {
    {"focus", focus, METH_NOARGS,
     "focus($self)\n--\n\nBring the window to the foreground and give it the input focus."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef window_getset[] = {
    {"valid", get_valid, nullptr,
     ":``bool``: True if the window is still valid (i.e., open), else False.", nullptr},
    {"name", get_name, nullptr, ":``str``: The name string of the window.", nullptr},
    {"focused", get_focused, nullptr,
     ":``bool``: True if the window currently holds the foreground focus, else False.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kWindowDoc[] =
    "Window(name)\n--\n\n"
    "Window abstraction for the Windows operating system.\n\n"
    "Windows can be used as capture target for the :class:`.Capture` class.\n\n"
    "Args:\n    name: The name of the window.";

PyType_Slot window_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(window_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(window_dealloc)},
    {Py_tp_doc, const_cast<char*>(kWindowDoc)},
    {Py_tp_methods, window_methods},
    {Py_tp_getset, window_getset},
    {0, nullptr},
};

PyType_Spec window_spec = {"opticatcher.Window", sizeof(Instance<HWND>), 0, Py_TPFLAGS_DEFAULT,
                           window_slots};

PyObject* enumerate_windows_function(PyObject*, PyObject*) {
  return guarded([]() -> PyObject* {
    auto windows = enumerate_windows();
    if (!windows) return raise_error(std::move(windows.error()));
    return new_list(*windows, new_window);
  });
}

PyObject* foreground_window_function(PyObject*, PyObject*) {
  return guarded([]() -> PyObject* {
    auto window = foreground_window();
    if (!window) return raise_error(std::move(window.error()));
    return new_window(*window);
  });
}

}  // namespace

PyTypeObject* window_type() {
  static PyObject* type = nullptr;
  return type_once(type, window_spec);
}

PyObject* new_window(HWND window) { return new_instance<HWND>(window_type(), window); }

PyMethodDef enumerate_windows_def = {
    "enumerate_windows", enumerate_windows_function, METH_NOARGS,
    "enumerate_windows()\n--\n\nEnumerate all windows that are currently available.\n\n"
    "Windows owned by the calling process are omitted.\n\n"
    "Returns:\n    A list of all windows.\n\n"
    "Raises:\n   WindowError: Enumerating the windows has failed."};

PyMethodDef foreground_window_def = {
    "foreground_window", foreground_window_function, METH_NOARGS,
    "foreground_window()\n--\n\nGet the currently active window.\n\n"
    "Returns:\n   The active window.\n\n"
    "Raises:\n  NoActiveWindow: No active window was found."};
