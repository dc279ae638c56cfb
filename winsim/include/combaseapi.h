// COM base services used by the module.
#pragma once

#include <objidl.h>

#define WINOLEAPI EXTERN_C DECLSPEC_IMPORT HRESULT STDAPICALLTYPE
#define WINOLEAPI_(type) EXTERN_C DECLSPEC_IMPORT type STDAPICALLTYPE

// A free-threaded marshaler aggregated by `punkOuter` (which must not be null):
// *ppunkMarshal is its inner IUnknown, which answers IMarshal.
WINOLEAPI CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal);
