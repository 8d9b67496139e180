// Bad input as the user meets it: granite-load run in process on an assembly
// that places one good part and one bad file. The user gets exit status 3
// ("loaded in part") with the kernel's reason, and the good part loaded all the
// same; the bad file opened on its own gives status 1 ("nothing could be
// loaded") with the same reason.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "gkit/testkit.h"
#include "main.h"

namespace {

struct Outcome {
  int status = -1;
  std::string err;
  nlohmann::json json;
};

Outcome Load(const std::string& path) {
  std::ostringstream out, err;
  Outcome r;
  r.status = gload::Run({"--quiet", "--json", path}, out, err);
  r.err = err.str();
  r.json = nlohmann::json::parse(out.str(), nullptr, false);
  return r;
}

const std::string kGood =
    "granite-native 1\npart\nunits mm\nprimary\n  solid box from 0 0 0 to 1 2 3 end\nend\n";

std::string Part(const std::string& body) {
  return "granite-native 1\npart\nunits mm\nprimary\n  " + body + "\nend\n";
}

std::string AssemblyOf(const std::string& bad) {
  return "granite-native 1\nassembly\nunits mm\ncomponent \"good.prt\" end\ncomponent \"" + bad +
         "\" translate 5 0 0 end\n";
}

// Status 3, the reason on standard error and in the summary, the good part there.
// A file that is not there leaves no element; one that fails to load counts as failed.
void ExpectOnlyTheBadPartLost(const Outcome& r, const std::string& reason, const std::string& what,
                              bool found = true) {
  EXPECT_EQ(r.status, 3) << what << "\n" << r.err;
  EXPECT_NE(r.err.find("loaded in part"), std::string::npos) << what << "\n" << r.err;
  EXPECT_NE(r.err.find(reason), std::string::npos) << what << "\n" << r.err;
  ASSERT_TRUE(r.json.is_object()) << what;
  EXPECT_EQ(r.json["status"], "incomplete") << what;
  EXPECT_EQ(r.json["counts"]["part_occurrences"], found ? 2 : 1) << what;
  EXPECT_EQ(r.json["counts"]["parts_tessellated"], 1) << what;
  EXPECT_EQ(r.json["counts"]["parts_failed"], found ? 1 : 0) << what;
  EXPECT_EQ(r.json["counts"]["triangles"], 12) << what;  // the good box
}

TEST(BadInput, EveryBadFileCostsOnlyItself) {
  gkit::Kit kit;
  kit.WriteFile("good.prt", kGood);
  struct Case {
    const char* what;
    std::string text;
    const char* reason;
  };
  // One of each kind; every reason the reader gives is in tests/kernel/reader_test.cpp.
  const std::vector<Case> cases = {
      {"empty file", "", "expected the header"},
      {"a PNG picture named .prt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
       ":1: unexpected byte 0x89"},
      {"a STEP file named .prt", "ISO-10303-21;\nHEADER;\nENDSEC;\n", "expected the header"},
      {"truncated native file", kGood.substr(0, 60), "expected"},
      {"coordinate beyond any model", Part("solid box from 0 0 0 to 1e300 1 1 end"), "too large"},
      {"huge tooth count", Part("solid gear teeth 2000000000 radius 1 2 height 0 1 end"), "teeth"},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string bad = "bad" + std::to_string(index) + ".prt";
    const std::string badPath = kit.WriteFile(bad, c.text);
    const std::string assembly =
        kit.WriteFile("top" + std::to_string(index++) + ".asm", AssemblyOf(bad));
    ExpectOnlyTheBadPartLost(Load(assembly), c.reason, c.what);

    Outcome alone = Load(badPath);
    EXPECT_EQ(alone.status, 1) << c.what << "\n" << alone.err;
    EXPECT_NE(alone.err.find("nothing could be loaded"), std::string::npos) << c.what << "\n"
                                                                            << alone.err;
    EXPECT_NE(alone.err.find(c.reason), std::string::npos) << c.what << "\n" << alone.err;
  }
  // A bad assembly gives nothing and says where.
  Outcome top = Load(kit.WriteFile("empty.asm", ""));
  EXPECT_EQ(top.status, 1) << top.err;
  EXPECT_NE(top.err.find("empty.asm:1: expected the header"), std::string::npos) << top.err;
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

#if !defined(_WIN32)  // Linux's permissions, errno texts and name limits
TEST(BadInput, FilesThatCannotBeReadCostOnlyThemselves) {
  gkit::Kit kit;
  kit.WriteFile("good.prt", kGood);
  ASSERT_EQ(::mkdir((kit.Directory() + "/folder.prt").c_str(), 0755), 0);
  const std::string tooLong = std::string(300, 'n') + ".prt";
  // Bytes that are no UTF-8. Names are held as UTF-16 text, where such bytes
  // become U+FFFD, so the name no longer matches the one on disk.
  const std::string odd = "\xff\xfe-odd.prt";
  const std::string oddPath = kit.WriteFile(odd, kGood);
  // A file without read permission (the superuser reads it anyway).
  ASSERT_EQ(::chmod(kit.WriteFile("locked.prt", kGood).c_str(), 0), 0);
  std::vector<std::string> unreachable = {"folder.prt", tooLong, "missing.prt", odd};
  if (::geteuid() != 0) unreachable.push_back("locked.prt");
  int index = 0;
  for (const std::string& name : unreachable)
    ExpectOnlyTheBadPartLost(
        Load(kit.WriteFile("top" + std::to_string(index++) + ".asm", AssemblyOf(name))), "", name,
        false);
  Outcome alone = Load(oddPath);
  EXPECT_EQ(alone.status, 1) << alone.err;
  EXPECT_NE(alone.err.find("nothing could be loaded: cannot open"), std::string::npos) << alone.err;
  EXPECT_EQ(alone.json["status"], "failed");
  // A long name that the disk allows (250 bytes).
  const std::string longName = std::string(246, 'l') + ".prt";
  kit.WriteFile(longName, kGood);
  alone = Load(kit.WriteFile("longok.asm", AssemblyOf(longName)));
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(alone.json["counts"]["parts_failed"], 0);
  ::chmod(kit.Path("locked.prt").c_str(), 0644);
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}
#endif

}  // namespace
