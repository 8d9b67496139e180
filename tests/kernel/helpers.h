// The kernel tests: the kit's fixture and a walk of a model as a loader makes it.
#pragma once

#include <string>
#include <vector>

#include "gkit/bodies.h"
#include "gkit/fixture.h"

namespace ktest {

using namespace gkit;

struct WalkCount {
  int assemblies = 0, parts = 0, components = 0, bodies = 0, faces = 0, colouredFaces = 0;
  long triangles = 0;
};

// Components and their definitions, bodies of parts, every body triangulated.
// Stops at missing objects; depth bounds the descent.
inline void Walk(const xrchandle<KModel>& model, WalkCount& count, int depth = 0) {
  if (!model || depth > 16) return;
  if (KAssembly::cast(model.get())) {
    ++count.assemblies;
    for (const xrchandle<KComponent>& c : Components(model)) {
      ++count.components;
      Walk(Definition(c), count, depth + 1);
    }
    return;
  }
  count.parts += KPartModel::cast(model.get()) != nullptr;
  for (const xrchandle<KBody>& body : Bodies(model)) {
    ++count.bodies;
    xrchandle<KTriangulator> triangulator;
    KGetTriangulator(triangulator);
    if (!triangulator) continue;
    triangulator->SetChordHeight(0.05);
    triangulator->SetMaxDeviation(0.05);
    triangulator->SetAngleTolerance(0.3);
    xrchandle<KFaceSet> faces;
    body->GetFaces(faces);
    xrchandle<KFaceTessellationSequence> result;
    if (faces) triangulator->Triangulate(faces, result);
    for (int i = 0; result && i < result->GetCount(); ++i) {
      xrchandle<KFaceTessellation> t;
      result->GetAt(i, t);
      if (!t) continue;
      ++count.faces;
      xrchandle<xdoublesequence> vertices;
      t->GetVertices(vertices);
      if (vertices) count.triangles += vertices->GetCount() / 9;
      xrchandle<KFace> face;
      t->GetFace(face);
      if (face && !FirstColour(*face).empty()) ++count.colouredFaces;
    }
  }
}

inline WalkCount WalkFile(const std::string& path) {
  WalkCount count;
  Walk(OpenModel(path), count);
  return count;
}

}  // namespace ktest
