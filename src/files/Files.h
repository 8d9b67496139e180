// File kinds and referenced-file resolution.
#pragma once

#include "gGeometry90/kmodel.h"
#include "granite/CBasicString.h"
#include "granite/GraniteTypes.h"

class CGraniteElement;

// The source format named anywhere in the (upper-cased) path; 0 when none.
GraniteFormatTypes GetFormatFromExtension(const CBasicString& fileName);
// The kernel translator's code for a translated format (2..7), -1 for any other.
int GetTranslatorFormatCode(int format);
// Whether the file can be opened for reading with other readers and writers denied.
bool FileExists(CBasicString path);
// Writes the element's file name and configuration name from the component.
bool ResolveComponentFile(xrchandle<KComponent> component, CGraniteElement* element);
// Tries the three candidate names of base; candidate holds the last one tried.
bool ResolveReferencedFile(CBasicString base, CBasicString* candidate);

// While one lives, the names ResolveComponentFile resolves are looked for
// beside this file first: the assembly whose components they are. Scopes nest
// as assemblies are parsed inside one another.
class ReferencingFileScope {
 public:
  explicit ReferencingFileScope(const CBasicString& file);
  ReferencingFileScope(const ReferencingFileScope&) = delete;
  ReferencingFileScope& operator=(const ReferencingFileScope&) = delete;
  ~ReferencingFileScope();

 private:
  const CBasicString* m_outer;
  CBasicString m_file;
};
