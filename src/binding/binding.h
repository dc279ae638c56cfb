// The binding layer: what every entry point from Python shares. One include
// for the glue code of the classes and functions:
//   instance.h   instances, their payload and per-instance access
//   firewall.h   the internal-fault firewall of each entry point
//   arguments.h  argument placement and conversion
//   results.h    values to Python objects, error values to exceptions
//   gil.h        releasing the interpreter lock around work without Python
//   interpreter_exit.h   threads still inside the module when the interpreter ends
#pragma once

#include "binding/arguments.h"
#include "binding/firewall.h"
#include "binding/gil.h"
#include "binding/instance.h"
#include "binding/results.h"
