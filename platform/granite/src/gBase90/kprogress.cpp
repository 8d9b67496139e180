#include "gBase90/kprogress.h"

#include <atomic>

#include "gBase90/xthrowable.h"

namespace {

// Lock-free, so that setting it from a signal handler is safe.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag must be lock-free");

KProgressObserver g_observer = nullptr;
void* g_context = nullptr;
long g_facesToMesh = 0, g_facesMeshed = 0;

}  // namespace

void KRequestStop(bool stop) {
  g_stop.store(stop, std::memory_order_relaxed);
}

bool KStopRequested() {
  return g_stop.load(std::memory_order_relaxed);
}

const char* KInterruptedMessage() {
  return "interrupted";
}

void KCheckStop() {
  if (KStopRequested()) KThrow(KInterruptedMessage());
}

const char* KPhaseName(KPhase phase) {
  switch (phase) {
    case KPhase::Reading:
      return "reading";
    case KPhase::Transferring:
      return "transferring";
    case KPhase::Meshing:
      return "meshing";
  }
  return "working";
}

void KSetProgressObserver(KProgressObserver observer, void* context) {
  g_observer = observer;
  g_context = context;
}

void KReportProgress(KPhase phase, double done, double total) {
  if (!g_observer) return;
  if (done > total) total = done;
  g_observer(g_context, phase, done, total);
}

void KBeginMeshing(long faces) {
  g_facesToMesh = faces;
  g_facesMeshed = 0;
}

void KFaceMeshed() {
  ++g_facesMeshed;
  if (g_facesMeshed > g_facesToMesh) g_facesToMesh = g_facesMeshed;
  KReportProgress(KPhase::Meshing, static_cast<double>(g_facesMeshed),
                  static_cast<double>(g_facesToMesh));
}

void KMeshingStep() {
  KReportProgress(KPhase::Meshing, static_cast<double>(g_facesMeshed),
                  static_cast<double>(g_facesToMesh));
}
