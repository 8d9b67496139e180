// Scope guards for the paired state changes of a load.
//
// Kernel exceptions pass through most of the loader to the host. These guards
// make sure that when one does, the parser's matrix stack, current group and
// current colour are back as they were (an opened kernel file is closed by
// granite::FileCloseGuard, kernel/Kernel.h). On the normal paths the owner
// undoes the change at the step where it is due (Pop, Restore); the
// destructor then does nothing. Destructors never throw: a failure while
// undoing is swallowed.
#pragma once

#include <type_traits>
#include <utility>

#include "granite/CGraniteParser.h"
#include "kernel/Kernel.h"
#include "qorvela/velaTypes.h"

namespace granite {

// Pushes a matrix on the parser's stack and pops it once: at Pop(), or when
// the scope ends. A null parser pushes nothing.
class MatrixPushGuard {
 public:
  MatrixPushGuard(CGraniteParser* parser, velaMatrix4x4& matrix) : m_parser(parser) {
    if (m_parser) {
      m_parser->PushMatrix(matrix);
      m_pushed = true;
    }
  }
  MatrixPushGuard(const MatrixPushGuard&) = delete;
  MatrixPushGuard& operator=(const MatrixPushGuard&) = delete;
  ~MatrixPushGuard() {
    UndoInDestructor([this] { Pop(); });
  }

  // Pops the matrix now (the popped matrix is dropped); later calls do nothing.
  void Pop() {
    if (!m_pushed) return;
    m_pushed = false;
    m_parser->PopMatrix();
  }
  bool IsPushed() const { return m_pushed; }

 private:
  CGraniteParser* m_parser;
  bool m_pushed = false;
};

// Remembers a piece of the parser's current state (read with Get, put back
// with Set) and puts it back once: at Restore(), or when the scope ends.
// Release() keeps what was set since.
template <auto Get, auto Set>
class ParserStateGuard {
 public:
  using Value = std::decay_t<decltype((std::declval<CGraniteParser&>().*Get)())>;

  explicit ParserStateGuard(CGraniteParser* parser) : m_parser(parser) {
    if (m_parser) m_saved = (m_parser->*Get)();
  }
  ParserStateGuard(const ParserStateGuard&) = delete;
  ParserStateGuard& operator=(const ParserStateGuard&) = delete;
  ~ParserStateGuard() { Restore(); }

  void Restore() noexcept {
    if (!m_parser) return;
    (m_parser->*Set)(m_saved);
    m_parser = nullptr;
  }
  void Release() noexcept { m_parser = nullptr; }
  const Value& Saved() const { return m_saved; }

 private:
  CGraniteParser* m_parser;
  Value m_saved{};
};

// The current group, and the current colour (a part colour stays current
// after its part: Release()).
using CurrentGroupGuard =
    ParserStateGuard<&CGraniteParser::GetCurrentGroup, &CGraniteParser::SetCurrentGroup>;
using CurrentColorGuard =
    ParserStateGuard<&CGraniteParser::GetCurrentColor, &CGraniteParser::SetCurrentColor>;

}  // namespace granite
