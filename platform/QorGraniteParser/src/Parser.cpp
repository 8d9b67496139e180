// The sibling's half of CGraniteParser: construction and teardown, elements,
// the matrix stack, meshes, resolved parts, colours, progress and tolerances.
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <new>

#include "Registry.h"
#include "qorvelaex/C3DMScene.h"

namespace {

// One level of the matrix stack: the matrix pushed and the composition of it
// with every level below, so that the current matrix is read in O(1). The
// stack grows at the list's head: the head is the top.
struct MatrixLevel {
  velaMatrix4x4 pushed;
  velaMatrix4x4 composed;
  bool operator==(const MatrixLevel& o) const {
    return pushed == o.pushed && composed == o.composed;
  }
};

bool Equal(const MatrixLevel& a, const MatrixLevel& b) {
  return a == b;
}
bool Equal(const velaChroma& a, const velaChroma& b) {
  return a == b;
}
bool Equal(CGraniteResolvedFileEntry& a, CGraniteResolvedFileEntry& b) {
  return a.GetOriginalFilename() == b.GetOriginalFilename() &&
         a.GetResolvedFilename() == b.GetResolvedFilename();
}

// Item function of a list that owns heap items of type T, so that the list
// copy of a copied parser copies them and each parser releases its own.
template <class T>
bool OwnedItem(int operation, void** slot, const void* argument) {
  if (slot == nullptr) return false;
  switch (operation) {
    case kItemCreate:
      *slot = new (std::nothrow) T();
      return true;
    case kItemDestroy:
      delete static_cast<T*>(*slot);
      *slot = nullptr;
      return true;
    case kItemCopy:
      if (argument == nullptr || *slot == nullptr) return false;
      *static_cast<T*>(*slot) = *static_cast<const T*>(argument);
      return true;
    case kItemEquals:
      if (argument == nullptr || *slot == nullptr) return false;
      return Equal(*static_cast<T*>(*slot), *const_cast<T*>(static_cast<const T*>(argument)));
    default:
      return false;
  }
}

// A stop asked for by the host, possibly from a signal handler: a lock-free
// flag is all such a handler may touch.
std::atomic<bool> g_stopRequested(false);
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag must be lock-free");

// Muted, well separated colours for parts without a colour of their own.
const float kPalette[][3] = {
    {0.80f, 0.36f, 0.33f}, {0.33f, 0.56f, 0.80f}, {0.45f, 0.70f, 0.40f}, {0.93f, 0.68f, 0.28f},
    {0.58f, 0.45f, 0.76f}, {0.28f, 0.70f, 0.70f}, {0.88f, 0.53f, 0.67f}, {0.72f, 0.66f, 0.42f},
    {0.52f, 0.58f, 0.66f}, {0.78f, 0.46f, 0.24f}, {0.44f, 0.52f, 0.86f}, {0.62f, 0.78f, 0.33f},
};
const int kPaletteSize = int(sizeof(kPalette) / sizeof(kPalette[0]));

qgp::Text BaseName(const qgp::Text& name) {
  const size_t slash = name.find_last_of(WSTR("/\\"));
  return slash == qgp::Text::npos ? name : name.substr(slash + 1);
}

}  // namespace

CGraniteParser::CGraniteParser()
    : m_world(nullptr),
      m_loaderPtr(nullptr),
      m_getSupportFilePtr(nullptr),
      m_decimationMagnitude(0.0),
      m_lastPercentage(0.0),
      m_modelUnits(IMAGE_UNITS_UNKNOWN),
      m_currentGroup(nullptr),
      m_currentColor(0.7f, 0.7f, 0.7f, 1.0f),
      m_totalParts(0),
      m_currentPart(0),
      m_chordalTolerance(0.0),
      m_angularTolerance(0.0),
      m_loadResolution(GRANITE_RESOLUTION_MEDIUM),
      m_unitsRetrieved(false) {
  m_modelBoundingBox.Reset();
  m_matrixStack.SetItemFunction(&OwnedItem<MatrixLevel>);
  m_generatedColorList.SetItemFunction(&OwnedItem<velaChroma>);
  m_resolvedFilesList.SetItemFunction(&OwnedItem<CGraniteResolvedFileEntry>);
  qgp::Registry::Instance().ParserMade(this);
}

CGraniteParser::~CGraniteParser() {
  // The resolved parts are elements of the tree below; they are only referred to.
  m_resolvedPartsList.RemoveAll();
  std::vector<CGraniteElement*> roots;
  std::vector<std::unique_ptr<C3DMGroup>> groups;
  qgp::Registry::Instance().ParserGone(this, roots, groups);
  // Roots shared with a copy stay in the copy's list but belong to this parser.
  m_elementList.RemoveAll();
  for (CGraniteElement* root : roots) delete root;
  groups.clear();
  m_matrixStack.DestroyAll();
  m_generatedColorList.DestroyAll();
  m_resolvedFilesList.DestroyAll();
}

CGraniteElement* CGraniteParser::CreateElement(CBasicString fileName, CBasicString displayName) {
  // The world owns the group: an element dropped before it is attached leaves
  // nothing behind when the scene is torn down. Without a world (a host that
  // loads one exchange file into its own group) the parser owns it.
  C3DMGroup* group = nullptr;
  if (m_world != nullptr) {
    group = m_world->CreateGroup();
  } else {
    std::unique_ptr<C3DMGroup> made(new C3DMGroup(nullptr));
    group = made.get();
    qgp::Registry::Instance().KeepGroup(this, std::move(made));
  }
  if (group == nullptr) return nullptr;
  CGraniteElement* element = new CGraniteElement();
  element->SetFilename(fileName);
  element->SetDisplayName(qgp::ToString(BaseName(qgp::ToText(displayName))));
  element->SetGroup(group);
  return element;
}

bool CGraniteParser::AddElementToList(CGraniteElement* element) {
  if (element == nullptr) return false;
  // An element that already belongs somewhere (another parser's root, a
  // child) is listed but not taken over.
  if (!qgp::Registry::Instance().TakeRoot(this, element)) return false;
  return m_elementList.AddTail(element);
}

bool CGraniteParser::PushMatrix(velaMatrix4x4& matrix) {
  const MatrixLevel* top = static_cast<const MatrixLevel*>(m_matrixStack.GetHead());
  MatrixLevel* level = new MatrixLevel;
  level->pushed = matrix;
  // Row vectors: the newest (innermost) placement applies first.
  level->composed = top ? matrix * top->composed : matrix;
  if (!m_matrixStack.AddHead(level)) {
    delete level;
    return false;
  }
  return true;
}

velaMatrix4x4 CGraniteParser::PopMatrix() {
  MatrixLevel* level = static_cast<MatrixLevel*>(m_matrixStack.RemoveHead());
  if (level == nullptr) return velaMatrix4x4();
  const velaMatrix4x4 pushed = level->pushed;
  void* slot = level;
  if (!OwnedItem<MatrixLevel>(kItemDestroy, &slot, nullptr)) delete level;
  return pushed;
}

velaMatrix4x4 CGraniteParser::GetCurrentMatrix() {
  const MatrixLevel* top = static_cast<const MatrixLevel*>(m_matrixStack.GetHead());
  return top ? top->composed : velaMatrix4x4();
}

void CGraniteParser::ClearMatrixStack() {
  if (!m_matrixStack.DestroyAll()) m_matrixStack.RemoveAll();
}

// The counts are runs of whole triangles laid end to end over the points; the
// normals are one per point or absent (then each triangle's own normal).
bool CGraniteParser::AddMeshToGroup(velaFloatPointArray& points, velaVectorArray& normals,
                                    velaIntArray& counts) {
  if (m_currentGroup == nullptr) return false;
  const uint32_t pointCount = points.GetSize();
  if (pointCount == 0 || counts.GetSize() == 0) return false;
  if (normals.GetSize() != 0 && normals.GetSize() != pointCount) return false;
  uint64_t total = 0;
  for (uint32_t i = 0; i < counts.GetSize(); ++i) {
    if (counts[i] < 0 || counts[i] % 3 != 0) return false;
    total += uint64_t(counts[i]);
  }
  if (total != pointCount) return false;

  C3DMMesh mesh;
  mesh.points.assign(points.data, points.data + pointCount);
  mesh.counts.assign(counts.data, counts.data + counts.GetSize());
  if (normals.GetSize() != 0) {
    // Normals come unit length from the tessellation as a rule; only those
    // that are not are scaled (a unit vector would change by rounding only).
    // One pass: each normal is checked as it is copied.
    mesh.normals.reserve(pointCount);
    for (uint32_t i = 0; i < pointCount; ++i) {
      velaVector n = normals.data[i];
      const float lengthSquared = n.x * n.x + n.y * n.y + n.z * n.z;
      if (!(std::fabs(lengthSquared - 1.0f) <= 4e-7f)) n.Normalize();
      mesh.normals.push_back(n);
    }
  } else {
    mesh.normals.resize(pointCount);
    for (uint32_t i = 0; i < pointCount; i += 3) {
      velaVector faceNormal =
          velaVector(points[i], points[i + 1]).Cross(velaVector(points[i], points[i + 2]));
      faceNormal.Normalize();
      for (uint32_t k = i; k < i + 3; ++k) mesh.normals[k] = faceNormal;
    }
  }
  mesh.color = m_currentColor;
  m_currentGroup->AddMesh(std::move(mesh));
  return true;
}

// The first element recorded for a file and configuration is the one reused.
bool CGraniteParser::AddResolvedPart(CGraniteElement* element) {
  if (element == nullptr) return false;
  return qgp::Registry::Instance().AddResolvedPart(this, m_resolvedPartsList, element);
}

// The answer comes from the list as it is now (the registry's index is used
// only while it provably matches the list).
CGraniteElement* CGraniteParser::FindResolvedPart(CBasicString fileName,
                                                  CBasicString configurationName) {
  return qgp::Registry::Instance().FindResolvedPart(this, m_resolvedPartsList,
                                                    qgp::ToText(fileName),
                                                    qgp::ToText(configurationName));
}

bool CGraniteParser::RecordPlacedPart(C3DMGroup* group, C3DMGroup* shown) {
  if (group == nullptr || shown == nullptr) return false;
  return qgp::Registry::Instance().RecordPlacedPart(this, m_world, group, shown);
}

// The n-th colour made for this parser is the n-th of the palette, so a load
// gives its parts the same colours every time.
bool CGraniteParser::GenerateColorForPart() {
  const int n = m_generatedColorList.GetCount();
  const float* rgb = kPalette[(n < 0 ? 0 : n) % kPaletteSize];
  const velaChroma color(rgb[0], rgb[1], rgb[2], 1.0f);
  m_currentColor = color;
  if (!m_generatedColorList.AddTailCopy(&color))
    m_generatedColorList.AddTail(new velaChroma(color));
  return true;
}

void CGraniteParser::RequestStop(bool stop) {
  g_stopRequested.store(stop);
}

// Every result lets the walk go on (a failed part does not keep the others
// from loading) until the host asks the loads of this process to stop; the
// request stands until it is withdrawn with RequestStop(false).
bool CGraniteParser::GetResultOKToContinue(GraniteLoadResultTypes) {
  return !g_stopRequested.load();
}

// The part elements a full walk reaches: below every root, through the
// assembly elements (file type 1), each occurrence counted. Other file types
// are passed over as the walks do.
int CGraniteParser::ComputeTotalParts() {
  int total = 0;
  std::vector<CGraniteElement*> pending;
  for (CBasicListElement* node = m_elementList.PeekHeadElement(); node; node = node->m_next)
    pending.push_back(static_cast<CGraniteElement*>(node->m_item));
  while (!pending.empty()) {
    CGraniteElement* element = pending.back();
    pending.pop_back();
    if (element == nullptr) continue;
    if (element->GetFileType() == GRANITE_FILE_PART) {
      ++total;
    } else if (element->GetFileType() == GRANITE_FILE_ASSEMBLY) {
      for (CBasicListElement* node = element->GetChildList()->PeekHeadElement(); node;
           node = node->m_next)
        pending.push_back(static_cast<CGraniteElement*>(node->m_item));
    }
  }
  m_totalParts = total;
  m_currentPart = 0;
  m_lastPercentage = 0.0;
  return total;
}

// The percentage stays within 0..100, also for a total that was never counted
// (0 or less: every part handled counts as all done). The loader callback hears
// each whole percentage once, when it changes.
void CGraniteParser::IncrementCurrentPart() {
  if (m_currentPart < INT32_MAX) ++m_currentPart;
  double percentage = 100.0;
  int whole = 100;
  if (m_totalParts > 0) {
    const int64_t done = m_currentPart < 0 ? 0 : int64_t(m_currentPart);
    percentage = 100.0 * double(done) / double(m_totalParts);
    whole = int(done * 100 / m_totalParts);
    if (percentage > 100.0 || whole > 100) {
      percentage = 100.0;
      whole = 100;
    }
  }
  const double last = m_lastPercentage;
  const int lastWhole = (last >= 0.0 && last <= 100.0) ? int(last) : -1;
  SetLastPercentage(percentage);
  if (m_loaderPtr != nullptr && whole != lastWhole) m_loaderPtr(whole);
}

// Chordal tolerance: the model box diagonal over a divisor that grows with the
// load resolution; angular tolerance in radians, finer with the resolution. An
// empty box, or one without a finite positive diagonal, leaves the chordal
// tolerance at 0.0 so that the tessellation takes the first body's box instead.
bool CGraniteParser::ComputeEvaluationTolerances() {
  double divisor = 500.0;
  double angle = 0.35;
  switch (m_loadResolution) {
    case GRANITE_RESOLUTION_LOW:
      divisor = 150.0;
      angle = 0.5;
      break;
    case GRANITE_RESOLUTION_HIGH:
      divisor = 2000.0;
      angle = 0.2;
      break;
    default:
      break;
  }
  m_angularTolerance = angle;
  m_chordalTolerance = 0.0;
  if (m_modelBoundingBox.IsEmpty()) return false;
  const velaFloatPoint lo = m_modelBoundingBox.GetMin(), hi = m_modelBoundingBox.GetMax();
  const double dx = double(hi.x) - lo.x, dy = double(hi.y) - lo.y, dz = double(hi.z) - lo.z;
  const double diagonal = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!std::isfinite(diagonal) || !(diagonal > 0.0)) return false;
  const double chordal = diagonal / divisor;
  if (!std::isfinite(chordal) || !(chordal > 0.0)) return false;
  m_chordalTolerance = chordal;
  return true;
}
