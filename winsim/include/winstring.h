// Windows Runtime string handles (api-ms-win-core-winrt-string).
#pragma once

#include <hstring.h>
#include <minwindef.h>

extern "C" {

// A null HSTRING stands for the empty string. Fails with E_INVALIDARG when
// `string` is null, or when `sourceString` is null and `length` is not 0.
DECLSPEC_IMPORT HRESULT WINAPI WindowsCreateString(LPCWSTR sourceString, UINT32 length,
                                                   HSTRING* string);
// S_OK for a null string too.
DECLSPEC_IMPORT HRESULT WINAPI WindowsDeleteString(HSTRING string);
// The string's units (a terminated empty string for null); `length` may be null.
DECLSPEC_IMPORT PCWSTR WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length);
DECLSPEC_IMPORT UINT32 WINAPI WindowsGetStringLen(HSTRING string);

}  // extern "C"
