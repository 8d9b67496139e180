// Finding files as Windows does (letter case, separators), share modes,
// refusing what is not a regular file, and the session's models read from
// files: a part read once is handed out again while its file is the same,
// share modes and injected faults act on it as on a first open, and unloading
// the modules lets go of everything kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <sys/utime.h>
#endif

#include <algorithm>
#include <cstdio>

#include "gkit/fixture.h"
#include "win32/wfsopen.h"

namespace {

using namespace gkit;
using Files = KitTest;
using ModelCache = KitTest;

bool Exists(const std::string& path) {
  FILE* f = win32::_wfsopen(xstring::FromNarrow(path).GetWide(), WSTR("r"), win32::_SH_DENYRW);
  if (!f) return false;
  win32::fclose(f);
  return true;
}

xrchandle<KFile> KernelFile(const std::string& path) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  if (session) session->OpenFile(path.c_str(), file);
  return file;
}

// The kernel's open of path: whether it gave a file, and that file's path.
std::string KernelOpen(const std::string& path) {
  xrchandle<KFile> file = KernelFile(path);
  if (!file) return "";
  std::string opened = file->Path();
  file->Close();
  return opened;
}

TEST_F(Files, NamesIgnoreLetterCaseAndWindowsSyntax) {
  const char* const part = "granite-native 1 part";
  const std::string bolt = kit.WriteFile("Models/Gear Box/Bolt_M6.XPR", part);
  const std::string umlaut = kit.WriteFile("Models/Zahnrad-\xC3\x84.prt", part);
  const std::string cyrillic =
      kit.WriteFile("Models/\xD0\x94\xD0\x95\xD0\xA2\xD0\x90\xD0\x9B\xD0\xAC.PRT", part);
  const std::string dir = kit.Directory();
  std::string windows = "C:" + dir + "\\models\\GEAR BOX\\bolt_m6.xpr";
  std::replace(windows.begin(), windows.end(), '/', '\\');
  const struct {
    std::string spelling, file;  // "" where nothing opens
  } cases[] = {
      {dir + "/MODELS/gear box/bolt_m6.XPR", bolt},  // upper-case suffixes on lower-cased names
      {dir + "/models/zahnrad-\xC3\xA4.PRT", umlaut},
      // The kernel lowers the whole path; the name is still found, whatever the locale.
      {xstring::FromNarrow(cyrillic).ToLower().GetNarrow(), cyrillic},
      {windows, bolt},  // backslashes and a drive letter
      {dir + "/models/gear box/bolt_m8.xpr", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exists(c.spelling), !c.file.empty()) << c.spelling;
    EXPECT_EQ(KernelOpen(c.spelling), c.file) << c.spelling << ": " << KGetLastError();
  }
}

#if !defined(_WIN32)  // FIFOs, /dev/null and alarm() are Linux's
TEST_F(Files, OnlyRegularFilesOpenAndNothingBlocks) {
  std::string dir = kit.Path("Sub.prt");
  ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
  std::string fifo = kit.Path("pipe.prt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  ::alarm(20);  // a FIFO that blocked would hang here: fail instead
  for (const std::string& path : {dir, kit.Path("sub.PRT"), fifo, std::string("/dev/null")}) {
    EXPECT_EQ(KernelOpen(path), "") << path;
    EXPECT_NE(std::string(KGetLastError()).find("cannot open"), std::string::npos);
  }
  ::alarm(0);
  KernelOpen(dir);
  EXPECT_NE(std::string(KGetLastError()).find("is a directory"), std::string::npos);
}
#endif

TEST_F(Files, ShareModesRefuseWhatAnotherHandleHoldsOpen) {
  const std::string path = kit.WriteFile("Cover.prt", "granite-native 1 part");
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  // While the kernel holds the file, the host's deny-all open is refused.
  // Closing lets go, though the object lives on; so does releasing an open
  // file (where the session keeps models, the second open gives the kept one
  // and holds the file all the same, though a file it trusts is not opened).
  KSetModelCacheRacyWindow(0);
  for (bool close : {true, false}) {
    session->OpenFile(path.c_str(), file);
    ASSERT_TRUE(file);
    EXPECT_FALSE(Exists(path));
    if (close)
      file->Close();
    else
      file.reset();
    EXPECT_TRUE(Exists(path));
  }
}

const char* const kBox = "granite-native 1 part primary solid box from 0 0 0 to 1 2 3 end end";
// The same length as kBox, another box.
const char* const kOtherBox = "granite-native 1 part primary solid box from 0 0 0 to 4 5 6 end end";

KVec3 Top(const xrchandle<KModel>& model) {
  xrchandle<KBox3D> box;
  model->GetModelBox(box);
  return box ? box->Max() : KVec3{-1, -1, -1};
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
  EXPECT_EQ(kit.Calls(KCall::OpenFile), 2);  // every open is still a kernel call
  // The same size at once: the file times may not show it, so the text of
  // a file changed so recently is compared.
  kit.WriteFile("bolt.prt", kOtherBox);
  xrchandle<KModel> edited = OpenModel(path);
  ASSERT_TRUE(edited);
  EXPECT_EQ(Top(edited).z, 6);
  EXPECT_EQ(OpenModel(path), edited);  // unchanged since: handed out again

  // Files changed long ago are trusted by their times, and any change of them reads again.
  KSetModelCacheRacyWindow(0);
  SetModified(path, 1000000000);
  xrchandle<KModel> old = OpenModel(path);
  EXPECT_EQ(OpenModel(path), old);
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
  // A file that is gone cannot be opened, kept or not.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(KernelFile(path));
  EXPECT_NE(std::string(KGetLastError()).find("no such file"), std::string::npos);
}

TEST_F(ModelCache, InjectedFaultsStillHitEveryOpenAndEveryBox) {
  std::string path = kit.WriteFile("gear.prt", kBox);
  xrchandle<KModel> kept = OpenModel(path);
  ASSERT_TRUE(kept);
  long opens = kit.Calls(KCall::OpenFile);
  kit.Fail(KCall::OpenFile, KFault::Null, opens + 1);
  EXPECT_FALSE(KernelFile(path));
  EXPECT_TRUE(KernelFile(path));
  kit.Fail(KCall::OpenFile, KFault::Throw, opens + 3);
  EXPECT_EQ(Thrown([&] { KernelFile(path); }), "injected failure of OpenFile");
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
