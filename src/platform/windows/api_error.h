// Windows API errors as they are read right after a failed call. The error
// value itself (WindowsApiError) and its text are declared with the other
// error values in errors.h; the text is made here, from the system's own
// message or the thread's error information.
#pragma once

#include "errors.h"
#include "platform/windows/win32.h"

// After a failed Win32 call: the thread's last error as an HRESULT.
WindowsApiError hresult_from_last_error();

// After a COM or Windows Runtime method returned `hr`: takes (and clears) the
// thread's error information.
WindowsApiError hresult_from_com(HRESULT hr);

// A call that reported success but delivered no object.
WindowsApiError null_object_error();
