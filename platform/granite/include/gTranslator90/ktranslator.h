// The translator: models from exchange files.
#pragma once

#include <string>
#include <vector>

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

class GRANITE_KTRANSLATOR_API KTranslator : public xobject {
  XOBJECT_DECLARE(KTranslator)
 public:
  KTranslator();
  // Builds the model held by an open file of the given format. options and
  // progress are not used and may be null. Null when the format has no reader
  // here or the file cannot be translated; KGetLastError tells why.
  void Translate(int format, xrchandle<KFile> file, xrchandle<xobject> options,
                 xrchandle<xobject> progress, xrchandle<KModel>& out);

  // Settings of every translation that follows, in the whole process.
  // The Windows code page (1250 to 1258, 850, 932, 936, 949, 950, 28591
  // to 28599) through which names of a STEP file written as 8-bit bytes that
  // are not valid UTF-8 are read; 1252 until set. False, and no change, for a
  // code page the translator cannot read.
  static bool SetNameCodePage(int codePage);
  static int GetNameCodePage();
  // Whether components a file marks invisible keep their definition (drawn)
  // or get none (not drawn; the component stays); false until set.
  static void SetShowHidden(bool show);
  static bool GetShowHidden();
  // Further folders (UTF-8) in which a file that a STEP file refers to is
  // looked for when it is not beside the referring file; none until set.
  static void SetSearchFolders(const std::vector<std::string>& folders);
  static const std::vector<std::string>& GetSearchFolders();
  // At most this many worker threads mesh the bodies of a translated model
  // (0: as many as the hardware has; 1: none, the calling thread meshes each
  // body when it is asked); 0 until set.
  static void SetMeshingThreads(int threads);
  static int GetMeshingThreads();

 protected:
  ~KTranslator() override;
};

// The translator; null when the kernel is not loaded.
GRANITE_KTRANSLATOR_API void KGetTranslator(xrchandle<KTranslator>& out);
