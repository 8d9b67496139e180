// The sample models load in the kernel alone, walked through its interface.
#include <dirent.h>

#include "helpers.h"

namespace {

using namespace ktest;
using Examples = KitTest;

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";

xrchandle<KModel> DefinitionAt(const xrchandle<KModel>& assembly, size_t index) {
  return Definition(Components(assembly).at(index));
}

TEST_F(Examples, GearboxWalksCompletelyThroughTheKernel) {
  // The loader hands the kernel lower-cased paths.
  xrchandle<KModel> top = OpenModel(kExamples + "gearbox/GEARBOX.ASM");
  ASSERT_TRUE(KAssembly::cast(top.get())) << KGetLastError();
  KClearLastError();
  WalkCount count;
  Walk(top, count);
  EXPECT_STREQ(KGetLastError(), "");  // every definition was found
  // Top, two shafts, four bearings (two of them the bearing_large instance).
  EXPECT_EQ(count.assemblies, 7);
  EXPECT_EQ(count.parts, 16 + 3 + 2 * 11 + 2 + 2 * 13);
  EXPECT_GT(count.faces, 500);
  EXPECT_GT(count.colouredFaces, 20);
  EXPECT_GT(count.triangles, 10000);
  // Configurations resolve to their instance files, spelt in any case on disk.
  EXPECT_EQ(FirstColour(*KPartModel::cast(DefinitionAt(top, 12).get())),
            (std::vector<double>{0.3, 0.3, 0.33}));
  EXPECT_EQ(Components(DefinitionAt(DefinitionAt(top, 3), 2)).size(), 13u);  // balls and race
  // The exact box of the whole gearbox, every component placed; the breather on the cover on top.
  xrchandle<KBox3D> box;
  KAssembly::cast(top.get())->GetModelBox(box);
  const KVec3 lo = box->Min(), hi = box->Max();
  const double expected[6] = {-45, -45, -30, 165, 138, 147},
               got[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], expected[k], 1e-9) << k;
}

TEST_F(Examples, FixtureMissesExactlyItsClamp) {
  xrchandle<KModel> top = OpenModel(kExamples + "fixture/fixture.asm");
  ASSERT_TRUE(top) << KGetLastError();
  std::vector<std::string> missing;
  for (const xrchandle<KComponent>& c : Components(top)) {
    xstring name;
    c->GetReferencedFileName(name);
    if (!Definition(c)) missing.push_back(name.GetNarrow());
  }
  EXPECT_EQ(missing, std::vector<std::string>{"clamp.prt"});
  EXPECT_NE(std::string(KGetLastError()).find("clamp.prt"), std::string::npos);
}

// Every sample file reads, and every part's root component sits at identity
// (reusing a native part relies on it).
TEST_F(Examples, EverySampleFileReadsAndPartsSitAtIdentity) {
  int files = 0;
  for (const char* sample : {"gearbox", "fixture"}) {
    DIR* dir = ::opendir((kExamples + sample).c_str());
    ASSERT_NE(dir, nullptr);
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name[0] == '.' || name == "README.md") continue;
      xrchandle<KSession> session;
      KGetSession(session);
      xrchandle<KFile> file;
      session->OpenFile((kExamples + sample + "/" + name).c_str(), file);
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
}

}  // namespace
