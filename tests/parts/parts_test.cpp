// ParsePart, LoadAllParts and LoadAllPartsForElement: reuse of an earlier
// occurrence, native and translated parts and assemblies, every failure result,
// the state after a kernel exception, progress, stops, roots appended while
// loading, loading twice, and whole sample models placed.
#include "parts/Parts.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gBase90/kservices.h"
#include "gkit/load_fixture.h"
#include "granite/GraniteLoader.h"
#include "model/ElementBudget.h"

namespace {

using namespace gkit;

class PartParse : public LoadTest {
 protected:
  void SetUp() override {
    LoadTest::SetUp();
    parser->SetChordalTolerance(0.01);
    parser->SetAngularTolerance(0.3);
  }
  int Parse(const std::string& path, CGraniteElement* element) {
    return ParsePart(parser.get(), Wide(path), element);
  }
  // Loads as LoadPartElement does: the element's group current, its transform pushed.
  int ParseInto(const std::string& path, CGraniteElement* element, velaMatrix4x4 placement) {
    parser->SetCurrentGroup(element->GetGroup());
    parser->PushMatrix(placement);
    int result = Parse(path, element);
    parser->PopMatrix();
    parser->SetCurrentGroup(group);
    return result;
  }
};

// What each way of failing gives: the result, files opened and closed, and
// colours generated (one per file, once it is open and its format known).
TEST_F(PartParse, ResultOfEachFailure) {
  const std::string gear = WritePart("gear.prt"), missing = kit.Path("Missing.PRT");
  WritePart("gear2.prt");
  const std::string top =
      kit.WriteFile("top.asm", "granite-native 1\nassembly\ncomponent \"gear2.prt\" end\n");
  const struct {
    const char* what;
    std::string path;
    int fail;  // a KCall answering null, or -1
    int result, opens, closes, colours;
  } rows[] = {
      {"no name", "", -1, 1, 0, 0, 0},
      {"no session", gear, int(KCall::Session), 1, 0, 0, 0},
      {"no translator, even for a native file", gear, int(KCall::Translator), 1, 0, 0, 0},
      {"a file that cannot be opened", missing, -1, 3, 1, 0, 0},
      {"an unknown format", kit.WriteFile("model.stl", "solid x\nendsolid x\n"), -1, 1, 1, 1, 1},
      {"a native file with nothing to tessellate", gear, int(KCall::GetRootComponent), 1, 1, 1, 1},
      {"a native assembly", top, -1, 1, 1, 1, 1},
      {"a translator without model",
       kit.WriteFile("shaft.stp", "ISO-10303-21;\nEND-ISO-10303-21;\n"), -1, 1, 1, 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    kit.ClearFaults();
    if (row.fail >= 0) kit.Fail(KCall(row.fail));
    const long opens = kit.Calls(KCall::OpenFile), closes = kit.Calls(KCall::Close);
    const int colours = parser->GetNumberGeneratedColors();
    EXPECT_EQ(Parse(row.path, nullptr), row.result);
    EXPECT_EQ(kit.Calls(KCall::OpenFile) - opens, row.opens);
    EXPECT_EQ(kit.Calls(KCall::Close) - closes, row.closes);
    EXPECT_EQ(parser->GetNumberGeneratedColors() - colours, row.colours);
  }
  EXPECT_EQ(kit.OpenedPaths()[0], Lower(missing));  // the whole path lower-cased
  // Nothing of a part model is asked of a native assembly; nothing is shown or made.
  EXPECT_EQ(kit.Calls(KCall::GetPrimaryBody), 0);
  EXPECT_EQ(kit.Calls(KCall::GetAttributes), 0);
  EXPECT_EQ(kit.Calls(KCall::Translate), 1);
  EXPECT_EQ(Meshes(group), 0);
  EXPECT_EQ(parser->GetNumberElements(), 0);
  EXPECT_EQ(ParsePart(nullptr, Wide(gear), nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(g_CurrentParser, nullptr);
}

// The first occurrence is tessellated into its group and recorded; a second
// of the same file and configuration shows the first's group, placed, without
// a kernel call; another configuration is loaded from the file again.
TEST_F(PartParse, SecondOccurrenceReusesTheFirstWithoutKernelCalls) {
  std::string path = WritePart("Bolt.PRT", "color 0 0 1\n" + std::string(kBox));
  CGraniteElement* first = Element(path, "m6");
  CGraniteElement* second = Element(path, "m6");
  const velaMatrix4x4 m1 = velaMatrix4x4::Translation(10, 0, 0);
  const velaMatrix4x4 m2 =
      velaMatrix4x4::Rotation(0, 0, 1, 90) * velaMatrix4x4::Translation(0, 50, 0);
  ASSERT_EQ(ParseInto(path, first, m1), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(Meshes(first->GetGroup()), 1);
  EXPECT_TRUE(SameColor(first->GetGroup()->GetMesh(0).color, kBlue));
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kBlue));  // the part colour stays
  EXPECT_TRUE(first->GetFinalTransform() == m1);
  EXPECT_EQ(parser->FindResolvedPart(Wide(path), Wide("m6")), first);

  const long calls = kit.TotalCalls();
  EXPECT_EQ(ParseInto(path, second, m2), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.TotalCalls(), calls);
  C3DMGroup* placed = second->GetGroup();
  EXPECT_EQ(Meshes(placed), 0);
  ASSERT_EQ(placed->GetNumberChildren(), 1);
  EXPECT_EQ(placed->GetChild(0), first->GetGroup());
  EXPECT_TRUE(first->GetGroup()->GetMatrix().IsIdentity());  // the first placement stays
  EXPECT_TRUE(second->GetFinalTransform().IsIdentity());     // the given element is not touched
  // By hand: a vertex built at (x + 10, y, z) must show at (x, y, z) turned a
  // quarter about z, i.e. (-y, x, z), then moved by 50 in y.
  for (const velaFloatPoint& q : first->GetGroup()->GetMesh(0).points) {
    const velaFloatPoint shown = q * placed->GetMatrix();
    const float x = q.x - 10, y = q.y, z = q.z;
    EXPECT_TRUE(Near(shown.x, -y) && Near(shown.y, x + 50) && Near(shown.z, z))
        << shown.x << " " << shown.y << " " << shown.z;
  }
  // The first occurrence again: never inserted into itself.
  EXPECT_EQ(ParseInto(path, first, m2), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(first->GetGroup()->GetNumberChildren(), 0);
  EXPECT_EQ(kit.TotalCalls(), calls);

  CGraniteElement* other = Element(path, "m8");
  EXPECT_EQ(ParseInto(path, other, m2), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);
  EXPECT_EQ(Meshes(other->GetGroup()), 1);
  // Without an element the part loads into the current group, unrecorded.
  EXPECT_EQ(Parse(WritePart("plain.prt"), nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Meshes(group), 1);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 2);
  // Without a current group, or without the first occurrence's group: 1, nothing loaded.
  parser->SetCurrentGroup(nullptr);
  EXPECT_EQ(Parse(path, Element(path, "m6")), GRANITE_LOAD_FAILURE);
  parser->SetCurrentGroup(group);
  first->SetGroup(nullptr);
  EXPECT_EQ(Parse(path, Element(path, "m6")), GRANITE_LOAD_FAILURE);
  first->SetGroup(placed->GetChild(0));
  EXPECT_EQ(Meshes(group), 1);
}

// Translated files: bound models stand for what a translator builds.
class TranslatedParse : public PartParse {
 protected:
  std::string BindAs(const std::string& name, const xrchandle<KModel>& model) {
    std::string path = kit.Path(name);
    kit.Bind(path, model);
    parser->SetFilename(Wide(path));
    return path;
  }
};

TEST_F(TranslatedParse, PartGetsARootElementAndItsMeshesGoToTheCurrentGroup) {
  std::string path = BindAs("bolt.stp", kit.Part(kBox));
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = RootAt(0);
  EXPECT_EQ(root->GetFileType(), GRANITE_FILE_PART);
  EXPECT_TRUE(root->GetFilename() == parser->GetFilename());
  EXPECT_EQ(Meshes(group), 1);
  EXPECT_EQ(Meshes(root->GetGroup()), 0);
  EXPECT_EQ(world.GetNumberGroups(), 1);  // the root's group
  // The root does not hold the meshes, so it is not recorded for reuse: a
  // second load into another group translates again and shows the part there.
  EXPECT_EQ(parser->GetNumberResolvedParts(), 0);
  C3DMGroup* second = world.CreateGroup();
  parser->SetCurrentGroup(second);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Meshes(second), 1);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);
  kit.Fail(KCall::Triangulator);  // a part that cannot be tessellated gives 3
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
}

TEST_F(TranslatedParse, AssemblyBecomesElementsWithPartsInTheirOwnGroups) {
  const double move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 20, 1};
  xrchandle<KAssembly> top = kit.Assembly();
  xrchandle<KAssembly> sub = kit.Assembly();
  kit.Component(top, "red.prt", "", move, kit.Part("color 1 0 0\n" + std::string(kBox)));
  kit.Component(top, "plain.prt", "", nullptr, kit.Part(kBox));
  kit.Component(sub, "inner.prt", "", move, kit.Part(kBox));
  kit.Component(top, "sub.asm", "", move, sub);
  kit.Component(top, "ghost.prt", "", nullptr, xrchandle<KModel>());
  std::string path = BindAs("gearbox.step", top);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);  // the ghost does not count
  EXPECT_EQ(parser->GetNumberGeneratedColors(), 1);  // once for the whole file
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = RootAt(0);
  EXPECT_EQ(root->GetFileType(), GRANITE_FILE_ASSEMBLY);
  ASSERT_EQ(root->GetNumberChildren(), 4);
  const char* names[] = {"red.prt", "plain.prt", "sub.asm", "ghost.prt"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(Child(root, i)->GetDisplayName() == Wide(names[i])) << i;
    EXPECT_EQ(Child(root, i)->GetFilename().GetLength(), 0);
  }
  CGraniteElement* red = Child(root, 0);
  CGraniteElement* plain = Child(root, 1);
  CGraniteElement* inner = Child(Child(root, 2), 0);
  EXPECT_EQ(red->GetFileType(), GRANITE_FILE_PART);
  EXPECT_EQ(Child(root, 2)->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_TRUE(red->GetTransform() == velaMatrix4x4::Translation(0, 0, 20));
  // Each part in its own group; a part without a colour shows the file's, not
  // the colour of the part before it.
  ASSERT_EQ(Meshes(red->GetGroup()), 1);
  ASSERT_EQ(Meshes(plain->GetGroup()), 1);
  ASSERT_EQ(Meshes(inner->GetGroup()), 1);
  EXPECT_EQ(Meshes(group), 0);
  const velaChroma fileColour =
      *static_cast<const velaChroma*>(parser->GetGeneratedColorList()->GetAt(0));
  EXPECT_TRUE(SameColor(red->GetGroup()->GetMesh(0).color, kRed));
  EXPECT_TRUE(SameColor(plain->GetGroup()->GetMesh(0).color, fileColour));
  EXPECT_TRUE(SameColor(inner->GetGroup()->GetMesh(0).color, fileColour));
  // The placements: the part's own, and the sub-assembly's below it.
  for (const velaFloatPoint& p : red->GetGroup()->GetMesh(0).points) EXPECT_GE(p.z, 20 - 1e-4f);
  for (const velaFloatPoint& p : inner->GetGroup()->GetMesh(0).points) EXPECT_GE(p.z, 40 - 1e-4f);
  EXPECT_TRUE(inner->GetFinalTransform() == velaMatrix4x4::Translation(0, 0, 40));
  // The children's groups hang under their parents'.
  EXPECT_EQ(root->GetGroup()->GetNumberChildren(), 4);
}

// Without tolerances, a translated model's whole box (under the current
// matrix, all corners) sets the model box and the tolerances before any body
// is meshed; a native part keeps its first body's; set tolerances stay.
TEST_F(TranslatedParse, ModelBoxOfATranslatedModelIsTheWholeModel) {
  const double apart[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 100, 0, 0, 1};
  xrchandle<KAssembly> top = kit.Assembly();
  kit.Component(top, "near.prt", "", nullptr, kit.Part(kBox));
  kit.Component(top, "far.prt", "", apart, kit.Part(kBox));
  const std::string assembly = BindAs("pair.stp", top);
  const std::string native = WritePart("box.prt");
  const struct {
    std::string path;
    double chordal;  // on entry
    float maxX;      // of the model box after
  } cases[] = {{assembly, 0.0, 101}, {native, 0.0, 1}, {assembly, 0.01, -1}};
  for (const auto& c : cases) {
    velaBBox none;
    none.Reset();
    parser->SetModelBoundingBox(none);
    parser->SetChordalTolerance(c.chordal);
    velaMatrix4x4 raised = velaMatrix4x4::Translation(0, 0, 5);
    parser->PushMatrix(raised);
    EXPECT_EQ(Parse(c.path, nullptr), GRANITE_LOAD_SUCCESS) << c.path;
    parser->PopMatrix();
    const velaBBox& box = parser->GetModelBoundingBox();
    if (c.maxX < 0) {
      EXPECT_TRUE(box.IsEmpty()) << c.path;
      EXPECT_EQ(parser->GetChordalTolerance(), c.chordal);
      continue;
    }
    EXPECT_TRUE(Near(box.max.x, c.maxX) && Near(box.min.z, 5) && Near(box.max.z, 6)) << c.path;
    EXPECT_GT(parser->GetChordalTolerance(), 0) << c.path;
  }
}

// Any component with a definition that fails makes the walk 3, wherever it
// stands; components without a definition do not count; an assembly that
// gives nothing, that places itself, or has no component list, gives 3.
TEST_F(TranslatedParse, AnyFailedComponentGivesThree) {
  const struct {
    const char* parts;  // o: loads, e: nothing to tessellate, g: no definition, s: itself
    int result;
  } cases[] = {{"", 3},   {"oe", 3}, {"eo", 3}, {"oeo", 3},
               {"og", 0}, {"go", 0}, {"oo", 0}, {"g", 3}, {"os", 3}};
  for (const auto& c : cases) {
    xrchandle<KAssembly> top = kit.Assembly();
    for (const char* p = c.parts; *p; ++p)
      kit.Component(top, "part.prt", "", nullptr,
                    *p == 'o'   ? xrchandle<KModel>(kit.Part(kBox))
                    : *p == 'e' ? xrchandle<KModel>(kit.EmptyPart())
                    : *p == 's' ? xrchandle<KModel>(top)
                                : xrchandle<KModel>());
    std::string path = BindAs(std::string(c.parts) + ".stp", top);
    EXPECT_EQ(Parse(path, nullptr), c.result) << c.parts;
  }
  EXPECT_EQ(RootAt(0)->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_EQ(RootAt(0)->GetNumberChildren(), 0);
  EXPECT_EQ(RootAt(7)->GetNumberChildren(), 1);  // the component without definition
  // Itself placed again: an empty assembly element, the part beside it loaded.
  EXPECT_EQ(Child(RootAt(8), 1)->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_EQ(Child(RootAt(8), 1)->GetNumberChildren(), 0);
  EXPECT_EQ(Meshes(Child(RootAt(8), 0)->GetGroup()), 1);
  kit.Fail(KCall::GetComponents);
  EXPECT_EQ(Parse(BindAs("nolist.stp", kit.Assembly()), nullptr), GRANITE_LOAD_INCOMPLETE);
}

// A translated assembly whose definitions place the next one twice, twenty
// deep: the walk stops at the limit of elements one load may create.
TEST_F(TranslatedParse, WalkStopsAtTheElementLimit) {
  xrchandle<KModel> level = kit.Part(kBox);
  for (int i = 0; i < 20; ++i) {
    xrchandle<KAssembly> outer = kit.Assembly();
    kit.Component(outer, "a.stp", "", nullptr, level);
    kit.Component(outer, "b.stp", "", nullptr, level);
    level = outer;
  }
  std::string path = BindAs("dag.stp", level);
  granite::ElementLimitOverride limit(100);
  KClearLastError();
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_NE(std::string(KGetLastError()).find("more than 100 elements"), std::string::npos);
  std::function<int(CGraniteElement*)> count = [&](CGraniteElement* e) {
    int n = 1;
    for (int i = 0; i < e->GetNumberChildren(); ++i) n += count(Child(e, i));
    return n;
  };
  EXPECT_EQ(count(RootAt(0)), 100);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
}

class LoadAll : public PartParse {
 protected:
  void SetUp() override {
    PartParse::SetUp();
    part = WritePart("a.prt");
  }
  // A root element in the element list, its group in the world.
  CGraniteElement* Root(const std::string& file, GraniteFileTypes type) {
    CGraniteElement* e = parser->CreateElement(Wide(file), Wide(file));
    e->SetFileType(type);
    parser->AddElementToList(e);
    world.AddGroup(e->GetGroup(), 1);
    return e;
  }
  CGraniteElement* Child(CGraniteElement* parent, const std::string& file, int type,
                         const velaMatrix4x4& transform = velaMatrix4x4()) {
    CGraniteElement* e = parser->CreateElement(Wide(file), Wide(file));
    e->SetFileType(static_cast<GraniteFileTypes>(type));
    e->SetTransform(transform);
    parent->GetGroup()->AddGroup(e->GetGroup(), 1);
    parent->AddChild(e);
    return e;
  }
  std::string part;
};

TEST_F(LoadAll, ResultsProgressAndReuseThroughTheTree) {
  CGraniteElement* root = Root("top.asm", GRANITE_FILE_ASSEMBLY);
  CGraniteElement* p1 = Child(root, part, 0, velaMatrix4x4::Translation(5, 0, 0));
  CGraniteElement* sub = Child(root, "sub.asm", 1, velaMatrix4x4::Translation(0, 5, 0));
  CGraniteElement* p2 = Child(sub, part, 0);
  CGraniteElement* p3 = Child(sub, kit.Path("missing.prt"), 0);
  CGraniteElement* empty = Child(root, "empty.asm", 1);
  Child(root, "odd", 7);

  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_FAILURE);  // the last non-zero: odd's 1
  EXPECT_EQ(parser->GetCurrentPart(), 3);
  EXPECT_EQ(parser->GetTotalParts(), 3);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);  // a.prt once, missing.prt once
  ASSERT_EQ(Meshes(p1->GetGroup()), 1);
  ASSERT_EQ(p2->GetGroup()->GetNumberChildren(), 1);
  EXPECT_EQ(p2->GetGroup()->GetChild(0), p1->GetGroup());
  EXPECT_EQ(Meshes(p3->GetGroup()), 0);
  EXPECT_TRUE(p1->GetFinalTransform() == velaMatrix4x4::Translation(5, 0, 0));
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(parser->GetCurrentGroup(), group);

  EXPECT_EQ(LoadAllPartsForElement(sub), GRANITE_LOAD_INCOMPLETE);  // p3 failed again
  EXPECT_EQ(LoadAllPartsForElement(empty), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(parser->GetCurrentPart(), 5);
  EXPECT_EQ(Meshes(p1->GetGroup()), 1);

  // An assembly gives its last failure, not its last child's 0; a part never 1.
  const std::string stl = kit.WriteFile("model.stl", "solid x\nendsolid x\n");
  CGraniteElement* unknown = Element(stl);
  unknown->SetFileType(GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllPartsForElement(unknown), GRANITE_LOAD_INCOMPLETE);  // the part's 1 becomes 3
  CGraniteElement* top = Root("top.asm", GRANITE_FILE_ASSEMBLY);
  Child(top, kit.Path("missing.prt"), 0);
  Child(top, part, 0);
  EXPECT_EQ(LoadAllPartsForElement(top), GRANITE_LOAD_INCOMPLETE);
  // The whole list gives its last root's result.
  Root(part, GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  Root(kit.Path("missing.prt"), GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_INCOMPLETE);
}

TEST_F(LoadAll, RootsAppendedByTranslatedFilesAreNotLoadedAgain) {
  // The top assembly names itself as the parser's file; its part component is
  // an exchange file, whose load appends a root of that same name.
  std::string top = kit.WriteFile("top.asm", "granite-native 1\nassembly\n");
  parser->SetFilename(Wide(top));
  std::string bolt = kit.Path("bolt.stp");
  kit.Bind(bolt, kit.Part(kBox));
  xrchandle<KAssembly> gear = kit.Assembly();
  kit.Component(gear, "g1.prt", "", nullptr, kit.Part(kBox));
  kit.Component(gear, "g2.prt", "", nullptr, kit.Part(kBox));
  std::string gears = kit.Path("gears.stp");
  kit.Bind(gears, gear);
  CGraniteElement* root = Root(top, GRANITE_FILE_ASSEMBLY);
  CGraniteElement* b = Child(root, bolt, 0);
  Child(root, gears, 0);

  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);  // bolt.stp and gears.stp, never top.asm
  EXPECT_EQ(parser->GetCurrentPart(), 2);
  EXPECT_EQ(parser->GetNumberElements(), 3);  // the two translated roots stay in the list
  EXPECT_EQ(Meshes(b->GetGroup()), 1);
  EXPECT_EQ(root->GetGroup()->GetNumberChildren(), 2);
}

TEST_F(LoadAll, LoadingAgainLeavesTheSceneAsItWas) {
  CGraniteElement* root = Root("top.asm", GRANITE_FILE_ASSEMBLY);
  CGraniteElement* p1 = Child(root, part, 0);
  CGraniteElement* p2 = Child(root, part, 0, velaMatrix4x4::Translation(4, 0, 0));
  Child(root, part, 0, velaMatrix4x4::Translation(0, 4, 0));
  ASSERT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(p2->GetGroup()->GetNumberChildren(), 1);
  // Every group's children, meshes and matrix.
  auto scene = [&] {
    std::vector<std::string> groups;
    for (int i = 0; i < root->GetNumberChildren(); ++i) {
      const C3DMGroup* g =
          static_cast<CGraniteElement*>(root->GetChildList()->GetAt(i))->GetGroup();
      std::string text =
          std::to_string(g->GetNumberChildren()) + " " + std::to_string(g->GetNumberMeshes());
      for (float m : g->GetMatrix().m) text += " " + std::to_string(m);
      groups.push_back(text);
    }
    return groups;
  };
  const std::vector<std::string> loaded = scene();
  const long calls = kit.TotalCalls();
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(LoadAllPartsForElement(root), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.TotalCalls(), calls);
  EXPECT_EQ(scene(), loaded);
  EXPECT_EQ(p1->GetGroup()->GetNumberChildren(), 0);
}

}  // namespace
