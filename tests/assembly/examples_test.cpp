// BuildElementList on the sample models in the native format.
#include "load.h"

namespace asmtest {
namespace {

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";

std::string Repeat(const std::string& item, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += (i ? " " : "") + item;
  return text;
}

int CountParts(CGraniteElement* element) {
  if (element->GetFileType() == GRANITE_FILE_PART) return 1;
  int n = 0;
  for (int i = 0; i < element->GetNumberChildren(); ++i) n += CountParts(Child(element, i));
  return n;
}

class Examples : public ::testing::Test {
 protected:
  void TearDown() override {
    m_kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0);
  }
  CGraniteElement* Build(const std::string& file, GraniteLoadResultTypes expected) {
    m_parser.SetWorld(&m_world);
    m_parser.SetFilename(CBasicString((kExamples + file).c_str()));
    EXPECT_EQ(BuildElementList(&m_parser), expected);
    EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
    EXPECT_EQ(m_parser.GetNumberElements(), 1);
    return static_cast<CGraniteElement*>(m_parser.GetElementList()->GetAt(0));
  }

  gkit::Kit m_kit;
  C3DMWorld m_world;
  CGraniteParser m_parser;
};

TEST_F(Examples, GearboxTreeAsDrawn) {
  CGraniteElement* root = Build("gearbox/GearBox.asm", GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(root->GetNumberChildren(), 18);
  EXPECT_EQ(CountParts(root), 16 + 3 + 2 * 11 + 2 + 2 * 13);
  const std::string bearing = "bearing.asm{bearing_race.prt " + Repeat("ball.prt", 10) + "}";
  EXPECT_EQ(Tree(Child(root, 2)), "input_shaft.asm{input_shaft.prt pinion.prt " + bearing + " " +
                                      bearing + " coupling.prt}");
  // The configuration bearing_large of bearing.asm is its instance file.
  CGraniteElement* large = Child(Child(root, 3), 2);
  EXPECT_EQ(Tree(large), "bearing_large.XAS{race_large.XPR " + Repeat("ball_large.XPR", 12) + "}");
  EXPECT_EQ(Narrow(large->GetDisplayName()), "bearing_large");
  EXPECT_EQ(Narrow(Child(root, 0)->GetDisplayName()), "housing.prt");
  EXPECT_EQ(Narrow(Child(root, 12)->GetDisplayName()), "bolt_m8");
  EXPECT_EQ(Base(Narrow(Child(root, 12)->GetFilename())), "bolt_m8.XPR");
  EXPECT_TRUE(Child(root, 4)->GetTransform() == velaMatrix4x4::Translation(-5, 40, 133));

  // The foot bolts reach 30 mm below the base and the cover bolts above z = 133.
  const velaBBox& box = m_parser.GetModelBoundingBox();
  EXPECT_NEAR(box.min.z, -30.0f, 1e-3);
  EXPECT_GT(box.max.z, 133.0f);
  EXPECT_EQ(m_parser.GetModelUnits(), IMAGE_UNITS_MILLIMETER);
  for (const std::string& path : m_kit.OpenedPaths()) EXPECT_EQ(path, Lower(path));
}

TEST_F(Examples, FixtureWithoutItsClampGivesThree) {
  CGraniteElement* root = Build("fixture/fixture.asm", GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "fixture.asm{plate.prt vee_block.prt vee_block.prt pin_long.XPR}");
  EXPECT_FALSE(m_parser.GetModelBoundingBox().IsEmpty());
}

}  // namespace
}  // namespace asmtest
