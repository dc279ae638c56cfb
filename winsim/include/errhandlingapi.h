// The calling thread's last-error value.
#pragma once

#include <minwindef.h>

#ifndef WINBASEAPI
#define WINBASEAPI DECLSPEC_IMPORT
#endif

extern "C" {

WINBASEAPI DWORD WINAPI GetLastError(VOID);
WINBASEAPI VOID WINAPI SetLastError(DWORD dwErrCode);

}  // extern "C"
