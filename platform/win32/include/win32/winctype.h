// Wide-character classification and case mapping of the Windows run-time:
// one UTF-16 unit at a time, with the full Unicode simple case mapping of the
// basic plane, whatever locale the process has set.
#pragma once

#include "win32/wintypes.h"

namespace win32 {

GRANITE_VISIBLE WCHAR towlower(WCHAR c);
GRANITE_VISIBLE WCHAR towupper(WCHAR c);
GRANITE_VISIBLE bool iswspace(WCHAR c);
// Compares zero-terminated texts after lower-casing each unit; null is empty.
GRANITE_VISIBLE int _wcsicmp(const WCHAR* a, const WCHAR* b);

}  // namespace win32
