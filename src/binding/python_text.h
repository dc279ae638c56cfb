// Text between C++ and Python: the few conversions that argument parsing and
// result building both need.
#pragma once

#include <Python.h>

#include <string>

// A new str from UTF-8 text (undecodable bytes replaced).
PyObject* new_str(const std::string& text);

// The UTF-8 text of a str; false with the interpreter's error set otherwise.
bool utf8_of(PyObject* text, std::string& out);

// Raises `type` with `message` (UTF-8) as its only argument; returns nullptr.
PyObject* raise_message(PyObject* type, const std::string& message);
