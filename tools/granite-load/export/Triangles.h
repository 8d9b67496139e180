// What both exporters do to a mesh triangle before using it: the triangles the
// kernel hands over are in no guaranteed winding and may carry zero or
// unnormalised normals, or collapse to a line.
#pragma once

#include <cmath>
#include <utility>

#include "qorvela/velaTypes.h"

namespace gload {

struct Triangle {
  velaFloatPoint p[3];
  velaVector n[3];
};

inline bool Finite(const velaFloatPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Makes a triangle fit to draw or export: false for one that has no area or a
// coordinate that is not finite. Otherwise every normal is of unit length (the
// face normal stands in for a zero or non-finite one) and the points run
// counter-clockwise seen from the side the normals point to.
inline bool CleanTriangle(Triangle& t) {
  for (const velaFloatPoint& p : t.p)
    if (!Finite(p)) return false;
  velaVector face = velaVector(t.p[0], t.p[1]).Cross(velaVector(t.p[0], t.p[2]));
  double area = face.Length();
  if (!(area > 0.0) || !std::isfinite(area)) return false;
  face.Normalize();
  velaVector sum(0, 0, 0);
  for (velaVector& n : t.n) {
    n.Normalize();
    double length = n.Length();
    if (!std::isfinite(length) || std::fabs(length - 1.0) > 1e-3) n = face;
    sum = velaVector(sum.x + n.x, sum.y + n.y, sum.z + n.z);
  }
  if (face.Dot(sum) < 0.0f) {
    std::swap(t.p[1], t.p[2]);
    std::swap(t.n[1], t.n[2]);
  }
  return true;
}

}  // namespace gload
