// The triangulator: distance and angle bounds, exact boxes, winding, normals, limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "gkit/bodies.h"
#include "gkit/fixture.h"

namespace {

using namespace gkit;
using Triangulator = KitTest;

constexpr double kPi = 3.14159265358979323846;

// The surface point's local coordinates under a rigid frame.
KVec3 ToLocal(const KAffine& frame, KVec3 p) {
  KVec3 d = p - frame.row[3];
  return {Dot(d, frame.row[0]), Dot(d, frame.row[1]), Dot(d, frame.row[2])};
}

// Distance from p to the whole (unbounded) surface the face lies on.
double SurfaceDistance(const KSurface& s, KVec3 p) {
  KVec3 l = ToLocal(s.frame, p);
  double rho = std::hypot(l.x, l.y);
  switch (s.kind) {
    case KSurfaceKind::Cylinder:
      return std::fabs(rho - s.r0);
    case KSurfaceKind::Sphere:
      return std::fabs(Length(l) - s.r0);
    case KSurfaceKind::Torus:
      return std::fabs(std::hypot(rho - s.r0, l.z) - s.r1);
    case KSurfaceKind::Cone: {
      // Distance to the generating line through (r0, v0) and (r1, v1) in the (rho, z) plane.
      double dr = s.r1 - s.r0, dz = s.v1 - s.v0;
      return std::fabs((rho - s.r0) * dz - (l.z - s.v0) * dr) / std::hypot(dr, dz);
    }
    default:
      return std::fabs(l.z);
  }
}

KVec3 SurfacePoint(const KSurface& s, double u, double v) {
  double cu = std::cos(u), su = std::sin(u);
  KVec3 l;
  switch (s.kind) {
    case KSurfaceKind::Cylinder:
      l = {s.r0 * cu, s.r0 * su, v};
      break;
    case KSurfaceKind::Cone: {
      double r = s.r0 + (s.r1 - s.r0) * (v - s.v0) / (s.v1 - s.v0);
      l = {r * cu, r * su, v};
      break;
    }
    case KSurfaceKind::Sphere:
      l = {s.r0 * std::cos(v) * cu, s.r0 * std::cos(v) * su, s.r0 * std::sin(v)};
      break;
    default:
      l = {(s.r0 + s.r1 * std::cos(v)) * cu, (s.r0 + s.r1 * std::cos(v)) * su, s.r1 * std::sin(v)};
  }
  return s.frame.Apply(l);
}

double PointTriangleDistance(KVec3 p, KVec3 a, KVec3 b, KVec3 c) {
  KVec3 ab = b - a, ac = c - a, n = Cross(ab, ac);
  double nn = Dot(n, n);
  // Inside the prism over the triangle: the distance to its plane.
  KVec3 ap = p - a;
  double w = Dot(Cross(ab, ap), n) / nn, v = Dot(Cross(ap, ac), n) / nn;
  if (v >= 0 && w >= 0 && v + w <= 1) return std::fabs(Dot(ap, n)) / std::sqrt(nn);
  auto segment = [&](KVec3 x, KVec3 y) {
    KVec3 d = y - x;
    double t = std::clamp(Dot(p - x, d) / Dot(d, d), 0.0, 1.0);
    return Length(p - (x + d * t));
  };
  return std::min({segment(a, b), segment(b, c), segment(c, a)});
}

double Angle(KVec3 a, KVec3 b) {
  return std::acos(std::clamp(Dot(a, b) / (Length(a) * Length(b)), -1.0, 1.0));
}

KSurface Patch(KSurfaceKind kind, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(-1, 1);
  KSurface s;
  s.kind = kind;
  s.frame = KAffine::Rotation({unit(random), unit(random), unit(random)}, 3 * unit(random))
                .Then(KAffine::Translation({5 * unit(random), 5 * unit(random), 5 * unit(random)}));
  s.u0 = unit(random);
  s.u1 = s.u0 + 1.5 + 4.5 * std::fabs(unit(random));
  // Radii and the v range: cylinder, cone, sphere, torus.
  const double shapes[4][4] = {{10, 0, -5, 15}, {12, 3, 0, 10}, {10, 0, -1.4, 1.5}, {10, 3, -2, 3}};
  const double* p = shapes[kind == KSurfaceKind::Cylinder ? 0
                           : kind == KSurfaceKind::Cone   ? 1
                           : kind == KSurfaceKind::Sphere ? 2
                                                          : 3];
  s.r0 = p[0], s.r1 = p[1], s.v0 = p[2], s.v1 = p[3];
  return s;
}

// The smaller of the chord height and the deviation is the distance bound;
// a negative one is not set.
TEST_F(Triangulator, DeviationAndAngleBoundsHoldOnCurvedFaces) {
  std::mt19937 random(7);
  const double settings[4][2] = {{1, 1}, {10, 1}, {1, 10}, {-1, 1}};
  int row = 0;
  for (KSurfaceKind kind :
       {KSurfaceKind::Cylinder, KSurfaceKind::Cone, KSurfaceKind::Sphere, KSurfaceKind::Torus}) {
    for (double h : {0.5, 0.1, 0.02, 0.005}) {
      for (double angle : {0.05, 0.3, 1.0}) {
        KSurface s = Patch(kind, random);
        xrchandle<KBody> body = gkit::Kit::FaceBody(s);
        const double* setting = settings[row++ % 4];
        Triangles t = Triangulate(body, setting[0] * h, setting[1] * h, angle);
        ASSERT_FALSE(t.points.empty());
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(kind) << " h " << h << " angle " << angle
                     << " chord " << setting[0] * h << " deviation " << setting[1] * h);
        double worst = 0, worstAngle = 0;
        for (size_t i = 0; i < t.points.size(); i += 3) {
          KVec3 a = t.points[i], b = t.points[i + 1], c = t.points[i + 2];
          // Vertices on the surface, unit normals, counter-clockwise seen from outside.
          for (int k = 0; k < 3; ++k) {
            ASSERT_LT(SurfaceDistance(s, t.points[i + k]), 1e-9);
            ASSERT_NEAR(Length(t.normals[i + k]), 1, 1e-12);
          }
          ASSERT_GT(Dot(Cross(b - a, c - a), t.normals[i] + t.normals[i + 1] + t.normals[i + 2]),
                    0);
          for (int p = 0; p < 3; ++p)
            worstAngle = std::max(worstAngle, Angle(t.normals[i + p], t.normals[i + (p + 1) % 3]));
          for (int x = 0; x <= 6; ++x)
            for (int y = 0; x + y <= 6; ++y) {
              KVec3 q = a + (b - a) * (x / 6.0) + (c - a) * (y / 6.0);
              worst = std::max(worst, SurfaceDistance(s, q));
            }
        }
        EXPECT_LE(worst, h * (1 + 1e-9));
        EXPECT_LE(worstAngle, angle + 1e-9);
        // The face's box is exact: it holds every vertex, and the vertices
        // fall short of it by no more than the distance bound.
        xrchandle<KBox3D> box;
        body->GetBoundingBox(box);
        KExtent reached;
        for (const KVec3& p : t.points) reached.Add(p);
        const KVec3 lo = box->Min(), hi = box->Max();
        for (double d : {reached.lo.x - lo.x, reached.lo.y - lo.y, reached.lo.z - lo.z,
                         hi.x - reached.hi.x, hi.y - reached.hi.y, hi.z - reached.hi.z}) {
          EXPECT_GE(d, -1e-9);
          EXPECT_LE(d, h * (1 + 1e-9));
        }
        // And the other way: every point of the face is near a triangle.
        if (t.points.size() > 30000) continue;
        double reverse = 0;
        for (int i = 0; i <= 24; ++i)
          for (int j = 0; j <= 24; ++j) {
            KVec3 p = SurfacePoint(s, s.u0 + (s.u1 - s.u0) * i / 24, s.v0 + (s.v1 - s.v0) * j / 24);
            double best = 1e300;
            for (size_t k = 0; k < t.points.size(); k += 3) {
              if (Length(p - t.points[k]) - 20 * h - Length(t.points[k + 1] - t.points[k]) -
                      Length(t.points[k + 2] - t.points[k]) >
                  best)
                continue;
              best = std::min(
                  best, PointTriangleDistance(p, t.points[k], t.points[k + 1], t.points[k + 2]));
            }
            reverse = std::max(reverse, best);
          }
        EXPECT_LE(reverse, h * (1 + 1e-9));
      }
    }
  }
}

TEST_F(Triangulator, AbsurdTolerancesAreClampedAndCountsCapped) {
  KSurface s;
  s.kind = KSurfaceKind::Torus;
  s.r0 = 10;
  s.r1 = 3;
  s.u1 = 2 * kPi;
  s.v1 = 2 * kPi;
  xrchandle<KBody> body = gkit::Kit::FaceBody(s);
  // Zero, negative and NaN mean the default.
  const size_t byDefault = Triangulate(body, 0, 0, 0).points.size();
  EXPECT_GT(byDefault, 0u);
  for (double bad : {-3.0, std::nan("")})
    EXPECT_EQ(Triangulate(body, bad, bad, bad).points.size(), byDefault);
  // Absurdly small tolerances stop at the floor and the cap.
  for (double tiny : {1e-30, 1e-12}) {
    Triangles t = Triangulate(body, tiny, tiny, 1e-9);
    EXPECT_LE(t.points.size() / 3, static_cast<size_t>(kMaxTrianglesPerFace));
    EXPECT_GT(t.points.size() / 3, 1000u);
  }
  // Many faces in one call share the call's budget.
  xrchandle<KBody> many(new KBody);
  for (int i = 0; i < 20; ++i) many->AddFace(KMakeFace(s, nullptr));
  EXPECT_LE(Triangulate(many, 1e-9, 1e-9, 1e-9).points.size() / 3,
            static_cast<size_t>(kMaxTrianglesPerCall));
}

}  // namespace
