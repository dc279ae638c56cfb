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
    return new_instance<WindowHandle>(type, *window);
  });
}

void window_dealloc(PyObject* self) {
  guarded_dealloc(self, [&] { destroy_instance<WindowHandle>(self); });
}

PyMethodDef window_methods[] = {
    {"focus", shared_method<WindowHandle, focus_window>, METH_NOARGS,
     "focus($self)\n--\n\nBring the window to the foreground and give it the input focus."},
    {"from_handle", from_handle<WindowHandle>, METH_O | METH_CLASS,
     "from_handle($type, handle, /)\n--\n\n"
     "Make a Window for a window handle (``HWND``), such as one another library gave.\n\n"
     "The handle is not checked: :attr:`valid` says whether the window can be captured.\n\n"
     "Args:\n    handle: The handle, an int from 0 to 2**64 - 1.\n\n"
     "Returns:\n    The window.\n\n"
     "Raises:\n    TypeError: The handle is not an int.\n"
     "    OverflowError: The int does not fit a handle."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef window_getset[] = {
    {"valid", property_getter<WindowHandle, is_capturable_window>, nullptr,
     ":``bool``: True if the window is still valid (i.e., open), else False.", nullptr},
    {"name", property_getter<WindowHandle, window_name>, nullptr,
     ":``str``: The name string of the window.", nullptr},
    {"focused", property_getter<WindowHandle, window_focused>, nullptr,
     ":``bool``: True if the window currently holds the foreground focus, else False.", nullptr},
    {"rect", property_getter<WindowHandle, window_rect>, nullptr,
     ":``Rect``: The window's visible bounds in the virtual screen, ``(left, top, width,\n"
     "height)``: what a capture of the window shows.\n\n"
     "In physical pixels whatever the process's DPI awareness (on Windows 10 version 1703\n"
     "and later; before, as the calling thread sees them). A minimized window lies where\n"
     "Windows keeps it, off every monitor.",
     nullptr},
    {"client_rect", property_getter<WindowHandle, window_client_rect>, nullptr,
     ":``Rect``: The window's client area (its content without the frame and title bar), in\n"
     "the virtual screen, in physical pixels as :attr:`rect`.",
     nullptr},
    {"process_id", property_getter<WindowHandle, window_process_id>, nullptr,
     ":``int``: The id of the process that created the window.", nullptr},
    {"class_name", property_getter<WindowHandle, window_class_name>, nullptr,
     ":``str``: The name of the window's class.", nullptr},
    {"minimized", property_getter<WindowHandle, window_minimized>, nullptr,
     ":``bool``: True if the window is minimized, else False.", nullptr},
    {"monitor", property_getter<WindowHandle, window_monitor>, nullptr,
     ":``Monitor``: The monitor that holds the largest part of the window, or the nearest\n"
     "one; for a minimized window, where it is restored to.",
     nullptr},
    {"handle", property_getter<WindowHandle, window_handle_value>, nullptr,
     ":``int``: The window's handle (``HWND``), for other Windows tools.", nullptr},
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

PyType_Spec window_spec = {"opticatcher.Window", sizeof(Instance<WindowHandle>), 0,
                           Py_TPFLAGS_DEFAULT, window_slots};

}  // namespace

PyTypeObject* window_type() {
  static PyObject* type = nullptr;
  return type_once(type, window_spec);
}

PyObject* to_python(WindowHandle window) {
  return new_instance<WindowHandle>(window_type(), window);
}

PyMethodDef enumerate_windows_def = {
    "enumerate_windows", module_function<enumerate_windows>, METH_NOARGS,
    "enumerate_windows()\n--\n\nEnumerate all windows that are currently available.\n\n"
    "Windows owned by the calling process are omitted.\n\n"
    "Returns:\n    A list of all windows.\n\n"
    "Raises:\n   WindowError: Enumerating the windows has failed."};

PyMethodDef foreground_window_def = {
    "foreground_window", module_function<foreground_window>, METH_NOARGS,
    "foreground_window()\n--\n\nGet the currently active window.\n\n"
    "Returns:\n   The active window.\n\n"
    "Raises:\n  NoActiveWindow: No active window was found."};
