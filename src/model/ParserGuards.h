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

// Remembers the parser's current group and puts it back once: at Restore(),
// or when the scope ends.
class CurrentGroupGuard {
 public:
  explicit CurrentGroupGuard(CGraniteParser* parser)
      : m_parser(parser), m_saved(parser ? parser->GetCurrentGroup() : nullptr) {}
  CurrentGroupGuard(const CurrentGroupGuard&) = delete;
  CurrentGroupGuard& operator=(const CurrentGroupGuard&) = delete;
  ~CurrentGroupGuard() { Restore(); }

  void Restore() noexcept {
    if (!m_parser) return;
    m_parser->SetCurrentGroup(m_saved);
    m_parser = nullptr;
  }
  C3DMGroup* Saved() const { return m_saved; }

 private:
  CGraniteParser* m_parser;
  C3DMGroup* m_saved;
};

// Remembers the parser's current colour and puts it back once: at Restore(),
// or when the scope ends. Release() keeps the colour set since (a part
// colour stays current after its part).
class CurrentColorGuard {
 public:
  explicit CurrentColorGuard(CGraniteParser* parser) : m_parser(parser) {
    if (m_parser) m_saved = m_parser->GetCurrentColor();
  }
  CurrentColorGuard(const CurrentColorGuard&) = delete;
  CurrentColorGuard& operator=(const CurrentColorGuard&) = delete;
  ~CurrentColorGuard() { Restore(); }

  void Restore() noexcept {
    if (!m_parser) return;
    m_parser->SetCurrentColor(m_saved);
    m_parser = nullptr;
  }
  void Release() noexcept { m_parser = nullptr; }
  const velaChroma& Saved() const { return m_saved; }

 private:
  CGraniteParser* m_parser;
  velaChroma m_saved;
};

}  // namespace granite
