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
  return {c->GetRed(), c->GetGreen(), c->GetBlue()};
}

inline KVec3 Corner(const xrchandle<KBox3D>& box, bool max) {
  xrchandle<KPoint3D> p;
  if (max) box->GetMaxPoint(p);
  else box->GetMinPoint(p);
  return {p->GetX(), p->GetY(), p->GetZ()};
}

}  // namespace ktest
