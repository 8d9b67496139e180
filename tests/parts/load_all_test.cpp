// LoadAllParts and LoadAllPartsForElement: results, progress, the continue
// test, roots appended while loading, loading twice, and whole sample models.
#include <map>
#include <string>
#include <vector>

#include "gkit/load_fixture.h"
#include "granite/GraniteLoader.h"

namespace {

using namespace gkit;

class LoadAll : public LoadTest {
 protected:
  void SetUp() override {
    LoadTest::SetUp();
    parser->SetChordalTolerance(0.01);
    parser->SetAngularTolerance(0.3);
    part = kit.WriteFile("a.prt", "granite-native 1\npart\n" + std::string(kBox) + "\n");
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

TEST_F(LoadAll, NothingToLoad) {
  EXPECT_EQ(LoadAllParts(nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(g_CurrentParser, nullptr);
  EXPECT_EQ(LoadAllPartsForElement(nullptr), GRANITE_LOAD_FAILURE);
  parser->SetTotalParts(99);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(parser->GetTotalParts(), 0);  // the counters were prepared all the same
  CGraniteElement* e = Element(part);
  e->SetFileType(GRANITE_FILE_PART);
  g_CurrentParser = nullptr;
  EXPECT_EQ(LoadAllPartsForElement(e), GRANITE_LOAD_FAILURE);
  g_CurrentParser = parser.get();
  e->SetFileType(static_cast<GraniteFileTypes>(7));
  EXPECT_EQ(LoadAllPartsForElement(e), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(parser->GetCurrentPart(), 0);
}

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
}

TEST_F(LoadAll, StopAnswerStopsEveryLevelWithTheStackBack) {
  CGraniteElement* root = Root("top.asm", GRANITE_FILE_ASSEMBLY);
  CGraniteElement* sub = Child(root, "sub.asm", 1, velaMatrix4x4::Translation(0, 5, 0));
  CGraniteElement* first = Child(sub, part, 0);
  CGraniteElement* second = Child(sub, part, 0, velaMatrix4x4::Translation(3, 0, 0));
  CGraniteElement* after = Child(root, part, 0);
  velaMatrix4x4 outer = velaMatrix4x4::Translation(0, 0, 9);
  parser->PushMatrix(outer);
  CGraniteParser::RequestStop(true);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  CGraniteParser::RequestStop(false);
  EXPECT_EQ(parser->GetCurrentPart(), 1);
  EXPECT_EQ(Meshes(first->GetGroup()), 1);
  EXPECT_EQ(second->GetGroup()->GetNumberChildren(), 0);
  EXPECT_EQ(after->GetGroup()->GetNumberChildren(), 0);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 1);
  EXPECT_EQ(parser->GetCurrentGroup(), group);
  parser->PopMatrix();
}

TEST_F(LoadAll, TopLevelGivesTheLastRootsResult) {
  Root(kit.Path("missing.prt"), GRANITE_FILE_PART);
  Root(part, GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(parser->GetCurrentPart(), 2);
  Root(kit.Path("missing.prt"), GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_INCOMPLETE);
}

TEST_F(LoadAll, AnAssemblyGivesItsLastFailureAndAPartNeverOne) {
  const std::string stl = kit.WriteFile("model.stl", "solid x\nendsolid x\n");
  ASSERT_EQ(ParsePart(parser.get(), Wide(stl), nullptr), GRANITE_LOAD_FAILURE);
  CGraniteElement* unknown = Element(stl);
  unknown->SetFileType(GRANITE_FILE_PART);
  EXPECT_EQ(LoadAllPartsForElement(unknown), GRANITE_LOAD_INCOMPLETE);  // the part's 1 becomes 3
  CGraniteElement* root = Root("top.asm", GRANITE_FILE_ASSEMBLY);
  Child(root, kit.Path("missing.prt"), 0);
  Child(root, part, 0);
  EXPECT_EQ(LoadAllPartsForElement(root), GRANITE_LOAD_INCOMPLETE);  // not the last child's 0
}

TEST_F(LoadAll, OneElementIsLoadedOnTopOfTheStackAsItStands) {
  CGraniteElement* e = Element(part);
  e->SetFileType(GRANITE_FILE_PART);
  e->SetTransform(velaMatrix4x4::Translation(1, 0, 0));
  velaMatrix4x4 outer = velaMatrix4x4::Rotation(0, 0, 1, 90);
  parser->PushMatrix(outer);
  EXPECT_EQ(LoadAllPartsForElement(e), GRANITE_LOAD_SUCCESS);
  EXPECT_EQ(parser->GetNumberMatricesOnStack(), 1);
  parser->PopMatrix();
  EXPECT_TRUE(e->GetFinalTransform() == velaMatrix4x4::Translation(1, 0, 0) * outer);
  EXPECT_EQ(parser->GetCurrentPart(), 1);
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
      const C3DMGroup* g = static_cast<CGraniteElement*>(root->GetChildList()->GetAt(i))->GetGroup();
      std::string text = std::to_string(g->GetNumberChildren()) + " " +
                         std::to_string(g->GetNumberMeshes());
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

// Whole sample models: BuildElementList, then LoadAllParts.
class SampleModel : public LoadTest {
 protected:
  struct Placed {
    CGraniteElement* element;
    velaMatrix4x4 placement;  // the element's transform and its ancestors'
  };

  static void CollectParts(CGraniteElement* e, const velaMatrix4x4& above,
                           std::vector<Placed>& out) {
    const velaMatrix4x4 placement = e->GetTransform() * above;
    if (e->GetFileType() == GRANITE_FILE_PART) out.push_back({e, placement});
    if (e->GetFileType() != GRANITE_FILE_ASSEMBLY) return;
    C3DMList* children = e->GetChildList();
    for (int i = 0; i < children->GetCount(); ++i)
      CollectParts(static_cast<CGraniteElement*>(children->GetAt(i)), placement, out);
  }

  // The first vertex a group shows, in the space above the group.
  static bool FirstPoint(const C3DMGroup* g, velaFloatPoint& out) {
    if (g->GetNumberMeshes() > 0 && !g->GetMesh(0).points.empty()) {
      out = g->GetMesh(0).points[0] * g->GetMatrix();
      return true;
    }
    for (int i = 0; i < g->GetNumberChildren(); ++i) {
      velaFloatPoint p(0, 0, 0);
      if (FirstPoint(g->GetChild(i), p)) {
        out = p * g->GetMatrix();
        return true;
      }
    }
    return false;
  }

  static int MeshesShown(const C3DMGroup* g) {
    int n = g->GetNumberMeshes();
    for (int i = 0; i < g->GetNumberChildren(); ++i) n += MeshesShown(g->GetChild(i));
    return n;
  }

  void Load(const std::string& relative, GraniteLoadResultTypes built) {
    parser->SetFilename(Wide(std::string(GRANITE_SOURCE_DIR) + "/examples/" + relative));
    ASSERT_EQ(BuildElementList(parser.get()), built);
    ASSERT_EQ(parser->GetNumberElements(), 1);
    CGraniteElement* root = static_cast<CGraniteElement*>(parser->GetElementList()->GetHead());
    CollectParts(root, velaMatrix4x4(), parts);
    ASSERT_FALSE(parts.empty());

    const long opened = kit.Calls(KCall::OpenFile);
    ASSERT_EQ(LoadAllParts(parser.get()), GRANITE_LOAD_SUCCESS);
    opens = kit.Calls(KCall::OpenFile) - opened;
    EXPECT_EQ(parser->GetCurrentPart(), static_cast<int>(parts.size()));
    EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
    EXPECT_EQ(parser->GetCurrentGroup(), group);
  }

  // Every occurrence shows its part, placed: the first vertex taken back
  // through the occurrence's placement is the same for every occurrence of a
  // (file, configuration) pair. Answers the number of distinct pairs.
  int CheckPlacements() {
    std::map<std::basic_string<WCHAR>, velaFloatPoint> local;
    int shown = 0;
    for (const Placed& p : parts) {
      C3DMGroup* g = p.element->GetGroup();
      shown += MeshesShown(g);
      velaFloatPoint world(0, 0, 0);
      EXPECT_TRUE(FirstPoint(g, world)) << "an occurrence shows nothing";
      const velaFloatPoint back = world * GetInverseMatrix(p.placement);
      const std::basic_string<WCHAR> key = std::basic_string<WCHAR>(p.element->GetFilename().GetWideString()) +
                                 WSTR("|") + p.element->GetConfigurationName().GetWideString();
      auto found = local.find(key);
      if (found == local.end()) {
        local.emplace(key, back);
        EXPECT_GT(Meshes(g), 0);  // the first occurrence holds the meshes itself
        continue;
      }
      EXPECT_TRUE(Near(back.x, found->second.x, 1e-2f) && Near(back.y, found->second.y, 1e-2f) &&
                  Near(back.z, found->second.z, 1e-2f));
      EXPECT_EQ(Meshes(g), 0);  // later ones show the first's group
      EXPECT_EQ(g->GetNumberChildren(), 1);
    }
    // The world reaches every mesh shown once per occurrence, no more.
    int visited = 0;
    world.Walk([&](const C3DMGroup&, const C3DMMesh&, const velaMatrix4x4&) { ++visited; });
    EXPECT_EQ(visited, shown);
    return static_cast<int>(local.size());
  }

  std::vector<Placed> parts;
  long opens = 0;
};

TEST_F(SampleModel, GearboxIsLoadedOncePerPartAndPlacedEverywhere) {
  Load("gearbox/gearbox.asm", GRANITE_LOAD_SUCCESS);
  const int distinct = CheckPlacements();
  EXPECT_EQ(opens, distinct);
  EXPECT_LT(distinct, static_cast<int>(parts.size()));  // bolts and balls repeat

  // Part colours: the housing's own colour is on its meshes.
  bool housing = false;
  for (const Placed& p : parts) {
    CBasicString name = p.element->GetFilename();
    name.MakeLower();
    if (name.Find(CBasicString("housing.prt"), 0) < 0) continue;
    housing = true;
    C3DMGroup* g = p.element->GetGroup();
    bool coloured = false;
    for (int i = 0; i < g->GetNumberMeshes(); ++i)
      coloured |= SameColor(g->GetMesh(i).color, velaChroma(0.33f, 0.37f, 0.42f, 1.0f));
    EXPECT_TRUE(coloured);
  }
  EXPECT_TRUE(housing);
}

TEST_F(SampleModel, FixtureWithAMissingReferenceLoadsTheRest) {
  Load("fixture/fixture.asm", GRANITE_LOAD_INCOMPLETE);
  const int distinct = CheckPlacements();
  EXPECT_EQ(opens, distinct);
}

}  // namespace
