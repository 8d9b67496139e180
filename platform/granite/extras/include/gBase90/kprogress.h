// KERNEL STAND-IN EXTRA: not part of the kernel's interface (include/).
//
// Extras of the kernel stand-in for hosts: stopping the kernel in the middle of
// a long operation, and following its progress inside one file.
//
// A stop request is a flag. While it is set, every kernel call but those that
// let go of things (closing a file, shutting the kernel down) throws the
// kernel's exception with the message "interrupted", and the long operations
// (reading a file, translating it, meshing) check it as they go and throw the
// same. The host clears it before its next load.
#pragma once

#include "win32/wintypes.h"

// Sets or clears the stop request. Async-signal-safe: a host may call it from
// a signal handler or from another thread.
GRANITE_VISIBLE void KRequestStop(bool stop);
GRANITE_VISIBLE bool KStopRequested();
// Throws the kernel's exception "interrupted" when a stop is requested. For
// kernel modules.
GRANITE_VISIBLE void KCheckStop();
// The message of the exception a stop request throws.
GRANITE_VISIBLE const char* KInterruptedMessage();

// What a long kernel operation is doing.
enum class KPhase : int {
  Reading,       // parsing a file: done and total in bytes
  Transferring,  // turning an exchange file's entities into products: done of total steps
  Meshing,       // triangulating faces: done and total in faces of the model opened last
};
GRANITE_VISIBLE const char* KPhaseName(KPhase phase);

// Called on the thread that runs the kernel, often (every chunk of a file,
// every few thousand tokens, every face): it must be quick. It may call
// KRequestStop; the kernel then stops at its next check. done never exceeds
// total; total may grow.
typedef void (*KProgressObserver)(void* context, KPhase phase, double done, double total);
// Installs the observer (null: none). The host's to set; one per process.
GRANITE_VISIBLE void KSetProgressObserver(KProgressObserver observer, void* context);

// For kernel modules: hand a report to the observer.
GRANITE_VISIBLE void KReportProgress(KPhase phase, double done, double total);
// For kernel modules: a model was opened whose meshing will take faces faces;
// every KFaceMeshed reports one more of them.
GRANITE_VISIBLE void KBeginMeshing(long faces);
GRANITE_VISIBLE void KFaceMeshed();
// For kernel modules: a step of the work on the next face (a body meshed at
// once); reports the faces meshed as they stand.
GRANITE_VISIBLE void KMeshingStep();
