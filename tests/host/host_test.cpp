// Host value types, the matrix inverse, the scene and the mesh arrays.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "granite/velaArray1D.h"
#include "qorvelaex/C3DMScene.h"
#include "qorvelaex/velaMatrixEx.h"

namespace {

velaMatrix4x4 Translation(float x, float y, float z) {
  velaMatrix4x4 m;
  m.Set(3, 0, x);
  m.Set(3, 1, y);
  m.Set(3, 2, z);
  return m;
}

// A quarter turn about Z for row vectors: (1,0,0) -> (0,1,0).
velaMatrix4x4 QuarterTurnZ() {
  velaMatrix4x4 m;
  m.Set(0, 0, 0);
  m.Set(0, 1, 1);
  m.Set(1, 0, -1);
  m.Set(1, 1, 0);
  return m;
}

void ExpectPoint(const velaFloatPoint& p, float x, float y, float z) {
  EXPECT_NEAR(p.x, x, 1e-5f);
  EXPECT_NEAR(p.y, y, 1e-5f);
  EXPECT_NEAR(p.z, z, 1e-5f);
}

TEST(HostTypes, RowVectorsTakeTheInnerMatrixFirst) {
  // A part translated by (1,0,0) inside an assembly turned a quarter about Z.
  const velaMatrix4x4 composed = Translation(1, 0, 0) * QuarterTurnZ();
  ExpectPoint(velaFloatPoint(1, 0, 0) * composed, 0, 2, 0);
  const velaVector v = velaVector(1, 0, 0) * composed;  // vectors ignore the translation
  ExpectPoint(velaFloatPoint(v.x, v.y, v.z), 0, 1, 0);

  velaVector zero;
  zero.Normalize();
  EXPECT_EQ(zero.x, 0.0f);
  EXPECT_EQ(zero.z, 0.0f);
  velaVector n(3, 0, 4);
  n.Normalize();
  EXPECT_NEAR(n.x, 0.6f, 1e-6f);
  EXPECT_NEAR(n.z, 0.8f, 1e-6f);

  EXPECT_TRUE(velaChroma(1, 0, 0, 1) != velaChroma(1, 0, 0, 0.5f));
  EXPECT_FALSE(velaChroma(1, 0, 0, 1) != velaChroma(1, 0, 0, 1));
}

TEST(HostTypes, BoxesOrderCornersAndIgnoreEmptyBoxes) {
  velaBBox box;
  EXPECT_TRUE(box.IsEmpty());
  velaBBox other;
  other.SetMinMax(velaFloatPoint(5, -1, 2), velaFloatPoint(1, 3, -2));
  ExpectPoint(other.GetMin(), 1, -1, -2);
  ExpectPoint(other.GetMax(), 5, 3, 2);
  box.Update(other);  // empty grown by a box becomes it
  ExpectPoint(box.GetMin(), 1, -1, -2);
  velaBBox empty;
  box.Update(empty);
  ExpectPoint(box.GetMax(), 5, 3, 2);
  velaBBox far;
  far.SetMinMax(velaFloatPoint(10, 10, 10), velaFloatPoint(11, 11, 11));
  box.Update(far);
  ExpectPoint(box.GetMin(), 1, -1, -2);
  ExpectPoint(box.GetMax(), 11, 11, 11);
  box.Reset();
  EXPECT_TRUE(box.IsEmpty());
}

TEST(HostTypes, InverseUndoesTheMatrixAndSingularGivesIdentity) {
  velaMatrix4x4 m = QuarterTurnZ() * Translation(4, -2, 7);
  m.Set(2, 2, 2.0f);  // a scale as well
  const velaMatrix4x4 product = m * GetInverseMatrix(m);
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(product.m[k], k % 5 == 0 ? 1.0f : 0.0f, 1e-5f) << k;
  ExpectPoint(velaFloatPoint(1, 2, 3) * m * GetInverseMatrix(m), 1, 2, 3);

  velaMatrix4x4 singular;
  singular.Set(1, 1, 0.0f);
  const velaMatrix4x4 identity;
  const velaMatrix4x4 inverse = GetInverseMatrix(singular);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(inverse.m[k], identity.m[k]);
}

TEST(Scene, InstancesAreSharedWalkedAlongEveryPathAndCyclesRefused) {
  C3DMWorld world;
  C3DMGroup* top = world.CreateGroup();
  C3DMGroup* a = world.CreateGroup();
  C3DMGroup* b = world.CreateGroup();
  C3DMGroup* part = world.CreateGroup();
  EXPECT_TRUE(top->IsTopLevel());
  ASSERT_TRUE(world.AddGroup(top, 1));
  ASSERT_TRUE(top->AddGroup(a, 1));
  ASSERT_TRUE(top->AddGroup(b, 1));
  ASSERT_TRUE(a->AddGroup(part, 1));
  ASSERT_TRUE(b->InsertGroup(part));  // the same part reached a second way
  C3DMMesh mesh;
  mesh.points = {velaFloatPoint(0, 0, 0), velaFloatPoint(1, 0, 0), velaFloatPoint(0, 1, 0)};
  mesh.normals.assign(3, velaVector(0, 0, 1));
  mesh.counts = {3};
  part->AddMesh(mesh);

  velaMatrix4x4 shift = Translation(0, 0, 5);
  b->ApplyMatrix(shift, 1);
  velaMatrix4x4 turn = QuarterTurnZ();
  b->ApplyMatrix(turn, 1);  // own = shift * turn: shifted, then turned

  std::vector<velaFloatPoint> seen;
  world.Walk([&](const C3DMGroup&, const C3DMMesh& m, const velaMatrix4x4& composed) {
    seen.push_back(m.points[1] * composed);
  });
  ASSERT_EQ(seen.size(), 2u);
  ExpectPoint(seen[0], 1, 0, 0);
  ExpectPoint(seen[1], 0, 1, 5);
  EXPECT_EQ(part->GetNumberMeshes(), 1);

  EXPECT_FALSE(part->AddGroup(part, 1));
  EXPECT_FALSE(part->AddGroup(top, 1));
  EXPECT_FALSE(part->InsertGroup(a));
  EXPECT_FALSE(a->AddGroup(nullptr, 1));
  EXPECT_EQ(part->GetNumberChildren(), 0);
  EXPECT_EQ(part->GetWorld(), &world);
}

TEST(MeshArrays, StorageRules) {
  velaFloatPointArray points;
  EXPECT_EQ(points.data, nullptr);
  points.SetSize(4, 0);
  for (uint32_t i = 0; i < 4; ++i) points[i] = velaFloatPoint(float(i), 0, 0);
  velaFloatPoint* storage = points.data;
  points.SetSize(2, 0);  // smaller, non-zero: same storage, same values
  EXPECT_EQ(points.data, storage);
  EXPECT_EQ(points.count, 2u);
  EXPECT_EQ(points[1].x, 1.0f);
  points.SetSize(5, 1);  // growth with preserve copies the current elements
  EXPECT_EQ(points.count, 5u);
  EXPECT_EQ(points[1].x, 1.0f);
  EXPECT_EQ(points[4].x, 0.0f);  // new points are default-constructed
  points.SetSize(0, 0);
  EXPECT_EQ(points.data, nullptr);
  EXPECT_EQ(points.count, 0u);

  velaIntArray counts;
  counts.SetSize(3, 0);
  counts[0] = 7;
  velaIntArray copy(counts);
  EXPECT_NE(copy.data, counts.data);
  EXPECT_EQ(copy[0], 7);
  copy = copy;
  EXPECT_EQ(copy[0], 7);
  velaIntArray assigned;
  assigned = counts;
  EXPECT_EQ(assigned.count, 3u);
  EXPECT_EQ(assigned[0], 7);
}

TEST(MeshArrays, ByteSizeOver32BitsThrowsAndLeavesTheArrayIntact) {
  velaVectorArray normals;
  normals.SetSize(2, 0);
  normals[0] = velaVector(0, 0, 1);
  velaVector* storage = normals.data;
  EXPECT_THROW(normals.SetSize(0x20000000u, 1), std::bad_alloc);  // 12 bytes each
  EXPECT_EQ(normals.data, storage);
  EXPECT_EQ(normals.count, 2u);
  EXPECT_EQ(normals[0].z, 1.0f);
}

}  // namespace
