#include "Models.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "gGeometry90/ksession_extras.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "qorvelaex/C3DMScene.h"

namespace bench {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return std::remove(path);
}

struct Folder {
  Folder() {
    // Lower case throughout: the kernel is given lower-cased paths, and a
    // path that only matches ignoring case costs a directory scan per lookup
    // in the stand-in of the file system, which is not what is measured here.
    for (int attempt = 0;; ++attempt) {
      path = "/tmp/granite-bench-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
      if (mkdir(path.c_str(), 0700) == 0) break;
      if (errno != EEXIST || attempt > 100) throw std::runtime_error("no scratch folder: " + path);
    }
  }
  ~Folder() { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
  std::string path;
};

// Written once per program: the same name always holds the same text.
std::map<std::string, std::string>& Written() {
  static std::map<std::string, std::string> written;
  return written;
}

double Now() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// When the last part file was written (the real-time clock the kernel
// compares file times with).
double g_lastWrite = 0;

// A part worth tessellating: a gear whose outline has 4 points per tooth
// (two polygons and a side face per outline edge) and a tube through it.
std::string GearPart(int teeth) {
  std::ostringstream s;
  s << "granite-native 1\npart\nunits mm\ncolor 0.6 0.62 0.65\nprimary\n"
    << "  solid gear teeth " << teeth << " radius 8 10 height 0 5 end\n"
    << "  solid tube radius 4 2 height -5 10 end\nend\n";
  return s.str();
}

std::string BoxPart() {
  return "granite-native 1\npart\nunits mm\nprimary\n  solid box from 0 0 0 to 1 1 1 end\nend\n";
}

// Position i of n on a grid filling the cube from 0 to side, the last one in
// the far corner, so that every n gives the same box.
void GridPosition(int i, int n, double side, double& x, double& y, double& z) {
  int g = std::max(2, static_cast<int>(std::ceil(std::cbrt(static_cast<double>(n)))));
  double step = side / (g - 1);
  x = (i % g) * step;
  y = ((i / g) % g) * step;
  z = (i / (g * g)) * step;
  if (i == n - 1) x = y = z = side;
}

}  // namespace

const std::string& ScratchFolder() {
  static Folder folder;
  return folder.path;
}

std::string WriteModel(const std::string& name, const std::string& text) {
  std::string path = ScratchFolder() + "/" + name;
  auto found = Written().find(name);
  if (found != Written().end() && found->second == text) return path;
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
  Written()[name] = text;
  // Only parts are kept by the kernel; assemblies are read on every open.
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".prt") == 0) g_lastWrite = Now();
  return path;
}

void AwaitTrustedTimes() {
  // A little over the window: file times come from a coarser clock.
  const double wait = g_lastWrite + KModelCacheRacyWindow() + 0.05 - Now();
  if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
}

std::string RepeatedParts(int occurrences, int parts) {
  for (int p = 0; p < parts; ++p) WriteModel("gear" + std::to_string(p) + ".prt", GearPart(20 + p));
  std::ostringstream s;
  s << "granite-native 1\nassembly\nunits mm\n";
  for (int i = 0; i < occurrences; ++i) {
    double x, y, z;
    GridPosition(i, occurrences, 1000, x, y, z);
    s << "component \"gear" << i % parts << ".prt\" rotate 0 0 1 " << i % 360 << " translate " << x
      << ' ' << y << ' ' << z << " end\n";
  }
  return WriteModel("repeated_" + std::to_string(occurrences) + "_" + std::to_string(parts) + ".asm",
                    s.str());
}

std::string RepeatedExchangePart(int occurrences, const std::string& file) {
  const std::string link = ScratchFolder() + "/exchange.stp";
  struct stat st;
  if (lstat(link.c_str(), &st) != 0 && symlink(file.c_str(), link.c_str()) != 0)
    throw std::runtime_error("cannot link " + link);
  WriteModel("corner.prt", BoxPart());
  std::ostringstream s;
  s << "granite-native 1\nassembly\nunits mm\n"
    << "component \"corner.prt\" end\ncomponent \"corner.prt\" translate 100 100 100 end\n";
  for (int i = 0; i < occurrences; ++i) {
    double x, y, z;
    GridPosition(i, std::max(occurrences, 2), 80, x, y, z);
    s << "component \"exchange.stp\" rotate 0 0 1 " << i % 360 << " translate " << x + 10 << ' '
      << y + 10 << ' ' << z + 10 << " end\n";
  }
  return WriteModel("exchange_" + std::to_string(occurrences) + ".asm", s.str());
}

std::string WideTree(int components) {
  std::ostringstream s;
  s << "granite-native 1\nassembly\nunits mm\n";
  for (int i = 0; i < components; ++i) {
    std::string name = "box" + std::to_string(i) + ".prt";
    WriteModel(name, BoxPart());
    double x, y, z;
    GridPosition(i, components, 100, x, y, z);
    s << "component \"" << name << "\" translate " << x << ' ' << y << ' ' << z << " end\n";
  }
  return WriteModel("wide_" + std::to_string(components) + ".asm", s.str());
}

std::string DeepTree(int levels) {
  const std::string prefix = "deep" + std::to_string(levels) + "_";
  WriteModel("leaf.prt", BoxPart());
  for (int k = levels - 1; k >= 0; --k) {
    std::string next = k + 1 < levels ? prefix + std::to_string(k + 1) + ".asm" : "leaf.prt";
    WriteModel(prefix + std::to_string(k) + ".asm",
               "granite-native 1\nassembly\nunits mm\ncomponent \"" + next +
                   "\" translate 1 0 0 end\n");
  }
  return ScratchFolder() + "/" + prefix + "0.asm";
}

HostLoad::HostLoad(const std::string& path)
    : m_world(new C3DMWorld), m_parser(new CGraniteParser) {
  m_parser->SetFilename(CBasicString(path.c_str()));
  m_parser->SetWorld(m_world);
}

HostLoad::~HostLoad() {
  // The elements point into the world: the parser goes first.
  delete m_parser;
  delete m_world;
}

int HostLoad::Run() {
  int result = BuildElements();
  if (result == GRANITE_LOAD_FAILURE) return result;
  return LoadParts();
}

int HostLoad::BuildElements() {
  return BuildElementList(m_parser);
}

int HostLoad::LoadParts() {
  return LoadAllParts(m_parser);
}

namespace {

void CountAll(CGraniteParser* parser, int& elements, int& parts) {
  elements = parts = 0;
  C3DMList* roots = parser->GetElementList();
  // Iteratively: the deep tree would make a recursion as deep as the load's.
  std::vector<CGraniteElement*> stack;
  for (int i = 0; i < roots->GetCount(); ++i)
    stack.push_back(static_cast<CGraniteElement*>(roots->GetAt(i)));
  while (!stack.empty()) {
    CGraniteElement* e = stack.back();
    stack.pop_back();
    if (!e) continue;
    ++elements;
    if (e->GetFileType() == GRANITE_FILE_PART) ++parts;
    C3DMList* children = e->GetChildList();
    for (int i = 0; children && i < children->GetCount(); ++i)
      stack.push_back(static_cast<CGraniteElement*>(children->GetAt(i)));
  }
}

}  // namespace

int HostLoad::Elements() const {
  int elements, parts;
  CountAll(m_parser, elements, parts);
  return elements;
}

int HostLoad::Parts() const {
  int elements, parts;
  CountAll(m_parser, elements, parts);
  return parts;
}

}  // namespace bench
