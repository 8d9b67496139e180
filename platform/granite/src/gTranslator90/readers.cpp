#include "readers.h"

namespace ktranslate {
namespace {

struct Entry {
  int format;
  const char* name;
  Reader reader;  // null: no reader here yet
};

#if GRANITE_WITH_OCCT
const Reader kIges = ReadIges, kStep = ReadStep;
#else
// Built without Open CASCADE: the exchange formats are not supported.
const Reader kIges = nullptr, kStep = nullptr;
#endif

const Entry kFormats[] = {
    {KFORMAT_IGES, "IGES", kIges},              {KFORMAT_NEUTRAL, "neutral", nullptr},
    {KFORMAT_PARASOLID, "Parasolid", nullptr}, {KFORMAT_SAT, "SAT", nullptr},
    {KFORMAT_STEP, "STEP", kStep},              {KFORMAT_VDA, "VDA", nullptr},
};

const Entry* Find(int format) {
  for (const Entry& e : kFormats)
    if (e.format == format) return &e;
  return nullptr;
}

}  // namespace

Reader FindReader(int format) {
  const Entry* e = Find(format);
  return e ? e->reader : nullptr;
}

const char* FormatName(int format) {
  const Entry* e = Find(format);
  return e ? e->name : nullptr;
}

#if !GRANITE_WITH_OCCT
// The code pages the Open CASCADE readers take, so that a setting means the
// same in every build.
bool IsKnownCodePage(int codePage) {
  return (codePage >= 1250 && codePage <= 1258) || (codePage >= 28591 && codePage <= 28599) ||
         codePage == 850 || codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}
#endif

}  // namespace ktranslate
