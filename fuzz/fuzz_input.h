// Reads a fuzzer's bytes as a stream of small decisions; past the end every
// read gives 0, so any input is a complete program of operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>

namespace fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_end(data + size) {}
  bool More() const { return m_data < m_end; }
  uint8_t Byte() { return m_data < m_end ? *m_data++ : 0; }
  uint16_t Unit() {
    uint16_t high = Byte();
    return static_cast<uint16_t>(high << 8 | Byte());
  }
  // A position: from 0, from the end, 0 down to -63, or near an int extreme.
  int Index(int length) {
    const uint8_t b = Byte();
    const int far = (b & 1) ? INT32_MAX - (b & 0x1E) : INT32_MIN + (b & 0x1E);
    const int choices[] = {b & 0x3F, length - 1 - (b & 0x1F), -(b & 0x3F), far};
    return choices[b >> 6];
  }
  bool Flag() { return Byte() & 1; }

 private:
  const uint8_t* m_data;
  const uint8_t* m_end;
};

// The target and operation being run, for the report of a broken expectation.
inline const char* g_target = "fuzz";
inline int g_step = 0;
inline std::string g_input;  // the corpus file being replayed, if any

// A broken expectation: stops the run so that the fuzzer keeps the input.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s: %s (operation %d) %s\n", g_target, what, g_step, g_input.c_str());
  std::abort();
}

// Runs the input as a program over a container and its model: each step reads
// an operation byte, lets operands() read what every operation shares, runs
// ops[byte % count] (which reads its own arguments), then verify().
template <class Operands, class Verify>
void Interpret(const char* target, Input& in, Operands operands,
               std::initializer_list<std::function<void()>> ops, Verify verify) {
  g_target = target;
  const std::function<void()>* table = ops.begin();
  for (g_step = 0; in.More(); ++g_step) {
    const size_t op = in.Byte() % ops.size();
    operands();
    table[op]();
    verify();
  }
}

}  // namespace fuzz
