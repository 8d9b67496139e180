// The committed corpus of a fuzz target run again in the test suite, through
// the target's own checks and under the test build's sanitizers: every input
// the fuzzer kept stays a regression test. CORPUS names the folder, CORPUS_TEST
// the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzCorpus, CORPUS_TEST) {
  const std::filesystem::path dir = std::filesystem::path(GRANITE_SOURCE_DIR) / "fuzz/corpus" / CORPUS;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fuzz::g_input = entry.path().string();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++inputs;
  }
  EXPECT_GT(inputs, 10) << dir;
}
