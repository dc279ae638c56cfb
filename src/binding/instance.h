// Instances: every Python object of the module is a payload behind an access
// counter. This file builds and destroys them and hands their payload to an
// operation under a shared or an exclusive access.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "binding/access_counter.h"
#include "internal_fault.h"
#include "binding/interpreter_exit.h"

template <class Payload>
struct Instance {
  PyObject ob_base;
  AccessCounter access;
  Payload payload;
};

// The Python class whose instances hold a Payload: a specialisation with
// `static PyTypeObject* type()` sits next to each class (classes.h).
template <class Payload>
struct PythonClass;

// The instance behind `object`, after checking its real type: the memory of an
// object of any other type must never be read as a payload, so a mix-up is an
// internal fault.
template <class Payload>
Instance<Payload>* instance_of(PyObject* object) {
  PyTypeObject* type = PythonClass<Payload>::type();
  if (type == nullptr) {
    PyErr_Clear();
    internal_fault("the class of an existing instance is missing");
  }
  if (object == nullptr || !PyObject_TypeCheck(object, type)) {
    internal_fault("an object of another type reached an instance operation");
  }
  return reinterpret_cast<Instance<Payload>*>(object);
}

// The type made from `spec` on first use and reused afterwards; nullptr with
// the interpreter's exception set when the interpreter refuses the type's PyType_Spec.
inline PyTypeObject* type_once(PyObject*& cache, PyType_Spec& spec) {
  if (cache == nullptr) cache = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(cache);
}

namespace instance_detail {

// Gives back the memory of an object whose payload is gone (or was never
// built), and the reference to its heap type that the allocation took.
inline void free_instance_memory(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  auto free_object = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_object(object);
  Py_DECREF(type);
}

}  // namespace instance_detail

// A new instance of `type` around a payload built from `args`. A null `type`
// (its creation failed) passes the failure on. When the payload's constructor
// throws, the memory is given back before the fault travels on.
template <class Payload, class... Args>
PyObject* new_instance(PyTypeObject* type, Args&&... args) {
  if (type == nullptr) return nullptr;
  PyTypeObject* expected = PythonClass<Payload>::type();
  if (expected == nullptr) return nullptr;
  if (!PyType_IsSubtype(type, expected)) internal_fault("an instance of the wrong class");
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object == nullptr) return nullptr;
  auto* instance = reinterpret_cast<Instance<Payload>*>(object);
  new (&instance->access) AccessCounter();
  try {
    new (&instance->payload) Payload(std::forward<Args>(args)...);
  } catch (...) {
    instance->access.~AccessCounter();
    if (interpreter_usable_here()) instance_detail::free_instance_memory(object);
    throw;
  }
  return object;
}

// For tp_dealloc: the interpreter calls it only with an instance of the class.
template <class Payload>
void destroy_instance(PyObject* object) {
  auto* instance = instance_of<Payload>(object);
  instance->payload.~Payload();
  instance->access.~AccessCounter();
  instance_detail::free_instance_memory(object);
}

inline PyObject* raise_shared_access_refused() {
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
  return nullptr;
}

inline PyObject* raise_exclusive_access_refused() {
  PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
  return nullptr;
}

// Runs `operation(payload)` under a shared access; a refusal raises.
template <class Payload, class Operation>
PyObject* with_shared_access(PyObject* self, Operation&& operation) {
  auto* instance = instance_of<Payload>(self);
  SharedAccess access(instance->access);
  if (!access) return raise_shared_access_refused();
  return operation(instance->payload);
}

// Runs `operation(payload)` under the exclusive access; a refusal raises.
template <class Payload, class Operation>
PyObject* with_exclusive_access(PyObject* self, Operation&& operation) {
  auto* instance = instance_of<Payload>(self);
  ExclusiveAccess access(instance->access);
  if (!access) return raise_exclusive_access_refused();
  return operation(instance->payload);
}
