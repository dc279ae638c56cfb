// The end of the interpreter, as seen by threads that are still inside the
// module when it comes.
//
// A daemon thread that asks for the interpreter lock once the interpreter is
// finalising never gets it. On Linux, CPython up to 3.13 ends such a thread
// right where it asks (pthread_exit), and glibc carries that out as a forced
// unwind through whatever C++ frames of the module are on its stack:
// destructors and catch blocks run, on a thread that no longer has the
// interpreter. (Later versions park the thread for good instead, and Windows
// ends it without unwinding.) The thread can be asking in the module's own
// code (taking the lock back after a readback) or anywhere inside a call into
// Python (an `__index__`, NumPy's first import, a finaliser). Two rules keep
// that unwind harmless:
//  - every catch-all lets it pass on (see `run_guarded`): swallowing it aborts
//    the process;
//  - cleanup that needs the interpreter (dropping a reference) first asks
//    `interpreter_usable_here()`, and leaks what it holds when the answer is
//    no: the process is ending anyway.
#pragma once

#include <Python.h>

// Marks the interpreter's end for `interpreter_usable_here`: registers an exit
// callback. CPython runs exit callbacks before it starts finalising, and only
// finalising ends other threads, so the mark is always set before a thread can
// be ended. Called by the module's execution step; false with the
// interpreter's exception set when the callback cannot be registered.
bool watch_interpreter_exit();

// False on a thread that may have lost the interpreter for good: once the
// interpreter has begun to end, on every thread but the one ending it. True
// otherwise, also on threads that do not hold the lock right now (they may
// take it: the interpreter is not ending).
bool interpreter_usable_here();
