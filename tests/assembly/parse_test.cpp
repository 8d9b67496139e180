// The assembly parse: children, names, placements, results and cycles.
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "load.h"

namespace asmtest {
namespace {

class Parse : public Load {};

TEST_F(Parse, ChildrenInKernelOrderWithNamesTypesPlacementsAndGroups) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Placement at = Move(1, 2, 3);
    Add(top, "p.prt", "", &at);
    Add(top, "Bolt.PRT", "bolt_m6");
    Add(top, "sub.asm");
    Add(Assembly("Sub.ASM", KUNITS_INCH), "q.prt");
    Part("p.prt");
    Part("bolt.prt");
    Part("BOLT_M6.xpr");
    Part("q.prt");
  }
  CGraniteElement* root = Root();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Tree(root), "top.asm{p.prt bolt_m6.XPR sub.asm{q.prt}}");

  CGraniteElement* p = Child(root, 0);
  CGraniteElement* bolt = Child(root, 1);
  CGraniteElement* sub = Child(root, 2);
  EXPECT_EQ(Narrow(p->GetFilename()), Resolved("p.prt"));
  EXPECT_EQ(Narrow(p->GetDisplayName()), "p.prt");
  EXPECT_EQ(p->GetFileType(), GRANITE_FILE_PART);
  EXPECT_TRUE(p->GetTransform() == velaMatrix4x4::Translation(1, 2, 3));
  EXPECT_EQ(Narrow(bolt->GetConfigurationName()), "bolt_m6");
  EXPECT_EQ(Narrow(bolt->GetDisplayName()), "bolt_m6");
  EXPECT_EQ(Narrow(sub->GetDisplayName()), "sub.asm");
  EXPECT_EQ(sub->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_TRUE(sub->GetTransform().IsIdentity());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Child(root, i)->GetParentElement(), root);
    EXPECT_EQ(root->GetGroup()->GetChild(i), Child(root, i)->GetGroup());
  }
  EXPECT_EQ(sub->GetGroup()->GetChild(0), Child(sub, 0)->GetGroup());

  // Only the assemblies are opened, under their lower-cased paths.
  EXPECT_EQ(m_kit.OpenedPaths(), (std::vector<std::string>{Opened("top.asm"), Opened("sub.asm")}));
  EXPECT_EQ(m_kit.Calls(KCall::Close), 2);
  // The units are the top assembly's; the inch sub-assembly does not change them.
  EXPECT_EQ(m_parser.GetModelUnits(), IMAGE_UNITS_MILLIMETER);
  EXPECT_TRUE(m_parser.GetUnitsRetrieved());

  // The second argument is not read.
  CGraniteElement* again = Root();
  int dummy = 0;
  ASSERT_EQ(ParseAssembly(again, &dummy), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Tree(again), Tree(root));
}

TEST_F(Parse, FailureTable) {
  EXPECT_EQ(ParseAssembly(nullptr, nullptr), GRANITE_LOAD_FAILURE);
  CGraniteElement* root = Root();
  g_CurrentParser = nullptr;
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_FAILURE);
  g_CurrentParser = &m_parser;
  CGraniteElement unnamed;
  EXPECT_EQ(ParseAssembly(&unnamed, nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(m_kit.TotalCalls(), 0);

  m_kit.Fail(KCall::Session);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_FAILURE);
  m_kit.ClearFaults();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // no such file

  m_kit.Bind(m_kit.Path("top.asm"), m_kit.Part("primary solid box from 0 0 0 to 1 1 1 end end"));
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // a part, not an assembly
  EXPECT_EQ(m_kit.Calls(KCall::Close), 1);
  KUnbindAll();

  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);  // no components
    Add(top, "a.prt");
    Add(top, "b.prt");
    Part("a.prt");
    Part("b.prt");
  }
  m_kit.Fail(KCall::GetComponents);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_FAILURE);
  m_kit.ClearFaults();
  // The first component is missing.
  m_kit.Fail(KCall::SequenceEntry, KFault::Null, m_kit.Calls(KCall::SequenceEntry) + 1);
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Tree(root), "top.asm{b.prt}");
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), m_kit.Calls(KCall::Close) + 1);  // the unbound open
}

TEST_F(Parse, MissingFilesLeaveNoElementAndOverrideSubAssemblyResults) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "a.prt");
    Add(top, "gone.prt");
    Add(top, "");
    Add(top, "b.prt", "b_cfg");
    Part("a.prt");
    Part("b.prt");
  }
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{a.prt b.prt}");
  EXPECT_EQ(Narrow(Child(root, 1)->GetDisplayName()), "b_cfg");
}

// A model laid out in folders: top.asm names sub/sub.asm, whose components lie
// beside it. Same-named files beside top.asm and in the working directory are
// not models; the working directory changes before the parts are loaded.
TEST_F(Parse, ReferencesAreFoundBesideTheAssemblyThatNamesThem) {
  const std::string part = "granite-native 1\npart\nprimary solid box from 0 0 0 to 1 1 1 end end\n";
  m_kit.WriteFile("top.asm", "granite-native 1\nassembly\ncomponent \"sub/sub.asm\" end\n");
  m_kit.WriteFile("sub/sub.asm",
                  "granite-native 1\nassembly\ncomponent \"part.prt\" end\n"
                  "component \"gear.prt\" end\ncomponent \"nut.prt\"\nconfig \"nut_m6\"\nend\n");
  m_kit.WriteFile("sub/part.prt", part);
  m_kit.WriteFile("sub/NUT_M6.xpr", part);
  m_kit.WriteFile("gear.prt", part);  // beside the model file only
  for (const char* decoy : {"part.prt", "cwd/part.prt", "cwd/gear.prt", "cwd/nut_m6.xpr"})
    m_kit.WriteFile(decoy, "not a model");
  char* before = getcwd(nullptr, 0);
  // The model file by its full path, and by a name relative to the working directory.
  const std::pair<std::string, std::string> rows[] = {{m_kit.Path("top.asm"), m_kit.Path("cwd")},
                                                      {"top.asm", m_kit.Directory()}};
  for (const auto& row : rows) {
    C3DMWorld world;
    CGraniteParser parser;
    parser.SetWorld(&world);
    parser.SetFilename(CBasicString(row.first.c_str()));
    ASSERT_EQ(chdir(row.second.c_str()), 0);
    ASSERT_EQ(BuildElementList(&parser), GRANITE_LOAD_SUCCESS) << row.first;
    CGraniteElement* sub = Child(static_cast<CGraniteElement*>(parser.GetElementList()->GetHead()), 0);
    EXPECT_EQ(Tree(sub), "sub.asm{part.prt gear.prt nut_m6.XPR}");
    // Absolute paths (the parser keeps its file name lower-cased).
    EXPECT_EQ(Lower(Narrow(sub->GetFilename())), Opened("sub/sub.asm"));
    EXPECT_EQ(Lower(Narrow(Child(sub, 0)->GetFilename())), Opened("sub/part.prt"));
    EXPECT_EQ(Lower(Narrow(Child(sub, 1)->GetFilename())), Opened("gear.prt"));
    EXPECT_EQ(Lower(Narrow(Child(sub, 2)->GetFilename())), Opened("sub/nut_m6.xpr"));
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(LoadAllParts(&parser), GRANITE_LOAD_SUCCESS) << row.first;
  }
  ASSERT_EQ(chdir(before), 0);
  free(before);
}

// Results of top.asm whose components are the given sub-assemblies and
// parts: "ok" (one part), "fails" (no component list: 1), "empty" (3),
// "gone" (a missing file).
class Accumulation : public Load {
 protected:
  GraniteLoadResultTypes Run(const std::vector<std::string>& kinds) {
    {
      xrchandle<KAssembly> top = Assembly("top.asm");
      long call = m_kit.Calls(KCall::GetComponents) + 1;  // that of top.asm
      for (size_t i = 0; i < kinds.size(); ++i) {
        const std::string name = kinds[i] + std::to_string(i) + ".asm";
        Add(top, kinds[i] == "gone" ? "gone.prt" : name);
        if (kinds[i] == "gone") continue;
        xrchandle<KAssembly> sub = Assembly(name);
        ++call;
        if (kinds[i] == "ok") Add(sub, "p.prt");
        if (kinds[i] == "fails") m_kit.Fail(KCall::GetComponents, KFault::Null, call);
      }
      Part("p.prt");
    }
    GraniteLoadResultTypes result = ParseAssembly(Root(), nullptr);
    KUnbindAll();
    m_kit.ClearFaults();
    return result;
  }
};

TEST_F(Accumulation, MissingFileGivesThreeAndOtherwiseTheFirstNonZeroSubResultCounts) {
  EXPECT_EQ(Run({"ok", "ok"}), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Run({"fails", "ok"}), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(Run({"fails", "gone"}), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Run({"gone", "fails"}), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Run({"empty", "fails"}), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Run({"fails", "empty"}), GRANITE_LOAD_FAILURE);
}

TEST_F(Parse, EverySubAssemblyIsParsedWhateverTheResultSoFar) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "gone.prt");
    Add(top, "sub.asm");
    Add(top, "sub.asm");  // the same file twice is no cycle
    Add(Assembly("sub.asm"), "p.prt");
    Part("p.prt");
  }
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{sub.asm{p.prt} sub.asm{p.prt}}");
}

TEST_F(Parse, CyclicReferencesStopAtTheRepeatedAssembly) {
  Add(Assembly("top.asm"), "Top.asm");
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{Top.asm{}}");
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 1);
  KUnbindAll();

  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "p.prt");
    Add(top, "sub.asm");
    xrchandle<KAssembly> sub = Assembly("sub.asm");
    Add(sub, "top.asm");
    Add(sub, "p.prt");
    Part("p.prt");
  }
  root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(root), "top.asm{p.prt sub.asm{top.asm{} p.prt}}");
  // Nothing is left on the path: parsed again from sub.asm, the cut moves.
  EXPECT_EQ(ParseAssembly(Child(root, 1), nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Tree(Child(root, 1)), "sub.asm{top.asm{} p.prt top.asm{p.prt sub.asm{}} p.prt}");
}

TEST_F(Parse, NestingDeeperThanTheCapIsCut) {
  const int levels = 300;
  for (int i = 0; i < levels; ++i) {
    std::string name = i ? "l" + std::to_string(i) + ".asm" : "top.asm";
    Add(Assembly(name), "l" + std::to_string(i + 1) + ".asm");
  }
  Assembly("l" + std::to_string(levels) + ".asm");
  CGraniteElement* root = Root();
  EXPECT_EQ(ParseAssembly(root, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), 256);
  int depth = 0;
  for (CGraniteElement* e = root; e->GetNumberChildren(); e = Child(e, 0)) ++depth;
  EXPECT_EQ(depth, 256);
}

TEST_F(Parse, KernelExceptionsPassWithTheFileClosedAndNothingHeld) {
  {
    xrchandle<KAssembly> top = Assembly("top.asm");
    Add(top, "sub.asm");
    Add(Assembly("sub.asm"), "p.prt");
    Part("p.prt");
  }
  CGraniteElement* root = Root();
  m_kit.Fail(KCall::GetAssembly, KFault::Throw);
  EXPECT_NE(KernelThrow([&] { ParseAssembly(root, nullptr); }), "");
  EXPECT_EQ(m_kit.Calls(KCall::Close), 1);

  // Thrown while the sub-assembly's child is not yet attached.
  m_kit.ClearFaults();
  m_kit.Fail(KCall::GetPlacement, KFault::Throw, 2);
  EXPECT_NE(KernelThrow([&] { ParseAssembly(root, nullptr); }), "");
  EXPECT_EQ(m_kit.Calls(KCall::OpenFile), m_kit.Calls(KCall::Close));
  EXPECT_EQ(Tree(root), "top.asm{sub.asm{}}");

  m_kit.ClearFaults();
  CGraniteElement* again = Root();
  EXPECT_EQ(ParseAssembly(again, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Tree(again), "top.asm{sub.asm{p.prt}}");
}

TEST_F(Parse, UnitsComeFromTheFirstModelWithAKnownCode) {
  const ImageUnitsTypes expected[] = {IMAGE_UNITS_INCH,       IMAGE_UNITS_FOOT,
                                      IMAGE_UNITS_MILLIMETER, IMAGE_UNITS_METER,
                                      IMAGE_UNITS_CENTIMETER, IMAGE_UNITS_KILOMETER,
                                      IMAGE_UNITS_MICROMETER};
  for (int code = 0; code <= 6; ++code) {
    m_parser.SetUnitsRetrieved(false);
    RetrieveModelUnits(m_kit.Assembly(code).get());
    EXPECT_EQ(m_parser.GetModelUnits(), expected[code]) << code;
    EXPECT_TRUE(m_parser.GetUnitsRetrieved());
  }
  RetrieveModelUnits(m_kit.Assembly(KUNITS_INCH).get());  // already taken
  EXPECT_EQ(m_parser.GetModelUnits(), IMAGE_UNITS_MICROMETER);

  m_parser.SetUnitsRetrieved(false);
  RetrieveModelUnits(m_kit.Assembly(7).get());
  EXPECT_FALSE(m_parser.GetUnitsRetrieved());
  EXPECT_EQ(m_parser.GetModelUnits(), IMAGE_UNITS_MICROMETER);
  RetrieveModelUnits(nullptr);
  g_CurrentParser = nullptr;
  RetrieveModelUnits(m_kit.Assembly(KUNITS_FOOT).get());
  EXPECT_FALSE(m_parser.GetUnitsRetrieved());
}

TEST_F(Parse, ComponentTransformIsTheKernelMatrixUntransposed) {
  EXPECT_TRUE(GetComponentTransform(nullptr).IsIdentity());
  Placement values;
  for (int k = 0; k < 16; ++k) values[k] = k + 0.5;
  xrchandle<KComponent> placed =
      m_kit.Component(xrchandle<KAssembly>(), "a.prt", "", values.data(), xrchandle<KModel>());
  const velaMatrix4x4 m = GetComponentTransform(placed.get());
  for (int k = 0; k < 16; ++k) EXPECT_EQ(m.m[k], float(k + 0.5)) << k;
  xrchandle<KComponent> unplaced =
      m_kit.Component(xrchandle<KAssembly>(), "a.prt", "", nullptr, xrchandle<KModel>());
  EXPECT_TRUE(GetComponentTransform(unplaced.get()).IsIdentity());
}

}  // namespace
}  // namespace asmtest
