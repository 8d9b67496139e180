// The bodies of a part under its placement, and the part colour.
#include "load_fixture.h"
#include "tessellation/Tessellation.h"

namespace {

using namespace loadtest;

class PartWalk : public LoadTest {
 protected:
  void SetUp() override {
    LoadTest::SetUp();
    parser->SetChordalTolerance(0.01);
    parser->SetAngularTolerance(0.3);
  }
  // A component placing the part, moved by (10, 0, 0) unless placement is false.
  xrchandle<KComponent> Place(const xrchandle<KModel>& definition, bool placement = true) {
    const double move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
    return kit.Component(xrchandle<KAssembly>(), "p.prt", "", placement ? move : nullptr,
                         definition);
  }
};

TEST_F(PartWalk, MissingDefinitionAssemblyBodyOrTriangulatorGivesOne) {
  EXPECT_EQ(TessellateComponent(nullptr, nullptr), 1);
  xrchandle<KComponent> none = Place(xrchandle<KModel>());
  EXPECT_EQ(TessellateComponent(none.get(), nullptr), 1);
  // An assembly is no part model: no units, no colour, no matrix, no body asked for.
  xrchandle<KAssembly> assembly = kit.Assembly(KUNITS_INCH);
  xrchandle<KComponent> wrong = Place(assembly);
  EXPECT_EQ(TessellateComponent(wrong.get(), nullptr), 1);
  EXPECT_EQ(kit.Calls(KCall::GetPrimaryBody), 0);
  EXPECT_EQ(kit.Calls(KCall::GetUnits), 0);
  EXPECT_FALSE(parser->GetUnitsRetrieved());
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
  EXPECT_EQ(Meshes(group), 0);
  EXPECT_EQ(TessellatePart(kit.EmptyPart(), nullptr), 1);  // no body at all
  kit.Fail(KCall::Triangulator);
  EXPECT_EQ(TessellateComponent(Place(kit.Part(kBox)).get(), nullptr), 1);
}

TEST_F(PartWalk, PrimaryBodyThenItemsUnderThePlacementInThePartColour) {
  xrchandle<KPartModel> part = kit.Part(
      "units cm color 0.2 0.4 0.6\n"
      "primary solid box from 0 0 0 to 1 1 1 end end\n"
      "item solid box from 0 0 5 to 1 1 6 end end\n"
      "item polygon 0 0 9  1 0 9  0 1 9 color 1 0 0 end end\n");
  xrchandle<KComponent> component = Place(part);
  CGraniteElement* e = Element("p.prt");
  parser->SetCurrentGroup(e->GetGroup());
  EXPECT_EQ(TessellateComponent(component.get(), e), 0);
  EXPECT_EQ(kit.Calls(KCall::Triangulate), 3);
  ASSERT_EQ(Meshes(e->GetGroup()), 3);
  const velaChroma partColor(0.2f, 0.4f, 0.6f, 1.0f);
  EXPECT_TRUE(SameColor(e->GetGroup()->GetMesh(0).color, partColor));
  EXPECT_TRUE(SameColor(e->GetGroup()->GetMesh(1).color, partColor));
  EXPECT_TRUE(SameColor(e->GetGroup()->GetMesh(2).color, kRed));  // its one face is red
  // Primary body first, then the items in order; every body under the placement.
  const float floor[3] = {0, 5, 9}, ceiling[3] = {1, 6, 9};
  for (int i = 0; i < 3; ++i) {
    for (const velaFloatPoint& p : e->GetGroup()->GetMesh(i).points) {
      EXPECT_GE(p.x, 10 - 1e-4f);
      EXPECT_TRUE(p.z >= floor[i] - 1e-4f && p.z <= ceiling[i] + 1e-4f) << i << ": " << p.z;
    }
  }
  EXPECT_TRUE(e->GetFinalTransform() == velaMatrix4x4::Translation(10, 0, 0));
  // The part colour stays current; the units were taken; the stack is back.
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), partColor));
  EXPECT_EQ(parser->GetModelUnits(), IMAGE_UNITS_CENTIMETER);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 3);
}

TEST_F(PartWalk, MissingItemsAndItemBodiesAreSkipped) {
  xrchandle<KPartModel> part = kit.Part(
      "item solid box from 0 0 0 to 1 1 1 end end\n"
      "item solid box from 0 0 5 to 1 1 6 end end\n");
  kit.Fail(KCall::GetBody, KFault::Null, 1);
  EXPECT_EQ(TessellatePart(part, nullptr), 0);  // no primary body, one item body
  EXPECT_EQ(kit.Calls(KCall::Triangulate), 1);
  kit.ClearFaults();
  kit.Fail(KCall::GetBody);
  EXPECT_EQ(TessellatePart(part, nullptr), 1);  // no body reached the tessellation
  EXPECT_EQ(kit.Calls(KCall::Triangulate), 1);
  kit.ClearFaults();
  kit.Fail(KCall::Triangulator, KFault::Null, kit.Calls(KCall::Triangulator) + 2);
  EXPECT_EQ(TessellatePart(part, nullptr), 0);  // the last body found no triangulator, one did
}

// The part colour is the first attribute's when that is a colour; a part is
// tessellated under the stack as it stands, a component without placement adds
// none.
TEST_F(PartWalk, PartColourFromTheFirstAttributeUnderTheStackAsItStands) {
  xrchandle<KPartModel> named =
      kit.Part("name \"x\" color 1 0 0 primary solid box from 0 0 0 to 1 1 1 end end");
  EXPECT_EQ(TessellateComponent(Place(named, false).get(), nullptr), 0);
  ASSERT_EQ(Meshes(group), 1);
  EXPECT_TRUE(SameColor(group->GetMesh(0).color, kGrey));
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kGrey));
  for (const velaFloatPoint& p : group->GetMesh(0).points) EXPECT_LE(p.x, 1 + 1e-4f);

  xrchandle<KPartModel> blue = kit.Part("color 0 0 1 primary solid box from 0 0 0 to 1 1 1 end end");
  velaMatrix4x4 move = velaMatrix4x4::Translation(0, 0, 100);
  parser->PushMatrix(move);
  EXPECT_EQ(TessellatePart(blue, nullptr), 0);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 1);
  parser->PopMatrix();
  ASSERT_EQ(Meshes(group), 2);
  for (const velaFloatPoint& p : group->GetMesh(1).points) EXPECT_GE(p.z, 100 - 1e-3f);
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kBlue));
}

}  // namespace
