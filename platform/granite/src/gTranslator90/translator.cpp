#include <string>

#include "gBase90/kcall.h"
#include "gBase90/kprogress.h"
#include "gBase90/kservices.h"
#include "gGeometry90/ksession_extras.h"
#include "gTranslator90/ktranslator.h"
#include "readers.h"

XOBJECT_DEFINE(KTranslator, xobject)

namespace {
int g_nameCodePage = 1252;
bool g_showHidden = false;
int g_meshingThreads = 0;
std::vector<std::string>& SearchFolders() {
  static std::vector<std::string>* folders = new std::vector<std::string>;
  return *folders;
}
}  // namespace

KTranslator::KTranslator() = default;
KTranslator::~KTranslator() = default;

void KTranslator::Translate(int format, xrchandle<KFile> file, xrchandle<xobject>,
                            xrchandle<xobject>, xrchandle<KModel>& out) {
  out.reset();
  if (KEnter(KCall::Translate)) return;
  if (!file || file->IsClosed()) {
    KSetLastError(file ? "Translate was given a closed file" : "Translate was given no file");
    return;
  }
  // A file bound to a model (KBindModel) translates into that model, whatever
  // the format code, so that tests can hand the loader any translated model.
  if (file->Model()) {
    out = file->Model();
    KBeginMeshing(KFacesToMesh(*out));
    return;
  }
  const char* name = ktranslate::FormatName(format);
  ktranslate::Reader reader = ktranslate::FindReader(format);
  if (!reader) {
    std::string reason = "'" + file->Path() + "': " +
                         (name ? std::string("the ") + name + " format is not supported"
                               : "format code " + std::to_string(format) + " is not supported");
    KSetLastError(reason.c_str());
    return;
  }
  // A file translated before under the same settings, unchanged since: its
  // model, with the meshes its bodies made.
  const std::string variant = std::to_string(format) + " " + std::to_string(g_nameCodePage) +
                              (g_showHidden ? " hidden" : "");
  out = KFindTranslatedModel(file->Path(), variant);
  if (out) {
    KBeginMeshing(KFacesToMesh(*out));
    return;
  }
  std::string reason;
  bool selfContained = true;
  out = reader(*file, reason, selfContained);
  KTranslatedModel(file->Path(), variant, out, selfContained);
  if (!out) KSetLastError(reason.c_str());
  else KBeginMeshing(KFacesToMesh(*out));
}

bool KTranslator::SetNameCodePage(int codePage) {
  if (!ktranslate::IsKnownCodePage(codePage)) return false;
  g_nameCodePage = codePage;
  return true;
}

int KTranslator::GetNameCodePage() {
  return g_nameCodePage;
}

void KTranslator::SetShowHidden(bool show) {
  g_showHidden = show;
}

bool KTranslator::GetShowHidden() {
  return g_showHidden;
}

void KTranslator::SetSearchFolders(const std::vector<std::string>& folders) {
  SearchFolders() = folders;
}

void KTranslator::SetMeshingThreads(int threads) {
  g_meshingThreads = threads > 0 ? threads : 0;
}

int KTranslator::GetMeshingThreads() {
  return g_meshingThreads;
}

const std::vector<std::string>& KTranslator::GetSearchFolders() {
  return SearchFolders();
}

void KGetTranslator(xrchandle<KTranslator>& out) {
  out.reset();
  if (KEnter(KCall::Translator)) return;
  out = new KTranslator;
}
