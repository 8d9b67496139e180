#include "win32/winctype.h"

#include <locale.h>
#include <wctype.h>

#include <vector>

namespace win32 {
namespace {

// The mappings are taken once from the C.UTF-8 locale object, never from the
// process locale, so a Turkish or "C" locale changes nothing here.
struct CaseTables {
  std::vector<WCHAR> lower, upper;
  std::vector<bool> space;
  CaseTables() : lower(0x10000), upper(0x10000), space(0x10000) {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    for (unsigned c = 0; c < 0x10000; ++c) {
      lower[c] = upper[c] = static_cast<WCHAR>(c);
      const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
      if (utf8 && !surrogate) {
        const wint_t l = towlower_l(c, utf8), u = towupper_l(c, utf8);
        if (l < 0x10000) lower[c] = static_cast<WCHAR>(l);  // keep within one unit
        if (u < 0x10000) upper[c] = static_cast<WCHAR>(u);
        space[c] = iswspace_l(c, utf8) != 0;
      } else {
        space[c] = c == ' ' || (c >= 0x09 && c <= 0x0D);
        if (!surrogate && c >= 'A' && c <= 'Z') lower[c] = static_cast<WCHAR>(c + 32);
        if (!surrogate && c >= 'a' && c <= 'z') upper[c] = static_cast<WCHAR>(c - 32);
      }
    }
    if (utf8) freelocale(utf8);
  }
};

const CaseTables& Tables() {
  static const CaseTables tables;
  return tables;
}

}  // namespace

WCHAR towlower(WCHAR c) { return Tables().lower[c]; }
WCHAR towupper(WCHAR c) { return Tables().upper[c]; }
bool iswspace(WCHAR c) { return Tables().space[c]; }

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  static const WCHAR empty[1] = {0};
  if (!a) a = empty;
  if (!b) b = empty;
  const CaseTables& t = Tables();
  for (;; ++a, ++b) {
    const int ca = t.lower[*a], cb = t.lower[*b];
    if (ca != cb || ca == 0) return ca - cb;
  }
}

}  // namespace win32
