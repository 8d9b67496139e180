// The translator: models from exchange files.
#pragma once

#include "gGeometry90/ksession.h"

// Format codes of Translate.
enum {
  KFORMAT_IGES = 0,
  KFORMAT_NEUTRAL = 2,
  KFORMAT_PARASOLID = 3,
  KFORMAT_SAT = 5,
  KFORMAT_STEP = 6,
  KFORMAT_VDA = 7,
};

class GRANITE_VISIBLE KTranslator : public xobject {
  XOBJECT_DECLARE(KTranslator)
 public:
  KTranslator();
  // Builds the model held by an open file of the given format. options and
  // progress are not used and may be null. Null when the format has no reader
  // here or the file cannot be translated; KGetLastError tells why.
  void Translate(int format, xrchandle<KFile> file, xrchandle<xobject> options,
                 xrchandle<xobject> progress, xrchandle<KModel>& out);

 protected:
  ~KTranslator() override;
};

// The translator; null when the kernel is not loaded.
GRANITE_VISIBLE void KGetTranslator(xrchandle<KTranslator>& out);
