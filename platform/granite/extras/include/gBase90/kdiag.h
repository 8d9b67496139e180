// KERNEL STAND-IN EXTRA: not part of the kernel's interface (include/).
//
// The kernel's side of the test kit: fault injection and records. Tests use
// them through gkit/testkit.h.
#pragma once

#include "gBase90/kcall.h"

enum class KFault : int { None, Null, Throw };

// Makes the nth call of kind call (1-based, counted from the last
// KResetDiagnostics; 0: every call of that kind) answer fault. With
// KCall::Count the fault applies to the nth kernel call of any kind.
GRANITE_VISIBLE void KInjectFault(KCall call, long nth, KFault fault);
// Clears faults, counters and records.
GRANITE_VISIBLE void KResetDiagnostics();
// Clears the faults only.
GRANITE_VISIBLE void KResetFaults();

GRANITE_VISIBLE long KCallCount(KCall call);
GRANITE_VISIBLE long KTotalCallCount();
GRANITE_VISIBLE int KLiveObjects();
// References held now on live objects: by handles, and by objects on each other.
GRANITE_VISIBLE long KLiveReferences();

GRANITE_VISIBLE int KOpenPathCount();
GRANITE_VISIBLE const char* KOpenPath(int index);

struct KTriangulatorRecord {
  // NaN where the setting was never made; the last value set otherwise.
  double chordHeight;
  double maxDeviation;
  double angleTolerance;
  int settings;  // number of setter calls
};
GRANITE_VISIBLE int KTriangulatorCount();
GRANITE_VISIBLE KTriangulatorRecord KTriangulatorAt(int index);

// What tests observe of the kernel (more in gkit/testkit.h).
namespace gkit {
// Calls since the process started.
GRANITE_VISIBLE int StopGPIClientsCalls();
GRANITE_VISIBLE int UnloadAuxModulesCalls();
// Kernel objects alive now.
GRANITE_VISIBLE int LiveObjects();
}  // namespace gkit
