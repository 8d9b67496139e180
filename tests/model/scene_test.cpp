// Meshes into the scene and the index of resolved parts.
#include <gtest/gtest.h>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "qorvelaex/C3DMScene.h"

namespace {

struct Arrays {
  velaFloatPointArray points;
  velaVectorArray normals;
  velaIntArray counts;

  // One face of two triangles in the z = 0 plane, wound counter-clockwise.
  Arrays() {
    const velaFloatPoint p[6] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    points.SetSize(6, 0);
    for (int i = 0; i < 6; ++i) points[i] = p[i];
    counts.SetSize(1, 0);
    counts[0] = 6;
  }
};

// One mesh in the current group with the current colour, unless there is no
// group or the arrays disagree.
TEST(MeshHandOver, BuildsOneMeshInTheCurrentGroupWithTheCurrentColour) {
  C3DMWorld world;
  C3DMGroup* group = world.CreateGroup();
  CGraniteParser parser;
  parser.SetCurrentGroup(group);
  parser.SetCurrentColor(velaChroma(0.2f, 0.4f, 0.6f, 1.0f));
  Arrays a;  // no normals: each triangle's own
  ASSERT_TRUE(parser.AddMeshToGroup(a.points, a.normals, a.counts));
  ASSERT_EQ(group->GetNumberMeshes(), 1);
  const C3DMMesh& mesh = group->GetMesh(0);
  EXPECT_EQ(mesh.points.size(), 6u);
  EXPECT_EQ(mesh.counts, std::vector<int>{6});
  EXPECT_FALSE(mesh.color != velaChroma(0.2f, 0.4f, 0.6f, 1.0f));
  ASSERT_EQ(mesh.normals.size(), 6u);
  for (const velaVector& n : mesh.normals) EXPECT_NEAR(n.z, 1.0f, 1e-6f);

  a.normals.SetSize(6, 0);
  for (int i = 0; i < 6; ++i) a.normals[i] = velaVector(0, 0, 2);
  EXPECT_TRUE(parser.AddMeshToGroup(a.points, a.normals, a.counts));
  EXPECT_NEAR(group->GetMesh(1).normals[0].z, 1.0f, 1e-6f);  // unit length

  parser.SetCurrentGroup(nullptr);
  EXPECT_FALSE(parser.AddMeshToGroup(a.points, a.normals, a.counts));
  parser.SetCurrentGroup(group);
  // Counts over or under the six points, not whole triangles, negative; normals
  // that are not one a point. A face without vertices is fine.
  const struct {
    std::vector<int> counts;
    unsigned normals;
    bool taken;
  } rows[] = {{{9}, 0, false},     {{3}, 0, false},    {{4, 2}, 0, false},
              {{9, -3}, 0, false}, {{6, 0}, 5, false}, {{6, 0}, 0, true}};
  for (const auto& row : rows) {
    a.counts.SetSize(unsigned(row.counts.size()), 0);
    for (size_t i = 0; i < row.counts.size(); ++i) a.counts[unsigned(i)] = row.counts[i];
    a.normals.SetSize(row.normals, 0);
    EXPECT_EQ(parser.AddMeshToGroup(a.points, a.normals, a.counts), row.taken) << row.counts[0];
  }
  EXPECT_EQ(group->GetNumberMeshes(), 3);
}

TEST(ResolvedParts, FoundByFileAndConfigurationEvenUnderEqualHashes) {
  // Two names with the same CRC-32 hash: an index keyed by the hash alone
  // would hand back the wrong part.
  const CBasicString first("gear8790915.prt"), second("gear30020400.prt");
  ASSERT_EQ(first.GetHashValue(), second.GetHashValue());

  CGraniteParser parser;
  CGraniteElement a, b, plain;
  a.SetFilename(first);
  b.SetFilename(second);
  a.SetConfigurationName(CBasicString("m6"));
  b.SetConfigurationName(CBasicString("m6"));
  plain.SetFilename(first);
  parser.AddResolvedPart(&a);
  parser.AddResolvedPart(&a);  // once per mesh
  parser.AddResolvedPart(&b);
  parser.AddResolvedPart(&plain);
  EXPECT_EQ(parser.GetNumberResolvedParts(), 4);
  EXPECT_EQ(parser.FindResolvedPart(first, CBasicString("m6")), &a);
  EXPECT_EQ(parser.FindResolvedPart(second, CBasicString("m6")), &b);
  EXPECT_EQ(parser.FindResolvedPart(first, CBasicString("")), &plain);
  EXPECT_EQ(parser.FindResolvedPart(second, CBasicString("")), nullptr);
  EXPECT_EQ(parser.FindResolvedPart(CBasicString("GEAR8790915.PRT"), CBasicString("m6")), nullptr);

  CGraniteElement other;
  other.SetFilename(CBasicString("nut.prt"));
  // A copy, and a list changed by hand, are indexed from their own lists.
  CGraniteParser copy(parser);
  EXPECT_EQ(copy.FindResolvedPart(second, CBasicString("m6")), &b);
  parser.GetResolvedPartsList()->RemoveAll();
  EXPECT_EQ(parser.FindResolvedPart(first, CBasicString("m6")), nullptr);
  EXPECT_EQ(copy.FindResolvedPart(first, CBasicString("m6")), &a);
  // Assigned over: the copy answers from the list it was given.
  parser.AddResolvedPart(&other);
  copy = parser;
  EXPECT_EQ(copy.FindResolvedPart(first, CBasicString("m6")), nullptr);
  EXPECT_EQ(copy.FindResolvedPart(CBasicString("nut.prt"), CBasicString()), &other);
}

TEST(Colours, PaletteIsDeterministicOpaqueAndRecorded) {
  CGraniteParser one, two;
  for (int i = 0; i < 3; ++i) {
    one.GenerateColorForPart();
    two.GenerateColorForPart();
    EXPECT_FALSE(one.GetCurrentColor() != two.GetCurrentColor());
    EXPECT_EQ(one.GetCurrentColor().a, 1.0f);
  }
  EXPECT_EQ(one.GetNumberGeneratedColors(), 3);
  const velaChroma* c0 = static_cast<velaChroma*>(one.GetGeneratedColorList()->GetAt(0));
  const velaChroma* c1 = static_cast<velaChroma*>(one.GetGeneratedColorList()->GetAt(1));
  EXPECT_TRUE(*c0 != *c1);
  EXPECT_FALSE(*c0 != velaChroma(0.80f, 0.36f, 0.33f, 1.0f));  // the palette's first
}

TEST(Teardown, ParserReleasesItsTreeAndTheWorldItsGroups) {
  C3DMWorld world;
  auto* parser = new CGraniteParser();
  parser->SetWorld(&world);
  CGraniteElement* root = parser->CreateElement(CBasicString("r.asm"), CBasicString("r.asm"));
  parser->AddElementToList(root);
  for (int i = 0; i < 3; ++i) {
    CGraniteElement* sub = parser->CreateElement(CBasicString(""), CBasicString(""));
    root->AddChild(sub);
    CGraniteElement* part = parser->CreateElement(CBasicString("p.prt"), CBasicString(""));
    part->SetFileType(GRANITE_FILE_PART);
    sub->AddChild(part);
    parser->AddResolvedPart(part);
  }
  delete parser->CreateElement(CBasicString("missing.prt"), CBasicString(""));  // dropped
  auto* copy = new CGraniteParser(*parser);
  EXPECT_EQ(copy->ComputeTotalParts(), 3);
  delete parser;  // the owner goes first; the copy then releases nothing
  delete copy;
}

}  // namespace
