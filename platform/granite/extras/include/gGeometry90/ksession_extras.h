// KERNEL STAND-IN EXTRA: not part of the kernel's interface (include/).
//
// The session's extras: its cache of models read from files, models bound to
// paths and read from text for tests, and the faces a model will mesh (for
// progress reports).
#pragma once

#include <string>

#include "gGeometry90/ksession.h"

// The session's models read from files. OpenFile of a native part file,
// Translate of an exchange file (see KFindTranslatedModel), and
// the first GetDefinition of a native assembly's component that names one,
// keep the model read, keyed by the path found on disk and checked against
// the file's device, inode, size, modification and change times on every
// open: a file that differs in any of them is read again. A native part whose
// status matches is not opened again (a file gone fails the look, a change of
// its permissions changes its change time), but its place in the share table
// is taken as an open would take it. A file changed less than
// the racy window before it was read could change again without its times
// showing it (their granularity: a clock tick here, 2 s on FAT), so its text
// is kept and compared on every open until the file is older than that.
// Only part models of native files are kept (an assembly's components load
// other files, which change apart from it); translated ones only when the
// translation used no other file, and not while the file is racy. Kept
// models are shared by every opener and marked so
// (KModel::MarkShared). At most kModelCacheEntries models and about
// kModelCacheBytes of them are kept, the least recently opened going first;
// a model larger than the whole budget is not kept. One thread at a time, as
// everywhere in the kernel. Kept models count as live objects: a
// KUnloadAuxModules that takes effect, the test kit's Kit() and its
// Release() let go of them.
constexpr int kModelCacheEntries = 65536;
constexpr long long kModelCacheBytes = 256LL << 20;
constexpr double kModelCacheRacyWindow = 3.0;  // seconds

struct KModelCacheStatistics {
  long entries;     // models kept now
  long long bytes;  // their estimated size
  long hits;        // opens given a kept model (verified ones included)
  long verified;    // of those, opens whose text was read and compared
  long reads;       // native files parsed by OpenFile and component loads
  long translated;  // exchange files translated (not handed out from the kept models)
};
// Since the last flush.
GRANITE_KGEOMETRY_API KModelCacheStatistics KGetModelCacheStatistics();
// Lets go of every kept model and clears the statistics.
GRANITE_KGEOMETRY_API void KFlushModelCache();
// For tests: the racy window in seconds (0: trust the file times at once).
GRANITE_KGEOMETRY_API void KSetModelCacheRacyWindow(double seconds);
GRANITE_KGEOMETRY_API double KModelCacheRacyWindow();
// For tests: other limits than kModelCacheEntries and kModelCacheBytes (0 or
// less: those); models over them go at once, the least recently opened first.
GRANITE_KGEOMETRY_API void KSetModelCacheLimits(int entries, long long bytes);

// For kernel modules (the translator): models translated from exchange files
// are kept with the native parts, keyed by the path found on disk and a
// variant (the format code and the settings the translation followed), and
// checked against the file's identity on every Translate. KFindTranslatedModel
// gives the kept model, or null when there is none or the file is no longer
// the one it was translated from. KTranslatedModel counts a translation of
// path (after a KFindTranslatedModel that gave null) and keeps its model,
// marked shared with every model it holds, unless keepable is false (it used
// other files), the file changed since that find or within the racy window,
// or it would take more than the budget (estimated from the file's size).
GRANITE_KGEOMETRY_API xrchandle<KModel> KFindTranslatedModel(const std::string& path,
                                                       const std::string& variant);
GRANITE_KGEOMETRY_API void KTranslatedModel(const std::string& path, const std::string& variant,
                                      const xrchandle<KModel>& model, bool keepable);

// Makes OpenFile of path (matched ignoring case and separators) give a file
// holding model, without reading the disk; Translate of that file gives the
// model too, whatever the format code. For tests.
GRANITE_KGEOMETRY_API void KBindModel(const char* path, const xrchandle<KModel>& model);
GRANITE_KGEOMETRY_API void KUnbindAll();
// Reads a model from native text, as OpenFile reads a file; name is used in
// reasons and directory for the components' files. Null on a malformed text.
GRANITE_KGEOMETRY_API xrchandle<KModel> KReadNative(const std::string& text,
                                                    const std::string& name,
                                                    const std::string& directory);

// The faces a walk of every occurrence meshes: the faces of a part's bodies,
// or of the parts an assembly places, counted per occurrence (components whose
// file is not read yet count nothing). For progress reports.
GRANITE_KGEOMETRY_API long KFacesToMesh(const KModel& model);
