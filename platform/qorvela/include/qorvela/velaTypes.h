// The viewer's geometry value types: points, vectors, 4x4 transforms, boxes and
// colours. All of them are plain values, copied freely across modules.
//
// Conventions: points and vectors are row vectors on the left of a matrix,
// p' = (x, y, z, 1) * M. Element k of a matrix is row k / 4, column k % 4, so the
// translation sits in elements 12..14 (row 3). A product A * B applies A first.
#pragma once

#include <cmath>

#include "win32/wintypes.h"

// Default construction leaves the coordinates as they are, so that a large
// array of points costs no pass of its own before it is written; a
// value-initialised one, velaFloatPoint(), is zero.
struct velaFloatPoint {
  float x, y, z;

  velaFloatPoint() = default;
  velaFloatPoint(float px, float py, float pz) : x(px), y(py), z(pz) {}
};

// Default construction as for velaFloatPoint: velaVector() is zero.
struct velaVector {
  float x, y, z;

  velaVector() = default;
  velaVector(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
  // The vector from a to b.
  velaVector(const velaFloatPoint& a, const velaFloatPoint& b)
      : x(b.x - a.x), y(b.y - a.y), z(b.z - a.z) {}

  // Scales to unit length. A zero vector, or one whose length is not finite,
  // stays as it is. The length is taken in double so that large components
  // do not overflow.
  void Normalize() {
    double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (!(length > 0.0) || !std::isfinite(length)) return;
    x = float(x / length);
    y = float(y / length);
    z = float(z / length);
  }

  float Length() const { return float(std::sqrt(double(x) * x + double(y) * y + double(z) * z)); }
  float Dot(const velaVector& v) const { return x * v.x + y * v.y + z * v.z; }
  velaVector Cross(const velaVector& v) const {
    return velaVector(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
  }
};

class velaMatrix4x4 {
public:
  float m[16];

  velaMatrix4x4() { SetIdentity(); }

  void SetIdentity() {
    for (int k = 0; k < 16; ++k) m[k] = (k % 5 == 0) ? 1.0f : 0.0f;
  }
  bool IsIdentity() const {
    for (int k = 0; k < 16; ++k)
      if (m[k] != ((k % 5 == 0) ? 1.0f : 0.0f)) return false;
    return true;
  }

  float Get(int row, int col) const { return m[row * 4 + col]; }
  void Set(int row, int col, float value) { m[row * 4 + col] = value; }

  velaMatrix4x4 operator*(const velaMatrix4x4& b) const {
    velaMatrix4x4 r;
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        r.m[i * 4 + j] = m[i * 4] * b.m[j] + m[i * 4 + 1] * b.m[4 + j] +
                         m[i * 4 + 2] * b.m[8 + j] + m[i * 4 + 3] * b.m[12 + j];
      }
    }
    return r;
  }
  bool operator==(const velaMatrix4x4& b) const {
    for (int k = 0; k < 16; ++k)
      if (m[k] != b.m[k]) return false;
    return true;
  }
  bool operator!=(const velaMatrix4x4& b) const { return !(*this == b); }

  // A move by (tx, ty, tz).
  static velaMatrix4x4 Translation(float tx, float ty, float tz) {
    velaMatrix4x4 r;
    r.m[12] = tx;
    r.m[13] = ty;
    r.m[14] = tz;
    return r;
  }
  // A turn by the given degrees about the axis (ax, ay, az), counter-clockwise
  // seen from the tip of the axis. A zero axis gives the identity.
  static velaMatrix4x4 Rotation(float ax, float ay, float az, float degrees) {
    velaMatrix4x4 r;
    double length = std::sqrt(double(ax) * ax + double(ay) * ay + double(az) * az);
    if (!(length > 0.0) || !std::isfinite(length)) return r;
    double x = ax / length, y = ay / length, z = az / length;
    double radians = degrees * (3.14159265358979323846 / 180.0);
    double c = std::cos(radians), s = std::sin(radians), t = 1.0 - c;
    // Rows are the images of the unit axes.
    r.m[0] = float(t * x * x + c);
    r.m[1] = float(t * x * y + s * z);
    r.m[2] = float(t * x * z - s * y);
    r.m[4] = float(t * x * y - s * z);
    r.m[5] = float(t * y * y + c);
    r.m[6] = float(t * y * z + s * x);
    r.m[8] = float(t * x * z + s * y);
    r.m[9] = float(t * y * z - s * x);
    r.m[10] = float(t * z * z + c);
    return r;
  }
};

// (x, y, z, 1) * M.
inline velaFloatPoint operator*(const velaFloatPoint& p, const velaMatrix4x4& a) {
  const float* m = a.m;
  return velaFloatPoint(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
                        p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                        p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]);
}

// (x, y, z, 0) * M: the translation does not apply to a direction.
inline velaVector operator*(const velaVector& v, const velaMatrix4x4& a) {
  const float* m = a.m;
  return velaVector(v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
                    v.x * m[2] + v.y * m[6] + v.z * m[10]);
}

// An axis-aligned box. An empty box encloses nothing; its corners are then
// (0, 0, 0) and carry no meaning.
class velaBBox {
public:
  velaFloatPoint min, max;
  bool empty;

  velaBBox() : min(), max(), empty(true) {}

  void Reset() {
    min = velaFloatPoint();
    max = velaFloatPoint();
    empty = true;
  }

  // The box spanned by two corners, in whichever order they come.
  void SetMinMax(const velaFloatPoint& lo, const velaFloatPoint& hi) {
    min = velaFloatPoint(lo.x < hi.x ? lo.x : hi.x, lo.y < hi.y ? lo.y : hi.y,
                         lo.z < hi.z ? lo.z : hi.z);
    max = velaFloatPoint(lo.x < hi.x ? hi.x : lo.x, lo.y < hi.y ? hi.y : lo.y,
                         lo.z < hi.z ? hi.z : lo.z);
    empty = false;
  }

  // Grows the box to enclose another; an empty one adds nothing.
  void Update(const velaBBox& other) {
    if (other.empty) return;
    if (empty) {
      *this = other;
      return;
    }
    if (other.min.x < min.x) min.x = other.min.x;
    if (other.min.y < min.y) min.y = other.min.y;
    if (other.min.z < min.z) min.z = other.min.z;
    if (other.max.x > max.x) max.x = other.max.x;
    if (other.max.y > max.y) max.y = other.max.y;
    if (other.max.z > max.z) max.z = other.max.z;
  }

  bool IsEmpty() const { return empty; }
  velaFloatPoint GetMin() const { return min; }
  velaFloatPoint GetMax() const { return max; }
};

// A colour of four floats, each nominally in [0, 1]. The default is opaque white.
class velaChroma {
public:
  float r, g, b, a;

  velaChroma() : r(1.0f), g(1.0f), b(1.0f), a(1.0f) {}
  velaChroma(float red, float green, float blue, float alpha)
      : r(red), g(green), b(blue), a(alpha) {}

  bool operator==(const velaChroma& o) const {
    return r == o.r && g == o.g && b == o.b && a == o.a;
  }
  bool operator!=(const velaChroma& o) const { return !(*this == o); }
};
