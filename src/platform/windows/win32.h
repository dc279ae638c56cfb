// The one include point of the Windows platform for the module's Windows code.
//
// On Windows this is the SDK (or mingw-w64) headers; on Linux the include path
// puts winsim's stand-ins first, so the same names resolve to the simulated
// platform. Nothing else in src/platform/windows includes a system header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <unknwn.h>
#include <oleauto.h>
#include <objbase.h>

// Direct3D 11 and DXGI; ID3D10Multithread is declared by the Direct3D 10 header.
#include <d3d10.h>
#include <d3d11.h>
#include <dxgi.h>

// The Windows Runtime core.
#include <eventtoken.h>
#include <inspectable.h>
#include <roapi.h>
#include <winstring.h>
