// The session's models read from files: a part read once is handed out
// again while its file is the same, share modes and injected faults act as
// on a first open, and unloading the modules lets go of everything kept.
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <sys/utime.h>
#endif

#include <cstdio>

#include "gkit/fixture.h"
#include "win32/wfsopen.h"

namespace {

using namespace gkit;
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

TEST_F(ModelCache, APartIsReadAgainOnlyWhenItsFileChanged) {
  std::string path = kit.WriteFile("bolt.prt", kBox);
  xrchandle<KModel> first = OpenModel(path);
  ASSERT_TRUE(first) << KGetLastError();
  EXPECT_EQ(OpenModel(kit.Path("BOLT.PRT")), first);  // another spelling, the same file
  EXPECT_TRUE(first->IsShared());
  EXPECT_EQ(kit.CacheStatistics().reads, 1);
  EXPECT_EQ(kit.CacheStatistics().hits, 1);
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);  // every open is still a kernel call
  // The same size at once: the file times may not show it, so the text of
  // a file changed so recently is compared.
  kit.WriteFile("bolt.prt", kOtherBox);
  xrchandle<KModel> edited = OpenModel(path);
  ASSERT_TRUE(edited);
  EXPECT_EQ(Top(edited).z, 6);
  KModelCacheStatistics s = kit.CacheStatistics();
  EXPECT_EQ(OpenModel(path), edited);  // unchanged since: handed out again, after comparing
  EXPECT_EQ(kit.CacheStatistics().verified, s.verified + 1);
  EXPECT_EQ(kit.CacheStatistics().reads, s.reads);

  // Files changed long ago are trusted by their times, and any change of them reads again.
  KSetModelCacheRacyWindow(0);
  SetModified(path, 1000000000);
  xrchandle<KModel> old = OpenModel(path);
  s = kit.CacheStatistics();
  EXPECT_EQ(OpenModel(path), old);
  EXPECT_EQ(kit.CacheStatistics().verified, s.verified);  // not even read
  kit.WriteFile("bolt.prt", kBox);  // the same size, another modification time
  SetModified(path, 1000000000 + 1);
  xrchandle<KModel> retimed = OpenModel(path);
  ASSERT_TRUE(retimed);
  EXPECT_EQ(Top(retimed).z, 3);
  // Replaced by another file (another inode) with the same size and times.
  std::string other = kit.WriteFile("new.prt", kOtherBox);
  SetModified(other, 1000000000 + 1);
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_EQ(Top(OpenModel(path)).z, 6);
  EXPECT_EQ(kit.CacheStatistics().entries, 1);
}

TEST_F(ModelCache, AFileHeldOpenWithoutSharingIsStillRefused) {
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
  // Unloading the modules, as the host's shutdown does, lets go of the
  // models kept; an unload made to give nothing keeps them.
  kit.Fail(KCall::UnloadModules, KFault::Null, 1);
  KUnloadAuxModules();
  EXPECT_EQ(kit.CacheStatistics().entries, 1);
  KUnloadAuxModules();
  EXPECT_EQ(kit.CacheStatistics().entries, 0);
}

}  // namespace
