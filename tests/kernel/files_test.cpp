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

#include <cerrno>
#include <cstdio>

#include "gkit/fixture.h"
#include "win32/pathcase.h"
#include "win32/wfsopen.h"

namespace {

using namespace gkit;
using Files = KitTest;
using ModelCache = KitTest;

FILE* Open(const std::string& path, int share, const WCHAR* mode = WSTR("r")) {
  return win32::_wfsopen(xstring::FromNarrow(path).GetWide(), reinterpret_cast<const WCHAR*>(mode),
                         share);
}

bool Exists(const std::string& path) {
  FILE* f = Open(path, win32::_SH_DENYRW);
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
  std::string real = kit.WriteFile("Models/Gear Box/Bolt_M6.XPR", "x");
  kit.WriteFile("Models/Zahnrad-\xC3\x84.prt", "x");
  kit.WriteFile("Models/\xD0\x94\xD0\x95\xD0\xA2\xD0\x90\xD0\x9B\xD0\xAC.PRT",
                "x");  // Cyrillic, upper case
  std::string dir = kit.Directory();
  std::string found;

  ASSERT_TRUE(win32::ResolvePathCase(dir + "/models/gear box/bolt_m6.xpr", found));
  EXPECT_EQ(found, real);
  // The loader appends upper-case suffixes to lower-cased names.
  EXPECT_TRUE(Exists(dir + "/MODELS/gear box/bolt_m6.XPR"));
  EXPECT_TRUE(Exists(dir + "/models/zahnrad-\xC3\xA4.PRT"));
  // The kernel lowers the whole path; the name is still found, whatever the locale.
  xstring lowered =
      xstring::FromNarrow(dir + "/Models/\xD0\x94\xD0\x95\xD0\xA2\xD0\x90\xD0\x9B\xD0\xAC.PRT")
          .ToLower();
  EXPECT_NE(std::string(lowered.GetNarrow()).find("/models/\xD0\x94\xD0\x95\xD0\xA2"),
            std::string::npos);  // the run-time lowers ASCII letters only
  EXPECT_TRUE(Exists(lowered.GetNarrow()));
  // Backslashes and a drive letter.
  std::string windows = "C:" + dir + "\\models\\GEAR BOX\\bolt_m6.xpr";
  for (char& c : windows)
    if (c == '/') c = '\\';
  EXPECT_TRUE(win32::ResolvePathCase(windows, found));
  EXPECT_EQ(found, real);
  EXPECT_FALSE(Exists(dir + "/models/gear box/bolt_m8.xpr"));
  EXPECT_FALSE(Exists(""));

  // The kernel opens the same spellings.
  std::string part = kit.WriteFile("Models/Washer.PRT", "granite-native 1 part");
  EXPECT_EQ(KernelOpen(dir + "/models/washer.prt"), part) << KGetLastError();
}

TEST_F(Files, AnExactNameWinsAndCaseTwinsAreRefusedByTheKernel) {
  std::string lower = kit.WriteFile("part.prt", "1");
  std::string upper = kit.WriteFile("PART.prt", "2");
  std::string mixed = kit.WriteFile("Part.prt", "3");
  // An entry that is not UTF-8 is passed over, not an error.
  kit.WriteFile("bad-\xFF.prt", "4");
  std::string found;
  ASSERT_TRUE(win32::ResolvePathCase(kit.Path("Part.prt"), found));
  EXPECT_EQ(found, mixed);
  ASSERT_TRUE(win32::ResolvePathCase(kit.Path("pArt.prt"), found));
  EXPECT_EQ(found, upper);  // the byte-wise smallest of the three
  EXPECT_FALSE(win32::ResolvePathCase(kit.Path("bad-\xC3\xBF.prt"), found));
  // The kernel, given a lower-cased name, refuses twins and names them.
  EXPECT_EQ(KernelOpen(lower), "");
  EXPECT_NE(std::string(KGetLastError()).find("'" + upper + "' and '" + mixed + "' differ only"),
            std::string::npos)
      << KGetLastError();
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
  std::string path = kit.WriteFile("Cover.prt", "granite-native 1 part");
  {
    xrchandle<KSession> session;
    KGetSession(session);
    xrchandle<KFile> file;
    session->OpenFile(kit.Path("cover.prt").c_str(), file);
    ASSERT_TRUE(file);
    // The kernel holds the file: a deny-all open is refused...
    errno = 0;
    EXPECT_EQ(Open(path, win32::_SH_DENYRW), nullptr);
    EXPECT_EQ(errno, EACCES);
    // ...while a sharing reader gets in.
    FILE* reader = Open(path, win32::_SH_DENYWR);
    ASSERT_NE(reader, nullptr);
    win32::fclose(reader);
    // Closing lets go, though the object lives on.
    file->Close();
    EXPECT_TRUE(Exists(path));
    // So does releasing an open file without closing it. Where the session
    // keeps models, this open gives the kept one and holds the file all the same.
    session->OpenFile(path.c_str(), file);
    ASSERT_TRUE(file);
    EXPECT_FALSE(Exists(path));
    file.reset();
    EXPECT_TRUE(Exists(path));
    // A deny-all holder keeping the kernel out: ModelCache below.
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
  KSetModelCacheRacyWindow(0);  // the kept model is given on the file's status, without an open
  std::string path = kit.WriteFile("cover.prt", kBox);
  xrchandle<KModel> kept = OpenModel(path);
  ASSERT_TRUE(kept);
  // A deny-all holder keeps the kernel out, though it has the model (a file
  // given from the kept models holds its place: Files.ShareModes...).
  FILE* holder = Open(path, win32::_SH_DENYRW);
  ASSERT_NE(holder, nullptr);
  EXPECT_FALSE(KernelFile(path));
  EXPECT_NE(std::string(KGetLastError()).find("held open"), std::string::npos);
  win32::fclose(holder);
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
