// Evaluation and exact extents of the surfaces faces lie on.
#pragma once

#include "gGeometry90/kmodel.h"

namespace ksurface {

// The point at parameters (u, v), in the surface's local frame. For a disc v
// is the radius.
KVec3 LocalPoint(const KSurface& s, double u, double v);
// The unit normal there, facing outwards (reversed faces included).
KVec3 LocalNormal(const KSurface& s, double u, double v);
// Grows extent by the exact box of the face carried by map.
void Measure(const KSurface& s, const KAffine& map, KExtent& extent);
// The diagonal of the face's box: its size for tolerances.
double Size(const KSurface& s);

}  // namespace ksurface
