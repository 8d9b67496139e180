#include <cmath>

#include "gBase90/kcall.h"
#include "gBase90/xthrowable.h"
#include "gGeometry90/kgeometry.h"

XOBJECT_DEFINE(KPoint3D, xobject)
XOBJECT_DEFINE(KBox3D, xobject)
XOBJECT_DEFINE(KMatrix3D, xobject)
XOBJECT_DEFINE(KColor, xobject)

double Length(KVec3 a) {
  return std::sqrt(Dot(a, a));
}

KAffine KAffine::Then(const KAffine& next) const {
  KAffine m;
  for (int i = 0; i < 3; ++i) m.row[i] = next.ApplyVector(row[i]);
  m.row[3] = next.Apply(row[3]);
  return m;
}

bool KAffine::IsRigid(double tolerance) const {
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(Dot(row[i], row[i]) - 1) > tolerance) return false;
    for (int j = i + 1; j < 3; ++j)
      if (std::fabs(Dot(row[i], row[j])) > tolerance) return false;
  }
  return Dot(Cross(row[0], row[1]), row[2]) > 0;
}

KAffine KAffine::Translation(KVec3 offset) {
  KAffine m;
  m.row[3] = offset;
  return m;
}

KAffine KAffine::Rotation(KVec3 axis, double angle) {
  KAffine m;
  double n = Length(axis);
  if (!(n > 0)) return m;
  KVec3 k = axis * (1 / n);
  double c = std::cos(angle), s = std::sin(angle);
  // Rodrigues' formula applied to each unit axis gives the rows.
  const KVec3 units[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    KVec3 v = units[i];
    m.row[i] = v * c + Cross(k, v) * s + k * (Dot(k, v) * (1 - c));
  }
  return m;
}

void KExtent::Add(KVec3 p) {
  if (IsEmpty()) {
    lo = hi = p;
    return;
  }
  lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
  hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
}

void KExtent::Add(const KExtent& other) {
  if (other.IsEmpty()) return;
  Add(other.lo);
  Add(other.hi);
}

void KBox3D::GetMinPoint(xrchandle<KPoint3D>& out) const {
  out = KEnter(KCall::GetMinPoint) ? nullptr : new KPoint3D(m_lo);
}

void KBox3D::GetMaxPoint(xrchandle<KPoint3D>& out) const {
  out = KEnter(KCall::GetMaxPoint) ? nullptr : new KPoint3D(m_hi);
}

KMatrix3D::KMatrix3D(const double values[16]) {
  for (int k = 0; k < 16; ++k) m_values[k] = values[k];
}

KMatrix3D::KMatrix3D(const KAffine& affine) {
  for (int i = 0; i < 4; ++i) {
    m_values[4 * i] = affine.row[i].x;
    m_values[4 * i + 1] = affine.row[i].y;
    m_values[4 * i + 2] = affine.row[i].z;
    m_values[4 * i + 3] = i == 3 ? 1 : 0;
  }
}

double KMatrix3D::Get(int i, int j) const {
  if (i < 0 || i > 3 || j < 0 || j > 3) KThrow("matrix index outside 0..3");
  return m_values[4 * i + j];
}

KAffine KMatrix3D::Affine() const {
  KAffine m;
  for (int i = 0; i < 4; ++i)
    m.row[i] = {m_values[4 * i], m_values[4 * i + 1], m_values[4 * i + 2]};
  return m;
}
