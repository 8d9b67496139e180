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
  *candidate = g_CurrentParser->GetResolvedFilename(base);
  if (FileExists(*candidate)) return true;
  // The instance suffix goes on the resolved first candidate...
  *candidate += WSTR(".XPR");
  *candidate = g_CurrentParser->GetResolvedFilename(*candidate);
  if (FileExists(*candidate)) return true;
  // ... and the assembly instance suffix on the base itself.
  *candidate = base + WSTR(".XAS");
  *candidate = g_CurrentParser->GetResolvedFilename(*candidate);
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
  CBasicString resolved = g_CurrentParser->GetResolvedFilename(fileName);
  if (configName.GetLength() != 0) {
    if (!ResolveReferencedFile(configName, &resolved)) ResolveReferencedFile(fileName, &resolved);
  }
  element->SetFilename(resolved);
  element->SetConfigurationName(configName);
  return true;
}
