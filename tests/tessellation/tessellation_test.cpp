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

TEST_F(Tessellation, NothingStartsWithoutBodyParserOrTriangulator) {
  xrchandle<KBody> body = Body("primary solid box from 0 0 0 to 1 1 1 end end");
  EXPECT_EQ(TessellateBody(nullptr, nullptr), 1);
  g_CurrentParser = nullptr;
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 1);
  g_CurrentParser = parser.get();
  kit.Fail(KCall::Triangulator);
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 1);
  EXPECT_EQ(Meshes(group), 0);
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
}

TEST_F(Tessellation, UncolouredBodyIsOneMeshInModelSpaceRecordedOnce) {
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
}

TEST_F(Tessellation, DifferingFaceColoursGiveOneMeshPerFace) {
  xrchandle<KBody> body = Body(ThreeTriangles(kRedAttr, kBlueAttr, ""));
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 0);
  ASSERT_EQ(Meshes(group), 3);
  EXPECT_TRUE(SameColor(group->GetMesh(0).color, kRed));
  EXPECT_TRUE(SameColor(group->GetMesh(1).color, kBlue));
  EXPECT_TRUE(SameColor(group->GetMesh(2).color, kGrey));  // the uncoloured face
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(group->GetMesh(i).counts.size(), 1u);
    EXPECT_EQ(group->GetMesh(i).counts[0], 3);
    EXPECT_TRUE(Near(group->GetMesh(i).points[0].z, float(i)));
  }
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
}

TEST_F(Tessellation, FirstColouredFaceIsNeverCompared) {
  // Only one coloured face: one mesh, in that colour.
  xrchandle<KBody> one = Body(ThreeTriangles("", kRedAttr, ""));
  EXPECT_EQ(TessellateBody(one.get(), nullptr), 0);
  ASSERT_EQ(Meshes(group), 1);
  EXPECT_TRUE(SameColor(group->GetMesh(0).color, kRed));
  EXPECT_EQ(group->GetMesh(0).counts.size(), 3u);
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));

  // Red first, later coloured faces equal to the current grey: one mesh, in
  // the colour of the last coloured face.
  xrchandle<KBody> matching = Body(ThreeTriangles(kRedAttr, kGreyAttr, kGreyAttr));
  EXPECT_EQ(TessellateBody(matching.get(), nullptr), 0);
  ASSERT_EQ(Meshes(group), 2);
  EXPECT_TRUE(SameColor(group->GetMesh(1).color, kGrey));
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
}

TEST_F(Tessellation, FaceMeshWithoutVerticesIsSkippedAndItsColourDropped) {
  xrchandle<KBody> body = Body(ThreeTriangles(kRedAttr, kBlueAttr, ""));
  kit.Fail(KCall::GetVertices, KFault::Null, 1);  // the red face
  kit.Fail(KCall::GetNormals, KFault::Null, 1);   // the blue face: zero normals
  EXPECT_EQ(TessellateBody(body.get(), nullptr), 0);
  ASSERT_EQ(Meshes(group), 2);
  EXPECT_TRUE(SameColor(group->GetMesh(0).color, kBlue));
  for (const velaVector& n : group->GetMesh(0).normals) {
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.0f);
  }
  EXPECT_TRUE(SameColor(group->GetMesh(1).color, kGrey));
  EXPECT_TRUE(Near(group->GetMesh(1).normals[0].z, 1.0f));
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
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

TEST_F(Tessellation, WithoutBoxOrTriangulationNothingChanges) {
  xrchandle<KBody> body = Body("primary solid box from 0 0 0 to 1 1 1 end end");
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

TEST_F(Tessellation, MeshIsRecordedOnlyForTheGroupThatReceivedIt) {
  xrchandle<KBody> body = Body(ThreeTriangles(kRedAttr, kBlueAttr, ""));
  CGraniteElement* e = Element("x.prt");
  // The current group is not the element's: meshes are added, nothing recorded.
  EXPECT_EQ(TessellateBody(body.get(), e), 0);
  EXPECT_EQ(Meshes(group), 3);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 0);
  // The element's own group: one record per mesh.
  parser->SetCurrentGroup(e->GetGroup());
  EXPECT_EQ(TessellateBody(body.get(), e), 0);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 3);
  // A refused mesh (no current group) is not recorded; the body still gives 0.
  parser->SetCurrentGroup(nullptr);
  EXPECT_EQ(TessellateBody(body.get(), e), 0);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 3);

  velaFloatPointArray points;
  velaVectorArray normals;
  velaIntArray counts;
  counts.SetSize(1, 0);
  counts[0] = 0;
  parser->SetCurrentGroup(group);
  EXPECT_FALSE(AddMeshForElement(points, normals, counts, e));  // no points
  EXPECT_EQ(Meshes(group), 3);
}

TEST_F(Tessellation, ColourGoesBackWhenAnExceptionPasses) {
  xrchandle<KBody> body = Body(ThreeTriangles(kRedAttr, kBlueAttr, ""));
  kit.Fail(KCall::GetVertices, KFault::Throw, 2);  // inside the blue face
  try {
    TessellateBody(body.get(), nullptr);
    ADD_FAILURE() << "the kernel exception did not pass";
  } catch (xthrowable* error) {
    error->xrcunirelease();
  }
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
  EXPECT_EQ(Meshes(group), 1);
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

TEST(AttributeColor, OnlyTheFirstAttributeCounts) {
  gkit::Kit kit;
  {
    velaChroma color(9, 9, 9, 9);
    EXPECT_FALSE(GetAttributeColor(nullptr, color));
    xrchandle<KPartModel> named = kit.Part("name \"x\" color 1 0 0");
    xrchandle<KAttributeSequence> attributes;
    named->GetAttributes(KATTRIBUTES_OWN, attributes);
    EXPECT_FALSE(GetAttributeColor(attributes.get(), color));
    EXPECT_EQ(color.r, 9.0f);

    xrchandle<KPartModel> coloured = kit.Part("color 0.2 0.4 0.6 name \"x\"");
    coloured->GetAttributes(KATTRIBUTES_OWN, attributes);
    ASSERT_TRUE(GetAttributeColor(attributes.get(), color));
    EXPECT_TRUE(SameColor(color, velaChroma(0.2f, 0.4f, 0.6f, 1.0f)));
    kit.Fail(KCall::GetColor);
    EXPECT_FALSE(GetAttributeColor(attributes.get(), color));
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
