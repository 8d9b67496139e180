#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "gBase90/kcall.h"
#include "gBase90/kprogress.h"
#include "gBase90/kservices.h"
#include "gGeometry90/ksession.h"
#include "gGeometry90/ksession_extras.h"
#include "native.h"
#include "win32/pathcase.h"

XOBJECT_DEFINE(KFile, xobject)
XOBJECT_DEFINE(KSession, xobject)

namespace {

KSession* g_session = nullptr;  // while a handle holds it

struct Binding {
  std::string path;
  xrchandle<KModel> model;
};

std::vector<Binding>& Bindings() {
  static std::vector<Binding>* bindings = new std::vector<Binding>;
  return *bindings;
}

const Binding* FindBinding(const std::string& path) {
  std::string wanted = win32::NativePathSyntax(path);
  for (const Binding& b : Bindings())
    if (win32::SameNameIgnoringCase(b.path, wanted)) return &b;
  return nullptr;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory == ".") return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// Why opening path failed, from errno after ShareLock::OpenForReading.
std::string OpenFailure(const std::string& path, int error) {
  std::string subject = "cannot open '" + path + "': ";
  std::string found;
  struct stat st;
  if (error == EACCES) {
    // Refused by the file's permissions, or by a holder that shares it with nobody.
    const bool readable = win32::ResolvePathCase(path, found) && ::access(found.c_str(), R_OK) == 0;
    return subject + (readable ? "the file is held open without sharing" : "permission denied");
  }
  if (win32::ResolvePathCase(path, found) && ::stat(found.c_str(), &st) == 0 &&
      !S_ISREG(st.st_mode))
    return subject + (S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file");
  return subject + "no such file";
}

}  // namespace

namespace knative {

bool IsNativeName(const std::string& path) {
  // The base name as NativePathSyntax and BaseName would give it, without
  // copying: after the last separator of either kind, or after a leading
  // drive letter.
  size_t start = path.find_last_of("/\\");
  if (start != std::string::npos)
    ++start;
  else if (path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
    start = 2;
  else
    start = 0;
  size_t end = path.size();
  // A version number may follow the extension: gear.prt.3
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot >= start && dot + 1 < end &&
      path.find_first_not_of("0123456789", dot + 1) == std::string::npos)
    end = dot;
  if (end - start < 5) return false;
  char ext[4];
  for (int i = 0; i < 4; ++i) {
    char c = path[end - 4 + i];
    ext[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  }
  return ext[0] == '.' &&
         (std::memcmp(ext + 1, "asm", 3) == 0 || std::memcmp(ext + 1, "prt", 3) == 0 ||
          std::memcmp(ext + 1, "xas", 3) == 0 || std::memcmp(ext + 1, "xpr", 3) == 0);
}

xrchandle<KModel> ReadFile(const std::string& path, std::string& reason) {
  win32::ShareLock lock;
  std::string resolved;
  int fd = lock.OpenForReading(path, resolved);
  if (fd < 0) {
    reason = OpenFailure(path, errno);
    return xrchandle<KModel>();
  }
  return ReadOpened(fd, resolved, reason);
}

xrchandle<KModel> LoadReferenced(const std::string& directory, const xstring& fileName,
                                 const xstring& configName) {
  std::vector<std::string> candidates;
  if (!configName.IsEmpty()) {
    std::string config = BaseName(win32::NativePathSyntax(configName.GetNarrow()));
    for (const char* suffix : {"", ".xpr", ".xas"})
      candidates.push_back(Join(directory, config + suffix));
  }
  std::string name = win32::NativePathSyntax(fileName.GetNarrow());
  if (!name.empty()) {
    if (name[0] == '/') candidates.push_back(name);
    candidates.push_back(Join(directory, BaseName(name)));
  }
  for (const std::string& candidate : candidates) {
    std::string found;
    struct stat st;
    if (!win32::ResolvePathCase(candidate, found) || ::stat(found.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    std::string reason;
    xrchandle<KModel> model = ReadFile(found, reason);
    if (!model) KSetLastError(reason.c_str());
    return model;
  }
  std::string reason = "cannot find the file of component '" + std::string(fileName.GetNarrow()) +
                       "' in '" + directory + "'";
  KSetLastError(reason.c_str());
  return xrchandle<KModel>();
}

}  // namespace knative

KFile::~KFile() = default;

void KFile::Close() {
  if (KEnter(KCall::Close)) return;
  m_closed = true;
  m_lock.Release();
  m_model.reset();
}

KSession::KSession() {
  g_session = this;
}

KSession::~KSession() {
  if (g_session == this) g_session = nullptr;
}

void KGetSession(xrchandle<KSession>& out) {
  out.reset();
  if (KEnter(KCall::Session)) return;
  out = g_session ? g_session : new KSession;
}

void KSession::OpenFile(const char* path, xrchandle<KFile>& out) {
  out.reset();
  if (KEnter(KCall::OpenFile)) return;
  KRecordOpenPath(path);
  if (!path || !*path) {
    KSetLastError("cannot open a file without a name");
    return;
  }
  xrchandle<KFile> file(new KFile);
  if (const Binding* binding = FindBinding(path)) {
    file->SetPath(binding->path);
    file->SetModel(binding->model);
    if (binding->model) KBeginMeshing(KFacesToMesh(*binding->model));
    out = file;
    return;
  }
  // Names reach the kernel lower-cased: on a disk where two files differ only
  // in case, the name does not tell which one is meant.
  std::string resolved;
  struct stat st;
  const bool found = win32::ResolvePathCase(path, resolved, st);
  const std::vector<std::string> twins =
      found ? win32::CaseTwinsOfFound(resolved) : std::vector<std::string>();
  if (!twins.empty()) {
    KSetLastError(("cannot open '" + std::string(path) + "': '" + twins[0] + "' and '" + twins[1] +
                   "' differ only in letter case, and the name does not tell which is meant")
                      .c_str());
    return;
  }
  // A native part kept from an earlier open: the status just read is the
  // identity it was read with (a change of its permissions changes it too),
  // so the file is not opened and read again, only its place in the share
  // table taken.
  if (found && knative::IsNativeName(resolved)) {
    if (xrchandle<KModel> kept = knative::FindKept(resolved, st)) {
      if (!file->Lock().HoldForReading(resolved, st)) {
        KSetLastError(OpenFailure(path, errno).c_str());
        return;
      }
      file->SetPath(resolved);
      file->SetModel(kept);
      KBeginMeshing(KFacesToMesh(*kept));
      out = file;
      return;
    }
  }
  int fd = file->Lock().OpenForReading(path, resolved);
  if (fd < 0) {
    KSetLastError(OpenFailure(path, errno).c_str());
    return;
  }
  file->SetPath(resolved);
  if (knative::IsNativeName(resolved)) {
    std::string reason;
    xrchandle<KModel> model = knative::ReadOpened(fd, resolved, reason);
    if (!model) {
      KSetLastError(reason.c_str());
      return;
    }
    file->SetModel(model);
    KBeginMeshing(KFacesToMesh(*model));
  } else {
    ::close(fd);
  }
  out = file;
}

void KSession::GetAssembly(xrchandle<KFile> file, int, xrchandle<KAssembly>& out) {
  out.reset();
  if (KEnter(KCall::GetAssembly)) return;
  if (!file || file->IsClosed() || !file->Model()) {
    KSetLastError(file ? "the file is closed or not a native file" : "no file given");
    return;
  }
  out = KAssembly::cast(file->Model().get());
  if (!out) KSetLastError(("'" + file->Path() + "' holds a part, not an assembly").c_str());
}

void KSession::GetRootComponent(xrchandle<KFile> file, int, xrchandle<KComponent>& out) {
  out.reset();
  if (KEnter(KCall::GetRootComponent)) return;
  if (!file || file->IsClosed() || !file->Model()) {
    KSetLastError(file ? "the file is closed or not a native file" : "no file given");
    return;
  }
  // The root component always places the file's model at identity.
  xrchandle<KMatrix3D> identity(new KMatrix3D(KAffine()));
  out = new KComponent(xstring::FromNarrow(BaseName(file->Path())), xstring(), identity,
                       file->Model());
}

void KBindModel(const char* path, const xrchandle<KModel>& model) {
  if (path) Bindings().push_back({win32::NativePathSyntax(path), model});
}

void KUnbindAll() {
  Bindings().clear();
}

xrchandle<KModel> KReadNative(const std::string& text, const std::string& name,
                              const std::string& directory) {
  std::string reason;
  xrchandle<KModel> model = knative::Read(text.data(), text.size(), name, directory, reason);
  if (!model) KSetLastError(reason.c_str());
  return model;
}
