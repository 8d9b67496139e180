// Fuzzes the kernel's native reader: any byte string either gives a model or a
// reason naming the file and a line; a model's bodies triangulate into finite
// triangles with unit normals, and nothing of the kernel stays alive after.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "gBase90/kdiag.h"
#include "gBase90/kservices.h"
#include "gGeometry90/kgeometry.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ksession.h"
#include "gGeometry90/ksession_extras.h"
#include "gGeometry90/ktriangulator.h"
#include "gkit/bodies.h"

namespace {

using fuzz::Check;

bool Finite(const KVec3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

void CheckBox(const xrchandle<KModel>& model) {
  xrchandle<KBox3D> box;
  model->GetModelBox(box);
  if (!box) return;
  KVec3 lo = box->Min(), hi = box->Max();
  Check(Finite(lo) && Finite(hi), "a model box is not finite");
  Check(lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z, "a model box is inside out");
}

void Triangulate(const xrchandle<KBody>& body) {
  xrchandle<KFaceSet> faces;
  body->GetFaces(faces);
  if (!faces || faces->GetCount() == 0) return;
  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  Check(bool(triangulator), "no triangulator");
  // Coarse settings keep each run short; the limits of the triangulator hold anyway.
  triangulator->SetAngleTolerance(1.0);
  xrchandle<KFaceTessellationSequence> out;
  triangulator->Triangulate(faces, out);
  Check(out && out->GetCount() == faces->GetCount(), "not one tessellation per face");
  long triangles = 0;
  for (int i = 0; i < out->GetCount(); ++i) {
    xrchandle<KFaceTessellation> t;
    out->GetAt(i, t);
    Check(bool(t), "a null tessellation");
    xrchandle<xdoublesequence> vertices, normals;
    t->GetVertices(vertices);
    t->GetNormals(normals);
    Check(vertices && normals, "a tessellation without arrays");
    const int n = vertices->GetCount();
    Check(n % 9 == 0 && normals->GetCount() == n, "vertex and normal arrays disagree");
    triangles += n / 9;
    for (int k = 0; k < n; k += 3) {
      const KVec3 v{vertices->GetAt(k), vertices->GetAt(k + 1), vertices->GetAt(k + 2)};
      const KVec3 m{normals->GetAt(k), normals->GetAt(k + 1), normals->GetAt(k + 2)};
      Check(Finite(v), "a vertex is not finite");
      Check(std::fabs(Length(m) - 1) < 1e-6, "a normal is not of unit length");
    }
  }
  Check(triangles <= kMaxTrianglesPerCall, "more triangles than one call allows");
}

void Walk(const xrchandle<KModel>& model) {
  CheckBox(model);
  if (KPartModel::cast(model.get())) {
    for (const xrchandle<KBody>& body : gkit::Bodies(model)) Triangulate(body);
  } else if (KAssembly::cast(model.get())) {
    for (const xrchandle<KComponent>& component : gkit::Components(model)) {
      xstring name, config;
      component->GetReferencedFileName(name);
      component->GetConfigName(config);
      xrchandle<KMatrix3D> placement;
      component->GetPlacement(placement);
      if (placement)
        for (int k = 0; k < 16; ++k)
          Check(std::isfinite(placement->Get(k / 4, k % 4)), "a placement is not finite");
      // The folder does not exist, so the definition loads nothing.
      Check(!gkit::Definition(component), "a definition came from nowhere");
    }
  } else {
    Check(false, "a model that is neither a part nor an assembly");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::g_target = "native reader fuzz";
  const int before = KLiveObjects();
  {
    const std::string text(reinterpret_cast<const char*>(data), size);
    xrchandle<KModel> model = KReadNative(text, "fuzz.prt", "/nonexistent/granite-fuzz");
    if (model) {
      Walk(model);
    } else {
      const std::string reason = KGetLastError();
      Check(reason.compare(0, 9, "fuzz.prt:") == 0, "a refusal without the file and line");
    }
  }
  Check(KLiveObjects() == before, "kernel objects outlive their handles");
  return 0;
}
