// Finding files as Windows does (letter case, separators), share modes, and
// refusing what is not a regular file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "gkit/fixture.h"
#include "win32/pathcase.h"
#include "win32/wfsopen.h"

namespace {

using namespace gkit;
using Files = KitTest;

FILE* Open(const std::string& path, int share, const WCHAR* mode = WSTR("r")) {
  return win32::_wfsopen(xstring::FromNarrow(path).GetWide(), reinterpret_cast<const WCHAR*>(mode),
                         share);
}

// The kernel's open of path: whether it gave a file, and that file's path.
std::string KernelOpen(const std::string& path) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  session->OpenFile(path.c_str(), file);
  if (!file) return "";
  std::string opened = file->Path();
  file->Close();
  return opened;
}

bool Exists(const std::string& path) {
  FILE* f = Open(path, win32::_SH_DENYRW);
  if (!f) return false;
  win32::fclose(f);
  return true;
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
  EXPECT_TRUE(win32::SameNameIgnoringCase("GEAR\xC3\x89.PRT", "gear\xC3\xA9.prt"));
  EXPECT_FALSE(win32::SameNameIgnoringCase("gear.prt", "gear.prt\xFF"));
  // The kernel, given a lower-cased name, refuses twins and names them.
  EXPECT_EQ(KernelOpen(lower), "");
  EXPECT_NE(std::string(KGetLastError()).find("'" + upper + "' and '" + mixed + "' differ only"),
            std::string::npos)
      << KGetLastError();
  EXPECT_NE(KernelOpen(kit.WriteFile("single.prt", "granite-native 1\npart\n")), "") << KGetLastError();
}

#if !defined(_WIN32)  // FIFOs, /dev/null and alarm() are Linux's
TEST_F(Files, OnlyRegularFilesOpenAndNothingBlocks) {
  std::string dir = kit.Path("Sub.prt");
  ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
  std::string fifo = kit.Path("pipe.prt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  ::alarm(20);  // a FIFO that blocked would hang here: fail instead
  for (const std::string& path : {dir, kit.Path("sub.PRT"), fifo, std::string("/dev/null")}) {
    errno = 0;
    EXPECT_EQ(Open(path, win32::_SH_DENYRW), nullptr) << path;
    EXPECT_EQ(errno, ENOENT) << path;
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
    // So does releasing an open file without closing it.
    session->OpenFile(path.c_str(), file);
    ASSERT_TRUE(file);
    EXPECT_FALSE(Exists(path));
    file.reset();
    EXPECT_TRUE(Exists(path));
    // A deny-all holder keeping the kernel out: cache_test.cpp.
  }
}

}  // namespace
