// The binding layer: what every entry point from Python shares. One include
// for the glue code of the classes and functions:
//   instance.h   instances, their payload and per-instance access
//   firewall.h   the internal-fault firewall of each entry point
//   arguments.h  argument placement and conversion
//   results.h    values to Python objects, error values to exceptions
//   members.h    getters, methods and functions without arguments, one row each
//   python_text.h  str to and from UTF-8, raising with a message
//   gil.h        releasing the interpreter lock around work without Python
//   interpreter_exit.h   threads still inside the module when the interpreter ends
#pragma once

#include "binding/arguments.h"
#include "binding/firewall.h"
#include "binding/gil.h"
#include "binding/instance.h"
#include "binding/members.h"
#include "binding/python_text.h"
#include "binding/results.h"
