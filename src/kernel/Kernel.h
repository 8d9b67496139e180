// Helpers around kernel calls and handles: the kernel's exception dropped,
// an opened file closed once, the kernel's placements, units and boxes taken
// into the parser.
#pragma once

#include "gBase90/xthrowable.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ksession.h"
#include "qorvela/velaTypes.h"

class CGraniteParser;

namespace granite {

// Gives back the catcher's reference of a kernel exception dropped by a guard.
inline void DropKernelException(xthrowable* error) noexcept {
  if (error && error->isRefCountable()) error->xrcunirelease();
}

// Runs a guard's undo step from its destructor: nothing may leave it, and a
// kernel exception is dropped.
template <class Undo>
void UndoInDestructor(Undo&& undo) noexcept {
  try {
    undo();
  } catch (xthrowable* error) {
    DropKernelException(error);
  } catch (...) {
  }
}

// Calls Close on an opened kernel file once: at Close(), or when the scope
// ends. The guard refers to the caller's handle, which keeps the file alive;
// a null handle is left alone. The destructor never throws.
class FileCloseGuard {
 public:
  explicit FileCloseGuard(const xrchandle<KFile>& file) : m_file(file) {}
  FileCloseGuard(const FileCloseGuard&) = delete;
  FileCloseGuard& operator=(const FileCloseGuard&) = delete;
  ~FileCloseGuard() {
    UndoInDestructor([this] { Close(); });
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

bool IsAssemblyObject(xobject* object);
// The component's placement, identity when the component or its placement is missing.
velaMatrix4x4 GetComponentTransform(KComponent* component);
// Takes the model units from the kernel once per load.
void RetrieveModelUnits(KModel* model);
// The kernel box's corners (the two given, or all eight) through the placement
// become the model box, and the tolerances follow from it; nothing changes
// without a box.
void SetModelBoxFromKernelBox(CGraniteParser* parser, KBox3D* box, const velaMatrix4x4& placement,
                              bool allCorners);
