#include <cmath>

#include "gGeometry90/kbuild.h"

namespace {

constexpr double kTurn = 6.28318530717958647692;

bool Finite(double v) {
  return std::isfinite(v);
}

// A planar face through local points, turned to face along outward.
void AddPlanar(KBody& body, const KSolidStyle& style, std::vector<KVec3> local, KVec3 outward) {
  KSurface s;
  s.kind = KSurfaceKind::Polygon;
  KVec3 normal;
  for (size_t i = 0; i < local.size(); ++i) {
    KVec3 a = local[i], b = local[(i + 1) % local.size()];
    normal = normal + Cross(a, b);
  }
  if (Dot(normal, outward) < 0) std::vector<KVec3>(local.rbegin(), local.rend()).swap(local);
  s.points.reserve(local.size());
  for (KVec3 p : local) s.points.push_back(style.frame.Apply(p));
  body.AddFace(KMakeFace(std::move(s), style.color));
}

KSurface Analytic(KSurfaceKind kind, const KSolidStyle& style, double z) {
  KSurface s;
  s.kind = kind;
  s.frame = KAffine::Translation({0, 0, z}).Then(style.frame);
  s.u0 = 0;
  s.u1 = kTurn;
  return s;
}

void AddDisc(KBody& body, const KSolidStyle& style, double inner, double outer, double z,
             bool down) {
  KSurface s = Analytic(KSurfaceKind::Disc, style, z);
  s.r0 = inner;
  s.r1 = outer;
  s.reversed = down;
  body.AddFace(KMakeFace(std::move(s), style.color));
}

void AddSide(KBody& body, const KSolidStyle& style, double r0, double r1, double z0, double z1,
             bool inward) {
  KSurface s = Analytic(r0 == r1 ? KSurfaceKind::Cylinder : KSurfaceKind::Cone, style, 0);
  s.r0 = r0;
  s.r1 = r1;
  s.v0 = z0;
  s.v1 = z1;
  s.reversed = inward;
  body.AddFace(KMakeFace(std::move(s), style.color));
}

bool Heights(double z0, double z1) {
  return Finite(z0) && Finite(z1) && z1 > z0;
}

}  // namespace

xrchandle<KFace> KMakeFace(KSurface surface, KColorAttribute* color) {
  xrchandle<KFace> face(new KFace(std::move(surface)));
  if (color) face->AddAttribute(xrchandle<KAttribute>(color));
  return face;
}

bool KAddBox(KBody& body, const KSolidStyle& style, KVec3 lo, KVec3 hi) {
  if (!Finite(lo.x) || !Finite(lo.y) || !Finite(lo.z) || !Finite(hi.x) || !Finite(hi.y) ||
      !Finite(hi.z) || !(hi.x > lo.x && hi.y > lo.y && hi.z > lo.z))
    return false;
  double x[2] = {lo.x, hi.x}, y[2] = {lo.y, hi.y}, z[2] = {lo.z, hi.z};
  for (int side = 0; side < 2; ++side) {
    double sign = side ? 1 : -1;
    AddPlanar(body, style,
              {{x[side], y[0], z[0]},
               {x[side], y[1], z[0]},
               {x[side], y[1], z[1]},
               {x[side], y[0], z[1]}},
              {sign, 0, 0});
    AddPlanar(body, style,
              {{x[0], y[side], z[0]},
               {x[1], y[side], z[0]},
               {x[1], y[side], z[1]},
               {x[0], y[side], z[1]}},
              {0, sign, 0});
    AddPlanar(body, style,
              {{x[0], y[0], z[side]},
               {x[1], y[0], z[side]},
               {x[1], y[1], z[side]},
               {x[0], y[1], z[side]}},
              {0, 0, sign});
  }
  return true;
}

bool KAddCylinder(KBody& body, const KSolidStyle& style, double radius, double z0, double z1) {
  return KAddCone(body, style, radius, radius, z0, z1);
}

bool KAddCone(KBody& body, const KSolidStyle& style, double r0, double r1, double z0, double z1) {
  if (!Heights(z0, z1) || !Finite(r0) || !Finite(r1) || r0 < 0 || r1 < 0 || (r0 == 0 && r1 == 0))
    return false;
  AddSide(body, style, r0, r1, z0, z1, false);
  if (r0 > 0) AddDisc(body, style, 0, r0, z0, true);
  if (r1 > 0) AddDisc(body, style, 0, r1, z1, false);
  return true;
}

bool KAddTube(KBody& body, const KSolidStyle& style, double outer, double inner, double z0,
              double z1) {
  if (!Heights(z0, z1) || !Finite(outer) || !Finite(inner) || !(inner > 0 && outer > inner))
    return false;
  AddSide(body, style, outer, outer, z0, z1, false);
  AddSide(body, style, inner, inner, z0, z1, true);
  AddDisc(body, style, inner, outer, z0, true);
  AddDisc(body, style, inner, outer, z1, false);
  return true;
}

bool KAddSphere(KBody& body, const KSolidStyle& style, double radius) {
  if (!Finite(radius) || !(radius > 0)) return false;
  KSurface s = Analytic(KSurfaceKind::Sphere, style, 0);
  s.r0 = radius;
  s.v0 = -kTurn / 4;
  s.v1 = kTurn / 4;
  body.AddFace(KMakeFace(std::move(s), style.color));
  return true;
}

bool KAddTorus(KBody& body, const KSolidStyle& style, double major, double minor) {
  if (!Finite(major) || !Finite(minor) || !(minor > 0 && major > minor)) return false;
  KSurface s = Analytic(KSurfaceKind::Torus, style, 0);
  s.r0 = major;
  s.r1 = minor;
  s.v0 = 0;
  s.v1 = kTurn;
  body.AddFace(KMakeFace(std::move(s), style.color));
  return true;
}

bool KAddPrism(KBody& body, const KSolidStyle& style, const std::vector<double>& outline, double z0,
               double z1) {
  size_t n = outline.size() / 2;
  if (!Heights(z0, z1) || n < 3 || outline.size() % 2) return false;
  std::vector<KVec3> ring(n);
  double area = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!Finite(outline[2 * i]) || !Finite(outline[2 * i + 1])) return false;
    ring[i] = {outline[2 * i], outline[2 * i + 1], 0};
  }
  for (size_t i = 0; i < n; ++i) area += Cross(ring[i], ring[(i + 1) % n]).z;
  if (area == 0) return false;
  if (area < 0) std::vector<KVec3>(ring.rbegin(), ring.rend()).swap(ring);
  std::vector<KVec3> bottom(ring), top(ring);
  for (KVec3& p : bottom) p.z = z0;
  for (KVec3& p : top) p.z = z1;
  AddPlanar(body, style, bottom, {0, 0, -1});
  AddPlanar(body, style, top, {0, 0, 1});
  for (size_t i = 0; i < n; ++i) {
    KVec3 a = ring[i], b = ring[(i + 1) % n];
    KVec3 d = b - a;
    AddPlanar(body, style, {{a.x, a.y, z0}, {b.x, b.y, z0}, {b.x, b.y, z1}, {a.x, a.y, z1}},
              {d.y, -d.x, 0});
  }
  return true;
}

bool KAddGear(KBody& body, const KSolidStyle& style, int teeth, double root, double tip, double z0,
              double z1) {
  if (teeth < 3 || teeth > kMaxGearTeeth || !Finite(root) || !Finite(tip) ||
      !(root > 0 && tip > root))
    return false;
  // Each tooth: a quarter pitch of root land, a flank, a quarter pitch of tip
  // land and the other flank.
  std::vector<double> outline;
  outline.reserve(static_cast<size_t>(teeth) * 8);
  double pitch = kTurn / teeth;
  const double steps[4][2] = {{0, root}, {0.25, tip}, {0.5, tip}, {0.75, root}};
  for (int t = 0; t < teeth; ++t) {
    for (const auto& step : steps) {
      double a = (t + step[0]) * pitch;
      outline.push_back(step[1] * std::cos(a));
      outline.push_back(step[1] * std::sin(a));
    }
  }
  return KAddPrism(body, style, outline, z0, z1);
}
