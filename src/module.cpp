// The module's entry point, its definition and its execution step.
#include "binding/binding.h"
#include "binding/interpreter_exit.h"
#include "binding/classes.h"

namespace {

// Appends `name` to __all__ (created when missing) and sets the attribute.
bool add_item(PyObject* module, PyObject* name, PyObject* value) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr) return false;
    if (PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_DECREF(all);
      return false;
    }
  }
  const bool appended = PyList_Check(all) && PyList_Append(all, name) == 0;
  Py_DECREF(all);
  if (!appended) {
    PyErr_Clear();
    internal_fault("could not append __name__ to __all__");
  }
  return PyObject_SetAttr(module, name, value) == 0;
}

bool add_function(PyObject* module, PyMethodDef* definition) {
  PyObject* module_name = PyModule_GetNameObject(module);
  if (module_name == nullptr) return false;
  PyObject* function = PyCMethod_New(definition, module, module_name, nullptr);
  Py_DECREF(module_name);
  if (function == nullptr) return false;
  PyObject* name = PyObject_GetAttrString(function, "__name__");
  bool added = false;
  if (name != nullptr) {
    if (PyUnicode_Check(name)) {
      added = add_item(module, name, function);
    } else {
      raise_type_mismatch(name, "str");
    }
  }
  Py_XDECREF(name);
  Py_DECREF(function);
  return added;
}

bool add_class(PyObject* module, PyTypeObject* type) {
  if (type == nullptr) return false;
  PyObject* name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__");
  if (name == nullptr) return false;
  const bool added = add_item(module, name, reinterpret_cast<PyObject*>(type));
  Py_DECREF(name);
  return added;
}

bool add_version(PyObject* module) {
  PyObject* name = PyUnicode_FromString("__version__");
  PyObject* version = PyUnicode_FromString("0.2.1");
  const bool added = name != nullptr && version != nullptr && add_item(module, name, version);
  Py_XDECREF(name);
  Py_XDECREF(version);
  return added;
}

int exec_module(PyObject* module) {
  return guarded_status([&] {
    if (!PyModule_Check(module)) {
      raise_type_mismatch(module, "module");
      return -1;
    }
    const bool added =
        add_function(module, &enumerate_windows_def) &&
        add_function(module, &foreground_window_def) && add_class(module, window_type()) &&
        add_function(module, &primary_monitor_def) &&
        add_function(module, &enumerate_monitors_def) && add_class(module, monitor_type()) &&
        add_class(module, capture_type()) && add_version(module) && watch_interpreter_exit();
    return added ? 0 : -1;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "opticatcher",
    "Exports the opticatcher screen-capture library to Python.\n\n"
    "The Python-facing types come from the platform selected at compile time",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_opticatcher(void) { return PyModuleDef_Init(&module_def); }
