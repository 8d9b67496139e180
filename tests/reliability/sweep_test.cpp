// The fault-injection sweep: every sample model is loaded once to count its
// kernel calls, then again with each call k in turn answering null, and again
// with it throwing. Every run must end sound: a result of 0, 1 or 3 (or a
// kernel exception handed to the host), nothing of the kernel left alive, the
// matrix stack empty, the host's group current, the colour one the load may
// leave, and a consistent scene.
//
// Large models are swept at up to kBudget calls per fault, spread over the
// whole run; GRANITE_SWEEP_ALL=1 sweeps every call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gBase90/kprogress.h"
#include "gkit/host_run.h"
#include "gkit/testkit.h"

namespace {

const long kBudget = 150;

const char* const kBlock = R"(granite-native 1
part
color 0.8 0.2 0.1
primary
  solid box from 0 0 0 to 10 10 10 end
  cylinder radius 3 height 10 14 color 0.1 0.9 0.1 end
end
item
  sphere radius 2 translate 5 5 20 end
end
)";

// A sample model: the files it writes into the kit's folder, the last one
// loaded; or, with none, a sample of the examples folder.
struct SampleModel {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;

  std::string Prepare(gkit::Kit& kit) const {
    if (files.empty()) return std::string(GRANITE_SOURCE_DIR) + "/examples/" + name;
    for (const auto& f : files) kit.WriteFile(f.first, f.second);
    return kit.Path(files.back().first);
  }
};

const SampleModel kModels[] = {
    {"gearbox/gearbox.asm", {}},
    {"fixture/fixture.asm", {}},
    // A part loaded alone, through ParsePart.
    {"single part", {{"block.prt", kBlock}}},
    // Occurrences of one part, a configuration's instance file, a sub-assembly
    // and a missing reference.
    {"instances",
     {{"block.prt", kBlock},
      {"small.xpr", "granite-native 1\npart\nprimary solid box from 0 0 0 to 1 1 1 end end\n"},
      {"sub.asm",
       "granite-native 1\nassembly\ncomponent \"block.prt\" translate 0 0 30 end\n"
       "component \"block.prt\" config \"small\" rotate 0 0 1 90 end\n"},
      {"top.asm",
       "granite-native 1\nassembly\ncomponent \"block.prt\" end\n"
       "component \"BLOCK.PRT\" translate 20 0 0 end\n"
       "component \"sub.asm\" translate 0 40 0 end\ncomponent \"missing.prt\" end\n"}}},
    // An assembly that refers to itself.
    {"cycle",
     {{"block.prt", kBlock},
      {"loop.asm",
       "granite-native 1\nassembly\ncomponent \"block.prt\" end\n"
       "component \"loop.asm\" translate 0 0 50 end\n"}}},
};

// The colours written by every file beside path.
std::vector<velaChroma> ColorsOfFolder(const std::string& path) {
  std::vector<velaChroma> colors;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    for (const velaChroma& c : reliability::ColorsInText({std::istreambuf_iterator<char>(in), {}}))
      colors.push_back(c);
  }
  return colors;
}

// Every call, or kBudget of them from the first to the last.
std::vector<long> CallsToFail(long calls) {
  const char* all = std::getenv("GRANITE_SWEEP_ALL");
  const long n = all && *all == '1' ? calls : std::min(calls, kBudget);
  std::vector<long> ks;
  for (long i = 0; i < n; ++i) ks.push_back(n == 1 ? 1 : 1 + i * (calls - 1) / (n - 1));
  return ks;
}

TEST(FaultSweep, EveryInjectedFaultEndsSound) {
  long injected = 0, survived = 0;
  // Also written to the build folder, where scripts/test shows it.
  std::ofstream summary(std::string(GRANITE_BINARY_DIR) + "/fault-sweep.txt");
  const auto report = [&summary](const std::string& line) {
    std::printf("%s\n", line.c_str());
    summary << line << "\n";
  };
  for (const SampleModel& model : kModels) {
    SCOPED_TRACE(model.name);
    long calls = 0;
    reliability::Outcome reference;
    std::vector<velaChroma> written;
    {
      gkit::Kit kit;
      const std::string path = model.Prepare(kit);
      written = ColorsOfFolder(path);
      reference = reliability::RunHost(path, {});
      calls = kit.TotalCalls();
      kit.Release();
    }
    ASSERT_EQ(reference.fault, "") << "without faults";
    ASSERT_FALSE(reference.threw);
    ASSERT_EQ(gkit::LiveObjects(), 0) << "without faults";
    ASSERT_GT(calls, 0);
    // The colours the fault-free load applied, and every colour the files
    // write (a part's colour stays current after it even without meshes).
    std::vector<velaChroma> allowed = reference.colors;
    allowed.push_back(reference.finalColor);
    allowed.insert(allowed.end(), written.begin(), written.end());

    long modelInjected = 0, modelSurvived = 0;
    for (KFault fault : {KFault::Null, KFault::Throw}) {
      for (long k : CallsToFail(calls)) {
        gkit::Kit kit;
        const std::string path = model.Prepare(kit);
        kit.FailNth(k, fault);
        const reliability::Outcome outcome = reliability::RunHost(path, allowed);
        kit.Release();
        ++modelInjected;
        const int live = gkit::LiveObjects();
        if (outcome.fault.empty() && live == 0) {
          ++modelSurvived;
          continue;
        }
        ADD_FAILURE() << (fault == KFault::Null ? "null" : "throw") << " at call " << k << " of "
                      << calls << ": "
                      << (outcome.fault.empty() ? "kernel objects left alive" : outcome.fault)
                      << " (result " << outcome.result << ", live " << live << ")";
        break;  // one report per model and fault is enough
      }
    }
    report("fault sweep: " + model.name + ": " + std::to_string(calls) + " kernel calls, result " +
           std::to_string(reference.result) + "; " + std::to_string(modelSurvived) + " of " +
           std::to_string(modelInjected) + " injected faults survived");
    injected += modelInjected;
    survived += modelSurvived;
  }
  report("fault sweep: " + std::to_string(survived) + " of " + std::to_string(injected) +
         " injected faults survived");
  EXPECT_EQ(survived, injected);
}

// Stop requests at each phase of a load, made from the kernel's own progress
// reports so that they land exactly: every stopped load must end as sound as
// a faulted one (the sweep's checks), say why it ended, and leave nothing
// behind that changes the next load.

struct StopAt {
  bool before;  // asked before the load starts
  KPhase phase;
  long nth;  // the nth report of phase
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

// A part of a thousand triangles (more tokens than the reader reads between
// two looks at the request) and some analytic faces.
std::string NativePart(int n) {
  std::string text = "granite-native 1\npart\nprimary\n  triangles";
  for (int z = 0; z < 1200; ++z)
    text +=
        "\n 0 0 " + std::to_string(z) + " 1 0 " + std::to_string(z) + " 0 1 " + std::to_string(z);
  text += "\n  end\n  sphere radius 3 translate 0 0 " + std::to_string(5 + n) + " end\n";
  text += "  cylinder radius 2 height 0 9 color 0.2 0.3 0.9 end\nend\n";
  return text;
}

std::string NativeModel(gkit::Kit& kit) {
  std::string assembly = "granite-native 1\nassembly\n";
  for (int p = 0; p < 4; ++p) {
    kit.WriteFile("p" + std::to_string(p) + ".prt", NativePart(p));
    assembly += "component \"p" + std::to_string(p) + ".prt\" translate " + std::to_string(50 * p) +
                " 0 0 end\n";
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
