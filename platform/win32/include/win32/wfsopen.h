// Opening files with Windows share modes.
//
// Linux has no share modes, so this process keeps a table of the files it
// holds open through _wfsopen and through the kernel's file objects (see
// ShareLock). An open is refused when it conflicts with one of them as it
// would on Windows: _SH_DENYRW fails while any other handle of this process
// has the file open, and a handle that denies reading or writing refuses
// later opens that read or write. Opens by other processes are not seen.
//
// Only regular files open: a directory is absent, and a FIFO or device is
// refused without blocking.
#pragma once

#include <cstdio>
#include <string>

#include "win32/wintypes.h"

struct stat;

#if defined(_WIN32)

#include <share.h>
#include <stdio.h>
// The share flags are macros there; below they are constants of this namespace
// with the same values.
#undef _SH_DENYRW
#undef _SH_DENYWR
#undef _SH_DENYRD
#undef _SH_DENYNO

namespace win32 {

using ::_wfsopen;
using ::fclose;

#else

namespace win32 {

// Opens path (UTF-16, any letter case, Windows syntax allowed) with an fopen
// mode ("r", "w", "a", each with optional "+", "b", "t") under the share flag.
// Null on failure, with errno set (ENOENT missing or not a regular file,
// EACCES share conflict, EINVAL bad arguments).
GRANITE_WIN32_API FILE* _wfsopen(const WCHAR* path, const WCHAR* mode, int shflag);
// Closes a stream from _wfsopen and lets go of its place in the share table.
GRANITE_WIN32_API int fclose(FILE* stream);

#endif

constexpr int _SH_DENYRW = 0x10;  // deny others reading and writing
constexpr int _SH_DENYWR = 0x20;  // deny others writing
constexpr int _SH_DENYRD = 0x30;  // deny others reading
constexpr int _SH_DENYNO = 0x40;  // deny nothing

// What tells files apart whatever their names (links, ".", letter case): the
// volume serial number and the file index Windows gives for an open handle
// (GetFileInformationByHandle); the device and inode numbers on Linux.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

// The identity of the file at path (UTF-16, found as _wfsopen finds it); false
// when nothing is there.
GRANITE_WIN32_API bool GetFileIdentity(const WCHAR* path, FileIdentity& identity);

// A place in the share table held without a stream, for the kernel's file
// objects. On Windows the system keeps the table: the lock holds a handle of
// its own that shares reading and writing.
class GRANITE_WIN32_API ShareLock {
 public:
  ShareLock() = default;
  ShareLock(const ShareLock&) = delete;
  ShareLock& operator=(const ShareLock&) = delete;
  ~ShareLock() { Release(); }

  // Opens the regular file at a UTF-8 path (resolved as ResolvePathCase does)
  // for reading, sharing reading and writing, and holds its place in the table.
  // Answers the descriptor (the caller closes it; the place stays held until
  // Release), or -1 with errno set as _wfsopen does. resolved gets the path found.
  int OpenForReading(const std::string& path, std::string& resolved);
  // Holds the place OpenForReading would hold for the file at a path that
  // ResolvePathCase found with status st, where that status is enough: in
  // this process's table no descriptor is needed (Windows opens the file to
  // hold it). False with errno set as OpenForReading sets it.
  bool HoldForReading(const std::string& resolved, const struct stat& st);
  void Release();
  bool IsHeld() const { return m_token != 0; }

 private:
  long m_token = 0;
};

}  // namespace win32
