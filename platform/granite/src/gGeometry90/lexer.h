// The native text format's tokens, and the expectations a parser states on
// them: words (lowered), numbers, strings and the end, with reasons for what
// is missing ("name:line: expected ..., found ...").
#pragma once

#include <cstddef>
#include <string>

#include "gGeometry90/kgeometry.h"

namespace knative {

constexpr double kDegree = 3.14159265358979323846 / 180;
constexpr size_t kMaxToken = 4096;
constexpr double kMaxMagnitude = 1e12;
// Tokens read between two progress reports and looks at the stop request.
constexpr unsigned kTokensPerStopCheck = 8192;

enum class TokenKind { End, Word, Number, String };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // words lowered; strings unescaped
  double number = 0;
  int line = 0;
};

// Thrown by every failure; the reader turns it into its reason.
struct ParseError {
  std::string message;
};

// What a statement expects, for the reason given when it is missing: text
// that lives while the call that takes it runs, made into a string only on
// failure.
struct Text {
  const char* text;
  Text(const char* t) : text(t) {}
  Text(const std::string& t) : text(t.c_str()) {}
};
inline std::string operator+(const char* a, Text b) {
  return std::string(a) + b.text;
}
inline std::string operator+(Text a, const char* b) {
  return std::string(a.text) + b;
}

class Lexer {
 public:
  // Reads the first token; name is used in reasons.
  Lexer(const char* text, size_t length, const std::string& name);

 protected:
  // The next token becomes current; the current one becomes the last.
  void Advance();
  static std::string Describe(const Token& t);

  [[noreturn]] void FailAt(int line, const std::string& what) const;
  [[noreturn]] void FailHere(const std::string& what) const { FailAt(m_line, what); }
  // A failure about the token just read, or, with expected, about the next one.
  [[noreturn]] void Fail(const std::string& what) const;

  bool IsWord(const char* word) const {
    return m_token.kind == TokenKind::Word && m_token.text == word;
  }
  bool AcceptWord(const char* word) {
    if (!IsWord(word)) return false;
    Advance();
    return true;
  }
  void ExpectWord(const char* word, Text what) {
    if (!AcceptWord(word)) Fail("expected " + what);
  }
  double ExpectNumber(Text what) {
    if (m_token.kind != TokenKind::Number) Fail("expected " + what);
    Advance();
    return m_last.number;
  }
  double ExpectPositive(Text what);
  int ExpectInteger(Text what);
  std::string ExpectString(Text what);
  KVec3 ExpectPoint(Text what);
  // Two numbers lo hi with lo < hi.
  void ExpectRange(Text what, double& lo, double& hi);
  // A range of angles in degrees spanning at most limit, given in radians.
  void ExpectAngles(Text what, double& lo, double& hi, double limit);

  Token m_token, m_last;

 private:
  void ReadString();
  void ReadNumber();
  void ReadWord();

  const char* m_start;
  const char* m_text;
  const char* m_end;
  unsigned m_tokens = 0;
  std::string m_name;
  int m_line = 1;
};

}  // namespace knative
