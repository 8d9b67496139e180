// A body into triangle meshes: tolerances, triangulation, points and normals in
// model space, one mesh per body or one per face.
#include <algorithm>
#include <cstdint>
#include <new>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ParserGuards.h"
#include "tessellation/FaceMeshes.h"
#include "tessellation/Tessellation.h"

namespace {

// Vertices in a sequence of x, y, z doubles; a trailing incomplete triple and
// a negative count give nothing.
inline uint32_t VertexCount(const xdoublesequence& sequence) {
  const int doubles = sequence.GetCount();
  return doubles > 0 ? static_cast<uint32_t>(doubles / 3) : 0u;
}

// Writes the m vertices of one face, and their normals, carried into model
// space by the placement. The doubles are narrowed to float before the
// transform. Vertices the face gives no normal for get a zero normal.
void FillRun(const xdoublesequence& vertices, const xdoublesequence* normalSequence, uint32_t m,
             const velaMatrix4x4& placement, velaFloatPoint* points, velaVector* normals) {
  for (uint32_t j = 0; j < m; ++j) {
    const int k = static_cast<int>(3 * j);
    const velaFloatPoint p(static_cast<float>(vertices.GetAt(k)),
                           static_cast<float>(vertices.GetAt(k + 1)),
                           static_cast<float>(vertices.GetAt(k + 2)));
    points[j] = p * placement;
  }
  uint32_t given = normalSequence ? std::min(VertexCount(*normalSequence), m) : 0u;
  for (uint32_t j = 0; j < given; ++j) {
    const int k = static_cast<int>(3 * j);
    const velaVector n(static_cast<float>(normalSequence->GetAt(k)),
                       static_cast<float>(normalSequence->GetAt(k + 1)),
                       static_cast<float>(normalSequence->GetAt(k + 2)));
    normals[j] = n * placement;
    normals[j].Normalize();
  }
  for (uint32_t j = given; j < m; ++j) normals[j] = velaVector();
}

}  // namespace

void BuildFaceMeshes(KFaceTessellationSequence& tessellations, const velaMatrix4x4& placement,
                     const velaChroma& entryColor, CGraniteElement* element,
                     velaFloatPointArray& points, velaVectorArray& normals, velaIntArray& counts) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser) return;
  for (int i = 0; i < tessellations.GetCount(); ++i) {
    xrchandle<KFaceTessellation> face;
    tessellations.GetAt(i, face);
    if (!face) continue;
    xrchandle<KFace> modelFace;
    face->GetFace(modelFace);
    ApplyFaceColor(std::move(modelFace));
    xrchandle<xdoublesequence> vertices;
    face->GetVertices(vertices);
    if (!vertices) {
      parser->SetCurrentColor(entryColor);
      continue;
    }
    const uint32_t m = VertexCount(*vertices);
    points.SetSize(m, 0);
    normals.SetSize(m, 0);
    counts.SetSize(1, 0);
    counts[0] = static_cast<int>(m);
    xrchandle<xdoublesequence> faceNormals;
    face->GetNormals(faceNormals);
    FillRun(*vertices, faceNormals.get(), m, placement, points.data, normals.data);
    AddMeshForElement(points, normals, counts, element);
    parser->SetCurrentColor(entryColor);
  }
}

void BuildBodyMesh(KFaceTessellationSequence& tessellations, const velaMatrix4x4& placement,
                   CGraniteElement* element, velaFloatPointArray& points, velaVectorArray& normals,
                   velaIntArray& counts) {
  // First pass: the vertex total, so that points and normals are allocated once.
  uint64_t total = 0;
  for (int i = 0; i < tessellations.GetCount(); ++i) {
    xrchandle<KFaceTessellation> face;
    tessellations.GetAt(i, face);
    if (!face) continue;
    xrchandle<xdoublesequence> vertices;
    face->GetVertices(vertices);
    if (vertices) total += VertexCount(*vertices);
  }
  if (total > UINT32_MAX) throw std::bad_alloc();
  const uint32_t allocated = static_cast<uint32_t>(total);
  const int faceCount = std::max(tessellations.GetCount(), 0);
  counts.SetSize(static_cast<uint32_t>(faceCount), 0);
  points.SetSize(allocated, 0);
  normals.SetSize(allocated, 0);

  // Second pass: the kernel is asked again; nothing is written past what the
  // first pass sized, and each count entry says what was written.
  uint32_t p = 0;
  int i = 0;
  for (; i < std::min(tessellations.GetCount(), faceCount); ++i) {
    xrchandle<KFaceTessellation> face;
    tessellations.GetAt(i, face);
    if (!face) {
      counts[i] = 0;
      continue;
    }
    xrchandle<KFace> modelFace;
    face->GetFace(modelFace);
    ApplyFaceColor(std::move(modelFace));
    xrchandle<xdoublesequence> vertices;
    face->GetVertices(vertices);
    if (!vertices) {
      counts[i] = 0;
      continue;
    }
    const uint32_t m = std::min(VertexCount(*vertices), allocated - p);
    counts[i] = static_cast<int>(m);
    xrchandle<xdoublesequence> faceNormals;
    face->GetNormals(faceNormals);
    FillRun(*vertices, faceNormals.get(), m, placement, points.data + p, normals.data + p);
    p += m;
  }
  for (; i < faceCount; ++i) counts[i] = 0;
  // Fewer vertices the second time: the arrays end where the writing ended.
  if (p < allocated) {
    points.SetSize(p, 0);
    normals.SetSize(p, 0);
  }
  AddMeshForElement(points, normals, counts, element);
}

int TessellateBody(KBody* body, CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!body || !parser) return GRANITE_LOAD_FAILURE;

  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  const velaMatrix4x4 placement = parser->GetCurrentMatrix();
  // A face colour never outlives the body, an exception included.
  granite::CurrentColorGuard entryColor(parser);
  if (!triangulator) return GRANITE_LOAD_FAILURE;

  if (parser->GetChordalTolerance() == 0.0) {
    // The first body's box, its two corners through the placement, sets the tolerances.
    xrchandle<KBox3D> box;
    body->GetBoundingBox(box);
    SetModelBoxFromKernelBox(parser, box.get(), placement, false);
  }
  const double chordal = parser->GetChordalTolerance();
  const double angular = parser->GetAngularTolerance();
  triangulator->SetChordHeight(chordal);
  triangulator->SetMaxDeviation(chordal);
  triangulator->SetAngleTolerance(angular);

  xrchandle<KFaceSet> faces;
  body->GetFaces(faces);
  xrchandle<KFaceTessellationSequence> tessellations;
  triangulator->Triangulate(std::move(faces), tessellations);
  if (!tessellations) return GRANITE_LOAD_SUCCESS;

  velaIntArray counts;
  velaFloatPointArray points;
  velaVectorArray normals;
  if (element) element->SetFinalTransform(placement);
  if (tessellations->GetCount() <= 0) return GRANITE_LOAD_SUCCESS;
  if (FacesNeedOwnMeshes(tessellations))
    BuildFaceMeshes(*tessellations, placement, entryColor.Saved(), element, points, normals,
                    counts);
  else
    BuildBodyMesh(*tessellations, placement, element, points, normals, counts);
  return GRANITE_LOAD_SUCCESS;
}

bool AddMeshForElement(velaFloatPointArray& points, velaVectorArray& normals, velaIntArray& counts,
                       CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || points.count == 0 || counts.count == 0) return false;
  if (!parser->AddMeshToGroup(points, normals, counts)) return false;
  // Recorded for reuse only when the element's own group holds the mesh: a later
  // occurrence is served from that group.
  if (element && element->GetGroup() == parser->GetCurrentGroup())
    parser->AddResolvedPart(element);
  return true;
}
