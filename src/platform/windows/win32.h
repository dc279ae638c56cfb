// The one include point of the Windows platform for the module's Windows code.
//
// On Windows this is the SDK (or mingw-w64) headers; on Linux the include path
// puts winsim's stand-ins first, so the same names resolve to the simulated
// platform. Nothing else in src/platform/windows includes a system header.
#pragma once

// The headers the capture ABI declarations stand on (with the switches that
// keep <windows.h> lean), then the rest the platform code calls.
#include "opticatcher/abi/windows_headers.h"

// The Windows Runtime core.
#include <roapi.h>
#include <winstring.h>

// Window bounds from the Desktop Window Manager (dwmapi.dll) and monitor
// scaling (shcore.dll).
#include <dwmapi.h>
#include <shellscalingapi.h>
