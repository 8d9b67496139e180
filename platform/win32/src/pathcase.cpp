#include "win32/pathcase.h"

#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "win32/winrt.h"

namespace win32 {
namespace {

// Windows file systems compare names through a table of the whole BMP (the
// run-time's towlower maps ASCII only). The Unicode simple lower-case mapping,
// taken once from the C.UTF-8 locale object, never from the process locale.
struct FoldTable {
  FoldTable() {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    for (char32_t c = 0; c < 0x10000; ++c) {
      char32_t l = c;
      if (utf8 != locale_t(0)) l = towlower_l(c, utf8);
      else if (c >= 'A' && c <= 'Z') l = c + 32;
      lower[c] = static_cast<char16_t>(l < 0x10000 ? l : c);
    }
    if (utf8 != locale_t(0)) freelocale(utf8);
  }
  char16_t lower[0x10000];
};

char16_t FoldUnit(WCHAR c) {
  static const FoldTable table;
  return table.lower[c];
}

// Decodes UTF-8 into UTF-16 units lowered for comparison; false on invalid input.
bool FoldName(const std::string& name, std::u16string& out) {
  out.clear();
  if (name.empty()) return true;
  int length = static_cast<int>(name.size());
  int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
  if (units <= 0) return false;
  std::basic_string<WCHAR> wide(static_cast<size_t>(units), WCHAR());
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, &wide[0], units);
  out.resize(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) out[i] = FoldUnit(wide[i]);
  return true;
}

bool Exists(const std::string& path, struct stat& st) {
  return ::stat(path.c_str(), &st) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return Exists(path, st);
}

// The entry of directory whose name matches name ignoring case; the byte-wise
// smallest when several do.
bool FindEntry(const std::string& directory, const std::u16string& folded, std::string& found) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return false;
  bool any = false;
  std::u16string entryFolded;
  while (struct dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!FoldName(name, entryFolded) || entryFolded != folded) continue;
    if (!any || name < found) found = name;
    any = true;
  }
  ::closedir(dir);
  return any;
}

}  // namespace

std::string NativePathSyntax(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
    p.erase(0, 2);
  return p;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  std::u16string fa, fb;
  return FoldName(a, fa) && FoldName(b, fb) && fa == fb;
}

namespace {

// The names of one directory that have case twins, by folded name, as read
// when the directory had the given identity and time of change. A load opens
// many files of few directories: each is listed again only when it changed.
struct TwinList {
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec changed = {};
  std::map<std::u16string, std::vector<std::string>> twins;
};

std::mutex g_twinLock;
std::map<std::string, TwinList>& TwinLists() {
  static std::map<std::string, TwinList>* lists = new std::map<std::string, TwinList>;
  return *lists;
}

bool Same(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::vector<std::string> CaseTwins(const std::string& path) {
  std::string resolved;
  if (!ResolvePathCase(path, resolved)) return {};
  return CaseTwinsOfFound(resolved);
}

std::vector<std::string> CaseTwinsOfFound(const std::string& resolved) {
  const size_t slash = resolved.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : resolved.substr(0, slash + 1);
  const std::string listed = directory.empty() ? "." : directory;
  struct stat st;
  if (::stat(listed.c_str(), &st) != 0) return {};
  std::lock_guard<std::mutex> hold(g_twinLock);
  std::map<std::string, TwinList>& lists = TwinLists();
  auto it = lists.find(listed);
  if (it == lists.end() || it->second.device != st.st_dev || it->second.inode != st.st_ino ||
      !Same(it->second.changed, st.st_mtim)) {
    if (lists.size() >= 1024) lists.clear();
    TwinList list;
    list.device = st.st_dev;
    list.inode = st.st_ino;
    list.changed = st.st_mtim;
    std::map<std::u16string, std::vector<std::string>> all;
    if (DIR* dir = ::opendir(listed.c_str())) {
      std::u16string entryFolded;
      while (struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (FoldName(name, entryFolded)) all[entryFolded].push_back(directory + name);
      }
      ::closedir(dir);
    }
    for (auto& names : all) {
      if (names.second.size() < 2) continue;
      std::sort(names.second.begin(), names.second.end());
      list.twins.emplace(names.first, std::move(names.second));
    }
    it = lists.insert_or_assign(listed, std::move(list)).first;
  }
  // Most directories have no twins at all: nothing to fold the name for.
  if (it->second.twins.empty()) return {};
  std::u16string folded;
  if (!FoldName(resolved.substr(directory.size()), folded)) return {};
  auto twins = it->second.twins.find(folded);
  return twins == it->second.twins.end() ? std::vector<std::string>() : twins->second;
}

bool ResolvePathCase(const std::string& path, std::string& resolved) {
  struct stat st;
  return ResolvePathCase(path, resolved, st);
}

bool ResolvePathCase(const std::string& path, std::string& resolved, struct stat& st) {
  std::string p = NativePathSyntax(path);
  if (p.empty() || p.find('\0') != std::string::npos) return false;
  // The exact name first: its status is the one asked for.
  if (Exists(p, st)) {
    resolved = p;
    return true;
  }
  std::string current = p[0] == '/' ? "/" : "";
  size_t start = 0;
  std::u16string folded;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    std::string part = p.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    auto join = [&current](const std::string& name) {
      return current.empty() ? name : current.back() == '/' ? current + name : current + "/" + name;
    };
    std::string exact = join(part);
    if (part == "." || part == ".." || Exists(exact)) {
      current = exact;
      continue;
    }
    std::string found;
    if (!FoldName(part, folded) || !FindEntry(current, folded, found)) return false;
    current = join(found);
  }
  resolved = current;
  return !current.empty() && Exists(current, st);
}

}  // namespace win32
