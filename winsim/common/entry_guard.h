// Entry guards: no C++ exception ever leaves winsim.
//
// Every function that libwinsim.so exports (the simulated Windows API and the
// control API) and every method of its COM and Windows Runtime objects is
// entered from the caller's code, which, as with any Windows DLL, must never
// see a C++ exception. Each such entry is a function-try-block whose handler
// hands the exception in flight to one of the functions below; they turn it
// into the entry's documented failure:
//
//   HRESULT STDMETHODCALLTYPE Session::StartCapture() try {
//     ...
//   } catch (...) {
//     return entry::failed_hresult();
//   }
//
// The try block costs nothing until something throws. A forced unwind (the
// thread being cancelled, or ended by pthread_exit) is not a failure, nor a C++
// exception: each of these functions rethrows it (as any exception that is not
// C++'s), so that the thread still ends as it was asked to.
// tools/check_entry_guards.py checks that every entry has its guard.
#pragma once

#include <windows.h>

namespace winsim::entry {

// E_OUTOFMEMORY when memory (or a thread) could not be had, E_UNEXPECTED for
// anything else.
HRESULT failed_hresult();

// Sets the thread's last error: ERROR_OUTOFMEMORY when memory (or a thread)
// could not be had, ERROR_INTERNAL_ERROR for anything else.
void set_last_error_from_exception();

// A function that fails by returning `failure` (FALSE, NULL, 0) with the
// thread's last error set.
template <typename T>
T failed_with_last_error(T failure) {
  set_last_error_from_exception();
  return failure;
}

// An entry that has no way to report a failure (AddRef, Release, void methods,
// functions documented never to fail): the exception ends here.
void ignore_exception();

template <typename T>
T failed_silently(T result) {
  ignore_exception();
  return result;
}

// The control API: records WINSIM_OUT_OF_MEMORY or WINSIM_INTERNAL_ERROR as the
// calling thread's failure, which winsim_take_failure() hands to the caller,
// and returns it.
int failed_control_call();

template <typename T>
T failed_control_call(T failure) {
  (void)failed_control_call();
  return failure;
}

// Records a control call that could not complete without an exception
// (WINSIM_OUT_OF_MEMORY, ...) in the same way.
void record_control_failure(int status);

// This thread's recorded control failure (WINSIM_OK for none), cleared.
int take_control_failure();

}  // namespace winsim::entry
