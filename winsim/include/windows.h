// The master include of the Windows API, as far as winsim provides it.
#pragma once

#include <cstdarg>

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <wingdi.h>
#include <winuser.h>

#ifndef WIN32_LEAN_AND_MEAN
#include <unknwn.h>
#include <oleauto.h>
#endif
