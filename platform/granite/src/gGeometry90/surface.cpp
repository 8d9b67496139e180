#include "surface.h"

#include <cmath>

namespace ksurface {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Coordinate(KVec3 v, int k) {
  return k == 0 ? v.x : k == 1 ? v.y : v.z;
}

// Calls add(t) for every t = base + n * pi inside [lo, hi].
template <class F>
void ForHalfTurns(double base, double lo, double hi, F add) {
  double n = std::ceil((lo - base) / kPi);
  for (int i = 0; i < 8; ++i, n += 1) {
    double t = base + n * kPi;
    if (t > hi) break;
    add(t);
  }
}

// The arc c + a cos t + b sin t, t in [t0, t1]: its ends, and in each
// coordinate the turning points of a_k cos t + b_k sin t.
void AddArc(KExtent& e, KVec3 c, KVec3 a, KVec3 b, double t0, double t1) {
  auto at = [&](double t) { e.Add(c + a * std::cos(t) + b * std::sin(t)); };
  at(t0);
  at(t1);
  for (int k = 0; k < 3; ++k) {
    double ak = Coordinate(a, k), bk = Coordinate(b, k);
    if (ak == 0 && bk == 0) continue;
    ForHalfTurns(std::atan2(bk, ak), t0, t1, at);
  }
}

// Inside a sphere or torus patch, coordinate k turns where u makes
// x_k cos u + y_k sin u = +-|(x_k, y_k)| and then v satisfies
// tan v = z_k / that value. point(u, v) gives the surface point.
template <class F>
void AddInteriorTurns(KExtent& e, const KSurface& s, KVec3 x, KVec3 y, KVec3 z, F point) {
  for (int k = 0; k < 3; ++k) {
    double xk = Coordinate(x, k), yk = Coordinate(y, k), zk = Coordinate(z, k);
    if (xk == 0 && yk == 0) continue;
    ForHalfTurns(std::atan2(yk, xk), s.u0, s.u1, [&](double u) {
      double w = xk * std::cos(u) + yk * std::sin(u);
      ForHalfTurns(std::atan2(zk, w), s.v0, s.v1, [&](double v) { e.Add(point(u, v)); });
    });
  }
}

double ConeRadius(const KSurface& s, double v) {
  double span = s.v1 - s.v0;
  return span != 0 ? s.r0 + (s.r1 - s.r0) * (v - s.v0) / span : s.r0;
}

}  // namespace

KVec3 LocalPoint(const KSurface& s, double u, double v) {
  double cu = std::cos(u), su = std::sin(u);
  switch (s.kind) {
    case KSurfaceKind::Disc:
      return {v * cu, v * su, 0};
    case KSurfaceKind::Cylinder:
      return {s.r0 * cu, s.r0 * su, v};
    case KSurfaceKind::Cone: {
      double r = ConeRadius(s, v);
      return {r * cu, r * su, v};
    }
    case KSurfaceKind::Sphere:
      return {s.r0 * std::cos(v) * cu, s.r0 * std::cos(v) * su, s.r0 * std::sin(v)};
    case KSurfaceKind::Torus: {
      double r = s.r0 + s.r1 * std::cos(v);
      return {r * cu, r * su, s.r1 * std::sin(v)};
    }
    default:
      return {};
  }
}

KVec3 LocalNormal(const KSurface& s, double u, double v) {
  double cu = std::cos(u), su = std::sin(u);
  KVec3 n;
  switch (s.kind) {
    case KSurfaceKind::Disc:
      n = {0, 0, 1};
      break;
    case KSurfaceKind::Cylinder:
      n = {cu, su, 0};
      break;
    case KSurfaceKind::Cone: {
      double span = s.v1 - s.v0;
      double slope = span != 0 ? (s.r1 - s.r0) / span : 0;
      n = KVec3{cu, su, -slope} * (1 / std::sqrt(1 + slope * slope));
      break;
    }
    case KSurfaceKind::Sphere:
    case KSurfaceKind::Torus:
      n = {std::cos(v) * cu, std::cos(v) * su, std::sin(v)};
      break;
    default:
      break;
  }
  return s.reversed ? n * -1 : n;
}

void Measure(const KSurface& s, const KAffine& map, KExtent& e) {
  KAffine m = s.frame.Then(map);
  if (s.kind == KSurfaceKind::Polygon || s.kind == KSurfaceKind::Triangles) {
    for (KVec3 p : s.points) e.Add(m.Apply(p));
    return;
  }
  KVec3 x = m.row[0], y = m.row[1], z = m.row[2], o = m.row[3];
  switch (s.kind) {
    case KSurfaceKind::Disc:
      AddArc(e, o, x * s.r0, y * s.r0, s.u0, s.u1);
      AddArc(e, o, x * s.r1, y * s.r1, s.u0, s.u1);
      break;
    case KSurfaceKind::Cylinder:
    case KSurfaceKind::Cone:
      // Straight along v: the extremes lie on the two end arcs.
      for (double v : {s.v0, s.v1}) {
        double r = s.kind == KSurfaceKind::Cone ? ConeRadius(s, v) : s.r0;
        AddArc(e, o + z * v, x * r, y * r, s.u0, s.u1);
      }
      break;
    case KSurfaceKind::Sphere: {
      double r = s.r0;
      for (double v : {s.v0, s.v1})
        AddArc(e, o + z * (r * std::sin(v)), x * (r * std::cos(v)), y * (r * std::cos(v)), s.u0,
               s.u1);
      for (double u : {s.u0, s.u1}) {
        KVec3 d = x * std::cos(u) + y * std::sin(u);
        AddArc(e, o, d * r, z * r, s.v0, s.v1);
      }
      AddInteriorTurns(e, s, x, y, z, [&](double u, double v) {
        return o + (x * std::cos(u) + y * std::sin(u)) * (r * std::cos(v)) + z * (r * std::sin(v));
      });
      break;
    }
    case KSurfaceKind::Torus: {
      double big = s.r0, small = s.r1;
      for (double v : {s.v0, s.v1}) {
        double r = big + small * std::cos(v);
        AddArc(e, o + z * (small * std::sin(v)), x * r, y * r, s.u0, s.u1);
      }
      for (double u : {s.u0, s.u1}) {
        KVec3 d = x * std::cos(u) + y * std::sin(u);
        AddArc(e, o + d * big, d * small, z * small, s.v0, s.v1);
      }
      AddInteriorTurns(e, s, x, y, z, [&](double u, double v) {
        return o + (x * std::cos(u) + y * std::sin(u)) * (big + small * std::cos(v)) +
               z * (small * std::sin(v));
      });
      break;
    }
    default:
      break;
  }
}

double Size(const KSurface& s) {
  KExtent e;
  Measure(s, KAffine(), e);
  return e.IsEmpty() ? 0 : Length(e.hi - e.lo);
}

}  // namespace ksurface
