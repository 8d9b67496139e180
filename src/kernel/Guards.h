// Scope guards for the paired state changes of a load.
//
// Kernel exceptions pass through most of the loader to the host. These guards
// make sure that when one does, the parser's matrix stack, current group and
// current colour are back as they were and an opened kernel file is closed.
// On the normal paths the owner undoes the change at the step where it is
// due (Pop, Restore, Close); the destructor then does nothing. Destructors
// never throw: a failure while undoing is swallowed.
#pragma once

#include "gBase90/xthrowable.h"
#include "gGeometry90/ksession.h"
#include "granite/CGraniteParser.h"
#include "qorvela/velaTypes.h"

namespace granite {

// Gives back the catcher's reference of a kernel exception dropped by a guard.
inline void DropKernelException(xthrowable* error) noexcept {
  if (error && error->isRefCountable()) error->xrcunirelease();
}

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
    if (!m_pushed) return;
    try {
      Pop();
    } catch (xthrowable* error) {
      DropKernelException(error);
    } catch (...) {
    }
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

// Calls Close on an opened kernel file once: at Close(), or when the scope
// ends. The guard refers to the caller's handle, which keeps the file alive;
// a null handle is left alone.
class FileCloseGuard {
 public:
  explicit FileCloseGuard(const xrchandle<KFile>& file) : m_file(file) {}
  FileCloseGuard(const FileCloseGuard&) = delete;
  FileCloseGuard& operator=(const FileCloseGuard&) = delete;
  ~FileCloseGuard() {
    if (m_closed) return;
    try {
      Close();
    } catch (xthrowable* error) {
      DropKernelException(error);
    } catch (...) {
    }
  }

  // Closes the file now; a kernel exception from Close passes to the caller,
  // and the file counts as closed either way.
  void Close() {
    if (m_closed) return;
    m_closed = true;
    if (m_file) m_file->Close();
  }
  bool IsClosed() const { return m_closed; }

 private:
  const xrchandle<KFile>& m_file;
  bool m_closed = false;
};

}  // namespace granite
