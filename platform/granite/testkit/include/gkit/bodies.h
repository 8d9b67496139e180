// Walking a kernel model the way a loader does, for tests and fuzz targets:
// an assembly's components and their definitions, a part's bodies (the primary
// body first, then each geometry item's body), a body's faces, and the colour
// an object carries as its first attribute, a body's triangles. Null links are
// skipped.
#pragma once

#include <vector>

#include "gGeometry90/kattribute.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ktriangulator.h"

namespace gkit {

// The components of an assembly, in order (none for a part).
inline std::vector<xrchandle<KComponent>> Components(const xrchandle<KModel>& model) {
  std::vector<xrchandle<KComponent>> out;
  xrchandle<KComponentSequence> components;
  if (KAssembly* assembly = KAssembly::cast(model.get())) assembly->GetComponents(components);
  for (int i = 0; components && i < components->GetCount(); ++i) {
    xrchandle<KComponent> c;
    components->GetAt(i, c);
    if (c) out.push_back(c);
  }
  return out;
}

inline xrchandle<KModel> Definition(const xrchandle<KComponent>& component) {
  xrchandle<KModel> model;
  if (component) component->GetDefinition(model);
  return model;
}

// The bodies of a part: the primary body, then the geometry items' bodies.
inline std::vector<xrchandle<KBody>> Bodies(const xrchandle<KModel>& model) {
  std::vector<xrchandle<KBody>> out;
  KPartModel* part = KPartModel::cast(model.get());
  if (!part) return out;
  xrchandle<KBody> primary;
  part->GetPrimaryBody(primary);
  if (primary) out.push_back(primary);
  xrchandle<KGeometryItemSequence> items;
  part->GetGeometryItems(items);
  for (int i = 0; items && i < items->GetCount(); ++i) {
    xrchandle<KGeometryItem> item;
    items->GetAt(i, item);
    xrchandle<KBody> body;
    if (item) item->GetBody(body);
    if (body) out.push_back(body);
  }
  return out;
}

inline std::vector<xrchandle<KFace>> Faces(const xrchandle<KBody>& body) {
  std::vector<xrchandle<KFace>> out;
  xrchandle<KFaceSet> faces;
  if (body) body->GetFaces(faces);
  for (int i = 0; faces && i < faces->GetCount(); ++i) {
    xrchandle<KFace> f;
    faces->GetAt(i, f);
    if (f) out.push_back(f);
  }
  return out;
}

// r, g, b of an object's first attribute when it is a colour; empty otherwise.
inline std::vector<double> FirstColour(const KAttributable& object) {
  xrchandle<KAttributeSequence> attributes;
  object.GetAttributes(KATTRIBUTES_OWN, attributes);
  if (!attributes || attributes->GetCount() == 0) return {};
  xrchandle<KAttribute> first;
  attributes->GetAt(0, first);
  KColorAttribute* colour = KColorAttribute::cast(first.get());
  xrchandle<KColor> c;
  if (colour) colour->GetColor(c);
  if (!c) return {};
  return {c->GetRed(), c->GetGreen(), c->GetBlue()};
}

// A body's faces triangulated with the given settings: each vertex and its
// normal, three to a triangle, face after face.
struct Triangles {
  std::vector<KVec3> points, normals;
};

inline Triangles Triangulate(const xrchandle<KBody>& body, double chord, double deviation,
                             double angle) {
  Triangles t;
  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  xrchandle<KFaceSet> faces;
  if (body) body->GetFaces(faces);
  if (!triangulator || !faces) return t;
  triangulator->SetChordHeight(chord);
  triangulator->SetMaxDeviation(deviation);
  triangulator->SetAngleTolerance(angle);
  xrchandle<KFaceTessellationSequence> result;
  triangulator->Triangulate(faces, result);
  for (int f = 0; result && f < result->GetCount(); ++f) {
    xrchandle<KFaceTessellation> face;
    result->GetAt(f, face);
    xrchandle<xdoublesequence> v, n;
    if (face) face->GetVertices(v), face->GetNormals(n);
    for (int i = 0; v && n && i + 2 < v->GetCount() && i + 2 < n->GetCount(); i += 3) {
      t.points.push_back({v->GetAt(i), v->GetAt(i + 1), v->GetAt(i + 2)});
      t.normals.push_back({n->GetAt(i), n->GetAt(i + 1), n->GetAt(i + 2)});
    }
  }
  return t;
}

}  // namespace gkit
