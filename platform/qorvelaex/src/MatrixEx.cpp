// Matrix inverse.
#include "qorvelaex/velaMatrixEx.h"

#include <cmath>
#include <utility>

velaMatrix4x4 GetInverseMatrix(const velaMatrix4x4& matrix) {
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = matrix.m[r * 4 + c];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  }
  double scale = 0.0;
  for (int k = 0; k < 16; ++k) scale = std::fmax(scale, std::fabs(static_cast<double>(matrix.m[k])));
  if (!(scale > 0.0) || !std::isfinite(scale)) return velaMatrix4x4();
  const double tiny = scale * 1e-12;
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r) {
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    }
    if (!(std::fabs(a[pivot][col]) > tiny)) return velaMatrix4x4();
    if (pivot != col) std::swap(a[pivot], a[col]);
    const double inv = 1.0 / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  velaMatrix4x4 result;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) result.m[r * 4 + c] = static_cast<float>(a[r][c + 4]);
  }
  return result;
}
