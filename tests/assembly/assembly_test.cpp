// The assembly parse and the element list: children, names, placements,
// results, cycles, units, the extent pass, the sample models, the scope guards.
#include "assembly/Assembly.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "gBase90/kservices.h"
#include "gkit/load_fixture.h"
#include "granite/GraniteLoader.h"
#include "kernel/Kernel.h"
#include "model/ElementBudget.h"
#include "model/ParserGuards.h"
#include "model/RootElement.h"
#include "parts/Parts.h"

using namespace gkit;
namespace {

void ExpectBox(const velaBBox& box, velaFloatPoint lo, velaFloatPoint hi) {
  ASSERT_FALSE(box.IsEmpty());
  auto at = [](velaFloatPoint p, int k) { return k == 0 ? p.x : k == 1 ? p.y : p.z; };
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(at(box.min, k), at(lo, k), 1e-4) << k;
    EXPECT_NEAR(at(box.max, k), at(hi, k), 1e-4) << k;
  }
}

int Count(CGraniteElement* e) {
  int n = 1;
  for (int i = 0; i < e->GetNumberChildren(); ++i) n += Count(Child(e, i));
  return n;
}

class Parse : public LoadTest {
 protected:
  // A root element for the parser's file, as BuildElementList makes it.
  CGraniteElement* Root() {
    return CreateRootElement(parser->GetFilename(), parser->GetFilename());
  }
};

// Children in the kernel's order with their names, types, placements and
// groups. A missing or unnamed file leaves no element and makes the result 3;
// every sub-assembly is parsed all the same, the same file twice being no cycle.
TEST_F(Parse, ChildrenInKernelOrderWithNamesTypesPlacementsAndGroups) {
  Placement at = Move(1, 2, 3);
  xrchandle<KAssembly> top = Assembly("top.asm");
  Assembly("Sub.ASM", {"q.prt"}, KUNITS_INCH);
  Add(top, "p.prt", "", &at);
  Add(top, "Bolt.PRT", "bolt_m6");
  Add(top, "sub.asm");
  for (const char* missing : {"gone.prt", ""}) Add(top, missing);
  Add(top, "b.prt", "b_cfg");
  Add(top, "sub.asm");
  Parts({"p.prt", "bolt.prt", "BOLT_M6.xpr", "q.prt", "b.prt"});
  CGraniteElement* root = Root();
  ASSERT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{p.prt bolt_m6.XPR sub.asm{q.prt} b.prt sub.asm{q.prt}}");

  CGraniteElement *p = Child(root, 0), *bolt = Child(root, 1), *s = Child(root, 2);
  EXPECT_EQ(Narrow(p->GetFilename()), Narrow(parser->GetResolvedFilename(Wide("p.prt"))));
  EXPECT_TRUE(p->GetTransform() == velaMatrix4x4::Translation(1, 2, 3));
  EXPECT_EQ(Narrow(bolt->GetConfigurationName()), "bolt_m6");
  // The configuration names the element, else the referenced file.
  EXPECT_EQ(Narrow(p->GetDisplayName()) + " " + Narrow(bolt->GetDisplayName()) + " " +
                Narrow(s->GetDisplayName()) + " " + Narrow(Child(root, 3)->GetDisplayName()),
            "p.prt bolt_m6 sub.asm b_cfg");
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Child(root, i)->GetParentElement(), root);
    EXPECT_EQ(root->GetGroup()->GetChild(i), Child(root, i)->GetGroup());
  }
  EXPECT_EQ(s->GetGroup()->GetChild(0), Child(s, 0)->GetGroup());
  // Only the assemblies are opened, under their lower-cased paths.
  EXPECT_EQ(kit.OpenedPaths(), (std::vector<std::string>{Opened("top.asm"), Opened("sub.asm"), Opened("sub.asm")}));
  EXPECT_EQ(kit.Calls(KCall::Close), 3);
  // The units are the top assembly's; the inch sub-assembly does not change them.
  EXPECT_EQ(parser->GetModelUnits(), IMAGE_UNITS_MILLIMETER);
}

TEST_F(Parse, FailureTable) {
  EXPECT_EQ(ParseAssembly(nullptr, nullptr), GRANITE_LOAD_FAILURE);
  CGraniteElement unnamed;
  EXPECT_EQ(ParseAssembly(&unnamed, nullptr), GRANITE_LOAD_FAILURE);
  // The element list: no parser, no world, a part for a file: nothing made.
  EXPECT_EQ(BuildElementList(nullptr), GRANITE_LOAD_FAILURE);
  parser->SetWorld(nullptr);
  EXPECT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_FAILURE);
  parser->SetWorld(&world);
  parser->SetFilename(Wide(kit.Path("bolt.prt")));
  Part("bolt.prt");
  EXPECT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(parser->GetNumberElements(), 0);
  EXPECT_EQ(world.GetNumberGroups(), 0);
  EXPECT_EQ(kit.TotalCalls(), 0);
  parser->SetFilename(Wide(kit.Path("top.asm")));
  CGraniteElement* root = Root();

  kit.Fail(KCall::Session);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_FAILURE);
  kit.ClearFaults();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // no such file
  Part("top.asm");
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // a part, not an assembly
  EXPECT_EQ(kit.Calls(KCall::Close), 1);
  KUnbindAll();
  xrchandle<KAssembly> top = Assembly("top.asm");
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // no components
  Add(top, "a.prt");
  Add(top, "b.prt");
  Parts({"a.prt", "b.prt"});
  kit.Fail(KCall::GetComponents);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_FAILURE);
  kit.ClearFaults();
  // The first component is missing.
  kit.Fail(KCall::SequenceEntry, KFault::Null, kit.Calls(KCall::SequenceEntry) + 1);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Tree(root), "top.asm{b.prt}");
  EXPECT_EQ(kit.Calls(KCall::OpenFile), kit.Calls(KCall::Close) + 1);  // the unbound open
}

// A model laid out in folders: top.asm names sub/sub.asm, whose components lie
// beside it. Same-named files beside top.asm and in the working directory are
// not models; the working directory changes before the parts are loaded.
TEST_F(Parse, ReferencesAreFoundBesideTheAssemblyThatNamesThem) {
  kit.WriteFile("top.asm", "granite-native 1\nassembly\ncomponent \"sub/sub.asm\" end\n");
  kit.WriteFile("sub/sub.asm",
                "granite-native 1\nassembly\ncomponent \"part.prt\" end\n"
                "component \"gear.prt\" end\ncomponent \"nut.prt\"\nconfig \"nut_m6\"\nend\n");
  for (const char* name : {"sub/part.prt", "sub/NUT_M6.xpr", "gear.prt"}) WritePart(name);
  for (const char* decoy : {"part.prt", "cwd/part.prt", "cwd/gear.prt", "cwd/nut_m6.xpr"})
    kit.WriteFile(decoy, "not a model");
  char* before = getcwd(nullptr, 0);
  // The model file by its full path, and by a name relative to the working directory.
  const std::pair<std::string, std::string> rows[] = {{kit.Path("top.asm"), kit.Path("cwd")},
                                                      {"top.asm", kit.Directory()}};
  for (const auto& row : rows) {
    C3DMWorld world;
    CGraniteParser parser;
    parser.SetWorld(&world);
    parser.SetFilename(Wide(row.first));
    ASSERT_EQ(chdir(row.second.c_str()), 0);
    ASSERT_EQ(BuildElementList(&parser), GRANITE_LOAD_SUCCESS) << row.first;
    CGraniteElement* sub =
        Child(static_cast<CGraniteElement*>(parser.GetElementList()->GetHead()), 0);
    EXPECT_EQ(Tree(sub), "sub.asm{part.prt gear.prt nut_m6.XPR}");
    // Absolute paths (the parser keeps its file name lower-cased).
    std::string paths = Lower(Narrow(sub->GetFilename()));
    for (int i = 0; i < 3; ++i) paths += " " + Lower(Narrow(Child(sub, i)->GetFilename()));
    EXPECT_EQ(paths, Opened("sub/sub.asm") + " " + Opened("sub/part.prt") + " " +
                         Opened("gear.prt") + " " + Opened("sub/nut_m6.xpr"));
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(LoadAllParts(&parser), GRANITE_LOAD_SUCCESS) << row.first;
  }
  ASSERT_EQ(chdir(before), 0);
  free(before);
}

// top.asm of the given sub-assemblies: "ok" (one part), "fails" (no component
// list: 1), "empty" (3), "gone" (a missing file). A missing file gives 3,
// otherwise the first non-zero sub-result counts.
TEST_F(Parse, ResultsAccumulate) {
  const struct {
    std::vector<std::string> kinds;
    GraniteLoadResultTypes result;
  } rows[] = {
      {{"ok", "ok"}, GRANITE_LOAD_SUCCESS},          {{"fails", "ok"}, GRANITE_LOAD_FAILURE},
      {{"fails", "gone"}, GRANITE_LOAD_INCOMPLETE},  {{"gone", "fails"}, GRANITE_LOAD_INCOMPLETE},
      {{"empty", "fails"}, GRANITE_LOAD_INCOMPLETE}, {{"fails", "empty"}, GRANITE_LOAD_FAILURE}};
  for (const auto& row : rows) {
    xrchandle<KAssembly> top = Assembly("top.asm");
    long call = kit.Calls(KCall::GetComponents) + 1;  // that of top.asm
    for (size_t i = 0; i < row.kinds.size(); ++i) {
      const std::string& kind = row.kinds[i];
      Add(top, kind == "gone" ? "gone.prt" : kind + std::to_string(i) + ".asm");
      if (kind == "gone") continue;
      Assembly(kind + std::to_string(i) + ".asm", kind == "ok"
                                                      ? std::initializer_list<std::string>{"p.prt"}
                                                      : std::initializer_list<std::string>{});
      ++call;
      if (kind == "fails") kit.Fail(KCall::GetComponents, KFault::Null, call);
    }
    Part("p.prt");
    EXPECT_EQ(ParseAssembly(Root(), nullptr), row.result) << row.kinds[0] << " " << row.kinds[1];
    KUnbindAll();
    kit.ClearFaults();
  }
}

TEST_F(Parse, NestingDeeperThanTheCapIsCut) {
  for (int i = 0; i <= 300; ++i)
    Assembly(i ? "l" + std::to_string(i) + ".asm" : "top.asm",
             {"l" + std::to_string(i + 1) + ".asm"});
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 256);
  int depth = 0;
  for (CGraniteElement* e = root; e->GetNumberChildren(); e = Child(e, 0)) ++depth;
  EXPECT_EQ(depth, 256);
}

TEST_F(Parse, UnitsComeFromTheFirstModelWithAKnownCode) {
  const ImageUnitsTypes expected[] = {
      IMAGE_UNITS_INCH,       IMAGE_UNITS_FOOT,      IMAGE_UNITS_MILLIMETER, IMAGE_UNITS_METER,
      IMAGE_UNITS_CENTIMETER, IMAGE_UNITS_KILOMETER, IMAGE_UNITS_MICROMETER};
  for (int code = 0; code <= 6; ++code) {
    parser->SetUnitsRetrieved(false);
    RetrieveModelUnits(kit.Assembly(code).get());
    EXPECT_EQ(parser->GetModelUnits(), expected[code]) << code;
    EXPECT_TRUE(parser->GetUnitsRetrieved());
  }
  RetrieveModelUnits(kit.Assembly(KUNITS_INCH).get());  // already taken
  EXPECT_EQ(parser->GetModelUnits(), IMAGE_UNITS_MICROMETER);
  parser->SetUnitsRetrieved(false);
  RetrieveModelUnits(kit.Assembly(7).get());
  EXPECT_FALSE(parser->GetUnitsRetrieved());
  EXPECT_EQ(parser->GetModelUnits(), IMAGE_UNITS_MICROMETER);
}

class Build : public Parse {
 protected:
  long Opens(const std::string& name) {
    long n = 0;
    for (const std::string& path : kit.OpenedPaths()) n += path == Opened(name);
    return n;
  }
};

// top.asm: p.prt at x 10, sub.asm at x 100 holding q.prt at y 20, a missing
// file. Each part is measured once, under its own, its parents' and its
// component's placements; a failed parse measures nothing.
TEST_F(Build, TreeMeasuredUnderEveryAncestorPlacementButNotAfterAFailedParse) {
  xrchandle<KAssembly> top = Assembly("top.asm");
  Placement p = Move(10, 0, 0), s = Move(100, 0, 0), q = Move(0, 20, 0);
  Add(top, "p.prt", "", &p);
  Add(top, "sub.asm", "", &s);
  Add(top, "gone.prt");
  Add(Assembly("sub.asm"), "q.prt", "", &q);
  Parts({"p.prt", "q.prt"});
  ASSERT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_INCOMPLETE);
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = RootAt(0);
  EXPECT_EQ(Tree(root), "top.asm{p.prt sub.asm{q.prt}}");
  EXPECT_EQ(world.GetNumberGroups(), 1);
  EXPECT_EQ(world.GetGroup(0), root->GetGroup());
  EXPECT_FALSE(root->GetGroup()->IsTopLevel());
  EXPECT_EQ(Opens("p.prt"), 1);
  EXPECT_EQ(Opens("q.prt"), 1);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), kit.Calls(KCall::Close));
  ExpectBox(parser->GetModelBoundingBox(), {10, 0, 0}, {101, 21, 1});
  EXPECT_GT(parser->GetChordalTolerance(), 0.0);
  // A second build walks the first tree again as well.
  ASSERT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(parser->GetNumberElements(), 2);
  EXPECT_EQ(Opens("p.prt"), 3);

  CGraniteParser other;
  other.SetWorld(&world);
  other.SetFilename(parser->GetFilename());
  kit.Fail(KCall::GetComponents);
  EXPECT_EQ(BuildElementList(&other), GRANITE_LOAD_FAILURE);
  ASSERT_EQ(other.GetNumberElements(), 1);  // the root stays, childless
  EXPECT_EQ(Tree(static_cast<CGraniteElement*>(other.GetElementList()->GetAt(0))), "top.asm{}");
  EXPECT_TRUE(other.GetModelBoundingBox().IsEmpty());
  EXPECT_EQ(other.GetChordalTolerance(), 0.0);
}

TEST_F(Build, CyclicReferencesStopAtTheRepeatedAssembly) {
  Assembly("top.asm", {"Top.asm"});
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{Top.asm{}}");
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 1);
  KUnbindAll();

  Assembly("top.asm", {"p.prt", "sub.asm"});
  Assembly("sub.asm", {"top.asm", "p.prt"});
  Part("p.prt");
  EXPECT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_INCOMPLETE);
  root = RootAt(1);
  EXPECT_EQ(Tree(root), "top.asm{p.prt sub.asm{top.asm{} p.prt}}");
  EXPECT_EQ(Opens("p.prt"), 2);  // each occurrence measured once
  // Nothing is left on the path: parsed again from sub.asm, the cut moves.
  EXPECT_EQ(ParseAssembly(Child(root, 1), nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(Child(root, 1)), "sub.asm{top.asm{} p.prt top.asm{p.prt sub.asm{}} p.prt}");
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
  found = Wide(g_answer.substr(0, slash) + links + g_answer.substr(slash));
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
    const std::string component = std::string("component \"") + c.component + "\" end\n";
    const std::string top = kit.WriteFile(std::string(c.name) + "/top.asm",
                                          "granite-native 1\nassembly\n" + component + component);
    std::error_code linked;
    std::filesystem::create_directory_symlink(".", kit.Path(std::string(c.name) + "/x"), linked);
    ASSERT_FALSE(linked) << linked.message();
    g_answer = top;
    g_answers = 0;
    C3DMWorld world;
    CGraniteParser parser;
    parser.SetWorld(&world);
    parser.SetFilename(Wide(top));
    if (c.callback) parser.SetGetSupportFilePtr(&NewNameEveryTime);
    const long opened = kit.Calls(KCall::OpenFile);
    EXPECT_EQ(BuildElementList(&parser), GRANITE_LOAD_INCOMPLETE) << c.name;
    EXPECT_EQ(Tree(static_cast<CGraniteElement*>(parser.GetElementList()->GetAt(0))),
              "top.asm{top.asm{} top.asm{}}")
        << c.name;
    EXPECT_EQ(kit.Calls(KCall::OpenFile) - opened, 1) << c.name;
  }
}

// Each of twenty assemblies names the next twice: 2^20 occurrences, cut at the
// limit of elements one load may create; the next load counts afresh.
TEST_F(Build, ALoadCreatesNoMoreElementsThanTheLimit) {
  for (int i = 0; i <= 20; ++i) {
    const std::string next = "l" + std::to_string(i + 1) + ".asm";
    Assembly(i ? "l" + std::to_string(i) + ".asm" : "top.asm",
             i < 20 ? std::initializer_list<std::string>{next, next}
                    : std::initializer_list<std::string>{});
  }
  granite::ElementLimitOverride limit(1000);
  for (int load = 0; load < 2; ++load) {
    KClearLastError();
    const long opened = kit.Calls(KCall::OpenFile);
    EXPECT_EQ(BuildElementList(parser.get()), GRANITE_LOAD_INCOMPLETE);
    EXPECT_EQ(std::string(KGetLastError()),
              "more than 1000 elements in one load: the model is cut there");
    EXPECT_EQ(Count(RootAt(load)), 1000);
    EXPECT_LE(kit.Calls(KCall::OpenFile) - opened, 1000);
  }
}

// The extent pass on one part file under the given stack.
class Extent : public Parse {
 protected:
  bool Measure(const std::string& name) {
    return ComputePartExtent(parser.get(), Wide(kit.Path(name)), nullptr);
  }
};

TEST_F(Extent, OnlyTheTwoTransformedCornersSpanTheAddedBoxAndEveryFileIsClosed) {
  Part("p.prt", "from 0 0 0 to 1 2 3");
  velaMatrix4x4 half = velaMatrix4x4::Rotation(0, 0, 1, 180);
  parser->PushMatrix(half);
  EXPECT_TRUE(Measure("p.prt"));
  ExpectBox(parser->GetModelBoundingBox(), {-1, -2, 0}, {0, 0, 3});
  // An eighth turn: the six other corners would reach out to x = -0.707.
  velaBBox empty;
  parser->SetModelBoundingBox(empty);
  parser->PopMatrix();
  Part("q.prt", "from 0 0 0 to 1 1 1");
  velaMatrix4x4 eighth = velaMatrix4x4::Rotation(0, 0, 1, 45);
  parser->PushMatrix(eighth);
  EXPECT_TRUE(Measure("q.prt"));
  ExpectBox(parser->GetModelBoundingBox(), {0, 0, 0}, {0, std::sqrt(2.0f), 1});
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 1);
  parser->PopMatrix();

  // Files that add nothing are still closed.
  parser->SetModelBoundingBox(empty);
  kit.WriteFile("model.stp", "ISO-10303-21;");
  kit.WriteFile("model.stl", "solid");
  const long opened = kit.Calls(KCall::OpenFile), closed = kit.Calls(KCall::Close);
  EXPECT_FALSE(Measure("model.stp"));  // a translated file without an assembly
  EXPECT_FALSE(Measure("model.stl"));  // no known extension
  EXPECT_FALSE(Measure("gone.prt"));   // not there
  EXPECT_EQ(kit.Calls(KCall::Translate), 1);
  EXPECT_EQ(kit.Calls(KCall::OpenFile) - opened, 3);
  EXPECT_EQ(kit.Calls(KCall::Close) - closed, 2);
  kit.Fail(KCall::Translator);
  EXPECT_FALSE(Measure("p.prt"));
  EXPECT_EQ(kit.Calls(KCall::OpenFile) - opened, 3);
  EXPECT_TRUE(parser->GetModelBoundingBox().IsEmpty());
}

}  // namespace
