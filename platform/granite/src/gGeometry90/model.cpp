#include <string>

#include "gBase90/kcall.h"
#include "gBase90/kservices.h"
#include "gBase90/xthrowable.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ksession_extras.h"
#include "native.h"
#include "surface.h"

XOBJECT_DEFINE(KModel, xobject)
XOBJECT_DEFINE(KAssembly, KModel)
XOBJECT_DEFINE(KComponent, xobject)
XOBJECT_DEFINE(KPartModel, KModel)
XOBJECT_DEFINE(KGeometryItem, xobject)
XOBJECT_DEFINE(KBody, xobject)
XOBJECT_DEFINE(KFace, xobject)
XOBJECT_DEFINE(KFaceGeometry, xobject)

namespace {
// Measuring an assembly descends at most this deep, and loads at most this
// many referenced files, so that cyclic or exploding references stay bounded.
constexpr int kMaxMeasureDepth = 32;
constexpr int kMaxMeasureLoads = 256;
thread_local int t_measureLoads = 0;
}  // namespace

void KModel::GetModelBox(xrchandle<KBox3D>& out) const {
  out.reset();
  if (KEnter(KCall::GetModelBox)) return;
  KExtent extent;
  if (m_shared && m_boxKnown) {
    extent = m_box;
  } else {
    Measure(KAffine(), extent, 0);
    // A shared model no longer changes (only part models are shared: an
    // assembly's box depends on the files its components load).
    if (m_shared) {
      m_box = extent;
      m_boxKnown = true;
    }
  }
  if (!extent.IsEmpty()) out = new KBox3D(extent.lo, extent.hi);
}

int KModel::GetUnits() const {
  return KEnter(KCall::GetUnits) ? -1 : m_units;
}

void KModel::SetUnits(int code) {
  CheckChangeable("SetUnits");
  m_units = code;
}

void KModel::CheckChangeable(const char* what) const {
  if (m_shared)
    KThrow((std::string(what) + " on a model read from a file, which every opener of the file "
                                "shares and must not change")
               .c_str());
}

KAssembly::KAssembly() : m_components(new KComponentSequence) {}

void KAssembly::GetComponents(xrchandle<KComponentSequence>& out) const {
  out = KEnter(KCall::GetComponents) ? xrchandle<KComponentSequence>() : m_components;
}

void KAssembly::AddComponent(const xrchandle<KComponent>& component) {
  m_components->Add(component);
}

void KAssembly::Measure(const KAffine& map, KExtent& extent, int depth) const {
  if (depth == 0) t_measureLoads = kMaxMeasureLoads;
  if (depth >= kMaxMeasureDepth) return;
  for (const xrchandle<KComponent>& c : m_components->Items()) {
    if (!c) continue;
    xrchandle<KModel> definition = c->Definition(&t_measureLoads);
    if (!definition) continue;
    KAffine local = c->Placement() ? c->Placement()->Affine() : KAffine();
    definition->Measure(local.Then(map), extent, depth + 1);
  }
}

KComponent::KComponent(const xstring& fileName, const xstring& configName,
                       const xrchandle<KMatrix3D>& placement, const xrchandle<KModel>& definition)
    : m_fileName(fileName),
      m_configName(configName),
      m_placement(placement),
      m_definition(definition) {}

void KComponent::GetReferencedFileName(xstring& out) const {
  out = KEnter(KCall::GetReferencedFileName) ? xstring() : m_fileName;
}

void KComponent::GetConfigName(xstring& out) const {
  out = KEnter(KCall::GetConfigName) ? xstring() : m_configName;
}

void KComponent::GetPlacement(xrchandle<KMatrix3D>& out) const {
  out = KEnter(KCall::GetPlacement) ? xrchandle<KMatrix3D>() : m_placement;
}

void KComponent::GetDefinition(xrchandle<KModel>& out) const {
  out.reset();
  if (KEnter(KCall::GetDefinition)) return;
  out = Definition();
}

xrchandle<KModel> KComponent::Definition(int* loadsLeft) const {
  if (!m_definition && !m_directory.empty() && !m_loadTried) {
    if (loadsLeft) {
      if (*loadsLeft <= 0) return m_definition;
      --*loadsLeft;
    }
    m_loadTried = true;
    m_definition = knative::LoadReferenced(m_directory, m_fileName, m_configName);
  }
  return m_definition;
}

KPartModel::KPartModel() : m_items(new KGeometryItemSequence) {}

void KPartModel::GetPrimaryBody(xrchandle<KBody>& out) const {
  out = KEnter(KCall::GetPrimaryBody) ? xrchandle<KBody>() : m_primary;
}

void KPartModel::GetGeometryItems(xrchandle<KGeometryItemSequence>& out) const {
  out = KEnter(KCall::GetGeometryItems) ? xrchandle<KGeometryItemSequence>() : m_items;
}

void KPartModel::SetPrimaryBody(const xrchandle<KBody>& body) {
  CheckChangeable("SetPrimaryBody");
  m_primary = body;
}

void KPartModel::AddItem(const xrchandle<KGeometryItem>& item) {
  CheckChangeable("AddItem");
  m_items->Add(item);
}

void KPartModel::AddLooseGeometry(const xrchandle<KFaceGeometry>& geometry) {
  CheckChangeable("AddLooseGeometry");
  m_loose.push_back(geometry);
}

void KPartModel::Measure(const KAffine& map, KExtent& extent, int depth) const {
  for (const xrchandle<KFaceGeometry>& g : m_loose)
    if (g) g->Measure(map, extent);
  if (m_primary) m_primary->Measure(map, extent, depth);
  for (const xrchandle<KGeometryItem>& item : m_items->Items()) {
    if (item && item->Body() && item->Body() != m_primary)
      item->Body()->Measure(map, extent, depth);
  }
}

void KGeometryItem::GetBody(xrchandle<KBody>& out) const {
  out = KEnter(KCall::GetBody) ? xrchandle<KBody>() : m_body;
}

KBody::KBody() : m_faces(new KFaceSet) {}

void KBody::GetFaces(xrchandle<KFaceSet>& out) const {
  out = KEnter(KCall::GetFaces) ? xrchandle<KFaceSet>() : m_faces;
}

void KBody::AddFace(const xrchandle<KFace>& face) {
  m_faces->Add(face);
}

int KBody::FaceCount() const {
  return m_faces->GetCount();
}

void KBody::Measure(const KAffine& map, KExtent& extent, int depth) const {
  for (const xrchandle<KFace>& face : m_faces->Items())
    if (face) face->Measure(map, extent, depth);
}

void KFace::Measure(const KAffine& map, KExtent& extent, int) const {
  if (m_geometry) {
    m_geometry->Measure(map, extent);
    return;
  }
  ksurface::Measure(m_surface, map, extent);
}

namespace {

long FacesToMesh(const KModel& model, int depth) {
  if (depth > 64) return 0;
  if (const KPartModel* part = KPartModel::cast(&model)) {
    long faces = part->PrimaryBody() ? part->PrimaryBody()->FaceCount() : 0;
    for (const xrchandle<KGeometryItem>& item : part->Items().Items())
      if (item && item->Body()) faces += item->Body()->FaceCount();
    return faces;
  }
  long faces = 0;
  if (const KAssembly* assembly = KAssembly::cast(&model)) {
    for (const xrchandle<KComponent>& component : assembly->Components().Items()) {
      if (!component) continue;
      int loads = 0;
      xrchandle<KModel> definition = component->Definition(&loads);
      if (definition) faces += FacesToMesh(*definition, depth + 1);
    }
  }
  return faces;
}

}  // namespace

long KFacesToMesh(const KModel& model) {
  return FacesToMesh(model, 0);
}
