// ParsePart: reuse of an earlier occurrence, native parts, translated parts and
// assemblies, every failure result, and the state after a kernel exception.
#include <algorithm>

#include "gkit/load_fixture.h"
#include "gBase90/kservices.h"
#include "granite/GraniteLoader.h"
#include "model/ElementBudget.h"
#include "parts/Parts.h"

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
  const std::string top = kit.WriteFile("top.asm", "granite-native 1\nassembly\ncomponent \"gear2.prt\" end\n");
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
      {"a translator without model", kit.WriteFile("shaft.stp", "ISO-10303-21;\nEND-ISO-10303-21;\n"), -1, 1, 1, 1,
       1},
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

TEST_F(PartParse, NativePartIsTessellatedIntoTheCurrentGroupAndRecorded) {
  std::string path = WritePart("Gear.PRT", "color 0 0 1\n" + std::string(kBox));
  CGraniteElement* e = Element(path);
  const int depth = parser->GetNumberMatricesOnStack();
  EXPECT_EQ(ParseInto(path, e, velaMatrix4x4::Translation(5, 0, 0)), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(Meshes(e->GetGroup()), 1);
  EXPECT_TRUE(SameColor(e->GetGroup()->GetMesh(0).color, kBlue));
  EXPECT_TRUE(SameColor(parser->GetCurrentColor(), kBlue));  // the part colour stays
  EXPECT_TRUE(e->GetFinalTransform() == velaMatrix4x4::Translation(5, 0, 0));
  EXPECT_EQ(parser->FindResolvedPart(Wide(path), CBasicString()), e);
  EXPECT_EQ(kit.Calls(KCall::Close), 1);
  EXPECT_EQ(kit.OpenedPaths().at(0), Lower(path));
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), depth);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
}

TEST_F(PartParse, NullElementLoadsWithoutRecord) {
  std::string path = WritePart("gear.prt");
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(Meshes(group), 1);
  EXPECT_EQ(parser->GetNumberResolvedParts(), 0);
}

TEST_F(PartParse, NativeFileWithNothingToTessellateGivesOne) {
  std::string path = WritePart("gear.prt");
  kit.Fail(KCall::GetRootComponent);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(parser->GetNumberGeneratedColors(), 1);
  EXPECT_EQ(kit.Calls(KCall::Close), 1);

  // A native assembly is no part: nothing of a part model is asked of it.
  WritePart("gear2.prt");
  std::string top = kit.WriteFile("top.asm",
                                  "granite-native 1\nassembly\ncomponent \"gear2.prt\" end\n");
  kit.ClearFaults();
  EXPECT_EQ(Parse(top, nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(kit.Calls(KCall::GetPrimaryBody), 0);
  EXPECT_EQ(kit.Calls(KCall::GetAttributes), 0);
  EXPECT_EQ(parser->GetNumberGeneratedColors(), 2);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(Meshes(group), 0);
}

TEST_F(PartParse, SecondOccurrenceReusesTheFirstWithoutKernelCalls) {
  std::string path = WritePart("bolt.prt");
  CGraniteElement* first = Element(path, "m6");
  CGraniteElement* second = Element(path, "m6");
  const velaMatrix4x4 m1 = velaMatrix4x4::Translation(10, 0, 0);
  const velaMatrix4x4 m2 = velaMatrix4x4::Rotation(0, 0, 1, 90) * velaMatrix4x4::Translation(0, 50, 0);
  ASSERT_EQ(ParseInto(path, first, m1), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(Meshes(first->GetGroup()), 1);

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

  // Another configuration of the same file is loaded from the file again.
  CGraniteElement* other = Element(path, "m8");
  EXPECT_EQ(ParseInto(path, other, m2), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);
  EXPECT_EQ(Meshes(other->GetGroup()), 1);
}

TEST_F(PartParse, ReuseNeverInsertsAGroupIntoItself) {
  std::string path = WritePart("bolt.prt");
  CGraniteElement* e = Element(path);
  ASSERT_EQ(ParseInto(path, e, velaMatrix4x4()), GRANITE_LOAD_SUCCESS);
  const long calls = kit.TotalCalls();
  EXPECT_EQ(ParseInto(path, e, velaMatrix4x4::Translation(1, 0, 0)), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(kit.TotalCalls(), calls);
  EXPECT_EQ(e->GetGroup()->GetNumberChildren(), 0);
  EXPECT_TRUE(e->GetGroup()->GetMatrix().IsIdentity());
  EXPECT_EQ(Meshes(e->GetGroup()), 1);
}

TEST_F(PartParse, ReuseWithoutGroupsGivesOneAndLoadsNothing) {
  std::string path = WritePart("bolt.prt");
  CGraniteElement* first = Element(path);
  ASSERT_EQ(ParseInto(path, first, velaMatrix4x4()), GRANITE_LOAD_SUCCESS);
  const long calls = kit.TotalCalls();
  parser->SetCurrentGroup(nullptr);
  EXPECT_EQ(Parse(path, Element(path)), GRANITE_LOAD_FAILURE);
  parser->SetCurrentGroup(group);
  C3DMGroup* shown = first->GetGroup();
  first->SetGroup(nullptr);
  EXPECT_EQ(Parse(path, Element(path)), GRANITE_LOAD_FAILURE);
  first->SetGroup(shown);
  EXPECT_EQ(kit.TotalCalls(), calls);
  EXPECT_EQ(group->GetNumberChildren(), 0);
}

TEST_F(PartParse, KernelExceptionAnywhereInTheLoadGivesOneWithStateRestored) {
  std::string path = WritePart("gear.prt", "color 0 1 0 primary solid box from 0 0 0 to 1 1 1 "
                                           "end polygon 0 0 5 1 0 5 0 1 5 color 1 0 0 end end");
  velaMatrix4x4 outer = velaMatrix4x4::Translation(0, 0, 1);
  parser->PushMatrix(outer);
  // Two clean loads (the units are asked for in the first only), to know how
  // many kernel calls a load makes.
  ASSERT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  KResetDiagnostics();
  ASSERT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  const long total = kit.TotalCalls();
  ASSERT_GT(total, 10);
  for (long k = 1; k <= total; ++k) {
    KResetDiagnostics();
    kit.FailNth(k, KFault::Throw);
    parser->SetCurrentColor(kGrey);
    int result = -1;
    try {
      result = Parse(path, nullptr);
    } catch (xthrowable* error) {
      // Only the session and translator requests, before the file, pass.
      EXPECT_LE(k, 2) << "call " << k;
      error->xrcunirelease();
      continue;
    }
    EXPECT_GT(k, 2);
    EXPECT_EQ(result, GRANITE_LOAD_FAILURE) << "call " << k;
    EXPECT_EQ(parser->GetNumberMatricesOnStack(), 1) << "call " << k;
    EXPECT_EQ(parser->GetCurrentGroup(), group) << "call " << k;
    // A face colour never outlives its body.
    EXPECT_FALSE(SameColor(parser->GetCurrentColor(), kRed)) << "call " << k;
    // Calls 1 to 3 are the session, the translator and OpenFile; once the file
    // is open it is closed, whatever happens after.
    if (k > 3) {
      EXPECT_GE(kit.Calls(KCall::Close), 1) << "call " << k;
    }
  }
  parser->PopMatrix();
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
  CGraniteElement* Root(int i) {
    return static_cast<CGraniteElement*>(parser->GetElementList()->GetAt(i));
  }
  CGraniteElement* Child(CGraniteElement* e, int i) {
    return static_cast<CGraniteElement*>(e->GetChildList()->GetAt(i));
  }
};

TEST_F(TranslatedParse, PartGetsARootElementAndItsMeshesGoToTheCurrentGroup) {
  std::string path = BindAs("bolt.stp", kit.Part(kBox));
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = Root(0);
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
  EXPECT_EQ(kit.Calls(KCall::Close), 2);
}

TEST_F(TranslatedParse, WithoutAWorldThePartGoesToTheCurrentGroup) {
  // A host that loads one exchange file into its own group sets no world.
  parser->SetWorld(nullptr);
  std::string path = BindAs("bolt.stp", kit.Part(kBox));
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);
  ASSERT_EQ(parser->GetNumberElements(), 1);
  EXPECT_EQ(Root(0)->GetFileType(), GRANITE_FILE_PART);
  ASSERT_NE(Root(0)->GetGroup(), nullptr);
  EXPECT_EQ(Meshes(group), 1);
  EXPECT_EQ(world.GetNumberGroups(), 0);
  parser->SetWorld(&world);
}

TEST_F(TranslatedParse, PartThatCannotBeTessellatedGivesThree) {
  kit.Fail(KCall::Triangulator);
  std::string path = BindAs("bolt.x_t", kit.Part(kBox));
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(parser->GetNumberElements(), 1);
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
  const int depth = parser->GetNumberMatricesOnStack();

  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_SUCCESS);  // the ghost does not count
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), depth);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
  EXPECT_EQ(parser->GetNumberGeneratedColors(), 1);  // once for the whole file
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = Root(0);
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

TEST_F(TranslatedParse, AssemblyThatGivesNothingGivesThree) {
  xrchandle<KAssembly> empty = kit.Assembly();
  std::string path = BindAs("empty.stp", empty);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
  ASSERT_EQ(parser->GetNumberElements(), 1);
  EXPECT_EQ(Root(0)->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_EQ(Root(0)->GetNumberChildren(), 0);

  xrchandle<KAssembly> ghosts = kit.Assembly();
  kit.Component(ghosts, "ghost.prt", "", nullptr, xrchandle<KModel>());
  path = BindAs("ghosts.stp", ghosts);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
  EXPECT_EQ(Root(1)->GetNumberChildren(), 1);

  kit.Fail(KCall::GetComponents);
  path = BindAs("nolist.stp", kit.Assembly());
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
}

// Any component with a definition that fails makes the walk 3, wherever it
// stands; components without a definition do not count.
TEST_F(TranslatedParse, AnyFailedComponentGivesThree) {
  const struct {
    const char* parts;  // o: loads, e: nothing to tessellate, g: no definition
    int result;
  } cases[] = {{"oe", 3}, {"eo", 3}, {"oeo", 3}, {"og", 0}, {"go", 0}, {"oo", 0}, {"g", 3}};
  for (const auto& c : cases) {
    xrchandle<KAssembly> top = kit.Assembly();
    for (const char* p = c.parts; *p; ++p)
      kit.Component(top, "part.prt", "", nullptr,
                    *p == 'o'   ? xrchandle<KModel>(kit.Part(kBox))
                    : *p == 'e' ? xrchandle<KModel>(kit.EmptyPart())
                                : xrchandle<KModel>());
    std::string path = BindAs(std::string(c.parts) + ".stp", top);
    EXPECT_EQ(Parse(path, nullptr), c.result) << c.parts;
  }
}

TEST_F(TranslatedParse, AssemblyThatPlacesItselfEndsWithThree) {
  xrchandle<KAssembly> loop = kit.Assembly();
  kit.Component(loop, "part.prt", "", nullptr, kit.Part(kBox));
  kit.Component(loop, "loop.stp", "", nullptr, loop);
  std::string path = BindAs("loop.stp", loop);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_INCOMPLETE);
  CGraniteElement* root = Root(0);
  ASSERT_EQ(root->GetNumberChildren(), 2);
  CGraniteElement* again = Child(root, 1);
  EXPECT_EQ(again->GetFileType(), GRANITE_FILE_ASSEMBLY);
  EXPECT_EQ(again->GetNumberChildren(), 0);
  EXPECT_EQ(Meshes(Child(root, 0)->GetGroup()), 1);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
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
  int elements = 0;
  std::vector<CGraniteElement*> open{Root(0)};
  while (!open.empty()) {
    CGraniteElement* e = open.back();
    open.pop_back();
    ++elements;
    for (int i = 0; i < e->GetNumberChildren(); ++i) open.push_back(Child(e, i));
  }
  EXPECT_EQ(elements, 100);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
}

TEST_F(TranslatedParse, ExceptionInsideTheWalkRestoresStackAndGroup) {
  xrchandle<KAssembly> top = kit.Assembly();
  xrchandle<KAssembly> sub = kit.Assembly();
  const double move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 20, 1};
  kit.Component(sub, "inner.prt", "", move, kit.Part(kBox));
  kit.Component(top, "sub.asm", "", move, sub);
  std::string path = BindAs("deep.stp", top);
  kit.Fail(KCall::GetFaces, KFault::Throw);
  EXPECT_EQ(Parse(path, nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
  EXPECT_EQ(kit.Calls(KCall::Close), 1);
  // Elements made before the exception stay in the tree.
  ASSERT_EQ(parser->GetNumberElements(), 1);
  EXPECT_EQ(Child(Root(0), 0)->GetNumberChildren(), 1);
}

TEST_F(TranslatedParse, SubAssemblyWalkArguments) {
  CGraniteElement* parent = Element("p");
  EXPECT_EQ(ParseSubAssembly(xrchandle<KComponentSequence>(), parent), 3);
  xrchandle<KComponentSequence> none(new KComponentSequence);
  EXPECT_EQ(ParseSubAssembly(none, parent), 1);
  EXPECT_EQ(ParseSubAssembly(none, nullptr), 1);
  EXPECT_EQ(parent->GetNumberChildren(), 0);
}

}  // namespace
