// The file helpers of the stand-ins on Windows, where the system itself
// ignores letter case and keeps the share modes.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "win32/pathcase.h"
#include "win32/wfsopen.h"

namespace win32 {
namespace {

bool Wide(const std::string& utf8, std::wstring& out) {
  out.clear();
  if (utf8.empty()) return true;
  const int n = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
  if (units <= 0) return false;
  out.resize(static_cast<size_t>(units));
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, &out[0], units);
  return true;
}

}  // namespace

std::string NativePathSyntax(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  std::wstring wa, wb;
  return Wide(a, wa) && Wide(b, wb) &&
         ::CompareStringOrdinal(wa.c_str(), int(wa.size()), wb.c_str(), int(wb.size()), TRUE) ==
             CSTR_EQUAL;
}

bool ResolvePathCase(const std::string& path, std::string& resolved) {
  std::string p = NativePathSyntax(path);
  std::wstring wide;
  if (p.empty() || p.find('\0') != std::string::npos || !Wide(p, wide)) return false;
  if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  resolved = p;
  return true;
}

bool ResolvePathCase(const std::string& path, std::string& resolved, struct stat& st) {
  std::wstring wide;
  struct _stat64 found;
  if (!ResolvePathCase(path, resolved) || !Wide(resolved, wide) ||
      ::_wstat64(wide.c_str(), &found) != 0)
    return false;
  // The fields a file's identity and kind are read from, copied one by one:
  // struct stat's layout depends on the run-time's time and size settings.
  st = {};
  st.st_dev = found.st_dev;
  st.st_ino = found.st_ino;
  st.st_mode = found.st_mode;
  st.st_size = static_cast<decltype(st.st_size)>(found.st_size);
  st.st_mtime = static_cast<decltype(st.st_mtime)>(found.st_mtime);
  st.st_ctime = static_cast<decltype(st.st_ctime)>(found.st_ctime);
  return true;
}

bool GetFileIdentity(const WCHAR* path, FileIdentity& identity) {
  if (!path || !path[0]) return false;
  // Opening for no access still reads the attributes; FILE_FLAG_BACKUP_SEMANTICS
  // lets a directory open too.
  HANDLE h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL ok = ::GetFileInformationByHandle(h, &info);
  ::CloseHandle(h);
  // Some file systems give no index; the caller then compares names.
  if (!ok || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) return false;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// The system finds names ignoring letter case: a name never leaves a choice.
std::vector<std::string> CaseTwins(const std::string&) {
  return {};
}

std::vector<std::string> CaseTwinsOfFound(const std::string&) {
  return {};
}

int ShareLock::OpenForReading(const std::string& path, std::string& resolved) {
  Release();
  std::wstring wide;
  if (!ResolvePathCase(path, resolved) || !Wide(resolved, wide)) {
    errno = ENOENT;
    return -1;
  }
  int fd = -1;
  if (::_wsopen_s(&fd, wide.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, _S_IREAD) != 0) return -1;
  struct _stat64 st;
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(fd);
    errno = ENOENT;
    return -1;
  }
  // A second descriptor of its own keeps the file open until Release.
  const int held = ::_dup(fd);
  if (held < 0) {
    ::_close(fd);
    return -1;
  }
  m_token = held + 1;
  return fd;
}

// The system keeps the share table: holding a place takes an open handle.
bool ShareLock::HoldForReading(const std::string& resolved, const struct stat&) {
  std::string found;
  const int fd = OpenForReading(resolved, found);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}

void ShareLock::Release() {
  if (m_token) ::_close(static_cast<int>(m_token - 1));
  m_token = 0;
}

}  // namespace win32
