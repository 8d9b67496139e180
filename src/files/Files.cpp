// File kinds, the existence test and the search for a component's file.
#include "files/Files.h"

#include <string>

#include "gTranslator90/ktranslator.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "win32/wfsopen.h"
#include "win32/winrt.h"

namespace {

struct FormatTexts {
  GraniteFormatTypes format;
  const WCHAR* texts[4];
};

// Tested in this order; the first text found anywhere in the name decides.
const FormatTexts kFormatTexts[] = {
    {GRANITE_FORMAT_NATIVE, {WSTR(".ASM"), WSTR(".PRT"), WSTR(".XAS"), WSTR(".XPR")}},
    {GRANITE_FORMAT_NEUTRAL, {WSTR(".NEU"), nullptr, nullptr, nullptr}},
    {GRANITE_FORMAT_IGES, {WSTR(".IGS"), WSTR(".IGES"), WSTR(".3GS"), nullptr}},
    {GRANITE_FORMAT_SAT, {WSTR(".SAT"), nullptr, nullptr, nullptr}},
    {GRANITE_FORMAT_STEP, {WSTR(".STEP"), WSTR(".STP"), nullptr, nullptr}},
    {GRANITE_FORMAT_VDA, {WSTR(".VDA"), nullptr, nullptr, nullptr}},
    {GRANITE_FORMAT_PARASOLID, {WSTR(".X_T"), WSTR(".X_B"), nullptr, nullptr}},
};

CBasicString FromKernel(const xstring& text) {
  return CBasicString(text.GetWide());
}

// The file of the assembly whose components are being resolved, or null.
const CBasicString* g_referencingFile = nullptr;

bool IsSeparator(WCHAR c) {
  return c == WCHAR('/') || c == WCHAR('\\');
}

// Rooted ("/x", "\\x") or with a drive letter ("C:").
bool IsAbsolute(const CBasicString& name) {
  const WCHAR* text = name.GetWideString();
  if (name.GetLength() >= 1 && IsSeparator(text[0])) return true;
  return name.GetLength() >= 2 && text[1] == WCHAR(':') &&
         ((text[0] >= WCHAR('A') && text[0] <= WCHAR('Z')) ||
          (text[0] >= WCHAR('a') && text[0] <= WCHAR('z')));
}

// Position of the last separator, -1 when there is none.
int LastSeparator(const CBasicString& path) {
  const WCHAR* text = path.GetWideString();
  for (int i = path.GetLength() - 1; i >= 0; --i) {
    if (IsSeparator(text[i])) return i;
  }
  return -1;
}

// The name beside the referencing assembly, as it stands when it is relative,
// then by its last component; empty when neither is there. Only an assembly
// with an absolute path of its own counts (its components resolved before it),
// and not the model file, beside which the parser searches anyway.
CBasicString BesideReferencingFile(const CBasicString& name) {
  const CBasicString* referencing = g_referencingFile;
  if (!referencing || !IsAbsolute(*referencing) || !g_CurrentParser ||
      *referencing == g_CurrentParser->GetFilename())
    return CBasicString();
  const int folderEnd = LastSeparator(*referencing);
  if (folderEnd < 0) return CBasicString();
  const CBasicString folder = referencing->Mid(0, folderEnd);  // with its separator
  if (!IsAbsolute(name)) {
    CBasicString candidate = folder + name;
    if (FileExists(candidate)) return candidate;
  }
  const int nameEnd = LastSeparator(name);
  if (nameEnd >= 0 && nameEnd + 1 < name.GetLength()) {
    CBasicString candidate = folder + name.Mid(nameEnd + 1, -1);
    if (FileExists(candidate)) return candidate;
  }
  return CBasicString();
}

// The path to test for a name: an absolute name that exists as it stands;
// else the name beside the referencing assembly; else what the parser finds
// (beside the model file, in the installation directory, through the host).
CBasicString ResolveName(const CBasicString& name) {
  if (!IsAbsolute(name) || !FileExists(name)) {
    const CBasicString beside = BesideReferencingFile(name);
    if (beside.GetLength() != 0) return g_CurrentParser->GetResolvedFilename(beside);
  }
  return g_CurrentParser->GetResolvedFilename(name);
}

}  // namespace

GraniteFormatTypes GetFormatFromExtension(const CBasicString& fileName) {
  const int length = fileName.GetLength();
  if (length == 0) return GRANITE_FORMAT_UNKNOWN;
  // Upper-cased unit by unit as CBasicString::MakeUpper does, searched in
  // place: once per part element of every load, so no string object per text.
  std::basic_string<WCHAR> upper(fileName.GetWideString(), static_cast<size_t>(length));
  for (WCHAR& c : upper) c = win32::towupper(c);
  for (const FormatTexts& entry : kFormatTexts) {
    for (const WCHAR* text : entry.texts) {
      if (text && upper.find(text) != std::basic_string<WCHAR>::npos) return entry.format;
    }
  }
  return GRANITE_FORMAT_UNKNOWN;
}

int GetTranslatorFormatCode(int format) {
  switch (format) {
    case GRANITE_FORMAT_IGES:
      return KFORMAT_IGES;
    case GRANITE_FORMAT_NEUTRAL:
      return KFORMAT_NEUTRAL;
    case GRANITE_FORMAT_SAT:
      return KFORMAT_SAT;
    case GRANITE_FORMAT_VDA:
      return KFORMAT_VDA;
    case GRANITE_FORMAT_STEP:
      return KFORMAT_STEP;
    case GRANITE_FORMAT_PARASOLID:
      return KFORMAT_PARASOLID;
  }
  return -1;
}

bool FileExists(CBasicString path) {
  if (path.GetLength() == 0) return false;
  // Denying other readers and writers makes a file held open elsewhere absent.
  // Only regular files open; a directory or a FIFO fails without blocking.
  FILE* stream = win32::_wfsopen(path.GetWideString(), WSTR("r"), win32::_SH_DENYRW);
  if (!stream) return false;
  win32::fclose(stream);
  return true;
}

bool ResolveReferencedFile(CBasicString base, CBasicString* candidate) {
  if (base.GetLength() == 0 || !candidate || !g_CurrentParser) return false;
  *candidate = ResolveName(base);
  if (FileExists(*candidate)) return true;
  // The instance suffix goes on the resolved first candidate...
  *candidate += WSTR(".XPR");
  *candidate = ResolveName(*candidate);
  if (FileExists(*candidate)) return true;
  // ... and the assembly instance suffix on the base itself.
  *candidate = base + WSTR(".XAS");
  *candidate = ResolveName(*candidate);
  return FileExists(*candidate);
}

bool ResolveComponentFile(xrchandle<KComponent> component, CGraniteElement* element) {
  if (!component || !element || !g_CurrentParser) return false;
  CBasicString fileName, configName;
  {
    xstring kernelFile, kernelConfig;
    component->GetReferencedFileName(kernelFile);
    component->GetConfigName(kernelConfig);
    fileName = FromKernel(kernelFile);
    configName = FromKernel(kernelConfig);
  }
  if (fileName.GetLength() == 0) return false;
  CBasicString resolved = ResolveName(fileName);
  if (configName.GetLength() != 0) {
    if (!ResolveReferencedFile(configName, &resolved)) ResolveReferencedFile(fileName, &resolved);
  }
  element->SetFilename(resolved);
  element->SetConfigurationName(configName);
  return true;
}

ReferencingFileScope::ReferencingFileScope(const CBasicString& file)
    : m_outer(g_referencingFile), m_file(file) {
  g_referencingFile = &m_file;
}

ReferencingFileScope::~ReferencingFileScope() {
  g_referencingFile = m_outer;
}
