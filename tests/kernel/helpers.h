// Small helpers shared by the kernel tests.
#pragma once

#include <string>
#include <vector>

#include "gkit/testkit.h"

namespace ktest {

// Opens path through the session and gives its root component's definition.
inline xrchandle<KModel> OpenModel(const std::string& path) {
  xrchandle<KSession> session;
  KGetSession(session);
  if (!session) return xrchandle<KModel>();
  xrchandle<KFile> file;
  session->OpenFile(path.c_str(), file);
  if (!file) return xrchandle<KModel>();
  xrchandle<KComponent> root;
  session->GetRootComponent(file, 1, root);
  file->Close();
  xrchandle<KModel> model;
  if (root) root->GetDefinition(model);
  return model;
}

// The faces of a body, in order.
inline std::vector<xrchandle<KFace>> Faces(const xrchandle<KBody>& body) {
  std::vector<xrchandle<KFace>> faces;
  xrchandle<KFaceSet> set;
  body->GetFaces(set);
  for (int i = 0; set && i < set->GetCount(); ++i) {
    xrchandle<KFace> f;
    set->GetAt(i, f);
    faces.push_back(f);
  }
  return faces;
}

// The first attribute of an object, if it is a colour: r, g, b; else empty.
template <class T>
std::vector<double> FirstColor(const T& object) {
  xrchandle<KAttributeSequence> attributes;
  object->GetAttributes(1, attributes);
  if (!attributes || attributes->GetCount() == 0) return {};
  xrchandle<KAttribute> first;
  attributes->GetAt(0, first);
  KColorAttribute* color = KColorAttribute::cast(first.get());
  if (!color) return {};
  xrchandle<KColor> c;
  color->GetColor(c);
  if (!c) return {};
  return {c->GetRed(), c->GetGreen(), c->GetBlue()};
}

inline KVec3 Corner(const xrchandle<KBox3D>& box, bool max) {
  xrchandle<KPoint3D> p;
  if (max)
    box->GetMaxPoint(p);
  else
    box->GetMinPoint(p);
  return {p->GetX(), p->GetY(), p->GetZ()};
}

}  // namespace ktest

namespace ktest {

struct WalkCount {
  int assemblies = 0, parts = 0, components = 0, bodies = 0, faces = 0, colouredFaces = 0;
  long triangles = 0;
};

// Walks a model through the kernel interface as a loader would: components
// and their definitions, bodies of parts, triangulation of every body. Stops
// at missing objects; depth bounds the descent.
inline void Walk(const xrchandle<KModel>& model, WalkCount& count, int depth = 0) {
  if (!model || depth > 16) return;
  if (KAssembly* assembly = KAssembly::cast(model.get())) {
    ++count.assemblies;
    xrchandle<KComponentSequence> components;
    assembly->GetComponents(components);
    for (int i = 0; components && i < components->GetCount(); ++i) {
      xrchandle<KComponent> c;
      components->GetAt(i, c);
      if (!c) continue;
      ++count.components;
      xrchandle<KModel> definition;
      c->GetDefinition(definition);
      Walk(definition, count, depth + 1);
    }
    return;
  }
  KPartModel* part = KPartModel::cast(model.get());
  if (!part) return;
  ++count.parts;
  std::vector<xrchandle<KBody>> bodies;
  xrchandle<KBody> primary;
  part->GetPrimaryBody(primary);
  if (primary) bodies.push_back(primary);
  xrchandle<KGeometryItemSequence> items;
  part->GetGeometryItems(items);
  for (int i = 0; items && i < items->GetCount(); ++i) {
    xrchandle<KGeometryItem> item;
    items->GetAt(i, item);
    xrchandle<KBody> body;
    if (item) item->GetBody(body);
    if (body) bodies.push_back(body);
  }
  for (const xrchandle<KBody>& body : bodies) {
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
      if (face && !FirstColor(face).empty()) ++count.colouredFaces;
    }
  }
}

inline WalkCount WalkFile(const std::string& path) {
  WalkCount count;
  Walk(OpenModel(path), count);
  return count;
}

}  // namespace ktest
