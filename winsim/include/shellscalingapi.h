// Display scaling as the shell reports it (shcore.dll).
#pragma once

#include <windef.h>

typedef enum MONITOR_DPI_TYPE {
  MDT_EFFECTIVE_DPI = 0,
  MDT_ANGULAR_DPI = 1,
  MDT_RAW_DPI = 2,
  MDT_DEFAULT = MDT_EFFECTIVE_DPI
} MONITOR_DPI_TYPE;

// Exported from libwinsim.so, as from shcore.dll.
EXTERN_C DECLSPEC_IMPORT HRESULT STDAPICALLTYPE GetDpiForMonitor(HMONITOR hmonitor,
                                                                 MONITOR_DPI_TYPE dpiType,
                                                                 UINT* dpiX, UINT* dpiY);
