// The exchange-format readers the translator knows. A reader builds a model
// from an open file; to add one, write it in this module and list it in
// readers.cpp.
#pragma once

#include <string>

#include "gTranslator90/ktranslator.h"

namespace ktranslate {

// Reads the file; null with reason when the file cannot be translated.
// selfContained is set false when the model depends on other files (a STEP
// file's references), so that it cannot be kept by the file's identity alone.
typedef xrchandle<KModel> (*Reader)(const KFile& file, std::string& reason, bool& selfContained);

// The readers through Open CASCADE; ReadIges loads the IGES module, gIges90.
xrchandle<KModel> ReadStep(const KFile& file, std::string& reason, bool& selfContained);
xrchandle<KModel> ReadIges(const KFile& file, std::string& reason, bool& selfContained);

// Whether names can be read through the Windows code page.
bool IsKnownCodePage(int codePage);

// The reader for a Translate format code, or null when there is none.
Reader FindReader(int format);
// The name of a format code, for reasons.
const char* FormatName(int format);

}  // namespace ktranslate
