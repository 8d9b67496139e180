#include <algorithm>
#include <cmath>

#include "gBase90/kcall.h"
#include "gBase90/kprogress.h"
#include "gBase90/kservices.h"
#include "gGeometry90/ktriangulator.h"
#include "surface.h"

XOBJECT_DEFINE(KFaceTessellation, xobject)
XOBJECT_DEFINE(KTriangulator, xobject)

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDefaultChordRatio = 1.0 / 500;
constexpr double kFloorChordRatio = 1.0 / 10000;
constexpr double kDefaultAngle = 0.5;
constexpr double kFloorAngle = 0.01;
constexpr double kMaxStep = kPi / 2;

// Triangles made between two looks at the stop request.
constexpr unsigned kTrianglesPerStopCheck = 4096;

struct Mesh {
  std::vector<double> vertices, normals;
  unsigned made = 0;
  void Add(KVec3 p, KVec3 n) {
    vertices.insert(vertices.end(), {p.x, p.y, p.z});
    normals.insert(normals.end(), {n.x, n.y, n.z});
  }
  // A triangle turned counter-clockwise about its vertex normals; degenerate
  // triangles are dropped.
  void AddTriangle(KVec3 a, KVec3 na, KVec3 b, KVec3 nb, KVec3 c, KVec3 nc, double minArea) {
    if (++made % kTrianglesPerStopCheck == 0) KCheckStop();
    KVec3 g = Cross(b - a, c - a);
    if (!(Length(g) > minArea)) return;
    if (Dot(g, na + nb + nc) < 0) {
      std::swap(b, c);
      std::swap(nb, nc);
    }
    Add(a, na);
    Add(b, nb);
    Add(c, nc);
  }
};

KVec3 Unit(KVec3 v) {
  double l = Length(v);
  return l > 0 ? v * (1 / l) : KVec3{0, 0, 1};
}

double MaxCos(double v0, double v1) {
  if (v0 <= 0 && v1 >= 0) return 1;
  return std::max(std::cos(v0), std::cos(v1));
}

double MaxAbsSin(double v0, double v1) {
  if (v0 <= -kPi / 2 || v1 >= kPi / 2 || (v0 <= kPi / 2 && v1 >= kPi / 2)) return 1;
  return std::max(std::fabs(std::sin(v0)), std::fabs(std::sin(v1)));
}

// The largest angle step whose chord stays within h of a circle of radius r.
double ChordStep(double r, double h) {
  if (!(r > 0) || h >= r) return kMaxStep;
  return std::min(kMaxStep, 2 * std::acos(1 - h / r));
}

int Steps(double span, double step) {
  double n = std::ceil(span / step - 1e-9);
  return static_cast<int>(std::clamp(n, 1.0, 1e7));
}

// Grid counts for a face, within the triangle cap.
void GridSize(const KSurface& s, double h, double angle, int cap, int& nu, int& nv) {
  double du, dv = 0;
  switch (s.kind) {
    case KSurfaceKind::Disc:
      du = ChordStep(s.r1, h);
      break;
    case KSurfaceKind::Cylinder:
      du = std::min(ChordStep(s.r0, h), angle);
      break;
    case KSurfaceKind::Cone:
      du = std::min(ChordStep(std::max(s.r0, s.r1), h), angle);
      break;
    default: {
      // Linear interpolation over a grid cell of steps du, dv departs from the
      // surface by at most (Muu du^2 + 2 Muv du dv + Mvv dv^2) / 8, where the
      // M bound the second derivatives over the patch. The steps balance the
      // two directions, then shrink so that normals of a cell's corners differ
      // by at most the angle (du * max cos v + dv).
      double c = MaxCos(s.v0, s.v1), sn = MaxAbsSin(s.v0, s.v1);
      double muu, muv, mvv;
      if (s.kind == KSurfaceKind::Sphere) {
        muu = s.r0 * c;
        muv = s.r0 * sn;
        mvv = s.r0;
      } else {
        muu = s.r0 + s.r1 * c;
        muv = s.r1 * sn;
        mvv = s.r1;
      }
      double q = muu > 0 ? std::sqrt(muu / mvv) : 1;
      du = std::sqrt(8 * h / (muu + 2 * muv * q + mvv * q * q));
      dv = q * du;
      double turn = du * c + dv;
      if (turn > angle) {
        du *= angle / turn;
        dv *= angle / turn;
      }
      du = std::min(du, kMaxStep);
      dv = std::min(dv, kMaxStep);
    }
  }
  nu = Steps(s.u1 - s.u0, du);
  nv = dv > 0 ? Steps(s.v1 - s.v0, dv) : 1;
  double triangles = 2.0 * nu * nv;
  if (triangles > cap) {
    double f = std::sqrt(cap / triangles);
    if (nv == 1) {
      nu = std::max(1, cap / 2);
    } else {
      nu = std::max(1, static_cast<int>(nu * f));
      nv = std::max(1, static_cast<int>(nv * f));
    }
  }
}

void TessellateGrid(const KSurface& s, double h, double angle, int cap, double minArea, Mesh& m) {
  int nu, nv;
  GridSize(s, h, angle, cap, nu, nv);
  double v0 = s.v0, v1 = s.v1;
  if (s.kind == KSurfaceKind::Disc) {
    v0 = s.r0;  // a disc's second parameter is the radius
    v1 = s.r1;
  }
  std::vector<KVec3> points((nu + 1) * static_cast<size_t>(nv + 1)), normals(points.size());
  for (int j = 0; j <= nv; ++j) {
    double v = j == nv ? v1 : v0 + (v1 - v0) * j / nv;
    for (int i = 0; i <= nu; ++i) {
      double u = i == nu ? s.u1 : s.u0 + (s.u1 - s.u0) * i / nu;
      size_t k = static_cast<size_t>(j) * (nu + 1) + i;
      points[k] = s.frame.Apply(ksurface::LocalPoint(s, u, v));
      normals[k] = Unit(s.frame.ApplyVector(ksurface::LocalNormal(s, u, v)));
    }
  }
  m.vertices.reserve(static_cast<size_t>(nu) * nv * 18);
  m.normals.reserve(m.vertices.capacity());
  for (int j = 0; j < nv; ++j) {
    for (int i = 0; i < nu; ++i) {
      size_t a = static_cast<size_t>(j) * (nu + 1) + i, b = a + 1, d = a + nu + 1, c = d + 1;
      m.AddTriangle(points[a], normals[a], points[b], normals[b], points[c], normals[c], minArea);
      m.AddTriangle(points[a], normals[a], points[c], normals[c], points[d], normals[d], minArea);
    }
  }
}

// Ear clipping of a simple planar loop, counter-clockwise about normal.
void TessellatePolygon(const std::vector<KVec3>& loop, KVec3 normal, double minArea, Mesh& m) {
  size_t n = loop.size();
  if (n < 3) return;
  KVec3 e1 = Unit(std::fabs(normal.x) < 0.9 ? Cross(normal, {1, 0, 0}) : Cross(normal, {0, 1, 0}));
  KVec3 e2 = Cross(normal, e1);
  std::vector<double> x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = Dot(loop[i], e1);
    y[i] = Dot(loop[i], e2);
  }
  std::vector<size_t> prev(n), next(n);
  for (size_t i = 0; i < n; ++i) {
    prev[i] = (i + n - 1) % n;
    next[i] = (i + 1) % n;
  }
  auto cross = [&](size_t a, size_t b, size_t c) {
    return (x[b] - x[a]) * (y[c] - y[a]) - (y[b] - y[a]) * (x[c] - x[a]);
  };
  auto emit = [&](size_t a, size_t b, size_t c) {
    m.AddTriangle(loop[a], normal, loop[b], normal, loop[c], normal, minArea);
  };
  auto isEar = [&](size_t p, size_t i, size_t q) {
    if (!(cross(p, i, q) > 0)) return false;
    for (size_t r = next[q]; r != p; r = next[r]) {
      if (cross(p, i, r) >= 0 && cross(i, q, r) >= 0 && cross(q, p, r) >= 0) return false;
    }
    return true;
  };
  size_t remaining = n, i = 0, misses = 0;
  m.vertices.reserve((n - 2) * 9);
  m.normals.reserve((n - 2) * 9);
  while (remaining > 3) {
    size_t p = prev[i], q = next[i];
    if (isEar(p, i, q)) {
      emit(p, i, q);
      next[p] = q;
      prev[q] = p;
      --remaining;
      i = q;
      misses = 0;
    } else if (++misses > remaining) {
      // Not simple after all: fan out what is left rather than loop.
      for (size_t r = next[i]; next[r] != i; r = next[r]) emit(i, r, next[r]);
      return;
    } else {
      i = q;
    }
  }
  emit(prev[i], i, next[i]);
}

void TessellateFace(const KSurface& s, double chord, double angle, int cap, Mesh& m) {
  double size = ksurface::Size(s);
  double minArea = 1e-14 * size * size;
  if (s.kind == KSurfaceKind::Polygon || s.kind == KSurfaceKind::Triangles) {
    if (s.kind == KSurfaceKind::Triangles) {
      for (size_t i = 0; i + 2 < s.points.size(); i += 3) {
        KVec3 a = s.frame.Apply(s.points[i]), b = s.frame.Apply(s.points[i + 1]),
              c = s.frame.Apply(s.points[i + 2]);
        KVec3 n = Unit(Cross(b - a, c - a));
        if (s.reversed) n = n * -1;
        m.AddTriangle(a, n, b, n, c, n, minArea);
      }
      return;
    }
    std::vector<KVec3> loop(s.points.size());
    KVec3 normal;
    for (size_t i = 0; i < loop.size(); ++i) loop[i] = s.frame.Apply(s.points[i]);
    for (size_t i = 0; i < loop.size(); ++i)
      normal = normal + Cross(loop[i], loop[(i + 1) % loop.size()]);
    normal = Unit(normal);
    if (s.reversed) normal = normal * -1;  // the loop runs the other way about the normal
    if (s.reversed) std::reverse(loop.begin(), loop.end());
    TessellatePolygon(loop, normal, minArea, m);
    return;
  }
  double h = std::isfinite(chord) && chord > 0 ? std::max(chord, size * kFloorChordRatio)
                                               : size * kDefaultChordRatio;
  if (!(h > 0)) h = 1e-9;
  double a = std::isfinite(angle) && angle > 0 ? std::max(angle, kFloorAngle) : kDefaultAngle;
  TessellateGrid(s, h, a, cap, minArea, m);
}

}  // namespace

KFaceTessellation::KFaceTessellation(const xrchandle<KFace>& face,
                                     const xrchandle<xdoublesequence>& vertices,
                                     const xrchandle<xdoublesequence>& normals)
    : m_face(face), m_vertices(vertices), m_normals(normals) {}

void KFaceTessellation::GetVertices(xrchandle<xdoublesequence>& out) const {
  out = KEnter(KCall::GetVertices) ? xrchandle<xdoublesequence>() : m_vertices;
}

void KFaceTessellation::GetNormals(xrchandle<xdoublesequence>& out) const {
  out = KEnter(KCall::GetNormals) ? xrchandle<xdoublesequence>() : m_normals;
}

void KFaceTessellation::GetFace(xrchandle<KFace>& out) const {
  out = KEnter(KCall::GetFace) ? xrchandle<KFace>() : m_face;
}

KTriangulator::KTriangulator() : m_record(KRecordTriangulator()) {}

void KTriangulator::SetChordHeight(double height) {
  KRecordTolerance(m_record, KTolerance::ChordHeight, height);
  if (!KEnter(KCall::SetTolerance)) m_chordHeight = height;
}

void KTriangulator::SetMaxDeviation(double deviation) {
  KRecordTolerance(m_record, KTolerance::MaxDeviation, deviation);
  if (!KEnter(KCall::SetTolerance)) m_maxDeviation = deviation;
}

void KTriangulator::SetAngleTolerance(double angle) {
  KRecordTolerance(m_record, KTolerance::AngleTolerance, angle);
  if (!KEnter(KCall::SetTolerance)) m_angle = angle;
}

void KTriangulator::Triangulate(xrchandle<KFaceSet> faces,
                                xrchandle<KFaceTessellationSequence>& out) {
  out.reset();
  if (KEnter(KCall::Triangulate)) return;
  if (!faces) {
    KSetLastError("Triangulate was given no faces");
    return;
  }
  // The smaller positive distance setting counts.
  double chord = 0;
  for (double d : {m_chordHeight, m_maxDeviation})
    if (std::isfinite(d) && d > 0 && (chord == 0 || d < chord)) chord = d;
  long analytic = 0;
  for (const xrchandle<KFace>& f : faces->Items())
    if (f && !f->Geometry() && f->Surface().kind != KSurfaceKind::Polygon &&
        f->Surface().kind != KSurfaceKind::Triangles)
      ++analytic;
  int cap = kMaxTrianglesPerFace;
  if (analytic > 0)
    cap = static_cast<int>(
        std::clamp(kMaxTrianglesPerCall / analytic, 512L, static_cast<long>(kMaxTrianglesPerFace)));
  xrchandle<KFaceTessellationSequence> result(new KFaceTessellationSequence);
  result->Reserve(faces->Items().size());
  for (const xrchandle<KFace>& f : faces->Items()) {
    KCheckStop();
    if (f && f->Geometry()) {
      // Outside geometry meshes itself; the angle goes as set (its default
      // and floor are the geometry's).
      xrchandle<xdoublesequence> vertices, normals;
      f->Geometry()->Tessellate(chord, m_angle, vertices, normals);
      if (!vertices) vertices = new xdoublesequence;
      if (!normals) normals = new xdoublesequence;
      result->Add(xrchandle<KFaceTessellation>(new KFaceTessellation(f, vertices, normals)));
      KFaceMeshed();
      continue;
    }
    Mesh mesh;
    if (f) TessellateFace(f->Surface(), chord, m_angle, cap, mesh);
    xrchandle<xdoublesequence> vertices(new xdoublesequence(std::move(mesh.vertices)));
    xrchandle<xdoublesequence> normals(new xdoublesequence(std::move(mesh.normals)));
    result->Add(xrchandle<KFaceTessellation>(new KFaceTessellation(f, vertices, normals)));
    KFaceMeshed();
  }
  out = result;
}

void KGetTriangulator(xrchandle<KTriangulator>& out) {
  out.reset();
  if (KEnter(KCall::Triangulator)) return;
  out = new KTriangulator;
}
