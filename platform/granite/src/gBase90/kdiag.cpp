#include "gBase90/kdiag.h"

#include <cmath>
#include <string>
#include <vector>

#include "gBase90/kcall.h"
#include "gBase90/kprogress.h"
#include "gBase90/xthrowable.h"

namespace {
struct Injected {
  KCall call;
  long nth;
  KFault fault;
};

struct Diagnostics {
  long counts[static_cast<int>(KCall::Count)] = {};
  long total = 0;
  std::vector<Injected> faults;
  std::vector<std::string> openPaths;
  std::vector<KTriangulatorRecord> triangulators;
};

Diagnostics& State() {
  static Diagnostics* state = new Diagnostics;  // lives until the process ends
  return *state;
}

// Kept small: a test that sweeps faults over many calls must not grow memory.
constexpr size_t kMaxRecords = 100000;

const char* const kNames[] = {
    "KGetSession",
    "KGetTranslator",
    "KGetTriangulator",
    "OpenFile",
    "Close",
    "GetAssembly",
    "GetRootComponent",
    "Translate",
    "GetComponents",
    "sequence entry",
    "GetReferencedFileName",
    "GetConfigName",
    "GetDefinition",
    "GetPlacement",
    "GetUnits",
    "GetModelBox",
    "GetAttributes",
    "GetPrimaryBody",
    "GetGeometryItems",
    "GetBody",
    "GetFaces",
    "GetBoundingBox",
    "GetMinPoint",
    "GetMaxPoint",
    "GetColor",
    "tolerance setting",
    "Triangulate",
    "GetVertices",
    "GetNormals",
    "GetFace",
    "KStopGPIClients",
    "KUnloadAuxModules",
};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(KCall::Count),
              "one name per call kind");
}  // namespace

const char* KCallName(KCall call) {
  int i = static_cast<int>(call);
  return i >= 0 && i < static_cast<int>(KCall::Count) ? kNames[i] : "any kernel call";
}

bool KEnter(KCall call) {
  Diagnostics& d = State();
  long nth = ++d.counts[static_cast<int>(call)];
  long total = ++d.total;
  // A stop request ends whatever the host is doing at its next kernel call;
  // the calls that let go of things still run, so that nothing stays open.
  if (KStopRequested() && call != KCall::Close && call != KCall::StopClients &&
      call != KCall::UnloadModules)
    KThrow(KInterruptedMessage());
  if (d.faults.empty()) return false;
  for (const Injected& f : d.faults) {
    bool hit =
        f.call == KCall::Count ? f.nth == total : f.call == call && (f.nth == 0 || f.nth == nth);
    if (!hit) continue;
    if (f.fault == KFault::Throw) {
      std::string message = std::string("injected failure of ") + KCallName(call);
      KThrow(message.c_str());
    }
    if (f.fault == KFault::Null) return true;
  }
  return false;
}

void KInjectFault(KCall call, long nth, KFault fault) {
  if (fault != KFault::None) State().faults.push_back({call, nth, fault});
}

void KResetDiagnostics() {
  Diagnostics& d = State();
  for (long& c : d.counts) c = 0;
  d.total = 0;
  d.faults.clear();
  d.openPaths.clear();
  d.triangulators.clear();
}

void KResetFaults() {
  State().faults.clear();
}

long KCallCount(KCall call) {
  int i = static_cast<int>(call);
  return i >= 0 && i < static_cast<int>(KCall::Count) ? State().counts[i] : 0;
}

long KTotalCallCount() {
  return State().total;
}

void KRecordOpenPath(const char* path) {
  Diagnostics& d = State();
  if (d.openPaths.size() < kMaxRecords) d.openPaths.emplace_back(path ? path : "");
}

int KOpenPathCount() {
  return static_cast<int>(State().openPaths.size());
}

const char* KOpenPath(int index) {
  const auto& paths = State().openPaths;
  return index >= 0 && static_cast<size_t>(index) < paths.size() ? paths[index].c_str() : "";
}

int KRecordTriangulator() {
  Diagnostics& d = State();
  if (d.triangulators.size() >= kMaxRecords) return -1;
  d.triangulators.push_back({NAN, NAN, NAN, 0});
  return static_cast<int>(d.triangulators.size()) - 1;
}

void KRecordTolerance(int triangulator, KTolerance which, double value) {
  auto& records = State().triangulators;
  if (triangulator < 0 || static_cast<size_t>(triangulator) >= records.size()) return;
  KTriangulatorRecord& r = records[triangulator];
  ++r.settings;
  switch (which) {
    case KTolerance::ChordHeight:
      r.chordHeight = value;
      break;
    case KTolerance::MaxDeviation:
      r.maxDeviation = value;
      break;
    case KTolerance::AngleTolerance:
      r.angleTolerance = value;
      break;
  }
}

int KTriangulatorCount() {
  return static_cast<int>(State().triangulators.size());
}

KTriangulatorRecord KTriangulatorAt(int index) {
  const auto& records = State().triangulators;
  if (index < 0 || static_cast<size_t>(index) >= records.size()) return {NAN, NAN, NAN, 0};
  return records[index];
}
