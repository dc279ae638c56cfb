#include "binding/arguments.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "binding/pending_exception.h"
#include "binding/python_text.h"
#include "errors.h"

namespace {

constexpr const char* kUnknownTypeName = "<failed to extract type name>";

bool attribute_text(PyObject* object, const char* name, std::string& out) {
  PyObject* attribute = PyObject_GetAttrString(object, name);
  if (attribute == nullptr) {
    PyErr_Clear();
    return false;
  }
  const bool ok = PyUnicode_Check(attribute) && utf8_of(attribute, out);
  Py_DECREF(attribute);
  if (!ok) PyErr_Clear();
  return ok;
}

std::string quoted_names(std::span<const char* const> names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += "'";
    out += names[i];
    out += "'";
  }
  return out;
}

// The one placement routine behind both calling conventions. `positional(i)`
// gives the i-th positional argument; `keyword(i)` the i-th (name, value) pair.
template <class Positional, class Keyword>
bool place_arguments(const ArgumentSpec& spec, Py_ssize_t npositional, Positional&& positional,
                     Py_ssize_t nkeywords, Keyword&& keyword, std::span<PyObject*> slots) {
  const std::size_t count = spec.names.size();
  for (PyObject*& slot : slots) slot = nullptr;

  if (static_cast<std::size_t>(npositional) > count) {
    std::string message = std::string(spec.full_name) + " takes ";
    if (spec.required == count) {
      message += std::to_string(count);
    } else {
      message += "from " + std::to_string(spec.required) + " to " + std::to_string(count);
    }
    message += " positional arguments but " + std::to_string(npositional) +
               (npositional == 1 ? " was given" : " were given");
    raise_message(PyExc_TypeError, message);
    return false;
  }
  for (Py_ssize_t i = 0; i < npositional; ++i) slots[i] = positional(i);

  for (Py_ssize_t k = 0; k < nkeywords; ++k) {
    auto [name, value] = keyword(k);
    // The interpreter hands a constructor's keyword dict over unchecked, and
    // every comparison below reads the name as a str.
    if (name == nullptr || !PyUnicode_Check(name)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return false;
    }
    std::size_t index = 0;
    while (index < count && PyUnicode_CompareWithASCIIString(name, spec.names[index]) != 0) {
      ++index;
    }
    if (PyErr_Occurred()) return false;
    if (index == count) {
      // Formatted from the str itself: a name that UTF-8 cannot encode (a lone
      // surrogate) is still named as given.
      PyObject* message =
          PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", spec.full_name, name);
      if (message != nullptr) {
        PyErr_SetObject(PyExc_TypeError, message);
        Py_DECREF(message);
      }
      return false;
    }
    if (slots[index] != nullptr) {
      raise_message(PyExc_TypeError, std::string(spec.full_name) +
                                         " got multiple values for argument '" + spec.names[index] +
                                         "'");
      return false;
    }
    slots[index] = value;
  }

  const char* missing[8];
  std::size_t nmissing = 0;
  for (std::size_t i = 0; i < spec.required; ++i) {
    if (slots[i] == nullptr && nmissing < std::size(missing)) missing[nmissing++] = spec.names[i];
  }
  if (nmissing > 0) {
    raise_message(PyExc_TypeError, std::string(spec.full_name) + " missing " +
                                       std::to_string(nmissing) + " required positional " +
                                       (nmissing == 1 ? "argument" : "arguments") + ": " +
                                       quoted_names({missing, nmissing}));
    return false;
  }
  return true;
}

}  // namespace

bool parse_arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> slots) {
  const Py_ssize_t npositional = nargs;
  const Py_ssize_t nkeywords = kwnames != nullptr ? PyTuple_Size(kwnames) : 0;
  return place_arguments(
      spec, npositional, [&](Py_ssize_t i) { return args[i]; }, nkeywords,
      [&](Py_ssize_t k) {
        return std::pair<PyObject*, PyObject*>{PyTuple_GetItem(kwnames, k), args[npositional + k]};
      },
      slots);
}

bool parse_arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> slots) {
  const Py_ssize_t npositional = args != nullptr ? PyTuple_Size(args) : 0;
  // Keywords in the dict's order, which is the order they were given.
  Py_ssize_t position = 0;
  const Py_ssize_t nkeywords = kwargs != nullptr ? PyDict_Size(kwargs) : 0;
  return place_arguments(
      spec, npositional, [&](Py_ssize_t i) { return PyTuple_GetItem(args, i); }, nkeywords,
      [&](Py_ssize_t) {
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        PyDict_Next(kwargs, &position, &name, &value);
        return std::pair<PyObject*, PyObject*>{name, value};
      },
      slots);
}

std::string type_qualname(PyObject* value) {
  std::string name;
  if (!attribute_text(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__", name)) {
    return kUnknownTypeName;
  }
  return name;
}

std::string type_mismatch_text(PyObject* value, const char* target) {
  if (value == Py_None) return std::string("'None' is not an instance of '") + target + "'";
  return not_an_instance_text(type_qualname(value), target);
}

PyObject* raise_type_mismatch(PyObject* value, const char* target) {
  return raise_message(PyExc_TypeError, type_mismatch_text(value, target));
}

void add_conversion_note(const char* parameter) {
  PendingException pending;
  pending.fetch_normalized();
  if (pending.value != nullptr) {
    PyObject* note = PyUnicode_FromFormat("while processing '%s'", parameter);
    PyObject* result =
        note != nullptr ? PyObject_CallMethod(pending.value, "add_note", "O", note) : nullptr;
    Py_XDECREF(result);
    Py_XDECREF(note);
    if (result == nullptr) PyErr_Clear();  // no notes on this interpreter: raise without
  }
  pending.restore();
}

bool convert_index_u64(PyObject* value, std::optional<std::uint64_t>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  PyObject* integer = PyLong_Check(value) ? (Py_INCREF(value), value) : PyNumber_Index(value);
  if (integer == nullptr) return false;
  const unsigned long long converted = PyLong_AsUnsignedLongLong(integer);
  Py_DECREF(integer);
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = converted;
  return true;
}

bool convert_str(PyObject* value, std::string& out) {
  if (!PyUnicode_Check(value)) {
    raise_type_mismatch(value, "str");
    return false;
  }
  return utf8_of(value, out);
}

bool convert_await_first_frame(PyObject* value, bool& out) {
  if (value == nullptr || value == Py_None) {
    out = true;
    return true;
  }
  return convert_bool(value, out);
}

bool convert_bool(PyObject* value, bool& out) {
  if (PyBool_Check(value)) {
    out = value == Py_True;
    return true;
  }
  // NumPy's bool scalar, recognised by name so that NumPy need not be loaded.
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  std::string module, name;
  if (attribute_text(type, "__module__", module) && module == "numpy" &&
      attribute_text(type, "__name__", name) && (name == "bool_" || name == "bool")) {
    const int truth = PyObject_IsTrue(value);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  raise_type_mismatch(value, "bool");
  return false;
}

bool convert_index_i64(PyObject* value, std::int64_t& out) {
  PyObject* integer = PyLong_Check(value) ? (Py_INCREF(value), value) : PyNumber_Index(value);
  if (integer == nullptr) return false;
  const long long converted = PyLong_AsLongLong(integer);
  Py_DECREF(integer);
  if (converted == -1 && PyErr_Occurred()) return false;
  out = converted;
  return true;
}

bool convert_handle(PyObject* value, std::uintptr_t& out) {
  PyObject* integer = PyLong_Check(value) ? (Py_INCREF(value), value) : PyNumber_Index(value);
  if (integer == nullptr) return false;
  const unsigned long long converted = PyLong_AsUnsignedLongLong(integer);
  Py_DECREF(integer);
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  if (converted > UINTPTR_MAX) {
    PyErr_SetString(PyExc_OverflowError, "int too big to convert");
    return false;
  }
  out = static_cast<std::uintptr_t>(converted);
  return true;
}

bool convert_seconds(PyObject* value, std::optional<double>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  const double seconds = PyFloat_AsDouble(value);
  if (seconds == -1.0 && PyErr_Occurred()) return false;
  out = seconds;
  return true;
}
