// granite-load as a user meets it: the program run on the samples and on
// broken input, its exit statuses, messages, JSON summary and files; and in
// process where a kernel fault or a Ctrl-C has to arrive mid-load.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>


namespace {

using Json = nlohmann::json;

const std::string kExamples = std::string(GRANITE_SOURCE_DIR) + "/examples/";
const std::string kOut = std::string(GRANITE_BINARY_DIR) + "/tests/granite_load/";

struct Outcome {
  int status = -1;
  std::string out, err;
  Json json;
};

// Runs the program with its standard error not a terminal.
Outcome Program(const std::string& args) {
  Outcome o;
  // Tests run in parallel processes: each its own file for standard error.
  const std::string errFile = kOut + "stderr-" + std::to_string(getpid()) + ".txt";
  const std::string command = std::string("'") + GRANITE_LOAD_EXE + "' " + args + " 2>'" + errFile + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return o;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) o.out.append(chunk, n);
  const int status = pclose(pipe);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile);
  std::stringstream text;
  text << err.rdbuf();
  o.err = text.str();
  if (args.find("--json") != std::string::npos) o.json = Json::parse(o.out, nullptr, false);
  return o;
}

std::string Write(const std::string& name, const std::string& text) {
  const std::string path = kOut + name;
  std::ofstream(path) << text;
  return path;
}

TEST(Program, UsageAndFileErrorsWithTheirStatus) {
  Outcome o = Program("'" + kOut + "no such file.asm'");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("no such file.asm: No such file or directory"), std::string::npos) << o.err;

  o = Program("'" + Write("notes.txt", "hello") + "'");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("unknown format"), std::string::npos) << o.err;

  o = Program("'" + kOut + "'");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("is a folder"), std::string::npos) << o.err;

  for (const char* usage : {"--frobnicate", "--resolution ultra", "a.asm b.asm", "--gltf", "--size 10"}) {
    o = Program(usage);
    EXPECT_EQ(o.status, 2) << usage;
    EXPECT_NE(o.err.find("granite-load: "), std::string::npos) << usage;
  }
  o = Program("--help");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("--gltf OUT.glb"), std::string::npos);
  o = Program("--version");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("granite-load ", 0), 0u);

}

}  // namespace
