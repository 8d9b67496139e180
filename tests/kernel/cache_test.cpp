// The session's models read from files: a part read once is handed out
// again while its file is the same, share modes and injected faults act as
// on a first open, and the test kit's release lets go of everything kept.
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <sys/utime.h>
#endif

#include <cstdio>

#include "helpers.h"
#include "win32/wfsopen.h"

namespace {

using namespace ktest;
using ModelCache = KitTest;

const char* const kBox = "granite-native 1 part primary solid box from 0 0 0 to 1 2 3 end end";
// The same length as kBox, another box.
const char* const kOtherBox = "granite-native 1 part primary solid box from 0 0 0 to 4 5 6 end end";

xrchandle<KFile> Open(const std::string& path) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  if (session) session->OpenFile(path.c_str(), file);
  return file;
}

KVec3 Top(const xrchandle<KModel>& model) {
  xrchandle<KBox3D> box;
  model->GetModelBox(box);
  return box ? box->Max() : KVec3{-1, -1, -1};
}

FILE* DenyAll(const std::string& path) {
  return win32::_wfsopen(xstring::FromNarrow(path).GetWide(),
                         reinterpret_cast<const WCHAR*>(WSTR("r")), win32::_SH_DENYRW);
}

// Sets both file times to seconds since the epoch (the change time follows the clock).
void SetModified(const std::string& path, time_t seconds) {
#if defined(_WIN32)
  struct _utimbuf times = {seconds, seconds};
  ASSERT_EQ(::_utime(path.c_str(), &times), 0);
#else
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
}

TEST_F(ModelCache, AnUnchangedPartIsReadOnceAndSharedWithItsBox) {
  std::string path = kit.WriteFile("bolt.prt", kBox);
  xrchandle<KModel> first = OpenModel(path);
  ASSERT_TRUE(first) << KGetLastError();
  EXPECT_EQ(OpenModel(kit.Path("BOLT.PRT")), first);  // another spelling, the same file
  EXPECT_TRUE(first->IsShared());
  KModelCacheStatistics s = kit.CacheStatistics();
  EXPECT_EQ(s.reads, 1);
  EXPECT_EQ(s.hits, 1);
  EXPECT_EQ(s.entries, 1);
  EXPECT_GT(s.bytes, 0);
  // Every open is still a kernel call, recorded with its path.
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);
  EXPECT_EQ(kit.OpenedPaths().size(), 2u);
  // The box kept is the box measured, every time.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Top(first).y, 2);
}

TEST_F(ModelCache, AFileEditedBetweenTwoOpensIsReadAgain) {
  std::string path = kit.WriteFile("plate.prt", kBox);
  xrchandle<KModel> before = OpenModel(path);
  ASSERT_TRUE(before);
  EXPECT_EQ(Top(before).z, 3);
  kit.WriteFile("plate.prt",
                "granite-native 1 part primary solid box from 0 0 0 to 7 8 9.5 end end");
  xrchandle<KModel> bigger = OpenModel(path);
  ASSERT_TRUE(bigger);
  EXPECT_NE(bigger, before);
  EXPECT_EQ(Top(bigger).z, 9.5);
  // The same size at once: the file times may not show it, so the text of
  // a file changed so recently is compared.
  kit.WriteFile("plate.prt", kBox);
  xrchandle<KModel> a = OpenModel(path);
  kit.WriteFile("plate.prt", kOtherBox);
  xrchandle<KModel> b = OpenModel(path);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(Top(a).z, 3);
  EXPECT_EQ(Top(b).z, 6);
  // Unchanged since: handed out again, after comparing.
  KModelCacheStatistics s = kit.CacheStatistics();
  EXPECT_EQ(OpenModel(path), b);
  EXPECT_EQ(kit.CacheStatistics().hits, s.hits + 1);
  EXPECT_EQ(kit.CacheStatistics().verified, s.verified + 1);
  EXPECT_EQ(kit.CacheStatistics().reads, s.reads);
  EXPECT_EQ(kit.CacheStatistics().entries, 1);
}

TEST_F(ModelCache, OldFilesAreTrustedByTheirTimesAndAnyChangeOfThemReadsAgain) {
  KSetModelCacheRacyWindow(0);  // as for files changed long ago
  std::string path = kit.WriteFile("cover.prt", kBox);
  SetModified(path, 1000000000);
  xrchandle<KModel> first = OpenModel(path);
  ASSERT_TRUE(first);
  EXPECT_EQ(OpenModel(path), first);
  EXPECT_EQ(kit.CacheStatistics().hits, 1);
  EXPECT_EQ(kit.CacheStatistics().verified, 0);  // not even read
  // The same size and text length, another modification time.
  kit.WriteFile("cover.prt", kOtherBox);
  SetModified(path, 1000000000 + 1);
  xrchandle<KModel> edited = OpenModel(path);
  ASSERT_TRUE(edited);
  EXPECT_NE(edited, first);
  EXPECT_EQ(Top(edited).z, 6);
  // Replaced by another file (another inode) with the same size and times.
  std::string other = kit.WriteFile("new.prt", kBox);
  SetModified(other, 1000000000 + 1);
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  xrchandle<KModel> replaced = OpenModel(path);
  ASSERT_TRUE(replaced);
  EXPECT_NE(replaced, edited);
  EXPECT_EQ(Top(replaced).z, 3);
  EXPECT_EQ(kit.CacheStatistics().entries, 1);
  kit.Release();
  EXPECT_EQ(KModelCacheRacyWindow(), kModelCacheRacyWindow);  // put back
}

TEST_F(ModelCache, AFileHeldOpenWithoutSharingIsStillRefused) {
  KSetModelCacheRacyWindow(0);  // the kept model is given on the file's status, without an open
  std::string path = kit.WriteFile("cover.prt", kBox);
  xrchandle<KModel> kept = OpenModel(path);
  ASSERT_TRUE(kept);
  // A deny-all holder keeps the kernel out, though it has the model.
  FILE* holder = DenyAll(path);
  ASSERT_NE(holder, nullptr);
  EXPECT_FALSE(Open(path));
  EXPECT_NE(std::string(KGetLastError()).find("held open"), std::string::npos);
  win32::fclose(holder);
  // A file given from the cache holds its place in the share table until closed.
  xrchandle<KFile> file = Open(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Model(), kept);
  EXPECT_EQ(DenyAll(path), nullptr);
  file->Close();
  holder = DenyAll(path);
  EXPECT_NE(holder, nullptr);
  if (holder) win32::fclose(holder);
  // A file that is gone cannot be opened, kept or not.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(Open(path));
  EXPECT_NE(std::string(KGetLastError()).find("no such file"), std::string::npos);
}

TEST_F(ModelCache, TheKitsReleaseAndUnloadingTheModulesLetGo) {
  std::string path = kit.WriteFile("a.prt", kBox);
  OpenModel(path);
  // Nothing outside holds the model: only the session keeps it alive.
  EXPECT_GT(LiveObjects(), 0);
  EXPECT_EQ(kit.CacheStatistics().entries, 1);
  kit.Release();
  EXPECT_EQ(kit.CacheStatistics().entries, 0);
  EXPECT_EQ(LiveObjects(), 0);
  {
    Kit first;
    OpenModel(first.WriteFile("a.prt", kBox));
    // A later kit starts without the models an earlier test left behind.
    Kit next;
    EXPECT_EQ(next.CacheStatistics().entries, 0);
    EXPECT_EQ(LiveObjects(), 0);
  }
  Kit again;
  path = again.WriteFile("a.prt", kBox);
  OpenModel(path);
  // An unload made to give nothing keeps them...
  again.Fail(KCall::UnloadModules, KFault::Null, 1);
  KUnloadAuxModules();
  EXPECT_EQ(again.CacheStatistics().entries, 1);
  // ...one that takes effect lets go.
  KUnloadAuxModules();
  EXPECT_EQ(again.CacheStatistics().entries, 0);
  EXPECT_EQ(LiveObjects(), 0);
  // And the next open reads the file again.
  ASSERT_TRUE(OpenModel(path));
  EXPECT_EQ(again.CacheStatistics().reads, 1);
  again.Release();
}

TEST_F(ModelCache, InjectedFaultsStillHitEveryOpenAndEveryBox) {
  std::string path = kit.WriteFile("gear.prt", kBox);
  xrchandle<KModel> kept = OpenModel(path);
  ASSERT_TRUE(kept);
  long opens = kit.Calls(KCall::OpenFile);
  kit.Fail(KCall::OpenFile, KFault::Null, opens + 1);
  EXPECT_FALSE(Open(path));
  EXPECT_TRUE(Open(path));
  kit.Fail(KCall::OpenFile, KFault::Throw, opens + 3);
  EXPECT_EQ(Thrown([&] { Open(path); }), "injected failure of OpenFile");
  kit.ClearFaults();
  // The k-th call of any kind, k being a cached open.
  kit.FailNth(kit.TotalCalls() + 2, KFault::Null);  // KGetSession, then OpenFile
  EXPECT_FALSE(Open(path));
  kit.ClearFaults();
  // A kept box still goes through the call.
  kit.Fail(KCall::GetModelBox, KFault::Null);
  EXPECT_EQ(Top(kept).z, -1);
  kit.ClearFaults();
  EXPECT_EQ(Top(kept).z, 3);
  EXPECT_EQ(kit.CacheStatistics().reads, 1);
}

TEST_F(ModelCache, SharedModelsRefuseChangesAndOthersDoNot) {
  xrchandle<KModel> kept = OpenModel(kit.WriteFile("shaft.prt", kBox));
  KPartModel* part = KPartModel::cast(kept.get());
  ASSERT_TRUE(part);
  xrchandle<KPartModel> own = kit.Part("primary solid box from 0 0 0 to 1 1 1 end end");
  xrchandle<KBody> body(new KBody);
  auto refused = [](auto change) {
    return Thrown(change).find("must not change") != std::string::npos;
  };
  EXPECT_TRUE(refused([&] { part->SetUnits(KUNITS_METER); }));
  EXPECT_TRUE(refused([&] { part->SetPrimaryBody(body); }));
  EXPECT_TRUE(refused([&] { part->AddItem(xrchandle<KGeometryItem>(new KGeometryItem(body))); }));
  EXPECT_FALSE(refused([&] { own->SetUnits(KUNITS_METER); }));
  EXPECT_FALSE(refused([&] { own->AddItem(xrchandle<KGeometryItem>(new KGeometryItem(body))); }));
  EXPECT_EQ(part->GetUnits(), KUNITS_MILLIMETER);
  EXPECT_EQ(Top(kept).z, 3);
}

TEST_F(ModelCache, AssembliesAreReadEveryTimeTheirPartsOnce) {
  kit.WriteFile("gear.prt", kBox);
  std::string top = kit.WriteFile("top.asm",
                                  "granite-native 1 assembly component \"gear.prt\" end "
                                  "component \"GEAR.PRT\" translate 5 0 0 end");
  xrchandle<KModel> a = OpenModel(top), b = OpenModel(top);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_FALSE(a->IsShared());
  // Both components of both assemblies load the one part.
  const xrchandle<KModel> part = OpenModel(kit.Path("gear.prt"));
  for (const xrchandle<KModel>& m : {a, b})
    for (const xrchandle<KComponent>& c : Components(m)) EXPECT_EQ(Definition(c), part);
  KModelCacheStatistics s = kit.CacheStatistics();
  EXPECT_EQ(s.reads, 3);  // the assembly twice, the part once
  EXPECT_EQ(s.entries, 1);
  EXPECT_EQ(Top(a).x, 6);  // the assembly's box: its two placements of the part
}

TEST_F(ModelCache, MalformedFilesAreNotKept) {
  std::string path = kit.WriteFile("bad.prt", "granite-native 1 part primary solid blob end end");
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(Open(path));
    EXPECT_NE(std::string(KGetLastError()).find("bad.prt:1:"), std::string::npos);
  }
  EXPECT_EQ(kit.CacheStatistics().reads, 2);
  EXPECT_EQ(kit.CacheStatistics().entries, 0);
  kit.WriteFile("bad.prt", kBox);
  EXPECT_TRUE(OpenModel(path));
}

TEST_F(ModelCache, TheLeastRecentlyOpenedGoFirstWithinTheLimits) {
  KSetModelCacheLimits(2, 0);
  std::string a = kit.WriteFile("a.prt", kBox), b = kit.WriteFile("b.prt", kBox),
              c = kit.WriteFile("c.prt", kBox);
  xrchandle<KModel> ma = OpenModel(a), mb = OpenModel(b);
  EXPECT_EQ(OpenModel(a), ma);  // a is now the more recent
  OpenModel(c);                 // b goes
  EXPECT_EQ(kit.CacheStatistics().entries, 2);
  long reads = kit.CacheStatistics().reads;
  EXPECT_EQ(OpenModel(a), ma);
  EXPECT_EQ(kit.CacheStatistics().reads, reads);
  EXPECT_NE(OpenModel(b), mb);  // read again
  EXPECT_EQ(kit.CacheStatistics().reads, reads + 1);
  // A budget smaller than a model keeps none.
  KSetModelCacheLimits(0, 16);
  EXPECT_EQ(kit.CacheStatistics().entries, 0);
  EXPECT_EQ(kit.CacheStatistics().bytes, 0);
  OpenModel(a);
  EXPECT_EQ(kit.CacheStatistics().entries, 0);
}

}  // namespace
