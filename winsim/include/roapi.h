// Windows Runtime core: apartment initialisation and class activation
// (api-ms-win-core-winrt).
#pragma once

#include <hstring.h>
#include <inspectable.h>
#include <minwindef.h>

typedef enum RO_INIT_TYPE {
  RO_INIT_SINGLETHREADED = 0,
  RO_INIT_MULTITHREADED = 1,
} RO_INIT_TYPE;

extern "C" {

// S_OK on the thread's first call, S_FALSE when the thread already has an
// apartment of that type, RPC_E_CHANGED_MODE when it has one of the other type.
DECLSPEC_IMPORT HRESULT WINAPI RoInitialize(RO_INIT_TYPE initType);
DECLSPEC_IMPORT void WINAPI RoUninitialize();
// The activation factory of a runtime class, as interface `iid`.
// REGDB_E_CLASSNOTREG for an unknown class; CO_E_NOTINITIALIZED when the
// calling thread has no apartment.
DECLSPEC_IMPORT HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid,
                                                      void** factory);

}  // extern "C"
