// COM: the object services header.
#pragma once

#include <combaseapi.h>
#include <objidl.h>
