// Process and thread identity.
#pragma once

#include <minwindef.h>

#ifndef WINBASEAPI
#define WINBASEAPI DECLSPEC_IMPORT
#endif

extern "C" {

WINBASEAPI DWORD WINAPI GetCurrentProcessId(VOID);

}  // extern "C"
