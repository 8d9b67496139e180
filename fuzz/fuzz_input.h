// Reads a fuzzer's bytes as a stream of small decisions; past the end every
// read gives 0, so any input is a complete program of operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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
  // A small signed number, mostly near 0 with a few far ones (for positions).
  int Index(int length) {
    uint8_t b = Byte();
    switch (b >> 6) {
      case 0:
        return b & 0x3F;
      case 1:
        return length - 1 - (b & 0x1F);
      case 2:
        return -(b & 0x3F);  // 0 .. -63
      default:
        return (b & 1) ? INT32_MAX - (b & 0x1E) : INT32_MIN + (b & 0x1E);
    }
  }
  bool Flag() { return Byte() & 1; }

 private:
  const uint8_t* m_data;
  const uint8_t* m_end;
};

// A broken expectation: stops the run so that the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* target, const char* what, int step) {
  std::fprintf(stderr, "%s: %s (operation %d)\n", target, what, step);
  std::abort();
}

}  // namespace fuzz
