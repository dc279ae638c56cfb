// Arguments from Python: placing them against an entry point's parameters,
// and converting each to its C++ value with the module's messages.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The limited API of 3.9 does not name the vectorcall convention, which every
// supported interpreter implements.
#ifndef METH_FASTCALL
#define METH_FASTCALL 0x0080
#endif

struct ArgumentSpec {
  const char* full_name;               // "Capture.start()"
  std::span<const char* const> names;  // parameter names, in order
  std::size_t required;                // leading parameters that must be given
};

// Places the arguments into `slots` (one per parameter: a borrowed reference,
// or nullptr when absent). Raises TypeError and returns false on a mismatch.
bool parse_arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> slots);
// The same for a constructor's argument tuple and keyword dict.
bool parse_arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> slots);

// Converters: true on success; otherwise a Python exception is set.
bool convert_index_u64(PyObject* value, std::optional<std::uint64_t>& out);  // None or int
bool convert_str(PyObject* value, std::string& out);
bool convert_await_first_frame(PyObject* value, bool& out);
bool convert_index_i64(PyObject* value, std::int64_t& out);  // int or __index__
bool convert_bool(PyObject* value, bool& out);               // bool or NumPy's bool
// A system handle: an int (or __index__) from 0 to the largest pointer-sized
// value; OverflowError outside, TypeError for anything else, None included.
bool convert_handle(PyObject* value, std::uintptr_t& out);
// None (no limit) or a real number of seconds, which may be anything that
// converts to float; whether the number is usable is the caller's question.
bool convert_seconds(PyObject* value, std::optional<double>& out);

// Adds the note "while processing '<parameter>'" to the pending exception.
void add_conversion_note(const char* parameter);

// Runs a converter; a failure gets the note naming the parameter.
template <class Convert>
bool convert_argument(const char* parameter, Convert&& convert) {
  if (convert()) return true;
  add_conversion_note(parameter);
  return false;
}

// The qualified name of the object's type (a placeholder when it has none).
std::string type_qualname(PyObject* value);
// "'<type>' object is not an instance of '<target>'" (or the None form).
std::string type_mismatch_text(PyObject* value, const char* target);
PyObject* raise_type_mismatch(PyObject* value, const char* target);
