#include "readers.h"

namespace ktranslate {
namespace {

struct Entry {
  int format;
  const char* name;
  Reader reader;  // null: no reader here yet
};

const Entry kFormats[] = {
    {KFORMAT_IGES, "IGES", ReadIges},          {KFORMAT_NEUTRAL, "neutral", nullptr},
    {KFORMAT_PARASOLID, "Parasolid", nullptr}, {KFORMAT_SAT, "SAT", nullptr},
    {KFORMAT_STEP, "STEP", ReadStep},          {KFORMAT_VDA, "VDA", nullptr},
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

}  // namespace ktranslate
