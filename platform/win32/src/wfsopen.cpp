#include "win32/wfsopen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "win32/pathcase.h"
#include "win32/winrt.h"

namespace win32 {
namespace {

struct Holder {
  dev_t device;
  ino_t inode;
  bool reads, writes;        // what the holder does
  bool denyRead, denyWrite;  // what it refuses others
};

// Every file this process holds open through _wfsopen or a ShareLock.
struct ShareTable {
  std::mutex mutex;
  std::map<long, Holder> holders;
  std::map<FILE*, long> streams;
  long next = 1;
};

ShareTable& Table() {
  static ShareTable* table = new ShareTable;  // lives until the process ends
  return *table;
}

bool DecodeShare(int shflag, bool& denyRead, bool& denyWrite) {
  switch (shflag) {
    case _SH_DENYRW:
      denyRead = denyWrite = true;
      return true;
    case _SH_DENYWR:
      denyRead = false;
      denyWrite = true;
      return true;
    case _SH_DENYRD:
      denyRead = true;
      denyWrite = false;
      return true;
    case _SH_DENYNO:
      denyRead = denyWrite = false;
      return true;
  }
  return false;
}

// Registers the open as Windows would allow it; 0 on a conflict.
long Acquire(const struct stat& st, bool reads, bool writes, bool denyRead, bool denyWrite) {
  ShareTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (const auto& [token, h] : t.holders) {
    if (h.device != st.st_dev || h.inode != st.st_ino) continue;
    if ((reads && h.denyRead) || (writes && h.denyWrite) || (h.reads && denyRead) ||
        (h.writes && denyWrite))
      return 0;
  }
  long token = t.next++;
  t.holders[token] = {st.st_dev, st.st_ino, reads, writes, denyRead, denyWrite};
  return token;
}

void ReleaseToken(long token) {
  ShareTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.holders.erase(token);
}

// Opens an existing regular file without blocking, or creates one when
// create is set. Answers the descriptor or -1 with errno set.
int OpenRegular(const std::string& path, int flags, bool create, std::string& resolved,
                struct stat& st) {
  // A device may act on being opened: look before opening (the status the
  // search read), and again after.
  bool looked = ResolvePathCase(path, resolved, st);
  if (!looked) {
    if (!create) {
      errno = ENOENT;
      return -1;
    }
    // A new file: its directory is found ignoring case, its name kept as given.
    std::string p = NativePathSyntax(path);
    size_t slash = p.rfind('/');
    std::string directory = slash == std::string::npos ? "." : p.substr(0, slash ? slash : 1);
    std::string found;
    if (!ResolvePathCase(directory, found)) {
      errno = ENOENT;
      return -1;
    }
    resolved =
        slash == std::string::npos ? p : found + (found == "/" ? "" : "/") + p.substr(slash + 1);
    looked = ::stat(resolved.c_str(), &st) == 0;
  }
  if (looked && !S_ISREG(st.st_mode)) {
    errno = ENOENT;
    return -1;
  }
  int fd = ::open(resolved.c_str(), flags | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) {
    if (errno == EISDIR) errno = ENOENT;
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ENOENT;
    return -1;
  }
  // The status flags as opened, without O_NONBLOCK (of those F_SETFL sets,
  // only O_APPEND is ever asked for).
  ::fcntl(fd, F_SETFL, flags & O_APPEND);
  return fd;
}

std::string NarrowPath(const WCHAR* path) {
  int length = static_cast<int>(wcslen(path));
  int bytes = WideCharToMultiByte(CP_UTF8, 0, path, length, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, path, length, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

FILE* _wfsopen(const WCHAR* path, const WCHAR* mode, int shflag) {
  bool denyRead, denyWrite;
  if (!path || !mode || !path[0] || !DecodeShare(shflag, denyRead, denyWrite)) {
    errno = EINVAL;
    return nullptr;
  }
  char kind = static_cast<char>(mode[0]);
  bool plus = false;
  for (const WCHAR* m = mode + 1; *m; ++m) {
    if (*m == '+')
      plus = true;
    else if (*m != 'b' && *m != 't')
      kind = 0;
  }
  int flags;
  bool create = false;
  const char* fmode;
  switch (kind) {
    case 'r':
      flags = plus ? O_RDWR : O_RDONLY;
      fmode = plus ? "r+" : "r";
      break;
    case 'w':
      flags = (plus ? O_RDWR : O_WRONLY) | O_TRUNC;
      create = true;
      fmode = plus ? "w+" : "w";
      break;
    case 'a':
      flags = (plus ? O_RDWR : O_WRONLY) | O_APPEND;
      create = true;
      fmode = plus ? "a+" : "a";
      break;
    default:
      errno = EINVAL;
      return nullptr;
  }
  // Truncation waits until the share check has passed.
  bool truncate = (flags & O_TRUNC) != 0;
  flags &= ~O_TRUNC;
  std::string resolved;
  struct stat st;
  int fd = OpenRegular(NarrowPath(path), flags, create, resolved, st);
  if (fd < 0) return nullptr;
  bool reads = kind == 'r' || plus, writes = kind != 'r' || plus;
  long token = Acquire(st, reads, writes, denyRead, denyWrite);
  if (!token) {
    ::close(fd);
    errno = EACCES;
    return nullptr;
  }
  if (truncate && ::ftruncate(fd, 0) != 0) {
    int error = errno;
    ReleaseToken(token);
    ::close(fd);
    errno = error;
    return nullptr;
  }
  FILE* stream = ::fdopen(fd, fmode);
  if (!stream) {
    int error = errno;
    ReleaseToken(token);
    ::close(fd);
    errno = error;
    return nullptr;
  }
  ShareTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.streams[stream] = token;
  return stream;
}

int fclose(FILE* stream) {
  if (!stream) {
    errno = EINVAL;
    return EOF;
  }
  long token = 0;
  {
    ShareTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.streams.find(stream);
    if (it != t.streams.end()) {
      token = it->second;
      t.streams.erase(it);
    }
  }
  if (token) ReleaseToken(token);
  return ::fclose(stream);
}

bool GetFileIdentity(const WCHAR* path, FileIdentity& identity) {
  std::string resolved;
  struct stat st;
  if (!path || !path[0] || !ResolvePathCase(NarrowPath(path), resolved) ||
      ::stat(resolved.c_str(), &st) != 0)
    return false;
  identity.volume = static_cast<uint64_t>(st.st_dev);
  identity.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

int ShareLock::OpenForReading(const std::string& path, std::string& resolved) {
  Release();
  struct stat st;
  int fd = OpenRegular(path, O_RDONLY, false, resolved, st);
  if (fd < 0) return -1;
  m_token = Acquire(st, true, false, false, false);
  if (!m_token) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

bool ShareLock::HoldForReading(const std::string& /*resolved*/, const struct stat& st) {
  Release();
  if (!S_ISREG(st.st_mode)) {
    errno = ENOENT;
    return false;
  }
  m_token = Acquire(st, true, false, false, false);
  if (!m_token) {
    errno = EACCES;
    return false;
  }
  return true;
}

void ShareLock::Release() {
  if (m_token) ReleaseToken(m_token);
  m_token = 0;
}

}  // namespace win32
