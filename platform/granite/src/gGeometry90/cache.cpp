// The session's models read from native part files (see KFlushModelCache in
// ksession.h): reading an open file, from the kept model when the file is
// the same as when it was read.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <list>
#include <string>
#include <unordered_map>

#include "gBase90/kcall.h"
#include "gBase90/kservices.h"
#include "gGeometry90/ksession.h"
#include "gGeometry90/ksession_extras.h"
#include "native.h"

namespace {

constexpr size_t kMaxFileSize = 64u << 20;

// What tells one version of a file from another without reading it.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {}, changed = {};

#if defined(_WIN32)
  // Windows keeps whole seconds in struct stat.
  static struct timespec Modified(const struct stat& st) { return {st.st_mtime, 0}; }
  static struct timespec Changed(const struct stat& st) { return {st.st_ctime, 0}; }
#else
  static struct timespec Modified(const struct stat& st) { return st.st_mtim; }
  static struct timespec Changed(const struct stat& st) { return st.st_ctim; }
#endif

  explicit Identity(const struct stat& st)
      : device(st.st_dev),
        inode(st.st_ino),
        size(st.st_size),
        modified(Modified(st)),
        changed(Changed(st)) {}
  bool operator==(const Identity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

struct Entry {
  Entry(const Identity& i, const xrchandle<KModel>& m) : identity(i), model(m) {}
  Identity identity;
  xrchandle<KModel> model;
  // While racy: the text the model was read from, compared on every open.
  bool racy = false;
  std::string text;
  long long bytes = 0;
  std::list<std::string>::iterator use;  // place in Cache::order
};

struct Cache {
  std::unordered_map<std::string, Entry> entries;
  // Translated files not found kept: their identity when looked for, so that
  // a file changed while it was translated is not kept.
  std::unordered_map<std::string, Identity> looked;
  std::list<std::string> order;  // most recently opened first
  long long bytes = 0;
  KModelCacheStatistics statistics = {};
  double racyWindow = kModelCacheRacyWindow;
  size_t maxEntries = kModelCacheEntries;
  long long maxBytes = kModelCacheBytes;
  bool hooked = false;
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // lives until the process ends
  return *cache;
}

void Forget(Cache& c, std::unordered_map<std::string, Entry>::iterator it) {
  c.bytes -= it->second.bytes;
  c.order.erase(it->second.use);
  c.entries.erase(it);  // may delete the model: nothing of the cache is used after
}

void FlushAll() {
  Cache& c = TheCache();
  // Moved out first: deleting models runs destructors, which must find the
  // cache consistent (empty).
  std::unordered_map<std::string, Entry> entries;
  entries.swap(c.entries);
  c.looked.clear();
  c.order.clear();
  c.bytes = 0;
  c.statistics = {};
  entries.clear();
}

double Seconds(const struct timespec& t) {
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// A file changed so recently that a further change might leave its times as
// they are (their granularity is a clock tick, or seconds on some file systems).
bool IsRacy(const struct stat& st, double window) {
  struct timespec now;
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return true;
  double last = std::max(Seconds(Identity::Modified(st)), Seconds(Identity::Changed(st)));
  return Seconds(now) - last < window;
}

// A rough size of what a part model holds, for the cache's budget.
long long EstimateBytes(const KModel& model) {
  long long bytes = sizeof(KPartModel) + 256;
  const KPartModel* part = KPartModel::cast(&model);
  if (!part) return bytes;
  auto body = [&bytes](const KBody* b) {
    if (!b) return;
    bytes += sizeof(KBody) + 128;
    for (const xrchandle<KFace>& f : b->Faces().Items()) {
      if (!f) continue;
      bytes += sizeof(KFace) + 160 +
               static_cast<long long>(f->Surface().points.capacity() * sizeof(KVec3));
    }
  };
  body(part->PrimaryBody().get());
  for (const xrchandle<KGeometryItem>& item : part->Items().Items())
    if (item && item->Body() != part->PrimaryBody()) body(item->Body().get());
  return bytes;
}

// Marks the model and every model it places as shared.
void MarkAllShared(KModel* model) {
  if (!model || model->IsShared()) return;
  model->MarkShared();
  if (const KAssembly* assembly = KAssembly::cast(model))
    for (const xrchandle<KComponent>& component : assembly->Components().Items())
      if (component) MarkAllShared(component->Definition().get());
}

void Keep(const std::string& path, const Identity& identity, const xrchandle<KModel>& model,
          bool racy, std::string& text, long long bytes) {
  Cache& c = TheCache();
  if (!c.hooked) {
    KAddUnloadHook(&FlushAll);
    c.hooked = true;
  }
  auto old = c.entries.find(path);
  if (old != c.entries.end()) Forget(c, old);
  bytes += static_cast<long long>(path.size());
  if (racy) bytes += static_cast<long long>(text.size());
  if (bytes > c.maxBytes || c.maxEntries == 0) return;  // over the whole budget: not kept
  while (!c.order.empty() && (c.bytes + bytes > c.maxBytes || c.entries.size() >= c.maxEntries))
    Forget(c, c.entries.find(c.order.back()));
  MarkAllShared(model.get());
  c.order.push_front(path);
  Entry& e = c.entries.emplace(path, Entry(identity, model)).first->second;
  e.racy = racy;
  if (racy) e.text.swap(text);
  e.bytes = bytes;
  e.use = c.order.begin();
  c.bytes += bytes;
}

// Reads the rest of fd, at most kMaxFileSize bytes.
bool ReadAll(int fd, std::string& text, std::string& reason, const std::string& path) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = path + ": the file cannot be read";
      return false;
    }
    if (text.size() + static_cast<size_t>(n) > kMaxFileSize) {
      reason = path + ": the file is larger than 64 MiB";
      return false;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

// Closes a descriptor when the scope ends.
struct Descriptor {
  int fd;
  ~Descriptor() { ::close(fd); }
};

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

namespace knative {

xrchandle<KModel> ReadOpened(int fd, const std::string& path, std::string& reason) {
  Descriptor closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    reason = path + ": the file cannot be read";
    return xrchandle<KModel>();
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
    reason = path + ": the file is larger than 64 MiB";
    return xrchandle<KModel>();
  }
  Cache& c = TheCache();
  const Identity identity(st);
  auto found = c.entries.find(path);
  if (found != c.entries.end() && !(found->second.identity == identity)) {
    Forget(c, found);  // another version of the file
    found = c.entries.end();
  }
  std::string text;
  if (found != c.entries.end()) {
    Entry& e = found->second;
    bool same = true;
    if (e.racy) {
      same = ReadAll(fd, text, reason, path) && text == e.text;
      if (!same) {
        Forget(c, found);
        found = c.entries.end();
        if (!reason.empty()) return xrchandle<KModel>();
      }
    }
    if (same) {
      ++c.statistics.hits;
      if (e.racy) {
        ++c.statistics.verified;
        if (!IsRacy(st, c.racyWindow)) {
          e.racy = false;
          c.bytes -= static_cast<long long>(e.text.size());
          e.bytes -= static_cast<long long>(e.text.size());
          std::string().swap(e.text);
        }
      }
      c.order.splice(c.order.begin(), c.order, e.use);
      return e.model;
    }
  } else if (!ReadAll(fd, text, reason, path)) {
    return xrchandle<KModel>();
  }
  ++c.statistics.reads;
  xrchandle<KModel> model = Read(text.data(), text.size(), path, DirectoryOf(path), reason);
  // Only parts: an assembly's components load other files, which may change
  // apart from it, and may hold the assembly itself.
  if (model && KPartModel::cast(model.get()))
    Keep(path, identity, model, IsRacy(st, c.racyWindow), text, EstimateBytes(*model));
  return model;
}

xrchandle<KModel> FindKept(const std::string& path, const struct stat& st) {
  Cache& c = TheCache();
  auto found = c.entries.find(path);
  if (found == c.entries.end() || found->second.racy || !(found->second.identity == Identity(st)))
    return xrchandle<KModel>();
  ++c.statistics.hits;
  c.order.splice(c.order.begin(), c.order, found->second.use);
  return found->second.model;
}

}  // namespace knative

namespace {

// What a translated model holds (shapes, their meshes, the kernel's runs),
// per byte of its file: a rough figure for the budget.
constexpr long long kTranslatedBytesPerFileByte = 8;

std::string TranslatedKey(const std::string& path, const std::string& variant) {
  return path + '\0' + variant;
}

}  // namespace

xrchandle<KModel> KFindTranslatedModel(const std::string& path, const std::string& variant) {
  Cache& c = TheCache();
  const std::string key = TranslatedKey(path, variant);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return xrchandle<KModel>();
  const Identity identity(st);
  auto found = c.entries.find(key);
  if (found != c.entries.end()) {
    if (found->second.identity == identity) {
      ++c.statistics.hits;
      c.order.splice(c.order.begin(), c.order, found->second.use);
      return found->second.model;
    }
    Forget(c, found);  // another version of the file
  }
  c.looked.erase(key);
  c.looked.emplace(key, identity);
  return xrchandle<KModel>();
}

void KTranslatedModel(const std::string& path, const std::string& variant,
                      const xrchandle<KModel>& model, bool keepable) {
  Cache& c = TheCache();
  ++c.statistics.translated;
  const std::string key = TranslatedKey(path, variant);
  auto looked = c.looked.find(key);
  if (looked == c.looked.end()) return;
  const Identity before = looked->second;
  c.looked.erase(looked);
  struct stat st;
  if (!model || !keepable || ::stat(path.c_str(), &st) != 0) return;
  const Identity identity(st);
  // Changed while translated, or so recently that a change could hide.
  if (!(identity == before) || IsRacy(st, c.racyWindow)) return;
  std::string none;
  Keep(key, identity, model, false, none,
       static_cast<long long>(st.st_size) * kTranslatedBytesPerFileByte);
}

KModelCacheStatistics KGetModelCacheStatistics() {
  Cache& c = TheCache();
  KModelCacheStatistics s = c.statistics;
  s.entries = static_cast<long>(c.entries.size());
  s.bytes = c.bytes;
  return s;
}

void KFlushModelCache() {
  FlushAll();
}

void KSetModelCacheRacyWindow(double seconds) {
  TheCache().racyWindow = seconds > 0 ? seconds : 0;
}

double KModelCacheRacyWindow() {
  return TheCache().racyWindow;
}

void KSetModelCacheLimits(int entries, long long bytes) {
  Cache& c = TheCache();
  c.maxEntries = entries > 0 ? static_cast<size_t>(entries) : kModelCacheEntries;
  c.maxBytes = bytes > 0 ? bytes : kModelCacheBytes;
  while (!c.order.empty() && (c.bytes > c.maxBytes || c.entries.size() > c.maxEntries))
    Forget(c, c.entries.find(c.order.back()));
}
