#include "gkit/testkit.h"

#include <stdlib.h>
#include <sys/stat.h>

#include "gGeometry90/ksession_extras.h"
#if defined(_WIN32)
#include <direct.h>
#include <io.h>

#include <filesystem>
#else
#include <ftw.h>
#endif

#include <fstream>
#include <stdexcept>

namespace gkit {
namespace {

#if defined(_WIN32)
void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}
#else
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}
void RemoveTree(const std::string& path) {
  ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}
#endif

}  // namespace

std::string Message(const xthrowable* error) {
  return error ? std::string(error->GetMessage().GetNarrow()) : std::string();
}

Kit::Kit() {
  KResetDiagnostics();
  KUnbindAll();
  KFlushModelCache();
  KSetModelCacheRacyWindow(kModelCacheRacyWindow);
  KSetModelCacheLimits(0, 0);
  KClearLastError();
}

Kit::~Kit() {
  Release();
}

void Kit::Release() {
  KUnbindAll();
  for (const xrchandle<KComponent>& c : m_components) c->ClearDefinition();
  m_components.clear();
  // The session's models read from the kit's files (or any others).
  KFlushModelCache();
  KSetModelCacheRacyWindow(kModelCacheRacyWindow);
  KSetModelCacheLimits(0, 0);
  ClearFaults();
  if (!m_directory.empty()) {
    RemoveTree(m_directory);
    m_directory.clear();
  }
}

void Kit::Fail(KCall call, KFault fault, long nth) {
  KInjectFault(call, nth, fault);
}

void Kit::FailNth(long k, KFault fault) {
  KInjectFault(KCall::Count, k, fault);
}

void Kit::ClearFaults() {
  // The counters and records keep running.
  KResetFaults();
}

std::vector<std::string> Kit::OpenedPaths() const {
  std::vector<std::string> paths;
  for (int i = 0; i < KOpenPathCount(); ++i) paths.emplace_back(KOpenPath(i));
  return paths;
}

std::vector<KTriangulatorRecord> Kit::Triangulators() const {
  std::vector<KTriangulatorRecord> records;
  for (int i = 0; i < KTriangulatorCount(); ++i) records.push_back(KTriangulatorAt(i));
  return records;
}

namespace {

#if defined(_WIN32)
bool MakeDirectory(const std::string& path) { return ::_mkdir(path.c_str()) == 0; }
bool MakeTempDirectory(std::string& pattern) {
  if (::_mktemp_s(&pattern[0], pattern.size() + 1) != 0) return false;
  return MakeDirectory(pattern);
}
#else
bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }
bool MakeTempDirectory(std::string& pattern) { return ::mkdtemp(&pattern[0]) != nullptr; }
#endif

}  // namespace

const std::string& Kit::Directory() {
  if (m_directory.empty()) {
    const char* base = ::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/granite-kit-XXXXXX";
    if (!MakeTempDirectory(pattern)) throw std::runtime_error("cannot make a directory for the kit");
    m_directory = pattern;
  }
  return m_directory;
}

std::string Kit::Path(const std::string& name) {
  return Directory() + "/" + name;
}

std::string Kit::WriteFile(const std::string& name, const std::string& text) {
  std::string path = Path(name);
  for (size_t at = path.find('/', Directory().size() + 1); at != std::string::npos;
       at = path.find('/', at + 1))
    MakeDirectory(path.substr(0, at));
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

void Kit::Bind(const std::string& path, const xrchandle<KModel>& model, bool placeholder) {
  KBindModel(path.c_str(), model);
  struct stat st;
  if (placeholder && ::stat(path.c_str(), &st) != 0) std::ofstream(path, std::ios::binary);
}

xrchandle<KPartModel> Kit::Part(const std::string& text) {
  xrchandle<KModel> model = KReadNative("granite-native 1\npart\n" + text, "part", Directory());
  if (!model) throw std::invalid_argument(KGetLastError());
  return xrchandle<KPartModel>(KPartModel::cast(model.get()));
}

xrchandle<KAssembly> Kit::NativeAssembly(const std::string& text) {
  xrchandle<KModel> model =
      KReadNative("granite-native 1\nassembly\n" + text, "assembly", Directory());
  if (!model) throw std::invalid_argument(KGetLastError());
  return xrchandle<KAssembly>(KAssembly::cast(model.get()));
}

xrchandle<KAssembly> Kit::Assembly(int units) {
  xrchandle<KAssembly> assembly(new KAssembly);
  assembly->SetUnits(units);
  return assembly;
}

xrchandle<KComponent> Kit::Component(const xrchandle<KAssembly>& assembly,
                                     const std::string& fileName, const std::string& configName,
                                     const double* placement, const xrchandle<KModel>& definition) {
  xrchandle<KMatrix3D> matrix;
  if (placement) matrix = new KMatrix3D(placement);
  xrchandle<KComponent> component(new KComponent(
      xstring::FromNarrow(fileName), xstring::FromNarrow(configName), matrix, definition));
  if (assembly) assembly->AddComponent(component);
  m_components.push_back(component);
  return component;
}

xrchandle<KPartModel> Kit::EmptyPart(int units) {
  xrchandle<KPartModel> part(new KPartModel);
  part->SetUnits(units);
  return part;
}

xrchandle<KBody> Kit::FaceBody(const KSurface& surface, double red, double green, double blue) {
  xrchandle<KBody> body(new KBody);
  xrchandle<KColorAttribute> color;
  if (red >= 0) color = new KColorAttribute(red, green, blue);
  body->AddFace(KMakeFace(surface, color.get()));
  return body;
}

}  // namespace gkit
