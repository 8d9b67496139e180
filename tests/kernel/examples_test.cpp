// Every sample model file reads in the kernel alone, and every part's root
// component sits at identity (reusing a native part relies on it). What the
// samples load into is checked by the loader's tests.
#include <dirent.h>

#include "helpers.h"

namespace {

using namespace ktest;
using Examples = KitTest;

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";

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
