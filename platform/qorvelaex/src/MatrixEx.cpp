// Matrix inverse.
#include <cmath>
#include <utility>

#include "qorvelaex/velaMatrixEx.h"

namespace {

// Relative size below which a matrix counts as singular. The tests are
// scale-free: a small scale or a far translation alone never trips them.
const double kSingular = 1e-12;

// Row vectors: the linear part is the upper 3x3, the translation row 3.
bool InvertAffine(const double a[4][4], velaMatrix4x4& result) {
  const double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  const double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
  const double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
  const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
  // |det| is at most the product of the row lengths (Hadamard); comparing with
  // it makes the test independent of the scale of each row.
  double bound = 1.0;
  for (int r = 0; r < 3; ++r)
    bound *= std::sqrt(a[r][0] * a[r][0] + a[r][1] * a[r][1] + a[r][2] * a[r][2]);
  if (!(std::fabs(det) > kSingular * bound)) return false;
  double inv[3][3] = {
      {c00, a[0][2] * a[2][1] - a[0][1] * a[2][2], a[0][1] * a[1][2] - a[0][2] * a[1][1]},
      {c01, a[0][0] * a[2][2] - a[0][2] * a[2][0], a[0][2] * a[1][0] - a[0][0] * a[1][2]},
      {c02, a[0][1] * a[2][0] - a[0][0] * a[2][1], a[0][0] * a[1][1] - a[0][1] * a[1][0]}};
  for (auto& row : inv)
    for (double& v : row) v /= det;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) result.m[r * 4 + c] = static_cast<float>(inv[r][c]);
    result.m[r * 4 + 3] = 0.0f;
  }
  for (int c = 0; c < 3; ++c) {
    const double t = a[3][0] * inv[0][c] + a[3][1] * inv[1][c] + a[3][2] * inv[2][c];
    result.m[12 + c] = static_cast<float>(-t);
  }
  result.m[15] = 1.0f;
  return true;
}

// Gauss-Jordan with partial pivoting on rows scaled to a largest entry of 1,
// so that the pivot test is relative to each row's own size. Scaling the rows
// of both halves by D gives (DA)^-1 D = A^-1 directly.
bool InvertGeneral(const double m[4][4], velaMatrix4x4& result) {
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    double largest = 0.0;
    for (int c = 0; c < 4; ++c) largest = std::fmax(largest, std::fabs(m[r][c]));
    if (!(largest > 0.0)) return false;
    for (int c = 0; c < 4; ++c) {
      a[r][c] = m[r][c] / largest;
      a[r][c + 4] = r == c ? 1.0 / largest : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r) {
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    }
    if (!(std::fabs(a[pivot][col]) > kSingular)) return false;
    if (pivot != col) std::swap(a[pivot], a[col]);
    const double inv = 1.0 / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) result.m[r * 4 + c] = static_cast<float>(a[r][c + 4]);
  }
  return true;
}

}  // namespace

velaMatrix4x4 GetInverseMatrix(const velaMatrix4x4& matrix) {
  double a[4][4];
  for (int k = 0; k < 16; ++k) {
    if (!std::isfinite(matrix.m[k])) return velaMatrix4x4();
    a[k / 4][k % 4] = matrix.m[k];
  }
  velaMatrix4x4 result;
  const bool affine = a[0][3] == 0.0 && a[1][3] == 0.0 && a[2][3] == 0.0 && a[3][3] == 1.0;
  const bool done = affine ? InvertAffine(a, result) : InvertGeneral(a, result);
  for (int k = 0; done && k < 16; ++k) {
    if (!std::isfinite(result.m[k])) return velaMatrix4x4();
  }
  return done ? result : velaMatrix4x4();
}
