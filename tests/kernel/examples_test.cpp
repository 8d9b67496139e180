// The sample models load in the kernel alone, walked through its interface.
#include <dirent.h>
#include <gtest/gtest.h>

#include "helpers.h"

namespace {

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";

xrchandle<KComponent> ComponentAt(const xrchandle<KAssembly>& assembly, int index) {
  xrchandle<KComponentSequence> components;
  assembly->GetComponents(components);
  xrchandle<KComponent> c;
  components->GetAt(index, c);
  return c;
}

TEST(Examples, GearboxWalksCompletelyThroughTheKernel) {
  gkit::Kit kit;
  {
    // The loader hands the kernel lower-cased paths.
    xrchandle<KModel> model = ktest::OpenModel(kExamples + "gearbox/GEARBOX.ASM");
    ASSERT_TRUE(model) << KGetLastError();
    xrchandle<KAssembly> top(KAssembly::cast(model.get()));
    ASSERT_TRUE(top);
    KClearLastError();
    ktest::WalkCount count;
    ktest::Walk(model, count);
    EXPECT_STREQ(KGetLastError(), "");  // every definition was found
    // Top, two shafts, four bearings (two of them the bearing_large instance).
    EXPECT_EQ(count.assemblies, 7);
    EXPECT_EQ(count.parts, 16 + 3 + 2 * 11 + 2 + 2 * 13);
    EXPECT_GT(count.faces, 500);
    EXPECT_GT(count.colouredFaces, 20);
    EXPECT_GT(count.triangles, 10000);

    // Configurations resolve to their instance files, spelt in any case on disk.
    xrchandle<KModel> m8;
    ComponentAt(top, 12)->GetDefinition(m8);
    EXPECT_EQ(ktest::FirstColor(xrchandle<KPartModel>(KPartModel::cast(m8.get()))),
              (std::vector<double>{0.3, 0.3, 0.33}));
    xrchandle<KModel> output, bearing;
    ComponentAt(top, 3)->GetDefinition(output);
    ComponentAt(xrchandle<KAssembly>(KAssembly::cast(output.get())), 2)->GetDefinition(bearing);
    xrchandle<KComponentSequence> balls;
    KAssembly::cast(bearing.get())->GetComponents(balls);
    EXPECT_EQ(balls->GetCount(), 13);

    // The exact box of the whole gearbox, every component placed.
    xrchandle<KBox3D> box;
    top->GetModelBox(box);
    KVec3 lo = ktest::Corner(box, false), hi = ktest::Corner(box, true);
    EXPECT_NEAR(lo.x, -45, 1e-9);
    EXPECT_NEAR(hi.x, 165, 1e-9);
    EXPECT_NEAR(lo.y, -45, 1e-9);
    EXPECT_NEAR(hi.y, 138, 1e-9);
    EXPECT_NEAR(lo.z, -30, 1e-9);
    EXPECT_NEAR(hi.z, 147, 1e-9);  // the breather on the cover
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(Examples, FixtureMissesExactlyItsClamp) {
  gkit::Kit kit;
  {
    xrchandle<KModel> model = ktest::OpenModel(kExamples + "fixture/fixture.asm");
    ASSERT_TRUE(model) << KGetLastError();
    xrchandle<KAssembly> top(KAssembly::cast(model.get()));
    xrchandle<KComponentSequence> components;
    top->GetComponents(components);
    std::vector<std::string> missing;
    for (int i = 0; i < components->GetCount(); ++i) {
      xrchandle<KComponent> c;
      components->GetAt(i, c);
      xrchandle<KModel> definition;
      c->GetDefinition(definition);
      xstring name;
      c->GetReferencedFileName(name);
      if (!definition) missing.push_back(name.GetNarrow());
    }
    EXPECT_EQ(missing, std::vector<std::string>{"clamp.prt"});
    EXPECT_NE(std::string(KGetLastError()).find("clamp.prt"), std::string::npos);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

// Every sample file reads, and every part's root component sits at identity
// (reusing a native part relies on it).
TEST(Examples, EverySampleFileReadsAndPartsSitAtIdentity) {
  gkit::Kit kit;
  int files = 0;
  for (const char* sample : {"gearbox", "fixture"}) {
    DIR* dir = ::opendir((kExamples + sample).c_str());
    ASSERT_NE(dir, nullptr);
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name[0] == '.' || name == "README.md") continue;
      std::string path = kExamples + sample + "/" + name;
      xrchandle<KSession> session;
      KGetSession(session);
      xrchandle<KFile> file;
      session->OpenFile(path.c_str(), file);
      ASSERT_TRUE(file) << KGetLastError();
      xrchandle<KComponent> root;
      session->GetRootComponent(file, 1, root);
      file->Close();
      xrchandle<KMatrix3D> placement;
      root->GetPlacement(placement);
      for (int k = 0; k < 16; ++k) EXPECT_EQ(placement->Get(k / 4, k % 4), k % 5 == 0 ? 1 : 0);
      ++files;
    }
    ::closedir(dir);
  }
  EXPECT_EQ(files, 24);
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
