// BuildElementList, the root element, the walk and the extent pass.
#include <cmath>
#include <filesystem>

#include <unistd.h>

#include "gBase90/kservices.h"
#include "load.h"
#include "model/ElementBudget.h"
#include "parts/Parts.h"

namespace asmtest {
namespace {

void ExpectBox(const velaBBox& box, velaFloatPoint lo, velaFloatPoint hi) {
  ASSERT_FALSE(box.IsEmpty());
  EXPECT_NEAR(box.min.x, lo.x, 1e-4);
  EXPECT_NEAR(box.min.y, lo.y, 1e-4);
  EXPECT_NEAR(box.min.z, lo.z, 1e-4);
  EXPECT_NEAR(box.max.x, hi.x, 1e-4);
  EXPECT_NEAR(box.max.y, hi.y, 1e-4);
  EXPECT_NEAR(box.max.z, hi.z, 1e-4);
}

class Build : public Load {
 protected:
  // top.asm: p.prt at x 10, sub.asm at x 100 holding q.prt at y 20.
  void TwoLevels() {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Placement p = Move(10, 0, 0), s = Move(100, 0, 0), q = Move(0, 20, 0);
    Add(top, "p.prt", "", &p);
    Add(top, "sub.asm", "", &s);
    Add(Assembly("sub.asm"), "q.prt", "", &q);
    Part("p.prt");
    Part("q.prt");
  }
  long Opens(const std::string& name) {
    long n = 0;
    for (const std::string& path : m_kit.OpenedPaths()) n += path == Opened(name);
    return n;
  }
  static int CountElements(CGraniteElement* element) {
    int n = 1;
    for (int i = 0; i < element->GetNumberChildren(); ++i) n += CountElements(Child(element, i));
    return n;
  }
  CGraniteElement* RootAt(int i) {
    return static_cast<CGraniteElement*>(m_parser.GetElementList()->GetAt(i));
  }
};

TEST_F(Build, RefusesWhatItCannotStartOn) {
  EXPECT_EQ(BuildElementList(nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(g_CurrentParser, nullptr);
  CGraniteParser unnamed;
  unnamed.SetWorld(&m_world);
  EXPECT_EQ(BuildElementList(&unnamed), GRANITE_LOAD_FAILURE);
  m_parser.SetWorld(nullptr);
  EXPECT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_FAILURE);
  m_parser.SetWorld(&m_world);
  m_parser.SetFilename(CBasicString(m_kit.Path("bolt.prt").c_str()));
  Part("bolt.prt");
  EXPECT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(m_parser.GetNumberElements(), 0);
  EXPECT_EQ(m_world.GetNumberGroups(), 0);
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 0);
}

TEST_F(Build, TreeMeasuredUnderEveryAncestorPlacementAndTheStackLeftEmpty) {
  TwoLevels();
  ASSERT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(m_parser.GetNumberElements(), 1);
  CGraniteElement* root = RootAt(0);
  EXPECT_EQ(Tree(root), "top.asm{p.prt sub.asm{q.prt}}");
  EXPECT_EQ(root->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_EQ(m_world.GetNumberGroups(), 1);
  EXPECT_EQ(m_world.GetGroup(0), root->GetGroup());
  EXPECT_FALSE(root->GetGroup()->IsTopLevel());
  // Each part measured once, under its own, its parents' and its component's placements.
  EXPECT_EQ(Opens("p.prt"), 1);
  EXPECT_EQ(Opens("q.prt"), 1);
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), m_kit.Calls(KCall::Close));
  ExpectBox(m_parser.GetModelBoundingBox(), {10, 0, 0}, {101, 21, 1});
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  EXPECT_GT(m_parser.GetChordalTolerance(), 0.0);

  // A second build walks the first tree again as well.
  ASSERT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(m_parser.GetNumberElements(), 2);
  EXPECT_EQ(Opens("p.prt"), 3);
}

TEST_F(Build, MissingComponentStillMeasuresButAFailedParseDoesNot) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "gone.prt");
    Add(top, "p.prt");
    Part("p.prt", "from 0 0 0 to 2 2 2");
  }
  EXPECT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(RootAt(0)), "top.asm{p.prt}");
  ExpectBox(m_parser.GetModelBoundingBox(), {0, 0, 0}, {2, 2, 2});
  EXPECT_GT(m_parser.GetChordalTolerance(), 0.0);

  CGraniteParser other;
  other.SetWorld(&m_world);
  other.SetFilename(m_parser.GetFilename());
  m_kit.Fail(KCall::GetComponents);
  EXPECT_EQ(BuildElementList(&other), GRANITE_LOAD_FAILURE);
  ASSERT_EQ(other.GetNumberElements(), 1);  // the root stays, childless
  EXPECT_EQ(static_cast<CGraniteElement*>(other.GetElementList()->GetAt(0))->GetNumberChildren(),
            0);
  EXPECT_TRUE(other.GetModelBoundingBox().IsEmpty());
  EXPECT_EQ(other.GetChordalTolerance(), 0.0);
}

TEST_F(Build, CyclicModelEndsWithThreeAndLoadsTheRest) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "sub.asm");
    xrchandle<KAssembly> sub = Assembly("sub.asm");
    Add(sub, "top.asm");
    Add(sub, "p.prt");
    Part("p.prt");
  }
  EXPECT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(RootAt(0)), "top.asm{sub.asm{top.asm{} p.prt}}");
  EXPECT_EQ(Opens("p.prt"), 1);
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
}

// A support-file callback that answers a new name of g_answer every time,
// through the link x -> . beside it: x/top.asm, x/x/top.asm, ...
std::string g_answer;
int g_answers = 0;
int NewNameEveryTime(CBasicString, CBasicString, CBasicString& found) {
  std::string links;
  for (int i = 0; i <= g_answers; ++i) links += "x/";
  ++g_answers;
  const size_t slash = g_answer.rfind('/') + 1;
  found = CBasicString((g_answer.substr(0, slash) + links + g_answer.substr(slash)).c_str());
  return 1;
}

// The same file under ever new names is still a cycle: the load ends at once.
TEST_F(Build, AFileUnderNewNamesIsTheSameFile) {
  const struct {
    const char* name;
    const char* component;
    bool callback;
  } cases[] = {
      {"link", "x/top.asm", false},  // beside each x/.../top.asm, one x more
      {"callback", "elsewhere.asm", true},
  };
  for (const auto& c : cases) {
    const std::string top = m_kit.WriteFile(
        std::string(c.name) + "/top.asm", std::string("granite-native 1\nassembly\n") +
                                              "component \"" + c.component + "\" end\n" +
                                              "component \"" + c.component + "\" end\n");
    std::error_code linked;
    std::filesystem::create_directory_symlink(".", m_kit.Path(std::string(c.name) + "/x"), linked);
    ASSERT_FALSE(linked) << linked.message();
    g_answer = top;
    g_answers = 0;
    C3DMWorld world;
    CGraniteParser parser;
    parser.SetWorld(&world);
    parser.SetFilename(CBasicString(top.c_str()));
    if (c.callback) parser.SetGetSupportFilePtr(&NewNameEveryTime);
    const long opened = m_kit.Calls(KCall::OpenFile);
    EXPECT_EQ(BuildElementList(&parser), GRANITE_LOAD_INCOMPLETE) << c.name;
    EXPECT_EQ(Tree(static_cast<CGraniteElement*>(parser.GetElementList()->GetAt(0))),
              "top.asm{top.asm{} top.asm{}}")
        << c.name;
    EXPECT_EQ(m_kit.Calls(KCall::OpenFile) - opened, 1) << c.name;
  }
}

// Each of twenty assemblies names the next twice: 2^20 occurrences, cut at the
// limit of elements one load may create; the next load counts afresh.
TEST_F(Build, ALoadCreatesNoMoreElementsThanTheLimit) {
  for (int i = 0; i < 20; ++i) {
    xrchandle<KAssembly> level = Assembly(i ? "l" + std::to_string(i) + ".asm" : "top.asm");
    Add(level, "l" + std::to_string(i + 1) + ".asm");
    Add(level, "l" + std::to_string(i + 1) + ".asm");
  }
  Assembly("l20.asm");
  granite::ElementLimitOverride limit(1000);
  for (int load = 0; load < 2; ++load) {
    KClearLastError();
    const long opened = m_kit.Calls(KCall::OpenFile);
    EXPECT_EQ(BuildElementList(&m_parser), GRANITE_LOAD_INCOMPLETE);
    EXPECT_EQ(std::string(KGetLastError()),
              "more than 1000 elements in one load: the model is cut there");
    EXPECT_EQ(CountElements(RootAt(load)), 1000);
    EXPECT_LE(m_kit.Calls(KCall::OpenFile) - opened, 1000);
    EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  }
}

TEST_F(Build, KernelExceptionInTheWalkLeavesTheStackAsItWas) {
  TwoLevels();
  m_kit.Fail(KCall::GetModelBox, KFault::Throw, 2);  // q.prt, three levels down
  EXPECT_NE(KernelThrow([&] { BuildElementList(&m_parser); }), "");
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), m_kit.Calls(KCall::Close));
}

TEST_F(Build, WalkPushesEveryLevelIncludingTheRootsOwnTransform) {
  Part("p.prt");
  CGraniteElement* root = Root();
  root->SetTransform(velaMatrix4x4::Translation(1000, 0, 0));
  CGraniteElement* sub = m_parser.CreateElement(CBasicString(), CBasicString());
  sub->SetFileType(GRANITE_FILE_ASSEMBLY);
  sub->SetTransform(velaMatrix4x4::Translation(100, 0, 0));
  CGraniteElement* part = m_parser.CreateElement(CBasicString(), CBasicString());
  part->SetFilename(CBasicString(m_kit.Path("p.prt").c_str()));
  part->SetFileType(GRANITE_FILE_PART);
  part->SetTransform(velaMatrix4x4::Translation(10, 0, 0));
  CGraniteElement* odd = m_parser.CreateElement(CBasicString(), CBasicString());
  odd->SetFilename(part->GetFilename());
  odd->SetFileType(GraniteFileTypes(7));  // passed over
  CGraniteElement* empty = m_parser.CreateElement(CBasicString(), CBasicString());
  empty->SetFileType(GRANITE_FILE_ASSEMBLY);
  sub->AddChild(part);
  sub->AddChild(odd);
  root->AddChild(sub);
  root->AddChild(empty);

  EXPECT_TRUE(WalkElementList(&m_parser));
  ExpectBox(m_parser.GetModelBoundingBox(), {1110, 0, 0}, {1111, 1, 1});
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 1);
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  EXPECT_FALSE(WalkElement(empty));
  EXPECT_FALSE(WalkElement(odd));
  EXPECT_FALSE(VisitPartElement(sub));
  EXPECT_FALSE(WalkElementList(nullptr));
}

TEST_F(Build, RootElementInTheWorldAndTheList) {
  CGraniteElement* root = Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Narrow(root->GetFilename()), Narrow(m_parser.GetFilename()));
  EXPECT_EQ(root->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_FALSE(root->GetGroup()->IsTopLevel());
  EXPECT_EQ(m_parser.GetNumberElements(), 1);
  EXPECT_EQ(m_world.GetNumberGroups(), 1);

  // Without a world nothing may reach the world; whatever element comes is listed.
  m_parser.SetWorld(nullptr);
  CGraniteElement* loose = Root();
  EXPECT_EQ(m_parser.GetNumberElements(), loose ? 2 : 1);
  EXPECT_EQ(m_world.GetNumberGroups(), 1);
  g_CurrentParser = nullptr;
  EXPECT_EQ(Root(), nullptr);
}

// The extent pass on one part file under the given stack.
class Extent : public Load {
 protected:
  bool Measure(const std::string& name) {
    return ComputePartExtent(&m_parser, CBasicString(m_kit.Path(name).c_str()), nullptr);
  }
};

TEST_F(Extent, OnlyTheTwoTransformedCornersSpanTheAddedBox) {
  Part("p.prt", "from 0 0 0 to 1 2 3");
  velaMatrix4x4 half = velaMatrix4x4::Rotation(0, 0, 1, 180);
  m_parser.PushMatrix(half);
  EXPECT_TRUE(Measure("p.prt"));
  ExpectBox(m_parser.GetModelBoundingBox(), {-1, -2, 0}, {0, 0, 3});

  // An eighth turn: the six other corners would reach out to x = -0.707.
  velaBBox empty;
  m_parser.SetModelBoundingBox(empty);
  m_parser.PopMatrix();
  Part("q.prt", "from 0 0 0 to 1 1 1");
  velaMatrix4x4 eighth = velaMatrix4x4::Rotation(0, 0, 1, 45);
  m_parser.PushMatrix(eighth);
  EXPECT_TRUE(Measure("q.prt"));
  ExpectBox(m_parser.GetModelBoundingBox(), {0, 0, 0}, {0, std::sqrt(2.0f), 1});
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 1);
  m_parser.PopMatrix();
}

TEST_F(Extent, FilesThatAddNothingAreStillClosed) {
  m_kit.WriteFile("model.stp", "ISO-10303-21;");
  m_kit.WriteFile("model.stl", "solid");
  Part("p.prt");
  EXPECT_FALSE(Measure("model.stp"));  // a translated file without an assembly
  EXPECT_FALSE(Measure("model.stl"));  // no known extension
  EXPECT_FALSE(Measure("gone.prt"));   // not there
  EXPECT_EQ(m_kit.Calls(KCall::Translate), 1);
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 3);
  EXPECT_EQ(m_kit.Calls(KCall::Close), 2);
  m_kit.Fail(KCall::Translator);
  EXPECT_FALSE(Measure("p.prt"));
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 3);
  EXPECT_FALSE(ComputePartExtent(&m_parser, CBasicString(), nullptr));
  EXPECT_FALSE(ComputePartExtent(nullptr, CBasicString("p.prt"), nullptr));
  EXPECT_EQ(g_CurrentParser, nullptr);
  EXPECT_TRUE(m_parser.GetModelBoundingBox().IsEmpty());
}

TEST_F(Extent, ComponentsOfATranslatedAssemblyAddTheirDefinitionsBoxes) {
  xrchandle<KAssembly> model = m_kit.Assembly();
  xrchandle<KAssembly> inner = m_kit.Assembly();
  Placement at = Move(5, 0, 0);
  m_kit.Component(inner, "a", "", nullptr, m_kit.Part("primary solid box from 0 0 0 to 1 1 1 end end"));
  m_kit.Component(inner, "b", "", &at[0], m_kit.Part("primary solid box from 0 0 0 to 1 1 1 end end"));
  m_kit.Component(model, "sub", "", &at[0], inner);  // measured as a whole, not descended
  m_kit.Component(model, "none", "", nullptr, xrchandle<KModel>());
  m_kit.Component(model, "nothing", "", nullptr, m_kit.EmptyPart());
  xrchandle<KComponentSequence> components;
  model->GetComponents(components);
  EXPECT_TRUE(AddComponentsExtent(components.get(), nullptr));
  ExpectBox(m_parser.GetModelBoundingBox(), {5, 0, 0}, {11, 1, 1});
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(m_kit.Calls(KCall::GetModelBox), 2);

  xrchandle<KComponent> none;
  components->GetAt(1, none);
  EXPECT_FALSE(AddComponentExtent(none.get(), nullptr));
  EXPECT_FALSE(AddComponentsExtent(nullptr, nullptr));
  EXPECT_TRUE(IsAssemblyObject(model.get()));
  EXPECT_FALSE(IsAssemblyObject(m_kit.EmptyPart().get()));
  EXPECT_FALSE(IsAssemblyObject(nullptr));
}

}  // namespace
}  // namespace asmtest
