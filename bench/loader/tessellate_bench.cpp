// The mesh hand-over: TessellateBody on a body whose faces the kernel has
// already triangulated, against the limit of the interface, a hand-written
// loop that reads the same kernel sequences and writes the same floats into
// preallocated arrays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "gGeometry90/kattribute.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ktriangulator.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "qorvelaex/C3DMScene.h"
#include "tessellation/Tessellation.h"

namespace {

constexpr int kFaces = 1000;
constexpr int kTrianglesPerFace = 100;
constexpr double kChordal = 0.01;
constexpr double kAngular = 0.35;
constexpr size_t kKeptBodies = 16;

// A face whose triangles are made once, up front: the triangulator hands out
// the same sequences every time, so no tessellation is measured.
class PrebuiltFace : public KFaceGeometry {
 public:
  explicit PrebuiltFace(int seed) {
    std::vector<double> v, n;
    v.reserve(kTrianglesPerFace * 9);
    n.reserve(kTrianglesPerFace * 9);
    for (int t = 0; t < kTrianglesPerFace; ++t) {
      for (int c = 0; c < 3; ++c) {
        const double a = 0.001 * (seed * kTrianglesPerFace * 3 + t * 3 + c);
        v.insert(v.end(), {std::cos(a) * 10, std::sin(a) * 10, 0.01 * t});
        n.insert(n.end(), {std::cos(a), std::sin(a), 0.0});
      }
    }
    m_vertices = new xdoublesequence(std::move(v));
    m_normals = new xdoublesequence(std::move(n));
  }
  void Measure(const KAffine&, KExtent&) const override {}
  void Tessellate(double, double, xrchandle<xdoublesequence>& vertices,
                  xrchandle<xdoublesequence>& normals) const override {
    vertices = m_vertices;
    normals = m_normals;
  }

 private:
  xrchandle<xdoublesequence> m_vertices, m_normals;
};

// kFaces faces; with colours, alternately red and blue, so that each face
// becomes a mesh of its own.
xrchandle<KBody> MakeBody(bool colours) {
  xrchandle<KBody> body(new KBody);
  for (int i = 0; i < kFaces; ++i) {
    xrchandle<KFace> face(new KFace(xrchandle<KFaceGeometry>(new PrebuiltFace(i))));
    if (colours)
      face->AddAttribute(xrchandle<KAttribute>(i % 2 ? new KColorAttribute(0, 0, 1)
                                                     : new KColorAttribute(1, 0, 0)));
    body->AddFace(face);
  }
  return body;
}

velaMatrix4x4 Placement() {
  return velaMatrix4x4::Rotation(1, 2, 3, 30) * velaMatrix4x4::Translation(5, -2, 7);
}

// What the limit reads: the body's faces triangulated, as TessellateBody
// asks for them.
xrchandle<KFaceTessellationSequence> Triangulate(KBody& body) {
  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  triangulator->SetChordHeight(kChordal);
  triangulator->SetMaxDeviation(kChordal);
  triangulator->SetAngleTolerance(kAngular);
  xrchandle<KFaceSet> faces;
  body.GetFaces(faces);
  xrchandle<KFaceTessellationSequence> tessellations;
  triangulator->Triangulate(std::move(faces), tessellations);
  return tessellations;
}

void BM_TessellateBody(benchmark::State& state) {
  const bool faces = state.range(0) != 0;
  xrchandle<KBody> body = MakeBody(faces);
  C3DMWorld world;
  auto parser = std::make_unique<CGraniteParser>();
  parser->SetWorld(&world);
  parser->SetChordalTolerance(kChordal);
  parser->SetAngularTolerance(kAngular);
  velaMatrix4x4 placement = Placement();
  parser->PushMatrix(placement);
  g_CurrentParser = parser.get();
  long meshes = 0;
  // The scene keeps what it is given, as in a load; it is let go of every few
  // bodies (outside the time) so that the run stays within memory.
  std::vector<std::unique_ptr<C3DMGroup>> kept;
  for (auto _ : state) {
    state.PauseTiming();
    if (kept.size() == kKeptBodies) kept.clear();
    kept.push_back(std::make_unique<C3DMGroup>(&world));
    parser->SetCurrentGroup(kept.back().get());
    state.ResumeTiming();
    benchmark::DoNotOptimize(TessellateBody(body.get(), nullptr));
  }
  meshes = kept.empty() ? 0 : kept.back()->GetNumberMeshes();
  parser->SetCurrentGroup(nullptr);
  kept.clear();
  parser->PopMatrix();
  state.SetItemsProcessed(state.iterations() * kFaces * kTrianglesPerFace * 3);
  state.counters["meshes"] = static_cast<double>(meshes);
  if (meshes != (faces ? kFaces : 1)) state.SkipWithError("not the meshes expected");
}
BENCHMARK(BM_TessellateBody)->ArgName("Faces")->Arg(0)->Arg(1);

void BM_HandOverLimit(benchmark::State& state) {
  const bool faces = state.range(0) != 0;
  xrchandle<KBody> body = MakeBody(faces);
  const velaMatrix4x4 m = Placement();
  const size_t total = size_t(kFaces) * kTrianglesPerFace * 3;
  std::vector<velaFloatPoint> points(total);
  std::vector<velaVector> normals(total);
  std::vector<int> counts(kFaces);
  for (auto _ : state) {
    xrchandle<KFaceTessellationSequence> tessellations = Triangulate(*body);
    size_t p = 0;
    for (int i = 0; i < tessellations->GetCount(); ++i) {
      xrchandle<KFaceTessellation> face;
      tessellations->GetAt(i, face);
      xrchandle<xdoublesequence> v, n;
      face->GetVertices(v);
      face->GetNormals(n);
      const int count = v->GetCount() / 3;
      counts[static_cast<size_t>(i)] = count;
      for (int j = 0; j < count; ++j, ++p) {
        points[p] = velaFloatPoint(static_cast<float>(v->GetAt(3 * j)),
                                   static_cast<float>(v->GetAt(3 * j + 1)),
                                   static_cast<float>(v->GetAt(3 * j + 2))) * m;
        normals[p] = velaVector(static_cast<float>(n->GetAt(3 * j)),
                                static_cast<float>(n->GetAt(3 * j + 1)),
                                static_cast<float>(n->GetAt(3 * j + 2))) * m;
        normals[p].Normalize();
      }
    }
    benchmark::DoNotOptimize(points.data());
    benchmark::DoNotOptimize(normals.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(total));
}
BENCHMARK(BM_HandOverLimit)->ArgName("Faces")->Arg(0)->Arg(1);

}  // namespace
