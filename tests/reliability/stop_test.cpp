// Stop requests at each phase of a load, made from the kernel's own progress
// reports so that they land exactly: every stopped load must end as sound as
// a faulted one (the sweep's checks), say why it ended, and leave nothing
// behind that changes the next load.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "gBase90/kprogress.h"
#include "gkit/testkit.h"
#include "gkit/host_run.h"

namespace {

struct StopAt {
  bool before;  // asked before the load starts
  KPhase phase;
  long nth;     // the nth report of phase
  long seen = 0;
  bool asked = false;
};

void Ask(StopAt& at) {
  at.asked = true;
  KRequestStop(true);
  CGraniteParser::RequestStop(true);
}

void Observe(void* context, KPhase phase, double, double) {
  StopAt& at = *static_cast<StopAt*>(context);
  if (!at.asked && phase == at.phase && ++at.seen == at.nth) Ask(at);
}

// A part of a few thousand triangles (more tokens than the reader reads
// between two looks at the request) and some analytic faces.
std::string NativePart(int n) {
  std::string text = "granite-native 1\npart\nprimary\n  triangles";
  for (int i = 0; i < 40; ++i)
    for (int j = 0; j < 30; ++j)
      text += "\n " + std::to_string(i) + " " + std::to_string(j) + " 0 " + std::to_string(i + 1) +
              " " + std::to_string(j) + " 0 " + std::to_string(i) + " " + std::to_string(j + 1) +
              " 0";
  text += "\n  end\n  sphere radius 3 translate 0 0 " + std::to_string(5 + n) + " end\n";
  text += "  cylinder radius 2 height 0 9 color 0.2 0.3 0.9 end\nend\n";
  return text;
}

std::string NativeModel(gkit::Kit& kit) {
  std::string assembly = "granite-native 1\nassembly\n";
  for (int p = 0; p < 4; ++p) {
    kit.WriteFile("p" + std::to_string(p) + ".prt", NativePart(p));
    assembly += "component \"p" + std::to_string(p) + ".prt\" translate " +
                std::to_string(50 * p) + " 0 0 end\n";
  }
  return kit.WriteFile("top.asm", assembly);
}

const std::string kStep = std::string(GRANITE_DATA_DIR) + "/real/as1-oc-214.stp";

reliability::Outcome Load(const std::string& path, const std::vector<velaChroma>& allowed,
                          StopAt* at) {
  KRequestStop(false);
  CGraniteParser::RequestStop(false);
  KFlushModelCache();  // every load reads its files
  KSetProgressObserver(at ? &Observe : nullptr, at);
  if (at && at->before) Ask(*at);
  reliability::Outcome outcome = reliability::RunHost(path, allowed);
  KSetProgressObserver(nullptr, nullptr);
  KRequestStop(false);
  CGraniteParser::RequestStop(false);
  return outcome;
}

TEST(Stop, AtEveryPhaseTheLoadEndsSoundAndTheNextLoadIsWhole) {
  // The result the host sees: ParsePart catches the kernel's exception (its
  // 1 becomes 3 in LoadAllParts); a stop outside it reaches the host (-1).
  struct Row {
    const char* name;
    bool step;
    StopAt at;
    int result;
  };
  const Row rows[] = {
      {"STEP, before the load", true, {true, KPhase::Reading, 0}, -1},
      {"STEP, reading", true, {false, KPhase::Reading, 2}, 1},
      {"STEP, transferring", true, {false, KPhase::Transferring, 20}, 1},
      {"STEP, meshing", true, {false, KPhase::Meshing, 5}, 1},
      {"native, before the load", false, {true, KPhase::Reading, 0}, -1},
      {"native, reading", false, {false, KPhase::Reading, 2}, -1},
      {"native, meshing", false, {false, KPhase::Meshing, 4}, 3},
  };
  struct stat st;
  const bool haveStep = GRANITE_WITH_OCCT && stat(kStep.c_str(), &st) == 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.step && !haveStep) continue;
    gkit::Kit kit;
    const std::string path = row.step ? kStep : NativeModel(kit);
    const reliability::Outcome whole = Load(path, {}, nullptr);
    ASSERT_EQ(whole.fault, "");
    ASSERT_GT(whole.meshes, 0);
    std::vector<velaChroma> allowed = whole.colors;
    allowed.push_back(whole.finalColor);

    StopAt at = row.at;
    const reliability::Outcome stopped = Load(path, allowed, &at);
    EXPECT_TRUE(at.asked) << "the phase never came";
    EXPECT_EQ(stopped.fault, "");
    EXPECT_LT(stopped.meshes, whole.meshes);
    EXPECT_STREQ(KGetLastError(), "interrupted");
    EXPECT_EQ(stopped.threw ? -1 : stopped.result, row.result);

    const reliability::Outcome again = Load(path, allowed, nullptr);
    EXPECT_EQ(again.fault, "");
    EXPECT_EQ(again.meshes, whole.meshes);
    EXPECT_EQ(again.triangles, whole.triangles);
    kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0);
  }
}

}  // namespace
