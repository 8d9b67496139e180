// Points, boxes, placements and colours.
#pragma once

#include "gBase90/xobject.h"

// A plain 3D vector of the kernel's own code.
struct KVec3 {
  double x = 0, y = 0, z = 0;
};

inline KVec3 operator+(KVec3 a, KVec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline KVec3 operator-(KVec3 a, KVec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline KVec3 operator*(KVec3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline KVec3 operator*(double s, KVec3 a) {
  return a * s;
}
inline double Dot(KVec3 a, KVec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline KVec3 Cross(KVec3 a, KVec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
GRANITE_VISIBLE double Length(KVec3 a);

// An affine map for row vectors on the left: p' = p.x * row[0] + p.y * row[1]
// + p.z * row[2] + row[3]. The rows are the images of the local axes and of
// the local origin.
struct GRANITE_VISIBLE KAffine {
  KVec3 row[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};

  KVec3 Apply(KVec3 p) const { return row[0] * p.x + row[1] * p.y + row[2] * p.z + row[3]; }
  KVec3 ApplyVector(KVec3 v) const { return row[0] * v.x + row[1] * v.y + row[2] * v.z; }
  // This map followed by next.
  KAffine Then(const KAffine& next) const;
  // True for a rotation and translation (orthonormal, right-handed rows).
  bool IsRigid(double tolerance = 1e-6) const;

  static KAffine Translation(KVec3 offset);
  // A turn of angle radians about axis (right-handed); a zero axis gives identity.
  static KAffine Rotation(KVec3 axis, double angle);
};

// An axis-aligned box tracked while measuring; empty until the first point.
struct GRANITE_VISIBLE KExtent {
  KVec3 lo{1, 1, 1}, hi{-1, -1, -1};
  bool IsEmpty() const { return lo.x > hi.x; }
  void Add(KVec3 p);
  void Add(const KExtent& other);
};

class GRANITE_VISIBLE KPoint3D : public xobject {
  XOBJECT_DECLARE(KPoint3D)
 public:
  explicit KPoint3D(KVec3 p) : m_p(p) {}
  double GetX() const { return m_p.x; }
  double GetY() const { return m_p.y; }
  double GetZ() const { return m_p.z; }

 private:
  KVec3 m_p;
};

class GRANITE_VISIBLE KBox3D : public xobject {
  XOBJECT_DECLARE(KBox3D)
 public:
  KBox3D(KVec3 lo, KVec3 hi) : m_lo(lo), m_hi(hi) {}
  void GetMinPoint(xrchandle<KPoint3D>& out) const;
  void GetMaxPoint(xrchandle<KPoint3D>& out) const;
  KVec3 Min() const { return m_lo; }
  KVec3 Max() const { return m_hi; }

 private:
  KVec3 m_lo, m_hi;
};

// A placement: 4 x 4 numbers for row vectors on the left, translation in row 3.
class GRANITE_VISIBLE KMatrix3D : public xobject {
  XOBJECT_DECLARE(KMatrix3D)
 public:
  // values in the order of Get: element k is Get(k / 4, k % 4).
  explicit KMatrix3D(const double values[16]);
  explicit KMatrix3D(const KAffine& affine);
  // Row i, column j, both 0..3; other indices throw an xthrowable.
  double Get(int i, int j) const;
  // The affine part (column 3 is not used).
  KAffine Affine() const;

 private:
  double m_values[16];
};

class GRANITE_VISIBLE KColor : public xobject {
  XOBJECT_DECLARE(KColor)
 public:
  KColor(double red, double green, double blue) : m_red(red), m_green(green), m_blue(blue) {}
  double GetRed() const { return m_red; }
  double GetGreen() const { return m_green; }
  double GetBlue() const { return m_blue; }

 private:
  double m_red, m_green, m_blue;
};
