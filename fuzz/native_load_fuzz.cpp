// Fuzzes a whole load: the input is a native assembly (or part) and the files
// it refers to, written to a fresh folder, then loaded in the host's order.
// Every load must end sound (see gkit/host_run.h) and leave no
// kernel object alive.
//
// Input: the top file's text, then any number of further files, each begun
// by a line "%%% NAME". A first line "%%% NAME" names the top file (else
// top.asm). A line "%%% fault K null" or "%%% fault K throw" makes the K-th
// kernel call of the load fail that way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "gkit/host_run.h"
#include "gkit/testkit.h"

namespace {

using fuzz::Check;
const size_t kMaxFiles = 12;

struct File {
  std::string name, text;
};

// Names keep to letters, digits, '_', '-' and '.', and never start with '.'.
std::string CleanName(const std::string& raw) {
  std::string name;
  for (char c : raw)
    if (name.size() < 40 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.'))
      name.push_back(c);
  while (!name.empty() && name[0] == '.') name.erase(0, 1);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<File> files(1, File{"top.asm", ""});
  long faultAt = 0;
  KFault fault = KFault::None;
  bool first = true;
  for (std::string line; std::getline(input, line);) {
    if (line.compare(0, 4, "%%% ") == 0) {
      const std::string rest = line.substr(4), name = CleanName(rest);
      if (rest.compare(0, 6, "fault ") == 0) {
        faultAt = std::strtol(rest.c_str() + 6, nullptr, 10) % 100000;
        fault = rest.find("throw") != std::string::npos ? KFault::Throw : KFault::Null;
        continue;  // the top file may still be named on the next line
      } else if (!name.empty() && first) {
        files[0].name = name;
      } else if (!name.empty() && files.size() < kMaxFiles) {
        files.push_back(File{name, ""});
      }
    } else {
      files.back().text += line + '\n';
    }
    first = false;
  }

  {
    gkit::Kit kit;
    for (const File& f : files) kit.WriteFile(f.name, f.text);
    const std::string top = kit.Path(files[0].name);
    if (fault != KFault::None && faultAt > 0) kit.FailNth(faultAt, fault);
    // A part's colour stays current after it, even when it gave no mesh.
    std::vector<velaChroma> written;
    for (const File& f : files)
      for (const velaChroma& c : reliability::ColorsInText(f.text)) written.push_back(c);
    reliability::Outcome outcome = reliability::RunHost(top, written);
    kit.Release();
    // Without faults no exception may reach the host.
    if (fault == KFault::None && outcome.threw)
      outcome.fault = "a kernel exception without a fault";
    fuzz::g_target = "native load fuzz";
    Check(outcome.fault.empty(), outcome.fault.c_str());
  }
  Check(gkit::LiveObjects() == 0, "kernel objects left alive");
  return 0;
}
