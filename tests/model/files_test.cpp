// Where a referenced file is looked for, and what is recorded of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "granite/CGraniteElement.h"
#include "files/Files.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "qorvelaex/C3DMScene.h"

namespace {

namespace fs = std::filesystem;

std::string Narrow(CBasicString s) {
  return s.GetMultiByte();
}

struct CallbackLog {
  std::vector<std::string> names, directories;
  std::string answer;
};
CallbackLog g_log;

int SupportFile(CBasicString name, CBasicString directory, CBasicString& found) {
  g_log.names.push_back(Narrow(name));
  g_log.directories.push_back(Narrow(directory));
  if (g_log.answer.empty()) return 0;
  found = CBasicString(g_log.answer.c_str());
  return 1;
}

class ResolvedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // Absolute as the sibling makes the folders it searches ("z:/tmp/..." on
    // Windows), in lower case as the parser keeps the model's name.
    root = fs::absolute("/tmp/granite_model_files_" + std::to_string(getpid())).generic_string();
    for (char& c : root) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* f : {"models/gear.prt", "models/sub/bolt.prt", "install/gear.prt",
                          "install/washer.prt", "extra/nut.prt", "extra/nut_m6.XPR"}) {
      fs::create_directories(fs::path(root + "/" + f).parent_path());
      std::ofstream(root + "/" + f) << "x";
    }
    // Upper case in the model name: the parser keeps it lower-cased, and the
    // search still finds the directory.
    parser.SetFilename(CBasicString((root + "/models/Assy.ASM").c_str()));
    parser.SetInstallationDirectory(CBasicString((root + "/install").c_str()));
    g_log = CallbackLog();
  }
  void TearDown() override { fs::remove_all(root); }

  std::string Resolve(const std::string& name) {
    return Narrow(parser.GetResolvedFilename(CBasicString(name.c_str())));
  }

  std::string root;
  CGraniteParser parser;
};

TEST_F(ResolvedFiles, SearchesBesideTheModelThenTheInstallationThenTheHost) {
  EXPECT_EQ(Resolve(root + "/install/gear.prt"), root + "/install/gear.prt");  // exists as given
  EXPECT_EQ(Resolve("gear.prt"), root + "/models/gear.prt");  // beside the model first
  EXPECT_EQ(Resolve("sub\\bolt.prt"), root + "/models/sub/bolt.prt");
  EXPECT_EQ(Resolve("C:\\elsewhere\\washer.prt"), root + "/install/washer.prt");
  EXPECT_TRUE(g_log.names.empty());

  parser.SetGetSupportFilePtr(&SupportFile);
  g_log.answer = root + "/extra/nut.prt";
  EXPECT_EQ(Resolve("nut.prt"), root + "/extra/nut.prt");
  ASSERT_EQ(g_log.names.size(), 1u);
  EXPECT_EQ(g_log.names[0], "nut.prt");
  EXPECT_EQ(g_log.directories[0], root + "/models");
  // A configuration's instance file lies beside what the host answers for its name.
  g_log.answer = root + "/extra/nut_m6";
  g_CurrentParser = &parser;
  CBasicString instance;
  EXPECT_TRUE(ResolveReferencedFile(CBasicString("nut_m6"), &instance));
  EXPECT_EQ(Narrow(instance), root + "/extra/nut_m6.XPR");
  g_CurrentParser = nullptr;

  // Not found anywhere: where it was expected beside the model, never an empty name.
  g_log.answer.clear();
  EXPECT_EQ(Resolve("none.prt"), root + "/models/none.prt");
  EXPECT_EQ(Resolve(""), "");
}

TEST_F(ResolvedFiles, EachNameIsSearchedAndRecordedOnce) {
  parser.SetGetSupportFilePtr(&SupportFile);
  const std::string found = Resolve("gear.prt");
  EXPECT_EQ(Resolve("gear.prt"), found);
  const std::string none = root + "/models/none.prt";
  EXPECT_EQ(Resolve("none.prt"), none);
  EXPECT_EQ(Resolve("none.prt"), none);
  EXPECT_EQ(g_log.names.size(), 1u);  // the host was asked once in this load
  ASSERT_EQ(parser.GetNumberResolvedFiles(), 1);  // what was not found is not recorded
  auto* entry = static_cast<CGraniteResolvedFileEntry*>(parser.GetResolvedFilesList()->GetAt(0));
  EXPECT_EQ(Narrow(entry->GetOriginalFilename()), "gear.prt");
  EXPECT_EQ(Narrow(entry->GetResolvedFilename()), found);

  // The next load (a new root) looks for a missing name again.
  std::ofstream(none) << "x";
  EXPECT_EQ(Resolve("none.prt"), none);
  EXPECT_EQ(g_log.names.size(), 1u);
  C3DMWorld world;
  parser.SetWorld(&world);
  parser.AddElementToList(parser.CreateElement(CBasicString("a"), CBasicString("a")));
  EXPECT_EQ(Resolve("none.prt"), none);
  EXPECT_EQ(parser.GetNumberResolvedFiles(), 2);

  // A path it produced comes back unchanged (a search prefix is not added twice).
  EXPECT_EQ(Resolve(found), found);
  EXPECT_EQ(Resolve(found + ".XPR"), found + ".XPR");

  // A copy answers from its own list; another model file searches afresh.
  CGraniteParser copy(parser);
  EXPECT_EQ(Narrow(copy.GetResolvedFilename(CBasicString("gear.prt"))), found);
  EXPECT_EQ(copy.GetNumberResolvedFiles(), parser.GetNumberResolvedFiles());
  parser.SetFilename(CBasicString((root + "/extra/top.asm").c_str()));
  EXPECT_EQ(Resolve("nut.prt"), root + "/extra/nut.prt");
  EXPECT_EQ(Resolve("gear.prt"), root + "/install/gear.prt");
}

}  // namespace
