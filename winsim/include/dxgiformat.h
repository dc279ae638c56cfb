// DXGI pixel formats (the ones winsim knows).
#pragma once

typedef enum DXGI_FORMAT {
  DXGI_FORMAT_UNKNOWN = 0,
  DXGI_FORMAT_R8G8B8A8_UNORM = 28,
  DXGI_FORMAT_B8G8R8A8_UNORM = 87,
  // As in the SDK: every 32-bit value is a DXGI_FORMAT, so a caller's unknown
  // format can be read and refused.
  DXGI_FORMAT_FORCE_UINT = 0xffffffff,
} DXGI_FORMAT;
