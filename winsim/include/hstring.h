// HSTRING: the handle of an immutable Windows Runtime string.
#pragma once

#include <winnt.h>

typedef struct HSTRING__ {
  int unused;
} HSTRING__;
typedef HSTRING__* HSTRING;
