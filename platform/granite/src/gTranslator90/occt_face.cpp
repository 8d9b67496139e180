#include "occt_face.h"

#include <signal.h>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GeomAdaptor_Surface.hxx>
#include <GeomLib.hxx>
#include <Geom_Surface.hxx>
#include <OSD.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_ErrorHandler.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <algorithm>
#include <cmath>
#include <gp_Trsf.hxx>
#include <string>
#include <vector>

#include "gBase90/xthrowable.h"
#include "occt_stop.h"

namespace kocct {

struct SignalGuard::Saved {
  static constexpr int kSignals[] = {SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGABRT, SIGHUP,
                                     SIGINT,  SIGQUIT, SIGTERM, SIGTRAP, SIGSYS};
  struct sigaction actions[sizeof(kSignals) / sizeof(kSignals[0])];
};

SignalGuard::SignalGuard() : m_saved(new Saved) {
  for (size_t i = 0; i < sizeof(Saved::kSignals) / sizeof(Saved::kSignals[0]); ++i)
    ::sigaction(Saved::kSignals[i], nullptr, &m_saved->actions[i]);
  OSD::SetSignal(OSD_SignalMode_Set, Standard_False);
  // Ctrl-C is the host's: Open CASCADE would only note it in a flag of its own.
  for (size_t i = 0; i < sizeof(Saved::kSignals) / sizeof(Saved::kSignals[0]); ++i)
    if (Saved::kSignals[i] == SIGINT) ::sigaction(SIGINT, &m_saved->actions[i], nullptr);
}

SignalGuard::~SignalGuard() {
  for (size_t i = 0; i < sizeof(Saved::kSignals) / sizeof(Saved::kSignals[0]); ++i)
    ::sigaction(Saved::kSignals[i], &m_saved->actions[i], nullptr);
}

#ifndef OCC_CONVERT_SIGNALS
#error "OCC_CONVERT_SIGNALS must be defined: without it OCC_CATCH_SIGNALS sets no jump buffer"
#endif

void RunCatchingSignals(void (*run)(void*), void* context) {
  // A Standard_ErrorHandler with its own jump buffer: the signal handler
  // jumps back here, and the failure is thrown again from this frame.
  OCC_CATCH_SIGNALS
  run(context);
}

void ThrowFailure(const char* what, const char* message) {
  std::string text = std::string(what) + ": " +
                     (message && *message ? message : "Open CASCADE reported a failure");
  KThrow(text.c_str());
}

namespace {

// The exact box of a shape (no tolerance margin, no triangulation); void for
// no geometry.
Bnd_Box ExactBox(const TopoDS_Shape& shape) {
  Bnd_Box box;
  BRepBndLib::AddOptimal(shape, box, Standard_False, Standard_False);
  return box;
}

bool Usable(const Bnd_Box& box) {
  return !box.IsVoid() && !box.IsOpen();
}

// Points on the geometry of a shape: the ends of its edges and evenly spaced
// points between, and with surface, a grid over each face's parameter range.
// Their box lies inside the exact box and, for a smooth face, within a small
// part of the face's size of it.
std::vector<gp_Pnt> GeometryPoints(const TopoDS_Shape& shape, bool surface) {
  constexpr int kEdgeSamples = 16, kGrid = 16;
  std::vector<gp_Pnt> points;
  for (TopExp_Explorer x(shape, TopAbs_EDGE); x.More(); x.Next()) {
    const TopoDS_Edge& edge = TopoDS::Edge(x.Current());
    if (BRep_Tool::Degenerated(edge) || !BRep_Tool::IsGeometric(edge)) continue;
    BRepAdaptor_Curve curve(edge);
    const double first = curve.FirstParameter(), last = curve.LastParameter();
    if (!std::isfinite(first) || !std::isfinite(last)) continue;
    for (int i = 0; i <= kEdgeSamples; ++i)
      points.push_back(curve.Value(first + (last - first) * i / kEdgeSamples));
  }
  if (!surface) return points;
  for (TopExp_Explorer x(shape, TopAbs_FACE); x.More(); x.Next()) {
    const TopoDS_Face& face = TopoDS::Face(x.Current());
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    if (!std::isfinite(u0) || !std::isfinite(u1) || !std::isfinite(v0) || !std::isfinite(v1))
      continue;
    BRepAdaptor_Surface adaptor(face);
    for (int i = 0; i <= kGrid; ++i)
      for (int j = 0; j <= kGrid; ++j)
        points.push_back(adaptor.Value(u0 + (u1 - u0) * i / kGrid, v0 + (v1 - v0) * j / kGrid));
  }
  return points;
}

Bnd_Box PointsBox(const std::vector<gp_Pnt>& points) {
  Bnd_Box box;
  for (const gp_Pnt& p : points) box.Add(p);
  return box;
}

// The largest distance by which a side of outer lies beyond the same side of
// inner; infinite when inner is not usable.
double Gap(const Bnd_Box& outer, const Bnd_Box& inner) {
  if (!Usable(inner)) return HUGE_VAL;
  double o[6], i[6];
  outer.Get(o[0], o[1], o[2], o[3], o[4], o[5]);
  inner.Get(i[0], i[1], i[2], i[3], i[4], i[5]);
  double gap = 0;
  for (int k = 0; k < 3; ++k) gap = std::max({gap, i[k] - o[k], o[k + 3] - i[k + 3]});
  return gap;
}

void AddBox(const Bnd_Box& box, KVec3 offset, KExtent& extent) {
  double x0, y0, z0, x1, y1, z1;
  box.Get(x0, y0, z0, x1, y1, z1);
  extent.Add(KVec3{x0, y0, z0} + offset);
  extent.Add(KVec3{x1, y1, z1} + offset);
}

bool IsTranslation(const KAffine& map) {
  return map.row[0].x == 1 && map.row[0].y == 0 && map.row[0].z == 0 && map.row[1].x == 0 &&
         map.row[1].y == 1 && map.row[1].z == 0 && map.row[2].x == 0 && map.row[2].y == 0 &&
         map.row[2].z == 1;
}

// The map as an Open CASCADE transformation when it is a rotation (or
// reflection) with one scale; false otherwise.
bool AsTrsf(const KAffine& map, gp_Trsf& trsf) {
  double scale = Length(map.row[0]);
  if (!(scale > 0) || !std::isfinite(scale)) return false;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(Length(map.row[i]) - scale) > 1e-9 * scale) return false;
    for (int j = i + 1; j < 3; ++j)
      if (std::fabs(Dot(map.row[i], map.row[j])) > 1e-9 * scale * scale) return false;
  }
  // Row vectors: p' = p.x row0 + p.y row1 + p.z row2 + row3, so column i of
  // the column-vector matrix is row i.
  const KVec3* r = map.row;
  try {
    trsf.SetValues(r[0].x, r[1].x, r[2].x, r[3].x, r[0].y, r[1].y, r[2].y, r[3].y, r[0].z, r[1].z,
                   r[2].z, r[3].z);
  } catch (const Standard_Failure&) {
    return false;
  }
  return true;
}

// Whether the map takes each axis to an axis (a permutation of the axes, each
// perhaps turned over and scaled): a box carried over is then a box.
bool IsAxisAligned(const KAffine& map) {
  for (int i = 0; i < 3; ++i) {
    const double v[3] = {map.row[i].x, map.row[i].y, map.row[i].z};
    int nonZero = 0;
    for (double c : v) nonZero += c != 0;
    if (nonZero != 1) return false;
  }
  return true;
}

KVec3 Vec(const gp_XYZ& p) {
  return {p.X(), p.Y(), p.Z()};
}

// A face's triangulation read out in the steps of a mesh exporter's face
// iterator: nodes, triangles with the face's orientation, normals per node.
// Nodes are numbered from 1, as Open CASCADE numbers them; entry 0 is unused.

// The nodes in part coordinates.
std::vector<gp_XYZ> ReadNodes(const Poly_Triangulation& t, const gp_Trsf& trsf) {
  const int nodes = t.NbNodes();
  std::vector<gp_XYZ> points(static_cast<size_t>(nodes) + 1);
  for (int i = 1; i <= nodes; ++i)
    points[static_cast<size_t>(i)] = t.Node(i).Transformed(trsf).XYZ();
  return points;
}

// The triangles as node triples turned to face outwards (reversed with the
// face), and per node the sum of the area normals of the triangles around it.
void ReadTriangles(const Poly_Triangulation& t, bool reversed, const std::vector<gp_XYZ>& points,
                   std::vector<int>& corners, std::vector<gp_XYZ>& facet) {
  corners.assign(static_cast<size_t>(t.NbTriangles()) * 3, 0);
  facet.assign(points.size(), gp_XYZ(0, 0, 0));
  for (int k = 1; k <= t.NbTriangles(); ++k) {
    int n1, n2, n3;
    t.Triangle(k).Get(n1, n2, n3);
    if (reversed) std::swap(n2, n3);
    size_t c = static_cast<size_t>(k - 1) * 3;
    corners[c] = n1;
    corners[c + 1] = n2;
    corners[c + 2] = n3;
    gp_XYZ g = (points[n2] - points[n1]).Crossed(points[n3] - points[n1]);
    facet[n1] += g;
    facet[n2] += g;
    facet[n3] += g;
  }
}

// The surface's normal at uv: from the derivatives through the adaptor, which
// keeps the B-spline span it last evaluated (the surface itself works every
// span out afresh); the full estimate only where they give none.
bool SurfaceNormal(const GeomAdaptor_Surface& adaptor, const Handle(Geom_Surface) & surface,
                   const gp_Pnt2d& uv, gp_Dir& d) {
  constexpr double kTol2 = 1e-7 * 1e-7;  // as GeomLib::NormEstim with 1e-7
  gp_Pnt p;
  gp_Vec du, dv;
  adaptor.D1(uv.X(), uv.Y(), p, du, dv);
  const gp_Vec cross = du.Crossed(dv);
  if (du.SquareMagnitude() >= kTol2 && dv.SquareMagnitude() >= kTol2 &&
      cross.SquareMagnitude() >= kTol2) {
    d = gp_Dir(cross);
    return true;
  }
  return GeomLib::NormEstim(surface, uv, 1e-7, d) <= 1;
}

// One unit normal per node from the surface, facing out with the face; where
// the surface has none (a pole, an apex) the mean of the triangles around the
// node.
std::vector<gp_XYZ> ReadNormals(const TopoDS_Face& face, const Handle(Poly_Triangulation) & t,
                                bool reversed, const std::vector<gp_XYZ>& facet) {
  std::vector<gp_XYZ> unit(facet.size());
  TopLoc_Location surfaceLocation;
  Handle(Geom_Surface) surface = BRep_Tool::Surface(face, surfaceLocation);
  const gp_Trsf& surfaceTrsf = surfaceLocation.Transformation();
  const bool haveUV = !surface.IsNull() && t->HasUVNodes();
  GeomAdaptor_Surface adaptor;
  if (haveUV) adaptor.Load(surface);
  for (int i = 1; i <= t->NbNodes(); ++i) {
    gp_XYZ n(0, 0, 0);
    gp_Dir d;
    if (haveUV && SurfaceNormal(adaptor, surface, t->UVNode(i), d)) {
      d.Transform(surfaceTrsf);
      n = reversed ? d.XYZ().Reversed() : d.XYZ();
    }
    if (n.SquareModulus() == 0) {
      n = facet[static_cast<size_t>(i)];
      double l = n.Modulus();
      n = l > 0 ? n / l : gp_XYZ(0, 0, 1);
    }
    unit[static_cast<size_t>(i)] = n;
  }
  return unit;
}

// A triangle folded over by the mesher is turned to face the way the surface
// does at its corners, as the kernel's own triangles are.
void TurnFoldedTriangles(const std::vector<gp_XYZ>& points, const std::vector<gp_XYZ>& unit,
                         std::vector<int>& corners) {
  for (size_t c = 0; c + 2 < corners.size(); c += 3) {
    const gp_XYZ &a = points[corners[c]], &b = points[corners[c + 1]], &d = points[corners[c + 2]];
    gp_XYZ g = (b - a).Crossed(d - a);
    if (g.Dot(unit[corners[c]] + unit[corners[c + 1]] + unit[corners[c + 2]]) < 0)
      std::swap(corners[c + 1], corners[c + 2]);
  }
}

// Three vertices per triangle, no vertex shared, each with its node's normal.
void Flatten(const std::vector<gp_XYZ>& points, const std::vector<gp_XYZ>& unit,
             const std::vector<int>& corners, xrchandle<xdoublesequence>& vertices,
             xrchandle<xdoublesequence>& normals) {
  std::vector<double> v, nv;
  v.reserve(corners.size() * 3);
  nv.reserve(corners.size() * 3);
  for (int c : corners) {
    KVec3 p = Vec(points[static_cast<size_t>(c)]), n = Vec(unit[static_cast<size_t>(c)]);
    v.insert(v.end(), {p.x, p.y, p.z});
    nv.insert(nv.end(), {n.x, n.y, n.z});
  }
  vertices = new xdoublesequence(std::move(v));
  normals = new xdoublesequence(std::move(nv));
}

}  // namespace

namespace {

Bnd_Box QuickBoxOf(const TopoDS_Shape& shape) {
  // The box of the surfaces' poles and the edges' curves: no optimisation.
  Bnd_Box box;
  BRepBndLib::Add(shape, box, Standard_False);
  return box;
}

Bnd_Box EdgeBoxOf(const TopoDS_Shape& shape) {
  return PointsBox(GeometryPoints(shape, false));
}

}  // namespace

double BodyMesher::Measured(double& slot, Bnd_Box (*measure)(const TopoDS_Shape&)) {
  if (slot < 0) {
    // A worker runs the whole body under a jump buffer of its own and keeps
    // away from the kernel's error state.
    Bnd_Box box = InMeshingWorker() ? measure(m_shape)
                                    : Guard("measuring a body", [&] { return measure(m_shape); });
    slot = Usable(box) ? std::sqrt(box.SquareExtent()) : 0;
  }
  return slot;
}

double BodyMesher::Size() {
  return Measured(m_size, ExactBox);
}

double BodyMesher::UpperSize() {
  return Measured(m_upperSize, QuickBoxOf);
}

double BodyMesher::EdgeSize() {
  return Measured(m_edgeSize, EdgeBoxOf);
}

double BodyMesher::Chord(double chord) {
  if (std::isfinite(chord) && chord > 0) {
    // The exact size is at most the upper one: a chord above the floor of the
    // upper size is above the floor of the exact size too.
    double upper = UpperSize();
    if (!(upper > 0)) return 0;
    if (chord >= upper * kFloorChordRatio) return chord;
    double size = Size();
    return size > 0 ? std::max(chord, size * kFloorChordRatio) : 0;
  }
  double size = Size();
  return size > 0 ? size * kDefaultChordRatio : 0;
}

double BodyMesher::Angle(double angle) {
  return std::isfinite(angle) && angle > 0 ? std::max(angle, kFloorAngle) : kDefaultAngle;
}

void BodyMesher::Prepare(BRepMesh_IncrementalMesh& mesh, double h, double a) const {
  mesh.SetShape(m_shape);
  IMeshTools_Parameters& parameters = mesh.ChangeParameters();
  parameters.Deflection = h;
  parameters.Angle = a;
  parameters.Relative = Standard_False;
  parameters.InParallel = Standard_False;  // bodies go to threads whole (MeshGroup)
}

void BodyMesher::Meshed(double h, double a) {
  m_meshed = true;
  m_chord = h;
  m_angle = a;
}

bool BodyMesher::Ensure(double chord, double angle) {
  const double h = Chord(chord);
  if (!(h > 0)) return false;
  const double a = Angle(angle);
  if (MeshedWithin(h, a)) return true;
  if (m_group) {
    m_group->MeshAll(chord, angle);
    if (MeshedWithin(h, a)) return true;
  }
  SignalGuard signals;
  // Built outside the guarded call, so that a fault inside the mesher still
  // destroys it.
  BRepMesh_IncrementalMesh mesh;
  Prepare(mesh, h, a);
  Handle(StopIndicator) progress = new StopIndicator(KPhase::Meshing);
  Guard("meshing a body", [&] {
    mesh.Perform(progress->Start());
    return 0;
  });
  KCheckStop();  // the mesh was broken off: not kept as done
  Meshed(h, a);
  return true;
}

// What the face has worked out. The runs handed out are kept indexed, for as
// long as the face keeps the same triangulation: a unit normal per node of it
// (the costly part, from the surface) and the corners of the triangles as
// handed out, about a sixth of the runs themselves; the nodes are read from
// the triangulation again.
struct FaceGeometry::Cache {
  bool boxKnown = false, looseKnown = false, pointsKnown = false;
  Bnd_Box box, loose;  // the box the face is measured by; the quick box
  // On the face's edges and surface; kept only once a turned placement has
  // needed them, the box being all an unturned one does.
  std::vector<gp_Pnt> points;
  Handle(Poly_Triangulation) triangulation;
  std::vector<gp_XYZ> unit;
  std::vector<int> corners;
};

FaceGeometry::FaceGeometry(const TopoDS_Shape& shape, const std::shared_ptr<BodyMesher>& mesher)
    : m_shape(shape), m_mesher(mesher), m_cache(new Cache) {}

FaceGeometry::~FaceGeometry() = default;

const Bnd_Box& FaceGeometry::QuickBox() const {
  if (!m_cache->looseKnown) {
    BRepBndLib::Add(m_shape, m_cache->loose, Standard_False);
    m_cache->looseKnown = true;
  }
  return m_cache->loose;
}

const std::vector<gp_Pnt>& FaceGeometry::Points() const {
  if (!m_cache->pointsKnown) {
    m_cache->points = GeometryPoints(m_shape, true);
    m_cache->pointsKnown = true;
  }
  return m_cache->points;
}

const Bnd_Box& FaceGeometry::LocalBox() const {
  if (m_cache->boxKnown) return m_cache->box;
  // The quick box holds the exact one, and is taken as it is when it lies
  // within a small part of the body's size of points on the face. A
  // free-form face whose poles stand off its surface is measured by its
  // points instead: Open CASCADE's exact box (an optimisation over the
  // surface) costs as much as reading the file. Loose edges and points have
  // no body: their exact box is cheap.
  if (!m_mesher) {
    m_cache->box = ExactBox(m_shape);
  } else {
    const Bnd_Box& quick = QuickBox();
    const Bnd_Box points =
        PointsBox(m_cache->pointsKnown ? m_cache->points : GeometryPoints(m_shape, true));
    const double size = m_mesher->EdgeSize();
    m_cache->box = Usable(quick) && Gap(quick, points) <= kQuickBoxSlack * size ? quick : points;
  }
  m_cache->boxKnown = true;
  return m_cache->box;
}

void FaceGeometry::Measure(const KAffine& map, KExtent& extent) const {
  Guard("measuring a face", [&] {
    // A face whose quick box lies inside what has been measured so far adds
    // nothing.
    if (!extent.IsEmpty()) {
      const Bnd_Box& quick = QuickBox();
      if (Usable(quick)) {
        double x[2], y[2], z[2];
        quick.Get(x[0], y[0], z[0], x[1], y[1], z[1]);
        bool inside = true;
        for (int i = 0; i < 8 && inside; ++i) {
          KVec3 p = map.Apply(KVec3{x[i & 1], y[(i >> 1) & 1], z[i >> 2]});
          inside = p.x >= extent.lo.x && p.y >= extent.lo.y && p.z >= extent.lo.z &&
                   p.x <= extent.hi.x && p.y <= extent.hi.y && p.z <= extent.hi.z;
        }
        if (inside) return 0;
      }
    }
    const bool turned = !IsTranslation(map) && !IsAxisAligned(map);
    if (turned && m_mesher) Points();  // kept: the box below is made of them too
    const Bnd_Box& local = LocalBox();
    if (!Usable(local)) return 0;
    if (IsTranslation(map)) {
      AddBox(local, map.row[3], extent);
      return 0;
    }
    if (turned) {
      // Turned off the axes: the box of the face's points where the map puts
      // them, not the box of the turned box.
      if (m_mesher) {
        for (const gp_Pnt& p : Points()) extent.Add(map.Apply(KVec3{p.X(), p.Y(), p.Z()}));
        return 0;
      }
      gp_Trsf trsf;
      if (AsTrsf(map, trsf)) {
        Bnd_Box moved = ExactBox(m_shape.Moved(TopLoc_Location(trsf)));
        if (Usable(moved)) AddBox(moved, KVec3{}, extent);
        return 0;
      }
    }
    // The axes kept, swapped or turned over (the box's corners carried over
    // are its box), or not a similarity.
    double x[2], y[2], z[2];
    local.Get(x[0], y[0], z[0], x[1], y[1], z[1]);
    for (int i = 0; i < 8; ++i) extent.Add(map.Apply(KVec3{x[i & 1], y[(i >> 1) & 1], z[i >> 2]}));
    return 0;
  });
}

void FaceGeometry::Tessellate(double chord, double angle, xrchandle<xdoublesequence>& vertices,
                              xrchandle<xdoublesequence>& normals) const {
  vertices.reset();
  normals.reset();
  if (!m_mesher || m_shape.ShapeType() != TopAbs_FACE) return;
  const TopoDS_Face& face = TopoDS::Face(m_shape);
  if (!m_mesher->Ensure(chord, angle)) return;

  Guard("reading a face mesh", [&] {
    TopLoc_Location location;
    Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(face, location);
    if (t.IsNull() || t->NbTriangles() == 0) return 0;
    Cache& cache = *m_cache;
    const std::vector<gp_XYZ> nodes = ReadNodes(*t, location.Transformation());
    if (cache.triangulation != t) {
      const bool reversed = face.Orientation() == TopAbs_REVERSED;
      std::vector<int> corners;
      std::vector<gp_XYZ> facet;
      ReadTriangles(*t, reversed, nodes, corners, facet);
      std::vector<gp_XYZ> unit = ReadNormals(face, t, reversed, facet);
      TurnFoldedTriangles(nodes, unit, corners);
      cache.unit.swap(unit);
      cache.corners.swap(corners);
      cache.triangulation = t;
    }
    Flatten(nodes, cache.unit, cache.corners, vertices, normals);
    return 0;
  });
}

}  // namespace kocct
