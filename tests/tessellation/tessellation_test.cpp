// Bodies into meshes: tolerances, mesh layout, model space, face colours, the
// hand-over with its resolved-part record, and arrays that stay within bounds
// when the kernel answers differently the second time.
#include "gGeometry90/kbuild.h"
#include "load_fixture.h"
#include "tessellation/FaceMeshes.h"
#include "tessellation/Tessellation.h"

namespace {

using namespace loadtest;

// Three separate triangles at heights 0, 1, 2, optionally coloured.
std::string ThreeTriangles(const std::string& c0, const std::string& c1, const std::string& c2) {
  return "primary\n"
         "polygon 0 0 0  1 0 0  0 1 0 " + c0 + " end\n"
         "polygon 0 0 1  1 0 1  0 1 1 " + c1 + " end\n"
         "polygon 0 0 2  1 0 2  0 1 2 " + c2 + " end\n"
         "end\n";
}

const std::string kRedAttr = "color 1 0 0";
const std::string kBlueAttr = "color 0 0 1";
const std::string kGreyAttr = "color 0.5 0.5 0.5";

class Tessellation : public LoadTest {
 protected:
  void SetUp() override {
    LoadTest::SetUp();
    parser->SetChordalTolerance(0.01);
    parser->SetAngularTolerance(0.3);
  }
};

TEST_F(Tessellation, UncolouredBodyIsOneMeshInModelSpaceRecordedOnceForItsGroup) {
  xrchandle<KBody> body = Body("primary solid box from 0 0 0 to 1 2 3 end end");
  CGraniteElement* e = Element("box.prt");
  parser->SetCurrentGroup(e->GetGroup());
  velaMatrix4x4 move = velaMatrix4x4::Rotation(0, 0, 1, 90) * velaMatrix4x4::Translation(10, 0, 0);
  parser->PushMatrix(move);
  EXPECT_EQ(TessellateBody(body.get(), e), 0);
  parser->PopMatrix();

  ASSERT_EQ(Meshes(e->GetGroup()), 1);
  const C3DMMesh& mesh = e->GetGroup()->GetMesh(0);
  ASSERT_EQ(mesh.counts.size(), 6u);  // one entry per face tessellation
  EXPECT_EQ(Sum(mesh.counts), static_cast<int>(mesh.points.size()));
  ASSERT_EQ(mesh.normals.size(), mesh.points.size());
  // The box (0..1, 0..2, 0..3) turned about z then moved by 10 in x covers
  // x 8..10, y 0..1.
  for (const velaFloatPoint& p : mesh.points) {
    EXPECT_TRUE(p.x >= 8 - 1e-4f && p.x <= 10 + 1e-4f) << p.x;
    EXPECT_TRUE(p.y >= -1e-4f && p.y <= 1 + 1e-4f) << p.y;
  }
  for (const velaVector& n : mesh.normals) EXPECT_TRUE(Near(n.Length(), 1.0f));
  EXPECT_TRUE(SameColor(mesh.color, kGrey));
  EXPECT_TRUE(e->GetFinalTransform() == move);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 1);
  EXPECT_EQ(parser->FindResolvedPart(Wide("box.prt"), CBasicString()), e);

  // Meshes are recorded only for the group that received them, once each.
  xrchandle<KBody> coloured = Body(ThreeTriangles(kRedAttr, kBlueAttr, ""));
  CGraniteElement* x = Element("x.prt");
  EXPECT_EQ(TessellateBody(coloured.get(), x), 0);
  EXPECT_EQ(Meshes(e->GetGroup()), 4);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 1);
  parser->SetCurrentGroup(x->GetGroup());
  EXPECT_EQ(TessellateBody(coloured.get(), x), 0);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 4);
  // A refused mesh (no current group) is not recorded; the body still gives 0.
  parser->SetCurrentGroup(nullptr);
  EXPECT_EQ(TessellateBody(coloured.get(), x), 0);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 4);
  parser->SetCurrentGroup(group);
}

// Differing face colours give a mesh a face, in face order; the first
// coloured face is never compared, so faces that match the current colour
// after it give one mesh in the last face's colour. A face without vertices
// is skipped with its colour; one without normals gets zero normals.
TEST_F(Tessellation, FaceColoursDecideTheMeshes) {
  const struct {
    std::string c0, c1, c2;
    KCall fail;  // its next call answers null (a body opens no file)
    std::vector<velaChroma> colours;
  } rows[] = {
      {kRedAttr, kBlueAttr, "", KCall::OpenFile, {kRed, kBlue, kGrey}},
      {"", kRedAttr, "", KCall::OpenFile, {kRed}},
      {kRedAttr, kGreyAttr, kGreyAttr, KCall::OpenFile, {kGrey}},
      {kRedAttr, kBlueAttr, "", KCall::GetVertices, {kBlue, kGrey}},
      {kRedAttr, kBlueAttr, "", KCall::GetNormals, {kRed, kBlue, kGrey}},
  };
  for (const auto& row : rows) {
    C3DMGroup* g = world.CreateGroup();
    parser->SetCurrentGroup(g);
    xrchandle<KBody> body = Body(ThreeTriangles(row.c0, row.c1, row.c2));
    kit.ClearFaults();
    kit.Fail(row.fail, KFault::Null, kit.Calls(row.fail) + 1);
    EXPECT_EQ(TessellateBody(body.get(), nullptr), 0);
    ASSERT_EQ(Meshes(g), int(row.colours.size()));
    int points = 0;
    for (int i = 0; i < Meshes(g); ++i) {
      const C3DMMesh& mesh = g->GetMesh(i);
      EXPECT_TRUE(SameColor(mesh.color, row.colours[i])) << i;
      EXPECT_TRUE(Near(mesh.points[0].z, float(3 - Meshes(g) + i)) || Meshes(g) == 1) << i;
      for (const velaVector& n : mesh.normals) EXPECT_TRUE(Near(n.Length(), 1) || n.Length() == 0);
      points += int(mesh.points.size());
    }
    EXPECT_EQ(points, row.fail == KCall::GetVertices ? 6 : 9);
    EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
  }
  parser->SetCurrentGroup(group);
}

TEST_F(Tessellation, TolerancesFromTheFirstBodyWhenNoneWereSet) {
  xrchandle<KBody> body = Body("primary solid box from 0 0 0 to 4 2 1 end end");
  parser->SetChordalTolerance(0.0);
  velaMatrix4x4 turn = velaMatrix4x4::Rotation(0, 0, 1, 180);  // swaps the corners in x and y
  parser->PushMatrix(turn);
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 0);
  parser->PopMatrix();
  const velaBBox& box = parser->GetModelBoundingBox();
  EXPECT_TRUE(Near(box.min.x, -4) && Near(box.min.y, -2) && Near(box.min.z, 0));
  EXPECT_TRUE(Near(box.max.x, 0) && Near(box.max.y, 0) && Near(box.max.z, 1));
  const double chordal = parser->GetChordalTolerance();
  EXPECT_GT(chordal, 0.0);
  std::vector<KTriangulatorRecord> records = kit.Triangulators();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].chordHeight, chordal);
  EXPECT_EQ(records[0].maxDeviation, chordal);
  EXPECT_EQ(records[0].angleTolerance, parser->GetAngularTolerance());
  EXPECT_EQ(kit.Calls(KCall::GetBoundingBox), 1);

  // Set now: the next body's box is not asked for and the model box stays.
  xrchandle<KBody> other = Body("primary solid box from 0 0 0 to 40 40 40 end end");
  EXPECT_EQ(TessellateBody(other.get(), nullptr), 0);
  EXPECT_EQ(kit.Calls(KCall::GetBoundingBox), 1);
  EXPECT_TRUE(Near(parser->GetModelBoundingBox().max.z, 1));
  EXPECT_EQ(parser->GetChordalTolerance(), chordal);
}

TEST_F(Tessellation, WithoutBodyTriangulatorBoxOrTriangulationNothingChanges) {
  xrchandle<KBody> body = Body(kBox);
  EXPECT_EQ(TessellateBody(nullptr, nullptr), 1);
  kit.Fail(KCall::Triangulator);
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 1);
  EXPECT_EQ(Meshes(group), 0);
  kit.ClearFaults();
  parser->SetChordalTolerance(0.0);
  kit.Fail(KCall::GetBoundingBox);
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 0);
  EXPECT_TRUE(parser->GetModelBoundingBox().IsEmpty());
  EXPECT_EQ(kit.Triangulators().at(0).chordHeight, 0.0);
  EXPECT_EQ(Meshes(group), 1);

  kit.ClearFaults();
  parser->SetChordalTolerance(0.01);
  kit.Fail(KCall::Triangulate);
  CGraniteElement* e = Element("x.prt");
  velaMatrix4x4 move = velaMatrix4x4::Translation(1, 2, 3);
  parser->PushMatrix(move);
  EXPECT_EQ(TessellateBody(body.get(), e), 0);
  parser->PopMatrix();
  EXPECT_EQ(Meshes(group), 1);
  EXPECT_TRUE(e->GetFinalTransform().IsIdentity());
}

// Face tessellations made by hand, as a kernel could hand them out.
class HandMadeFaces : public Tessellation {
 protected:
  void Add(std::vector<double> vertices, std::vector<double> normals, KColorAttribute* color) {
    KSurface surface;
    surface.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    xrchandle<xdoublesequence> v(new xdoublesequence(std::move(vertices)));
    xrchandle<xdoublesequence> n(new xdoublesequence(std::move(normals)));
    sequence->Add(
        xrchandle<KFaceTessellation>(new KFaceTessellation(KMakeFace(surface, color), v, n)));
  }
  void TearDown() override {
    sequence.reset();
    Tessellation::TearDown();
  }
  xrchandle<KFaceTessellationSequence> sequence{new KFaceTessellationSequence};
  velaFloatPointArray points;
  velaVectorArray normals;
  velaIntArray counts;
};

TEST_F(HandMadeFaces, TrailingIncompleteTripleIsIgnored) {
  Add({0, 0, 0, 1, 0, 0, 0, 1, 0, 7}, {0, 0, 2, 0, 0, 2, 0, 0, 2, 0, 0, 2}, nullptr);
  velaMatrix4x4 move = velaMatrix4x4::Translation(0, 0, 5);
  BuildBodyMesh(*sequence, move, nullptr, points, normals, counts);
  ASSERT_EQ(Meshes(group), 1);
  const C3DMMesh& mesh = group->GetMesh(0);
  ASSERT_EQ(mesh.points.size(), 3u);
  EXPECT_EQ(mesh.counts, std::vector<int>{3});
  EXPECT_TRUE(Near(mesh.points[1].x, 1) && Near(mesh.points[1].z, 5));
  // Normals go through the same matrix (a direction ignores the move) and are unit.
  EXPECT_TRUE(Near(mesh.normals[2].z, 1));
}

// The kernel answers differently in the second pass of a body mesh; the
// counts always add up to the points written and never pass what was sized.
TEST_F(HandMadeFaces, SecondPassThatDiffersStaysWithinTheArrays) {
  const struct {
    KCall call;
    long nth;
    std::vector<int> counts;
  } cases[] = {
      {KCall::GetVertices, 1, {3, 0}},    // pass 1 misses face 0's: more in pass 2 than sized
      {KCall::GetVertices, 4, {3, 0}},    // pass 2 misses face 1's: fewer than sized
      {KCall::SequenceEntry, 3, {0, 3}},  // pass 2 misses face 0 itself
  };
  const std::vector<double> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  Add(tri, tri, nullptr);
  Add(tri, tri, nullptr);
  for (const auto& c : cases) {
    kit.ClearFaults();
    kit.Fail(c.call, KFault::Null, kit.Calls(c.call) + c.nth);
    velaFloatPointArray freshPoints;  // sized anew for each case
    velaVectorArray freshNormals;
    velaIntArray freshCounts;
    BuildBodyMesh(*sequence, velaMatrix4x4(), nullptr, freshPoints, freshNormals, freshCounts);
    const C3DMMesh& mesh = group->GetMesh(Meshes(group) - 1);
    EXPECT_EQ(mesh.counts, c.counts) << c.nth;
    EXPECT_EQ(Sum(mesh.counts), static_cast<int>(mesh.points.size()));
    EXPECT_EQ(mesh.normals.size(), mesh.points.size());
  }
  EXPECT_EQ(Meshes(group), 3);
}

TEST_F(HandMadeFaces, FaceMeshesReuseTheirArrays) {
  std::vector<double> two = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};
  std::vector<double> one = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  Add(two, two, new KColorAttribute(1, 0, 0));
  Add(one, {}, new KColorAttribute(0, 0, 1));
  BuildFaceMeshes(*sequence, velaMatrix4x4(), kGrey, nullptr, points, normals, counts);
  ASSERT_EQ(Meshes(group), 2);
  EXPECT_EQ(group->GetMesh(0).points.size(), 6u);
  EXPECT_EQ(group->GetMesh(1).points.size(), 3u);
  EXPECT_EQ(group->GetMesh(1).normals[0].z, 0.0f);  // no normals given: zero, not face 0's
  // The smaller face lowered the count and kept the storage.
  EXPECT_EQ(points.count, 3u);
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
}

}  // namespace
