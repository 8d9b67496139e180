// KERNEL STAND-IN EXTRA: not part of the kernel's interface (include/).
//
// Building bodies from shorthand solids, for the native reader and for tests.
// Each solid is given in its local frame, which must be rigid; color, when not
// null, is attached to every face made.
#pragma once

#include <vector>

#include "gGeometry90/kmodel.h"

struct KSolidStyle {
  KAffine frame;
  KColorAttribute* color = nullptr;
};

// The faces below answer false and add nothing for parameters that describe no
// solid (a non-positive size, a radius outside its range, too few points).

// An axis-aligned box from corner lo to corner hi: six planar faces.
GRANITE_VISIBLE bool KAddBox(KBody& body, const KSolidStyle& style, KVec3 lo, KVec3 hi);
// A cylinder about local z from height z0 to z1: side and two discs.
GRANITE_VISIBLE bool KAddCylinder(KBody& body, const KSolidStyle& style, double radius, double z0,
                                  double z1);
// A frustum about local z, radius r0 at z0 and r1 at z1 (one may be 0): side and discs.
GRANITE_VISIBLE bool KAddCone(KBody& body, const KSolidStyle& style, double r0, double r1,
                              double z0, double z1);
// A tube about local z: outer and inner sides, two annular ends.
GRANITE_VISIBLE bool KAddTube(KBody& body, const KSolidStyle& style, double outer, double inner,
                              double z0, double z1);
GRANITE_VISIBLE bool KAddSphere(KBody& body, const KSolidStyle& style, double radius);
GRANITE_VISIBLE bool KAddTorus(KBody& body, const KSolidStyle& style, double major, double minor);
// A prism: the outline (x, y pairs in the local z = 0 plane, a simple polygon
// in either direction) extruded from z0 to z1.
GRANITE_VISIBLE bool KAddPrism(KBody& body, const KSolidStyle& style,
                               const std::vector<double>& outline, double z0, double z1);
// A spur gear about local z: a prism whose outline has teeth trapezoids
// between the root and tip radii.
GRANITE_VISIBLE bool KAddGear(KBody& body, const KSolidStyle& style, int teeth, double root,
                              double tip, double z0, double z1);

// The largest number of points a generated outline may have.
constexpr int kMaxGearTeeth = 1000;

// A face of the given surface with an optional colour.
GRANITE_VISIBLE xrchandle<KFace> KMakeFace(KSurface surface, KColorAttribute* color);
