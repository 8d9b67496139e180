// The kernel's case mapping of one UTF-16 unit, independent of the process locale.
#pragma once

#include "win32/wintypes.h"

GRANITE_VISIBLE WCHAR KLowerUnit(WCHAR c);
