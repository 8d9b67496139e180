// What granite-load uses of the kernel stand-in's extras, beside the kernel's
// own interface: the stop request, the progress inside one file, the
// translator's settings and the session's kept models. Everything else in the
// program uses the interface.
#pragma once

#include <string>
#include <vector>

#include "gBase90/kprogress.h"
#include "gGeometry90/ksession_extras.h"
#include "gTranslator90/ktranslator.h"

namespace gload {

// What the kernel is doing inside one file, and how far it got.
using KernelPhase = KPhase;
using KernelObserver = KProgressObserver;

// Asks the kernel to stop (async-signal-safe), or clears the request.
inline void RequestKernelStop(bool stop) {
  KRequestStop(stop);
}
// Installs the observer of the kernel's progress (null: none).
inline void ObserveKernel(KernelObserver observer) {
  KSetProgressObserver(observer, nullptr);
}

// Whether the translator can read names in the code page; its setting is left as it was.
inline bool TranslatorReadsCodePage(int codePage) {
  const int previous = KTranslator::GetNameCodePage();
  if (!KTranslator::SetNameCodePage(codePage)) return false;
  KTranslator::SetNameCodePage(previous);
  return true;
}

// The translator's settings for every file loaded after.
inline void ConfigureTranslator(int codePage, bool showHidden,
                                const std::vector<std::string>& searchFolders, int threads) {
  KTranslator::SetNameCodePage(codePage);
  KTranslator::SetShowHidden(showHidden);
  KTranslator::SetSearchFolders(searchFolders);
  KTranslator::SetMeshingThreads(threads);
}

// Lets go of the models the kernel keeps for later loads.
inline void ReleaseKeptModels() {
  KFlushModelCache();
}

}  // namespace gload
