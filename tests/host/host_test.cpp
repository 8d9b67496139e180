// Host value types, the matrix inverse, the scene's refusals and the mesh arrays.
// Boxes are checked end to end by the model boxes of the loads.
#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <vector>

#include "granite/velaArray1D.h"
#include "qorvelaex/C3DMScene.h"
#include "qorvelaex/velaMatrixEx.h"

namespace {

const auto Translation = velaMatrix4x4::Translation;

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

  velaVector zero = velaVector();
  zero.Normalize();  // stays zero, no division by its length
  EXPECT_EQ(zero.x, 0.0f);
  EXPECT_TRUE(velaChroma(1, 0, 0, 1) != velaChroma(1, 0, 0, 0.5f));
}

// Matrices built as scale, turn, then translation; the inverse is the
// inverses of the factors in the opposite order. A tiny scale is no
// singularity, however far the translation moves it.
TEST(HostTypes, InverseIsTheFactorsUndoneAndSingularGivesIdentity) {
  for (float scale : {2.0f, 1e-3f, 1e-4f, 1e-6f})
    for (const velaFloatPoint& t : {velaFloatPoint(4, -2, 7), velaFloatPoint(1e4f, -2e4f, 3e4f),
                                    velaFloatPoint(1e5f, 0, 0), velaFloatPoint(0, 0, 1e7f)})
      for (bool turned : {false, true}) {
        velaMatrix4x4 s, unscale, turn = turned ? QuarterTurnZ() : velaMatrix4x4(), unturn;
        for (int i = 0; i < 3; ++i) {
          s.Set(i, i, scale);
          unscale.Set(i, i, 1 / scale);
        }
        for (int k = 0; k < 16; ++k) unturn.m[k] = turn.Get(k % 4, k / 4);  // its transpose
        const velaMatrix4x4 inverse = GetInverseMatrix(s * turn * Translation(t.x, t.y, t.z));
        const velaMatrix4x4 expected = Translation(-t.x, -t.y, -t.z) * unturn * unscale;
        for (int k = 0; k < 16; ++k)
          EXPECT_NEAR(inverse.m[k], expected.m[k], 1e-5 * std::fabs(expected.m[k]) + 1e-9)
              << scale << " " << t.x << " " << t.y << " " << t.z << " " << turned << " " << k;
      }
  // A general (projective) matrix with the same spread of magnitudes.
  velaMatrix4x4 m = Translation(1e4f, 1e4f, 1e4f);
  for (int i = 0; i < 3; ++i) m.Set(i, i, 1e-3f);
  m.Set(0, 3, 1e-3f);
  const velaMatrix4x4 product = GetInverseMatrix(m) * m;
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(product.m[k], k % 5 == 0 ? 1.0f : 0.0f, 1e-3f) << k;

  // Truly singular ones give the identity, whatever their size.
  velaMatrix4x4 zero, flat = Translation(1e4f, 0, 0), rank2;  // rank2: row 2 = row 0 + row 1
  zero.Set(1, 1, 0.0f);
  flat.Set(0, 0, 1e-3f);
  flat.Set(1, 1, 1e-3f);
  flat.Set(2, 2, 0.0f);
  rank2.Set(2, 0, 1.0f);
  rank2.Set(2, 1, 1.0f);
  rank2.Set(2, 2, 0.0f);
  for (const velaMatrix4x4& singular : {zero, flat, rank2})
    EXPECT_TRUE(GetInverseMatrix(singular).IsIdentity());
}

// The walk of shared groups and the order of ApplyMatrix are checked end to
// end by the loads that place a part many times; the refusals stay here.
TEST(Scene, GroupsThatWouldContainThemselvesAreRefused) {
  C3DMWorld world;
  C3DMGroup* top = world.CreateGroup();
  C3DMGroup* a = world.CreateGroup();
  C3DMGroup* part = world.CreateGroup();
  ASSERT_TRUE(world.AddGroup(top, 1));
  ASSERT_TRUE(top->AddGroup(a, 1));
  ASSERT_TRUE(a->AddGroup(part, 1));
  EXPECT_FALSE(part->AddGroup(part, 1));
  EXPECT_FALSE(part->AddGroup(top, 1));
  EXPECT_FALSE(part->InsertGroup(a));
  EXPECT_FALSE(a->AddGroup(nullptr, 1));
  EXPECT_EQ(part->GetNumberChildren(), 0);
}

// Forty levels, each holding the next group twice: 2^40 paths, 41 groups.
// The cycle check must visit each group once, not once per path.
TEST(Scene, CycleCheckOnWidelySharedGroupsVisitsEachGroupOnce) {
  C3DMWorld world;
  std::vector<C3DMGroup*> levels;
  for (int i = 0; i <= 40; ++i) levels.push_back(world.CreateGroup());
  for (int i = 39; i >= 0; --i) {  // bottom up: every check searches the shared part below
    ASSERT_TRUE(levels[i]->AddGroup(levels[i + 1], 1));
    ASSERT_TRUE(levels[i]->InsertGroup(levels[i + 1]));
  }
  C3DMGroup* holder = world.CreateGroup();
  EXPECT_TRUE(holder->AddGroup(levels[0], 1));  // not below: the whole graph is searched
  EXPECT_FALSE(levels[40]->AddGroup(levels[0], 1));
  EXPECT_FALSE(levels[40]->AddGroup(holder, 1));
  EXPECT_FALSE(levels[20]->InsertGroup(levels[3]));
  EXPECT_TRUE(levels[20]->AddGroup(levels[33], 1));  // sharing further down is no cycle
  EXPECT_EQ(levels[40]->GetNumberChildren(), 0);
}

TEST(MeshArrays, GrowthKeepsTheElementsAndSizesOver32BitsThrow) {
  velaFloatPointArray points;
  points.SetSize(2, 0);
  points[1] = velaFloatPoint(1, 0, 0);
  points.SetSize(5, 1);  // growth with preserve copies the current elements
  EXPECT_EQ(points.count, 5u);
  EXPECT_EQ(points[1].x, 1.0f);
  velaFloatPoint* storage = points.data;  // a byte size over 32 bits changes nothing
  EXPECT_THROW(points.SetSize(0x20000000u, 1), std::bad_alloc);  // 12 bytes each
  EXPECT_EQ(points.data, storage);
  EXPECT_EQ(points.count, 5u);
  EXPECT_EQ(points[1].x, 1.0f);

  velaIntArray counts;
  counts.SetSize(3, 0);
  counts[0] = 7;
  velaIntArray copy(counts);
  EXPECT_NE(copy.data, counts.data);
  copy = copy;
  EXPECT_EQ(copy[0], 7);
}

}  // namespace
