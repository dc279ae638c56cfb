// WindowsApiError: the record of one failed Windows call, and its text.
#pragma once

#include <string>

#include "platform/windows/com_ptr.h"
#include "platform/windows/win32.h"

struct WindowsApiError {
  HRESULT code = 0;
  // The thread's error information at the moment of failure, if any.
  ComPtr<IErrorInfo> info;
};

// After a failed Win32 call: the thread's last error as an HRESULT.
WindowsApiError hresult_from_last_error();

// After a COM or Windows Runtime method returned `hr`: takes (and clears) the
// thread's error information.
WindowsApiError hresult_from_com(HRESULT hr);

// A call that reported success but delivered no object.
WindowsApiError null_object_error();

// "<message> (0xXXXXXXXX)", or the code alone when no message is available.
std::string windows_error_text(const WindowsApiError& error);
