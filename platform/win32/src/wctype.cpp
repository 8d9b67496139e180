// Wide character case mapping and classification as the Windows run-time
// gives them in the "C" locale, which is the locale of the run-time a library
// uses unless its host changes it: case maps only the ASCII letters, whatever
// locale this process has set.
#include <climits>

#include "win32/winrt.h"

namespace win32 {

WCHAR towlower(WCHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 32) : c; }

WCHAR towupper(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : c; }

// The Unicode White_Space set less U+0085, as the Windows run-time classifies.
int iswspace(WCHAR c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return 1;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  if (a == nullptr || b == nullptr) return INT_MAX;
  for (;; ++a, ++b) {
    const int d = int(towlower(*a)) - int(towlower(*b));
    if (d != 0 || *a == 0) return d;
  }
}

}  // namespace win32
