// granite-load as a user meets it: the program run on the samples and on
// broken input, its exit statuses, messages, JSON summary and files; and in
// process where a kernel fault or a Ctrl-C has to arrive mid-load.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "export/Raster.h"
#include "gkit/testkit.h"
#include "main.h"

// gltf_test.cpp
void ExpectValid(const std::string& file);
std::string Bytes(const std::string& file);

namespace {

using Json = nlohmann::json;

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";
const std::string kOut = std::string(GRANITE_BINARY_DIR) + "/tests/granite_load/";

// The gearbox: the root, six sub-assemblies and 69 part occurrences, of which
// the distinct file and configuration pairs are tessellated.
constexpr int kGearboxElements = 76;
constexpr int kGearboxParts = 69;
constexpr int kGearboxTessellated = 14;

struct Outcome {
  int status = -1;
  std::string out, err;
  Json json;
};

// Runs the program with its standard error not a terminal.
Outcome Program(const std::string& args, const std::string& before = "") {
  Outcome o;
  // Tests run in parallel processes: each its own file for standard error.
  const std::string errFile = kOut + "stderr-" + std::to_string(getpid()) + ".txt";
  const std::string command = before + "'" + GRANITE_LOAD_EXE + "' " + args + " 2>'" + errFile + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return o;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) o.out.append(chunk, n);
  const int status = pclose(pipe);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.err = Bytes(errFile);
  if (args.find("--json") != std::string::npos) o.json = Json::parse(o.out, nullptr, false);
  return o;
}

std::string Write(const std::string& name, const std::string& text) {
  const std::string path = kOut + name;
  std::ofstream(path) << text;
  return path;
}

// Without a file the sample, the gearbox, is loaded and written: the glTF file
// where it goes by default, the picture where --png says.
TEST(Program, GearboxLoadsInFullAndExportsBoth) {
  const std::string dir = kOut + "sample-run", png = kOut + "gearbox.png";
  ::mkdir(dir.c_str(), 0777);
  std::remove(png.c_str());
  const Outcome o = Program("--json --size 400x300 --png '" + png + "'", "cd '" + dir + "' && ");
  ASSERT_EQ(o.status, 0) << o.err << o.out;
  ASSERT_FALSE(o.json.is_discarded()) << o.out;
  EXPECT_EQ(o.err, "");  // no bar when standard error is no terminal
  const Json& j = o.json;
  EXPECT_EQ(j["status"], "complete");
  EXPECT_EQ(j["format"], "assembly");
  EXPECT_EQ(j["units"], "mm");
  const Json& c = j["counts"];
  EXPECT_EQ(c["elements"], kGearboxElements);
  EXPECT_EQ(c["part_occurrences"], kGearboxParts);
  EXPECT_EQ(c["parts_tessellated"], kGearboxTessellated);
  EXPECT_EQ(c["reused_occurrences"], int(c["part_occurrences"]) - int(c["parts_tessellated"]));
  EXPECT_EQ(c["parts_failed"], 0);
  EXPECT_GT(c["triangles"], 10000);
  EXPECT_GT(c["triangles_drawn"], c["triangles"]);
  // The model box: the housing's feet to the breather on the cover.
  EXPECT_NEAR(j["box"]["min"][0], -45, 1e-3);
  EXPECT_NEAR(j["box"]["max"][0], 165, 1e-3);
  EXPECT_NEAR(j["box"]["min"][2], -30, 1e-3);
  EXPECT_NEAR(j["box"]["max"][2], 147, 1e-3);
  // The tree: as many parts as counted; a configuration names its element
  // and a configured assembly is its instance file.
  ASSERT_EQ(j["tree"].size(), 1u);
  const Json& root = j["tree"][0];
  EXPECT_EQ(root["type"], "assembly");
  ASSERT_EQ(root["children"].size(), 18u);
  std::function<int(const Json&)> parts = [&](const Json& n) {
    int k = n["type"] == "part";
    for (const Json& child : n["children"]) k += parts(child);
    return k;
  };
  EXPECT_EQ(parts(root), kGearboxParts);
  EXPECT_EQ(root["children"][2]["name"], "input_shaft.asm");
  const Json& large = root["children"][3]["children"][2];
  EXPECT_EQ(large["name"], "bearing_large");
  EXPECT_NE(large["file"].get<std::string>().find("/bearing_large.XAS"), std::string::npos) << large["file"];
  EXPECT_EQ(large["children"].size(), 13u);
  EXPECT_EQ(root["children"][12]["name"], "bolt_m8");
  EXPECT_TRUE(j["phases"].contains("build_element_list_ms"));
  EXPECT_TRUE(j["phases"].contains("load_all_parts_ms"));

  ExpectValid(dir + "/out/sample.glb");
  EXPECT_EQ(j["outputs"]["gltf"]["meshes"], c["parts_tessellated"]);
  gload::Image image;
  std::string error;
  ASSERT_TRUE(gload::ReadPng(png, &image, &error)) << error;
  EXPECT_EQ(image.width, 400);
  EXPECT_EQ(image.height, 300);
}

std::string Copy(const std::string& from, const std::string& name) { return Write(name, Bytes(from)); }

// Exit statuses and what the user is told: every piece of said on standard
// error, or on standard output for a status 0 without --json; with --json the
// summary's status agrees.
TEST(Program, StatusesAndWhatTheUserIsTold) {
  const std::string gearbox = "'" + kExamples + "gearbox/gearbox.asm'", real = std::string(GRANITE_DATA_DIR) + "/real/";
  // An assembly in a folder named beyond ASCII whose part lies in another
  // folder, spelt in another case.
  ::mkdir((kOut + "Ordner-ä").c_str(), 0777);
  ::mkdir((kOut + "Ordner-ä/parts").c_str(), 0777);
  const std::string named = Write("Ordner-ä/Getriebe-ä.asm", "granite-native 1\nassembly\ncomponent \"zahnrad-Ø12.prt\" end\n"
                                                              "component \"zahnrad-Ø12.prt\" translate 0 0 10 end\n");
  Write("Ordner-ä/parts/Zahnrad-Ø12.PRT", "granite-native 1\npart\nprimary solid tube radius 10 6 height 0 4 end end\n");
  struct Row {
    std::string args;
    int status;
    std::vector<std::string> said;
  };
  std::vector<Row> rows = {
      {gearbox, 0, {"├─ ", "[bolt_m8]", "units               mm", "reused occurrences", "load all parts"}},
      {"--json '" + kExamples + "fixture/fixture.asm'", 3, {"loaded in part"}},
      {"'" + kOut + "no such file.asm'", 1, {"no such file.asm: No such file or directory"}},
      {"'" + Write("notes.txt", "hello") + "'", 1, {"unknown format"}},
      {"'" + kOut + "'", 1, {"is a folder"}},
      {"--frobnicate", 2, {"granite-load: "}},
      {"--resolution ultra", 2, {"granite-load: "}},
      {"a.asm b.asm", 2, {"granite-load: "}},
      {"--gltf", 2, {"granite-load: "}},
      {"--size 10", 2, {"granite-load: "}},
      // A picture beyond the renderer's limit is refused before anything loads.
      {"--size 8192x8192 " + gearbox, 2, {"--size 8192x8192 is too large"}},
      {"--help", 0, {"--gltf OUT.glb"}},
      {"--version", 0, {"granite-load "}},
      // A file the kernel cannot read: its reason, with file and line.
      {"--json '" + Write("broken.asm", "granite-native 1\nassembly\ncomponent 12 end\n") + "'", 1, {"broken.asm:3:"}},
      {"--gltf '" + kOut + "no/such/folder/x.glb' '" + kExamples + "gearbox/Wheel.prt'", 1,
       {"cannot write the glTF file"}},
      {"--json '" + named + "'", 1, {}},
      {"--json --search '" + kOut + "nowhere' --search '" + kOut + "Ordner-ä/parts' --gltf '" + kOut + "names.glb' '" + named + "'", 0, {}},
      {"--codepage 7 x.stp", 2, {"--codepage takes"}},
      {"--json --compress --gltf '" + kOut + "wheel.glb' '" + kExamples + "gearbox/Wheel.prt'", 0, {}},
  };
  struct stat st;
  if (::stat(real.c_str(), &st) == 0) {
    // A multi-file STEP assembly with one referenced file gone.
    ::mkdir((kOut + "s1").c_str(), 0777);
    for (const char* f : {"s1-c5-214.stp", "TAIL.stp", "TAIL_TURBINE.stp", "TAIL_MIDDLE_PART.stp", "HEAD.stp",
                          "HEAD_BACK.stp", "MAINBODY.stp", "MAINBODY_FRONT.stp", "MAINBODY_BACK.stp", "FOOT.stp",
                          "FOOT_FRONT_000.stp", "FOOT_BACK_000.stp"})
      Copy(real + "s1-c5-214/" + f, std::string("s1/") + f);
    std::remove((kOut + "s1/HEAD_FRONT.stp").c_str());
    // Case twins: the loader hands the kernel lower-cased names.
    Copy(real + "io1-cm-214.stp", "Twin.stp");
    Copy(real + "io1-cm-214.stp", "twin.stp");
    rows.push_back({"--json '" + kOut + "s1/s1-c5-214.stp'", 3, {"cannot find 'HEAD_FRONT.stp' in '"}});
    rows.push_back({"--json --search '" + real + "s1-c5-214' '" + kOut + "s1/s1-c5-214.stp'", 0, {}});
    rows.push_back({"--json '" + Copy(real + "io1-cm-214.stp", "step.igs") + "'", 1, {"holds STEP, not IGES"}});
    rows.push_back({"--json '" + kOut + "Twin.stp'", 1, {"differ only in letter case"}});
    // One part: counted as tessellated, shown under its own name.
    rows.push_back({"'" + real + "BIGES.igs'", 0, {"BIGES.igs  part  " + real + "BIGES.igs\n", "parts tessellated   1"}});
  }
  const char* const statuses[] = {"complete", "failed", "", "incomplete"};
  std::vector<Outcome> got;
  for (const Row& row : rows) {
    got.push_back(Program(row.args));
    const Outcome& o = got.back();
    EXPECT_EQ(o.status, row.status) << row.args << "\n" << o.err;
    const std::string& told = row.status == 0 && !o.json.is_object() ? o.out : o.err;
    for (const std::string& said : row.said) EXPECT_NE(told.find(said), std::string::npos) << row.args << "\n" << told;
    EXPECT_TRUE(row.status != 0 || o.json.is_object() || o.out.find("parts not loaded") == std::string::npos);
    if (o.json.is_object()) {
      EXPECT_EQ(o.json["status"], statuses[row.status]) << row.args;
      EXPECT_EQ(o.json["exit_status"], row.status) << row.args;
    }
  }
  // Found in the search folder: two occurrences, one tessellated.
  const Json& found = got[16].json["counts"];
  EXPECT_EQ(found["part_occurrences"], 2);
  EXPECT_EQ(found["parts_tessellated"], 1);
  EXPECT_EQ(found["reused_occurrences"], 1);
  EXPECT_GT(got[1].json["counts"]["meshes"], 0);  // the fixture without its clamp
  // One part through ParsePart, compressed: one mesh.
  const Json& wheel = got[18].json;
  EXPECT_EQ(wheel["format"], "part");
  EXPECT_TRUE(wheel["phases"].contains("parse_part_ms"));
  EXPECT_EQ(wheel["outputs"]["gltf"]["meshes"], 1);
  ExpectValid(kOut + "wheel.glb");
  // The nodes carry the names in UTF-8: the axes, the assembly, the part twice.
  const std::string bytes = Bytes(kOut + "names.glb");
  ASSERT_GT(bytes.size(), 20u);
  const Json doc = Json::parse(bytes.substr(20, *reinterpret_cast<const uint32_t*>(bytes.data() + 12)));
  const Json& nodes = doc["nodes"];
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(nodes[1]["name"], "Getriebe-ä.asm");
  EXPECT_EQ(nodes[1]["extras"]["type"], "assembly");
  EXPECT_EQ(nodes[1]["extras"]["file"], named);
  for (int i : {2, 3}) {
    EXPECT_EQ(nodes[i]["name"], "zahnrad-Ø12.prt");
    EXPECT_EQ(nodes[i]["mesh"], 0);
  }
  EXPECT_EQ(doc["meshes"][0]["name"], "zahnrad-Ø12.prt");

  // A STEP file on which Open CASCADE faults (its first fill-area colour is
  // gone): the fault becomes the file's reason, and the program goes on.
  std::string faulting = Bytes(real + "io1-cm-214.stp");
  const size_t fill = faulting.find("=FILL_AREA_STYLE_COLOUR(");
  if (fill == std::string::npos) return;
  faulting.replace(faulting.rfind('#', fill), 1, "#9");
  // What the fault jumps over stays allocated, as Open CASCADE's tables do
  // (tests/occt_leaks.cpp); the program carries no suppressions of them.
  const Outcome o = Program("--json '" + Write("faulting.stp", faulting) + "'", "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" ");
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.json["status"], "failed");
  EXPECT_NE(o.err.find("faulting.stp': reading STEP: SIGSEGV"), std::string::npos) << o.err;
}

TEST(Program, ProgressBarOnATerminalOnly) {
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string file = kExamples + "gearbox/gearbox.asm";
    execl(GRANITE_LOAD_EXE, GRANITE_LOAD_EXE, file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  char chunk[4096];
  ssize_t n;
  while ((n = read(master, chunk, sizeof chunk)) > 0) screen.append(chunk, size_t(n));
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
  EXPECT_NE(screen.find("loading ["), std::string::npos) << screen;
  EXPECT_NE(screen.find("100%"), std::string::npos) << screen;

  const Outcome quiet = Program("--quiet '" + kExamples + "gearbox/gearbox.asm'");
  EXPECT_EQ(quiet.err.find("loading ["), std::string::npos);
}

// A Ctrl-C, a real SIGINT, at the n-th report of the loader's progress past
// 0 %, or of the kernel's in a phase.
long g_stopAfter = 0;
KPhase g_stopPhase;
void InterruptAtPercent(int percent) {
  if (percent > 0 && --g_stopAfter == 0) raise(SIGINT);
}
void InterruptInPhase(KPhase phase, double, double) {
  if (phase == g_stopPhase && --g_stopAfter == 0) raise(SIGINT);
}

// In process: a kernel exception that passes ParseAssembly, a Ctrl-C among the
// parts, and one while Open CASCADE translates or meshes reach the program,
// which says how far it got and writes nothing; the next load is whole.
TEST(ProgramInProcess, KernelExceptionAndCtrlCEndTheLoadAndWriteNothing) {
  const std::string gearbox = kExamples + "gearbox/gearbox.asm", step = std::string(GRANITE_DATA_DIR) + "/real/as1-oc-214.stp";
  const struct {
    std::string file;
    int phase;  // of the kernel's reports, or -1: the loader's
    long nth;   // 0: none
    int status;
    const char *said, *json;
  } rows[] = {
      {gearbox, -1, 0, 1, "kernel exception: injected failure of GetComponents", "failed"},
      {gearbox, -1, 1, 3, "interrupted after ", "interrupted"},
      {step, int(KPhase::Transferring), 5, 1, "interrupted while transferring", "interrupted"},
      {step, int(KPhase::Meshing), 100, 3, "interrupted while meshing", "interrupted"},
  };
  gkit::Kit kit;
  const std::string glb = kit.Path("out.glb");
  struct stat st;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    if (stat(row.file.c_str(), &st) != 0) continue;  // without the sample files
    if (row.nth == 0) kit.Fail(KCall::GetComponents, KFault::Throw, kit.Calls(KCall::GetComponents) + 1);
    g_stopAfter = row.nth;
    g_stopPhase = KPhase(row.phase);
    gload::SetProgressHook(row.phase < 0 ? &InterruptAtPercent : nullptr);
    gload::SetPhaseHook(row.phase < 0 ? nullptr : &InterruptInPhase);
    std::ostringstream out, err;
    const int status = gload::Run({"--json", row.file, "--gltf", glb}, out, err);
    gload::SetProgressHook(nullptr);
    gload::SetPhaseHook(nullptr);
    kit.ClearFaults();
    EXPECT_EQ(status, row.status) << err.str();
    EXPECT_NE(err.str().find(row.said), std::string::npos) << err.str();
    const Json j = Json::parse(out.str(), nullptr, false);
    EXPECT_EQ(j["status"], row.json);
    EXPECT_TRUE(j["outputs"].empty());
    EXPECT_NE(stat(glb.c_str(), &st), 0) << "a file was written";
  }
  std::ostringstream out, err;
  EXPECT_EQ(gload::Run({"--quiet", kExamples + "gearbox/Wheel.prt"}, out, err), 0) << err.str();
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
