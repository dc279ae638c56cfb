// The NumPy side of frame output, in an embedded interpreter: what `frame`
// will do with `out` and with new arrays once frames can be read.
#include "binding/frame_array.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "binding/binding.h"
#include "internal_fault.h"

namespace {

PyObject* globals = nullptr;

// Evaluates a Python expression (numpy is `np`); a new reference.
PyObject* eval(const std::string& expression) {
  PyObject* result = PyRun_String(expression.c_str(), Py_eval_input, globals, globals);
  if (result == nullptr) PyErr_Print();
  EXPECT_NE(result, nullptr) << expression;
  return result;
}

void run(const std::string& statements) {
  PyObject* result = PyRun_String(statements.c_str(), Py_file_input, globals, globals);
  if (result == nullptr) PyErr_Print();
  ASSERT_NE(result, nullptr) << statements;
  Py_DECREF(result);
}

bool holds(const std::string& condition) {
  PyObject* result = eval(condition);
  const bool truth = result != nullptr && PyObject_IsTrue(result) == 1;
  Py_XDECREF(result);
  return truth;
}

// The exception an error value becomes, as "<type>: <message>".
std::string raised(CaptureError error) {
  raise_error(std::move(error));
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyObject* text =
      PyUnicode_FromFormat("%s: %S", reinterpret_cast<PyTypeObject*>(type)->tp_name, value);
  std::string out = PyUnicode_AsUTF8(text);
  Py_DECREF(text);
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  return out;
}

class FrameArray : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Py_Initialize();
    globals = PyDict_New();
    PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    run("import sys\nsys.path.insert(0, '" OPTICATCHER_NUMPY_SITE
        "')\nimport numpy as np\n"
        "class Sub(np.ndarray): pass\n");
  }
  void TearDown() override { EXPECT_FALSE(PyErr_Occurred()); }

  // `out` converted, as `frame` converts it.
  std::expected<std::optional<OwnedArray>, CaptureError> extract(const std::string& expression) {
    PyObject* object = eval(expression);
    auto result = extract_out_array(object);
    Py_XDECREF(object);
    return result;
  }

  // A converted array, bound to `name` in Python as well.
  OwnedArray array(const std::string& name, const std::string& expression) {
    run(name + " = " + expression);
    auto converted = extract(name);
    EXPECT_TRUE(converted && *converted) << expression;
    return std::move(**converted);
  }
};

TEST_F(FrameArray, AbsentOrNoneOutMeansNoArray) {
  auto absent = extract_out_array(nullptr);
  ASSERT_TRUE(absent);
  EXPECT_FALSE(*absent);
  auto none = extract("None");
  ASSERT_TRUE(none);
  EXPECT_FALSE(*none);
}

TEST_F(FrameArray, OutMustBeA3DUint8Array) {
  const std::pair<const char*, const char*> refused[] = {
      {"[[[0, 0, 0, 0]]]", "TypeError: 'list' object is not an instance of 'ndarray'"},
      {"np.zeros((2, 2), np.uint8)", "TypeError: 'ndarray' object is not an instance of 'ndarray'"},
      {"np.zeros((1, 2, 2, 4), np.uint8)",
       "TypeError: 'ndarray' object is not an instance of 'ndarray'"},
      {"np.zeros((2, 2, 4), np.float32)",
       "TypeError: 'ndarray' object is not an instance of 'ndarray'"},
      {"np.zeros((2, 2, 4), np.int8)",
       "TypeError: 'ndarray' object is not an instance of 'ndarray'"},
      {"np.zeros((2, 2, 4), np.bool_)",
       "TypeError: 'ndarray' object is not an instance of 'ndarray'"},
      {"'abc'", "TypeError: 'str' object is not an instance of 'ndarray'"},
      {"np.uint8(3)", "TypeError: 'uint8' object is not an instance of 'ndarray'"},
      {"np.zeros((2, 2, 4), np.uint8).view(Sub).astype(np.uint16)",
       "TypeError: 'Sub' object is not an instance of 'ndarray'"},
  };
  for (const auto& [expression, message] : refused) {
    auto converted = extract(expression);
    ASSERT_FALSE(converted) << expression;
    EXPECT_EQ(raised(std::move(converted.error())), message) << expression;
  }
}

TEST_F(FrameArray, OutKeepsItsIdentityAndAcceptsSubclassesAndEquivalentTypes) {
  for (const char* expression : {"np.zeros((2, 3, 4), np.uint8)", "np.zeros((2, 3, 4), 'B')",
                                 "np.zeros((2, 3, 4), np.uint8).view(Sub)",
                                 "np.zeros((2, 3, 4), np.dtype('u1', metadata={'k': 1}))"}) {
    OwnedArray out = array("a", expression);
    PyObject* a = PyDict_GetItemString(globals, "a");
    EXPECT_EQ(out.get(), a) << expression;
    auto prepared = prepare_frame_array(std::move(out), 2, 3);
    ASSERT_TRUE(prepared) << expression;
    EXPECT_EQ(prepared->get(), a) << expression;
  }
}

TEST_F(FrameArray, OutOfAnotherShapeIsRefusedWithBothShapes) {
  const std::pair<const char*, const char*> refused[] = {
      {"np.zeros((1080, 1920, 3), np.uint8)",
       "ValueError: out has shape [1080, 1920, 3], expected [1080, 1920, 4]"},
      {"np.zeros((1920, 1080, 4), np.uint8)",
       "ValueError: out has shape [1920, 1080, 4], expected [1080, 1920, 4]"},
      {"np.zeros((0, 0, 4), np.uint8)",
       "ValueError: out has shape [0, 0, 4], expected [1080, 1920, 4]"},
  };
  for (const auto& [expression, message] : refused) {
    auto prepared = prepare_frame_array(array("a", expression), 1080, 1920);
    ASSERT_FALSE(prepared) << expression;
    EXPECT_EQ(raised(std::move(prepared.error())), message) << expression;
    // The call dropped its reference: only `a` holds the array now.
    EXPECT_TRUE(holds("sys.getrefcount(a) == 2")) << expression;
  }
}

TEST_F(FrameArray, NewArrayIsCOrderedUint8OfTheFrameShape) {
  auto prepared = prepare_frame_array(std::nullopt, 3, 5);
  ASSERT_TRUE(prepared);
  PyDict_SetItemString(globals, "n", prepared->get());
  EXPECT_TRUE(holds("type(n) is np.ndarray and n.dtype == np.uint8"));
  EXPECT_TRUE(holds("n.shape == (3, 5, 4) and n.strides == (20, 4, 1)"));
  EXPECT_TRUE(holds("n.flags.c_contiguous and n.flags.owndata and n.flags.writeable"));
  auto bytes = writable_array_bytes(*prepared);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 3u * 5 * 4);
  PyDict_DelItemString(globals, "n");
}

TEST_F(FrameArray, EmptyFrameGivesAnEmptyArrayAndRegion) {
  auto prepared = prepare_frame_array(std::nullopt, 0, 7);
  ASSERT_TRUE(prepared);
  PyDict_SetItemString(globals, "n", prepared->get());
  EXPECT_TRUE(holds("n.shape == (0, 7, 4)"));
  PyDict_DelItemString(globals, "n");
  auto bytes = writable_array_bytes(*prepared);
  ASSERT_TRUE(bytes);
  EXPECT_TRUE(bytes->empty());
}

TEST_F(FrameArray, ArrayTooLargeForNumPyIsAnInternalFault) {
  // NumPy's own error is reported as unraisable, not left pending.
  run("unraisable = []\nsys.unraisablehook = unraisable.append\n");
  EXPECT_THROW(
      {
        try {
          prepare_frame_array(std::nullopt, 0xFFFFFFFFu, 0xFFFFFFFFu);
        } catch (const InternalFault& fault) {
          EXPECT_STREQ(fault.what(), "PyObject pointer is null");
          throw;
        }
      },
      InternalFault);
  EXPECT_TRUE(holds("len(unraisable) == 1"));
  run("sys.unraisablehook = sys.__unraisablehook__\ndel unraisable\n");
}

TEST_F(FrameArray, WritableBytesAreTheArraysOwnMemory) {
  OwnedArray out = array("a", "np.zeros((2, 3, 4), np.uint8)");
  auto bytes = writable_array_bytes(out);
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), 24u);
  for (std::size_t i = 0; i < bytes->size(); ++i) (*bytes)[i] = std::byte(i);
  EXPECT_TRUE(holds("(a.ravel() == np.arange(24)).all()"));
}

TEST_F(FrameArray, NonRowMajorMemoryIsRefusedAsNotContiguous) {
  for (const char* expression :
       {"np.zeros((2, 6, 4), np.uint8)[:, ::2]", "np.zeros((4, 3, 4), np.uint8)[::2]",
        "np.asfortranarray(np.zeros((2, 3, 4), np.uint8))",
        "np.zeros((2, 3, 4), np.uint8).transpose(1, 0, 2)"}) {
    auto bytes = writable_array_bytes(array("a", expression));
    ASSERT_FALSE(bytes) << expression;
    EXPECT_EQ(raised(std::move(bytes.error())),
              "ValueError: Frame buffer is not contiguous: The given array is not contiguous or "
              "is misaligned.")
        << expression;
  }
}

TEST_F(FrameArray, ReadOnlyArrayIsRefused) {
  run("a = np.zeros((2, 3, 4), np.uint8)\na.flags.writeable = False\n");
  auto converted = extract("a");
  ASSERT_TRUE(converted && *converted);
  auto bytes = writable_array_bytes(**converted);
  ASSERT_FALSE(bytes);
  EXPECT_EQ(raised(std::move(bytes.error())),
            "ValueError: Frame buffer is read-only: The given array is not writeable.");
}

TEST_F(FrameArray, EmptyArrayNeedsNoFlags) {
  // Neither contiguous in any useful sense nor writeable: nothing will be written.
  run("a = np.zeros((4, 0, 8), np.uint8)[::2, :, ::2]\na.flags.writeable = False\n");
  auto bytes = writable_array_bytes(array("b", "a"));
  ASSERT_TRUE(bytes);
  EXPECT_TRUE(bytes->empty());
}

}  // namespace
