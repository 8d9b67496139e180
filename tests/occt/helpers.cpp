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

Mesh Triangulate(const xrchandle<KBody>& body, double chord, double angle) {
  Mesh mesh;
  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  triangulator->SetChordHeight(chord);
  triangulator->SetMaxDeviation(chord);
  triangulator->SetAngleTolerance(angle);
  xrchandle<KFaceSet> faces;
  body->GetFaces(faces);
  xrchandle<KFaceTessellationSequence> result;
  triangulator->Triangulate(faces, result);
  for (int i = 0; result && i < result->GetCount(); ++i) {
    xrchandle<KFaceTessellation> t;
    result->GetAt(i, t);
    xrchandle<xdoublesequence> v, n;
    t->GetVertices(v);
    t->GetNormals(n);
    const std::vector<double>& p = v->Values();
    const std::vector<double>& q = n->Values();
    if (p.size() != q.size()) {
      mesh.worstNormal = 1e9;
      continue;
    }
    for (size_t k = 0; k + 8 < p.size(); k += 9) {
      KVec3 a{p[k], p[k + 1], p[k + 2]}, b{p[k + 3], p[k + 4], p[k + 5]},
          c{p[k + 6], p[k + 7], p[k + 8]};
      ++mesh.triangles;
      mesh.signedVolume += Dot(a, Cross(b, c)) / 6;
      KVec3 g = Cross(b - a, c - a);
      for (size_t j = 0; j < 3; ++j) {
        KVec3 nv{q[k + 3 * j], q[k + 3 * j + 1], q[k + 3 * j + 2]};
        mesh.worstNormal = std::max(mesh.worstNormal, std::fabs(Length(nv) - 1));
        if (Dot(nv, g) < 0) ++mesh.normalsAgainst;
      }
    }
  }
  return mesh;
}

}  // namespace otest
