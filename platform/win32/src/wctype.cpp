// Wide character case mapping and classification, independent of the locale
// the process has set.
#include <climits>
#include <locale.h>
#include <wctype.h>

#include "win32/winrt.h"

namespace win32 {
namespace {

// The Unicode simple case mappings of the BMP, taken once from the C.UTF-8
// locale object (never from the process locale). Mappings that would leave
// the BMP keep the unit unchanged.
struct CaseTables {
  CaseTables() {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    for (char32_t c = 0; c < 0x10000; ++c) {
      char32_t l = c, u = c;
      if (utf8 != locale_t(0)) {
        l = towlower_l(c, utf8);
        u = towupper_l(c, utf8);
      } else if (c >= 'A' && c <= 'Z') {
        l = c + 32;
      } else if (c >= 'a' && c <= 'z') {
        u = c - 32;
      }
      lower[c] = static_cast<WCHAR>(l < 0x10000 ? l : c);
      upper[c] = static_cast<WCHAR>(u < 0x10000 ? u : c);
    }
    if (utf8 != locale_t(0)) freelocale(utf8);
  }
  WCHAR lower[0x10000];
  WCHAR upper[0x10000];
};

const CaseTables& Tables() {
  static const CaseTables tables;
  return tables;
}

}  // namespace

WCHAR towlower(WCHAR c) { return Tables().lower[c]; }

WCHAR towupper(WCHAR c) { return Tables().upper[c]; }

// The Unicode White_Space set.
int iswspace(WCHAR c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return 1;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  if (a == nullptr || b == nullptr) return INT_MAX;
  const WCHAR* lower = Tables().lower;
  for (;; ++a, ++b) {
    const int d = int(lower[*a]) - int(lower[*b]);
    if (d != 0 || *a == 0) return d;
  }
}

}  // namespace win32
