// Native model files written for the benchmarks into a folder of their own,
// and whole loads of them as a host makes them.
#pragma once

#include <string>

class C3DMWorld;
class CGraniteParser;

namespace bench {

// A folder below the system's temporary folder, removed with everything in
// it when the program ends.
const std::string& ScratchFolder();

// Writes text to ScratchFolder()/name; answers the path.
std::string WriteModel(const std::string& name, const std::string& text);

// Waits until the files written are older than the kernel's racy window, so
// that it trusts their times as it does for any file saved a while ago (a file
// written just now has its text compared on every open).
void AwaitTrustedTimes();

// N occurrences of P distinct parts (occurrence i places part i % P), spread
// over the same cube whatever N is, so that the model box, and with it the
// tessellation tolerances, stay the same. Answers the assembly's path.
std::string RepeatedParts(int occurrences, int parts);

// N occurrences of one exchange file (a symbolic link to it in the scratch
// folder, so that its identity is the file's) placed over a cube of 100 mm by
// a native assembly, with two small boxes at the cube's corners so that the
// model box, and with it the tolerances, stay the same whatever N is.
std::string RepeatedExchangePart(int occurrences, const std::string& file);

// One assembly of n components, each a part of its own (a small box).
std::string WideTree(int components);

// A chain of n assemblies, each holding the next, the last holding one part.
std::string DeepTree(int levels);

// One load as a host makes it: a parser naming the file, with its own world.
class HostLoad {
 public:
  explicit HostLoad(const std::string& path);
  ~HostLoad();
  HostLoad(const HostLoad&) = delete;
  HostLoad& operator=(const HostLoad&) = delete;

  // BuildElementList, then LoadAllParts when the tree was built. Answers the
  // result of the last call.
  int Run();
  // The two halves of Run, for timing them apart.
  int BuildElements();
  int LoadParts();
  // Elements in the tree, and part elements among them.
  int Elements() const;
  int Parts() const;

 private:
  C3DMWorld* m_world;
  CGraniteParser* m_parser;
};

}  // namespace bench
