#include "helpers.h"

#include <sys/stat.h>

namespace otest {

bool HaveRealData() {
  struct stat st;
  return stat((RealData() + "PROVENANCE.md").c_str(), &st) == 0;
}

xrchandle<KModel> Translate(const std::string& path, int format, std::string* reason) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KTranslator> translator;
  KGetTranslator(translator);
  xrchandle<KModel> model;
  if (!session || !translator) return model;
  KClearLastError();
  xrchandle<KFile> file;
  session->OpenFile(path.c_str(), file);
  if (file) {
    translator->Translate(format, file, xrchandle<xobject>(), xrchandle<xobject>(), model);
    file->Close();
  }
  if (reason) *reason = KGetLastError();
  return model;
}

std::string FileName(const xrchandle<KComponent>& component) {
  xstring name;
  component->GetReferencedFileName(name);
  return name.GetNarrow();
}

std::set<const KModel*> Parts(const xrchandle<KModel>& model, int depth) {
  std::set<const KModel*> parts;
  if (KPartModel::cast(model.get())) parts.insert(model.get());
  for (const xrchandle<KComponent>& c : Components(model))
    if (depth < 32)
      for (const KModel* part : Parts(Definition(c), depth + 1)) parts.insert(part);
  return parts;
}

}  // namespace otest
