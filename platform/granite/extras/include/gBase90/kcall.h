// KERNEL STAND-IN EXTRA: not part of the kernel's interface (include/).
//
// Every kernel call passes through KEnter, which counts it and lets a test
// make it answer null or throw (see gkit/testkit.h). Kernel modules only.
#pragma once

#include "win32/wintypes.h"

enum class KCall : int {
  Session,
  Translator,
  Triangulator,
  OpenFile,
  Close,
  GetAssembly,
  GetRootComponent,
  Translate,
  GetComponents,
  SequenceEntry,  // GetAt on a sequence of kernel objects
  GetReferencedFileName,
  GetConfigName,
  GetDefinition,
  GetPlacement,
  GetUnits,
  GetModelBox,
  GetAttributes,
  GetPrimaryBody,
  GetGeometryItems,
  GetBody,
  GetFaces,
  GetBoundingBox,
  GetMinPoint,
  GetMaxPoint,
  GetColor,
  SetTolerance,  // SetChordHeight, SetMaxDeviation, SetAngleTolerance
  Triangulate,
  GetVertices,
  GetNormals,
  GetFace,
  StopClients,
  UnloadModules,
  Count
};

// Counts the call. Answers true when the call is to give nothing (a null
// handle, an empty string, no effect); throws an xthrowable when the call is
// to fail that way.
GRANITE_VISIBLE bool KEnter(KCall call);
GRANITE_VISIBLE const char* KCallName(KCall call);

// What the loader did, kept for tests.
GRANITE_VISIBLE void KRecordOpenPath(const char* path);
// A new triangulator; answers its number for KRecordTolerance.
GRANITE_VISIBLE int KRecordTriangulator();
enum class KTolerance : int { ChordHeight, MaxDeviation, AngleTolerance };
GRANITE_VISIBLE void KRecordTolerance(int triangulator, KTolerance which, double value);

// For kernel modules: hook is called by every KUnloadAuxModules that takes
// effect, to let go of what the module keeps. Registering twice adds nothing.
GRANITE_VISIBLE void KAddUnloadHook(void (*hook)());
