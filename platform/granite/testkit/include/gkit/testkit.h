// The kernel test kit: kernel models built in memory and bound to paths,
// faults injected into chosen kernel calls, and records of what a caller did.
//
//   gkit::Kit kit;                                  // fresh counters, no faults
//   kit.Bind(kit.Path("bolt.prt"), kit.Part("primary solid box from 0 0 0 to 1 1 1 end end"));
//   kit.Fail(KCall::GetFaces);                       // every GetFaces answers null
//   ... run the loader ...
//   EXPECT_EQ(kit.OpenedPaths()[0], kit.Path("bolt.prt"));
//   kit.Release();
//   EXPECT_EQ(gkit::LiveObjects(), 0);
#pragma once

#include <string>
#include <vector>

#include "gBase90/kdiag.h"
#include "gGeometry90/kbuild.h"
#include "gGeometry90/ksession_extras.h"
#include "gTranslator90/granite.h"

namespace gkit {

// The references held now on live kernel objects (LiveObjects() counts the
// objects themselves).
inline long LiveReferences() {
  return KLiveReferences();
}

// The UTF-8 message of a caught kernel exception.
std::string Message(const xthrowable* error);

class Kit {
 public:
  // Clears the kernel's counters, faults, records, bindings, the session's
  // models read from files (KFlushModelCache) and the last error.
  Kit();
  ~Kit();
  Kit(const Kit&) = delete;
  Kit& operator=(const Kit&) = delete;

  // Lets go of the bindings, of everything the kit built (reference cycles
  // built through Component are broken) and of the session's models read from
  // files, puts the cache's racy window and limits back, clears the faults, and removes
  // the kit's files. Afterwards no kernel object should be alive.
  void Release();

  // The session's models read from files, since the kit's start or the last
  // Release (see KGetModelCacheStatistics).
  KModelCacheStatistics CacheStatistics() const { return KGetModelCacheStatistics(); }

  // Faults. nth counts calls of that kind from the kit's start, 1-based; 0
  // means every call.
  void Fail(KCall call, KFault fault = KFault::Null, long nth = 0);
  // The k-th kernel call of any kind (1-based), for sweeps.
  void FailNth(long k, KFault fault = KFault::Throw);
  void ClearFaults();

  // Records since the kit's start.
  long Calls(KCall call) const { return KCallCount(call); }
  long TotalCalls() const { return KTotalCallCount(); }
  std::vector<std::string> OpenedPaths() const;
  std::vector<KTriangulatorRecord> Triangulators() const;

  // A directory of the kit's own, removed by Release; made on first use.
  const std::string& Directory();
  std::string Path(const std::string& name);
  // Writes a file below Directory(); answers its path.
  std::string WriteFile(const std::string& name, const std::string& text);

  // Makes OpenFile of path give model (letter case does not matter), and
  // Translate of the file opened give it too, as a translator would. With
  // placeholder, an empty file is made at path when there is none, so that
  // an existence test finds it.
  void Bind(const std::string& path, const xrchandle<KModel>& model, bool placeholder = true);

  // Models from native text without the header line, e.g.
  // Part("color 1 0 0 primary solid box from 0 0 0 to 1 1 1 end end").
  // A malformed text throws std::invalid_argument with the kernel's reason.
  xrchandle<KPartModel> Part(const std::string& text);
  // A native assembly whose components look for their files in Directory().
  xrchandle<KAssembly> NativeAssembly(const std::string& text);

  // Models built in code, as a translator builds them.
  xrchandle<KAssembly> Assembly(int units = KUNITS_MILLIMETER);
  // Adds a component; placement (16 numbers in Get order) and definition may be null.
  xrchandle<KComponent> Component(const xrchandle<KAssembly>& assembly, const std::string& fileName,
                                  const std::string& configName, const double* placement,
                                  const xrchandle<KModel>& definition);
  xrchandle<KPartModel> EmptyPart(int units = KUNITS_MILLIMETER);
  // A body holding one face of the given surface, coloured when color has a red >= 0.
  static xrchandle<KBody> FaceBody(const KSurface& surface, double red = -1, double green = 0,
                                   double blue = 0);

 private:
  std::string m_directory;
  std::vector<xrchandle<KComponent>> m_components;
};

}  // namespace gkit
