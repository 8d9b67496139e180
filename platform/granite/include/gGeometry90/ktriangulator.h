// The triangulator: faces into triangles within a distance and an angle.
#pragma once

#include "gBase90/xsequence.h"
#include "gGeometry90/kmodel.h"

// The triangles of one face: three vertices each, counter-clockwise seen from
// outside, no vertex shared; one unit surface normal per vertex.
class GRANITE_KGEOMETRY_API KFaceTessellation : public xobject {
  XOBJECT_DECLARE(KFaceTessellation)
 public:
  KFaceTessellation(const xrchandle<KFace>& face, const xrchandle<xdoublesequence>& vertices,
                    const xrchandle<xdoublesequence>& normals);
  // x, y, z per vertex.
  void GetVertices(xrchandle<xdoublesequence>& out) const;
  // x, y, z per vertex, in the order of the vertices.
  void GetNormals(xrchandle<xdoublesequence>& out) const;
  void GetFace(xrchandle<KFace>& out) const;

 private:
  xrchandle<KFace> m_face;
  xrchandle<xdoublesequence> m_vertices, m_normals;
};

typedef xhandlesequence<KFaceTessellation> KFaceTessellationSequence;

// Limits that keep every call bounded.
constexpr int kMaxTrianglesPerFace = 100000;
constexpr long kMaxTrianglesPerCall = 1000000;

class GRANITE_KGEOMETRY_API KTriangulator : public xobject {
  XOBJECT_DECLARE(KTriangulator)
 public:
  KTriangulator();
  // Largest distance between a face and its triangles, in model units.
  // Both settings bound the same distance; the smaller positive one counts.
  // Zero or less means the default (1/500 of the face's size); the floor is
  // 1/10000 of the face's size.
  void SetChordHeight(double height);
  void SetMaxDeviation(double deviation);
  // Largest angle between the normals of neighbouring vertices, radians.
  // Zero or less means the default (0.5); the floor is 0.01.
  void SetAngleTolerance(double angle);
  // One tessellation per face of faces, in order. A face whose bounds need
  // more triangles than the limits allow gets the finest tessellation within them.
  void Triangulate(xrchandle<KFaceSet> faces, xrchandle<KFaceTessellationSequence>& out);

  double ChordHeight() const { return m_chordHeight; }
  double MaxDeviation() const { return m_maxDeviation; }
  double AngleTolerance() const { return m_angle; }

 private:
  double m_chordHeight = 0, m_maxDeviation = 0, m_angle = 0;
  int m_record;
};

// A new triangulator each call; null when the kernel has none.
GRANITE_KGEOMETRY_API void KGetTriangulator(xrchandle<KTriangulator>& out);
