// The binding's building blocks that Python code cannot reach on purpose:
// instance checks, instance creation when a payload throws, the released
// interpreter lock, and dropping a carried exception without the lock. Runs
// inside an embedded interpreter.
#include <Python.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "binding/gil.h"
#include "binding/instance.h"
#include "binding/results.h"

namespace {

struct Payload {
  explicit Payload(bool fail) {
    if (fail) throw std::runtime_error("payload refused");
  }
};

struct OtherPayload {
  int value = 0;
};

int allocations = 0;
int frees = 0;

PyObject* counting_alloc(PyTypeObject* type, Py_ssize_t items) {
  ++allocations;
  return PyType_GenericAlloc(type, items);
}

void counting_free(void* object) {
  ++frees;
  PyObject_Free(object);
}

// Whether the interpreter lock was held, for each instance destroyed.
std::vector<bool> lock_held_at_dealloc;

template <class P>
void dealloc(PyObject* self) {
  lock_held_at_dealloc.push_back(PyGILState_Check() != 0);
  destroy_instance<P>(self);
}

template <class P>
PyTypeObject* probe_type(const char* name) {
  static PyType_Slot slots[] = {
      {Py_tp_alloc, reinterpret_cast<void*>(counting_alloc)},
      {Py_tp_free, reinterpret_cast<void*>(counting_free)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<P>)},
      {0, nullptr},
  };
  static PyType_Spec spec = {name, sizeof(Instance<P>), 0, Py_TPFLAGS_DEFAULT, slots};
  static PyObject* type = nullptr;
  return type_once(type, spec);
}

}  // namespace

template <>
struct PythonClass<Payload> {
  static PyTypeObject* type() { return probe_type<Payload>("probe.Payload"); }
};
template <>
struct PythonClass<OtherPayload> {
  static PyTypeObject* type() { return probe_type<OtherPayload>("probe.Other"); }
};

namespace {

class Interpreter : public ::testing::Environment {
 public:
  void SetUp() override { Py_Initialize(); }
  void TearDown() override { Py_FinalizeEx(); }
};

const auto* const interpreter = ::testing::AddGlobalTestEnvironment(new Interpreter);

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    allocations = frees = 0;
    lock_held_at_dealloc.clear();
    ASSERT_NE(PythonClass<Payload>::type(), nullptr);
    ASSERT_NE(PythonClass<OtherPayload>::type(), nullptr);
  }
  void TearDown() override { EXPECT_FALSE(PyErr_Occurred()); }
};

TEST_F(Binding, ThrowingPayloadLeavesNoInstanceBehind) {
  PyTypeObject* type = PythonClass<Payload>::type();
  const Py_ssize_t type_references = Py_REFCNT(type);
  EXPECT_THROW(new_instance<Payload>(type, true), std::runtime_error);
  EXPECT_EQ(allocations, 1);
  EXPECT_EQ(frees, 1);
  EXPECT_EQ(Py_REFCNT(type), type_references);

  PyObject* object = new_instance<Payload>(type, false);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(Py_REFCNT(type), type_references + 1);
  Py_DECREF(object);
  EXPECT_EQ(frees, 2);
  EXPECT_EQ(Py_REFCNT(type), type_references);
}

TEST_F(Binding, InstancesOfAnotherClassNeverReachThePayload) {
  PyObject* number = PyLong_FromLong(-1);
  PyObject* other = new_instance<OtherPayload>(PythonClass<OtherPayload>::type());
  ASSERT_NE(other, nullptr);
  bool reached = false;
  for (PyObject* wrong : {number, other}) {
    auto operation = [&](Payload&) {
      reached = true;
      return Py_None;
    };
    EXPECT_THROW(with_shared_access<Payload>(wrong, operation), InternalFault);
    EXPECT_THROW(with_exclusive_access<Payload>(wrong, operation), InternalFault);
  }
  EXPECT_FALSE(reached);
  EXPECT_THROW(new_instance<Payload>(PythonClass<OtherPayload>::type(), false), InternalFault);
  Py_DECREF(other);
  Py_DECREF(number);
}

TEST_F(Binding, AccessIsSharedOrExclusive) {
  PyObject* object = new_instance<Payload>(PythonClass<Payload>::type(), false);
  ASSERT_NE(object, nullptr);
  PyObject* inner = with_shared_access<Payload>(object, [&](Payload&) {
    PyObject* nested = with_shared_access<Payload>(object, [](Payload&) { return Py_True; });
    EXPECT_EQ(nested, Py_True);
    return with_exclusive_access<Payload>(object, [](Payload&) { return Py_True; });
  });
  EXPECT_EQ(inner, nullptr);
  ASSERT_TRUE(PyErr_ExceptionMatches(PyExc_RuntimeError));
  PyErr_Clear();
  Py_DECREF(object);
}

TEST_F(Binding, WithoutGilTheLockIsHeldAgainAfterTheWork) {
  ASSERT_TRUE(PyGILState_Check());
  EXPECT_EQ(without_gil([] { return PyGILState_Check(); }), 0);
  EXPECT_TRUE(PyGILState_Check());
  // A fault of the work reaches the caller once the lock is back.
  EXPECT_THROW(without_gil([]() -> int { internal_fault("lost"); }), InternalFault);
  EXPECT_TRUE(PyGILState_Check());
}

TEST_F(Binding, CarriedExceptionIsDroppedUnderTheLockFromAnyThread) {
  // Any object will do: the last reference goes with the error value.
  PyTypeObject* type = PythonClass<OtherPayload>::type();
  CaptureError on_this_thread =
      CaptureError::carrying(carry_python_exception(new_instance<OtherPayload>(type)));
  CaptureError on_a_worker =
      CaptureError::carrying(carry_python_exception(new_instance<OtherPayload>(type)));
  without_gil([&] {
    { CaptureError dropped = std::move(on_this_thread); }
    std::thread([error = std::move(on_a_worker)]() mutable {
      CaptureError dropped = std::move(error);
    }).join();
  });
  EXPECT_EQ(lock_held_at_dealloc, (std::vector<bool>{true, true}));
  EXPECT_EQ(frees, 2);
}

}  // namespace
