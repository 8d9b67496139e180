// Scenes for the exporter tests, built directly in the host scene.
#pragma once

#include "qorvelaex/C3DMScene.h"

namespace scenes {

// Twelve triangles of the box lo..hi, normals outward; inverted: every
// triangle wound the other way round and the normals zero.
inline C3DMMesh Box(velaFloatPoint lo, velaFloatPoint hi, velaChroma color, bool inverted = false) {
  C3DMMesh mesh;
  mesh.color = color;
  const float x[2] = {lo.x, hi.x}, y[2] = {lo.y, hi.y}, z[2] = {lo.z, hi.z};
  auto corner = [&](int i, int j, int k) { return velaFloatPoint(x[i], y[j], z[k]); };
  // Each face: four corners counter-clockwise seen from outside, and its normal.
  struct Face {
    int c[4][3];
    velaVector n;
  };
  const Face faces[6] = {
      {{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, velaVector(0, 0, -1)},
      {{{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, velaVector(0, 0, 1)},
      {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, velaVector(0, -1, 0)},
      {{{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}, velaVector(0, 1, 0)},
      {{{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, velaVector(-1, 0, 0)},
      {{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}, velaVector(1, 0, 0)},
  };
  for (const Face& f : faces) {
    const int order[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (const auto& tri : order) {
      for (int v = 0; v < 3; ++v) {
        const int* c = f.c[inverted ? tri[2 - v] : tri[v]];
        mesh.points.push_back(corner(c[0], c[1], c[2]));
        mesh.normals.push_back(inverted ? velaVector() : f.n);
      }
      mesh.counts.push_back(3);
    }
  }
  return mesh;
}

}  // namespace scenes
