// The Windows headers the capture ABI declarations stand on: the SDK's on
// Windows, winsim's stand-ins on Linux (their folder comes first on the
// include path there). The same switches as the module's platform header, so
// that whichever is included first, the headers read the same.
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
#include <d3d10.h>
#include <d3d11.h>
#include <dxgi.h>
#include <eventtoken.h>
#include <inspectable.h>
