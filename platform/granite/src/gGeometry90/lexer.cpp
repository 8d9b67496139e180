#include "lexer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "gBase90/kprogress.h"

namespace knative {

Lexer::Lexer(const char* text, size_t length, const std::string& name)
    : m_start(text), m_text(text), m_end(text + length), m_name(name) {
  Advance();
}

void Lexer::Advance() {
  if (++m_tokens % kTokensPerStopCheck == 0) {
    KReportProgress(KPhase::Reading, static_cast<double>(m_text - m_start),
                    static_cast<double>(m_end - m_start));
    KCheckStop();
  }
  m_last = std::move(m_token);
  m_token = Token();
  for (;;) {
    while (m_text < m_end &&
           (*m_text == ' ' || *m_text == '\t' || *m_text == '\r' || *m_text == '\n')) {
      if (*m_text == '\n') ++m_line;
      ++m_text;
    }
    if (m_text < m_end && *m_text == '#') {
      while (m_text < m_end && *m_text != '\n') ++m_text;
      continue;
    }
    break;
  }
  m_token.line = m_line;
  if (m_text >= m_end) return;
  char c = *m_text;
  if (c == '"') {
    ReadString();
  } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
    ReadNumber();
  } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') {
    ReadWord();
  } else {
    unsigned char u = static_cast<unsigned char>(c);
    char buffer[32];
    if (u >= 0x20 && u < 0x7F)
      std::snprintf(buffer, sizeof buffer, "character '%c'", c);
    else
      std::snprintf(buffer, sizeof buffer, "byte 0x%02X", u);
    FailHere(std::string("unexpected ") + buffer);
  }
}

void Lexer::ReadWord() {
  const char* start = m_text;
  while (m_text < m_end &&
         ((*m_text >= 'A' && *m_text <= 'Z') || (*m_text >= 'a' && *m_text <= 'z') ||
          (*m_text >= '0' && *m_text <= '9') || *m_text == '_' || *m_text == '-'))
    ++m_text;
  if (static_cast<size_t>(m_text - start) > kMaxToken) FailHere("a word is too long");
  m_token.kind = TokenKind::Word;
  m_token.text.assign(start, m_text);
  for (char& ch : m_token.text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
}

void Lexer::ReadString() {
  ++m_text;
  std::string value;
  for (;;) {
    if (m_text >= m_end || *m_text == '\n') FailHere("a string is not closed on its line");
    char c = *m_text++;
    if (c == '"') break;
    if (c == '\0') FailHere("a string holds a NUL character");
    value.push_back(c);
    if (value.size() > kMaxToken) FailHere("a string is too long");
  }
  m_token.kind = TokenKind::String;
  m_token.text = std::move(value);
}

void Lexer::ReadNumber() {
  const char* start = m_text;
  while (m_text < m_end && ((*m_text >= '0' && *m_text <= '9') || *m_text == '-' ||
                            *m_text == '+' || *m_text == '.' || *m_text == 'e' || *m_text == 'E'))
    ++m_text;
  size_t length = static_cast<size_t>(m_text - start);
  if (length > kMaxToken) FailHere("a number is too long");
  m_token.text.assign(start, length);
  const char* first = start;
  if (*first == '+') ++first;
  double value = 0;
  auto result = std::from_chars(first, m_text, value);
  if (result.ec != std::errc() || result.ptr != m_text || !std::isfinite(value))
    FailHere("'" + m_token.text + "' is not a number");
  if (std::fabs(value) > kMaxMagnitude) FailHere("the number " + m_token.text + " is too large");
  m_token.kind = TokenKind::Number;
  m_token.number = value;
}

std::string Lexer::Describe(const Token& t) {
  switch (t.kind) {
    case TokenKind::End:
      return "the end of the file";
    case TokenKind::Word:
      return "'" + t.text + "'";
    case TokenKind::Number:
      return t.text;
    case TokenKind::String:
      return "the string \"" + t.text + "\"";
  }
  return "";
}

void Lexer::FailAt(int line, const std::string& what) const {
  throw ParseError{m_name + ":" + std::to_string(line) + ": " + what};
}

void Lexer::Fail(const std::string& what) const {
  if (what.compare(0, 9, "expected ") == 0)
    FailAt(m_token.line, what + ", found " + Describe(m_token));
  FailAt(m_last.line, what);
}

double Lexer::ExpectPositive(Text what) {
  double v = ExpectNumber(what);
  if (!(v > 0)) Fail(what + " must be greater than 0");
  return v;
}

int Lexer::ExpectInteger(Text what) {
  double v = ExpectNumber(what);
  if (v != std::floor(v) || std::fabs(v) > 1e9) Fail(what + " must be a whole number");
  return static_cast<int>(v);
}

std::string Lexer::ExpectString(Text what) {
  if (m_token.kind != TokenKind::String) Fail("expected " + what);
  Advance();
  return m_last.text;
}

KVec3 Lexer::ExpectPoint(Text what) {
  KVec3 p;
  p.x = ExpectNumber(what);
  p.y = ExpectNumber(what);
  p.z = ExpectNumber(what);
  return p;
}

void Lexer::ExpectRange(Text what, double& lo, double& hi) {
  lo = ExpectNumber("two numbers after '" + what + "'");
  hi = ExpectNumber("two numbers after '" + what + "'");
  if (!(hi > lo)) Fail("the second number after '" + what + "' must be greater than the first");
}

void Lexer::ExpectAngles(Text what, double& lo, double& hi, double limit) {
  ExpectRange(what, lo, hi);
  if (hi - lo > limit)
    Fail("the angles after '" + what + "' span more than " +
         std::to_string(static_cast<int>(limit)) + " degrees");
  lo *= kDegree;
  hi *= kDegree;
}

}  // namespace knative
