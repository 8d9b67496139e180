#include "gBase90/klower.h"

WCHAR KLowerUnit(WCHAR c) {
  char16_t u = static_cast<char16_t>(c);
  if (u < 0x80) return (u >= 'A' && u <= 'Z') ? static_cast<WCHAR>(u + 32) : c;
  if ((u >= 0xC0 && u <= 0xDE && u != 0xD7)) return static_cast<WCHAR>(u + 32);
  return c;
}
