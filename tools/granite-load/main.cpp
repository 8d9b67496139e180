// granite-load: loads a model through the loader as a viewer would, prints its
// element tree and a summary, and writes the scene as glTF and as a picture.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <direct.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include "KernelExtras.h"
#include "export/Gltf.h"
#include "export/Labels.h"
#include "export/Raster.h"
#include "gBase90/kservices.h"
#include "gBase90/xthrowable.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "main.h"
#include "qorvelaex/C3DMScene.h"

namespace gload {

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: granite-load [options] [FILE]\n"
    "\n"
    "Loads an assembly, part or exchange file through the loader, prints its element\n"
    "tree and a summary, and writes the scene on request. Without FILE it loads the\n"
    "bundled sample model and writes out/sample.glb and out/sample.png.\n"
    "\n"
    "options:\n"
    "  --gltf OUT.glb        write the scene as binary glTF 2.0 (metres, Y up)\n"
    "  --compress            compress the glTF file's meshes (meshopt, quantized)\n"
    "  --png OUT.png         write an isometric shaded picture of the model\n"
    "  --size WxH            size of the picture in pixels (default 1200x900, at most\n"
    "                        8192 a side and 4096x4096 in all)\n"
    "  --json                print the summary as JSON on standard output\n"
    "  --resolution LEVEL    low, medium (default) or high\n"
    "  --search DIR          a folder to look in for referenced files, native and\n"
    "                        STEP (repeatable)\n"
    "  --codepage N          the Windows code page of names in STEP files that are\n"
    "                        not UTF-8 (default 1252; e.g. 1251 Cyrillic)\n"
    "  --show-hidden         draw the components a file marks invisible\n"
    "  --threads N           at most N threads mesh an exchange file's bodies (default:\n"
    "                        as many as the machine has; 1: none besides the load's)\n"
    "  --quiet               no progress bar\n"
    "  --help                this text\n"
    "  --version             the program's version\n"
    "\n"
    "exit status: 0 the model loaded in full, 3 it loaded in part, 1 nothing could\n"
    "be loaded or an output could not be written, 2 bad usage. Ctrl-C stops the load\n"
    "at once and writes nothing: 3 when something was loaded, 1 otherwise.\n";

enum class Kind { Assembly, Part, Exchange, Unknown };

struct Options {
  std::string file;
  std::string gltf, png;
  int width = 1200, height = 900;
  bool json = false, quiet = false, compress = false, showHidden = false;
  int threads = 0;
  int codePage = 1252;
  GraniteResolutionTypes resolution = GRANITE_RESOLUTION_MEDIUM;
  std::vector<std::string> search;
};

struct UsageError {
  std::string message;
};

// ---- process-wide state the loader's callbacks and the signal handler reach

std::vector<std::string> g_search;
std::string g_file;  // as the user gave it
std::vector<std::string> g_missing;  // referenced files not found, as reasons
bool g_progress = false;
volatile sig_atomic_t g_interrupted = 0;

// One Ctrl-C stops both the walk over the parts and the kernel inside a part.
void OnInterrupt(int) {
  g_interrupted = 1;
  CGraniteParser::RequestStop(true);
  RequestKernelStop(true);
}

void (*g_hook)(int) = nullptr;
void (*g_phaseHook)(KernelPhase, double, double) = nullptr;

// The bar: the parts loaded (the loader's percentage) and, inside the part
// being loaded, the kernel's phase.
struct Bar {
  CGraniteParser* parser = nullptr;
  int percent = 0;        // the loader's, of whole parts
  bool inPhase = false;   // a kernel report came since the last whole part
  KernelPhase phase = KernelPhase::Reading;
  double done = 0, total = 0;
  unsigned reports = 0;    // kernel reports: each turns the spinner
  std::string shown;
  Clock::time_point drawn;
  bool everDrawn = false;
} g_bar;

// Where a phase lies inside one part.
double PartFraction(KernelPhase phase, double done, double total) {
  const double f = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0;
  switch (phase) {
    case KernelPhase::Reading: return 0.4 * f;
    case KernelPhase::Transferring: return 0.4 + 0.2 * f;
    case KernelPhase::Meshing: return 0.6 + 0.4 * f;
  }
  return 0;
}

std::string PhaseText(KernelPhase phase, double done, double total) {
  char text[96];
  switch (phase) {
    case KernelPhase::Reading:
      std::snprintf(text, sizeof text, "reading %.1f of %.1f MB", done / 1e6, total / 1e6);
      break;
    case KernelPhase::Transferring:
      std::snprintf(text, sizeof text, "transferring %.0f%%", total > 0 ? 100 * done / total : 0.0);
      break;
    case KernelPhase::Meshing:
      std::snprintf(text, sizeof text, "meshing %.0f of %.0f faces", done, total);
      break;
  }
  return text;
}

void DrawBar(bool force) {
  if (!g_progress) return;
  double fraction = g_bar.percent / 100.0;
  std::string phase;
  if (g_bar.inPhase) {
    const int parts = g_bar.parser ? g_bar.parser->GetTotalParts() : 0;
    const double inPart = PartFraction(g_bar.phase, g_bar.done, g_bar.total);
    fraction = parts > 0 ? std::min(1.0, fraction + inPart / parts) : inPart;
    // The spinner shows the kernel at work where the numbers move slowly (a
    // large body meshed at once).
    static const char kSpinner[] = "|/-\\";
    phase = std::string("  ") + kSpinner[g_bar.reports % 4] + " " +
            PhaseText(g_bar.phase, g_bar.done, g_bar.total);
  }
  const int percent = std::clamp(int(fraction * 100), 0, 100);
  char bar[41];
  const int filled = percent * 40 / 100;
  for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
  bar[40] = 0;
  char head[64];
  std::snprintf(head, sizeof head, "loading [%s] %3d%%", bar, percent);
  const std::string line = head + phase;
  if (line == g_bar.shown) return;
  // At most twenty redraws a second, unless the whole percentage moved.
  const Clock::time_point now = Clock::now();
  if (!force && g_bar.everDrawn && now - g_bar.drawn < std::chrono::milliseconds(50) &&
      line.compare(0, std::strlen(head), g_bar.shown, 0, std::strlen(head)) == 0)
    return;
  g_bar.shown = line;
  g_bar.drawn = now;
  g_bar.everDrawn = true;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
}

void OnProgress(int percent) {
  if (g_hook) g_hook(percent);
  g_bar.percent = std::clamp(percent, 0, 100);
  g_bar.inPhase = false;
  DrawBar(true);
}

void OnKernelProgress(void*, KernelPhase phase, double done, double total) {
  if (g_phaseHook) g_phaseHook(phase, done, total);
  g_bar.inPhase = true;
  ++g_bar.reports;
  g_bar.phase = phase;
  g_bar.done = done;
  g_bar.total = total;
  DrawBar(false);
}

void EndProgress() {
  if (g_progress && g_bar.everDrawn) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  }
  g_bar = Bar();
}

std::string Narrow(CBasicString text) {
  const char* p = text.GetMultiByte();
  return p ? std::string(p) : std::string();
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A referenced file looked for in the --search folders, ignoring letter case.
int OnSupportFile(CBasicString name, CBasicString directory, CBasicString& found) {
  const std::string wanted = Lower(BaseName(Narrow(name)));
  std::vector<std::string> folders;
  const std::string here = Narrow(directory);
  if (!here.empty()) folders.push_back(here);
  folders.insert(folders.end(), g_search.begin(), g_search.end());
  for (const std::string& folder : folders) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) continue;
    std::string hit;
    while (dirent* entry = readdir(dir)) {
      if (Lower(entry->d_name) == wanted) {
        hit = folder + "/" + entry->d_name;
        break;
      }
    }
    closedir(dir);
    if (!hit.empty()) {
      found = CBasicString(hit.c_str());
      return 1;
    }
  }
  // The loader has looked beside the model already; this is the last place.
  std::string where;
  for (const std::string& folder : folders) where += (where.empty() ? "'" : ", '") + folder + "'";
  const std::string missing = "cannot find the file of component '" + Narrow(name) + "'" +
                              (where.empty() ? "" : " (looked in " + where + ")");
  if (std::find(g_missing.begin(), g_missing.end(), missing) == g_missing.end())
    g_missing.push_back(missing);
  return 0;
}

// ---- arguments

Kind KindOf(const std::string& path) {
  std::string name = Lower(BaseName(path));
  // Native files may carry a version number after the extension: gear.prt.3.
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot + 1 < name.size() &&
      name.find_first_not_of("0123456789", dot + 1) == std::string::npos)
    name.erase(dot);
  dot = name.find_last_of('.');
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (ext == "asm" || ext == "xas") return Kind::Assembly;
  if (ext == "prt" || ext == "xpr") return Kind::Part;
  static const std::set<std::string> exchange = {"igs", "iges", "3gs", "neu", "sat", "step",
                                                 "stp", "vda", "x_t", "x_b"};
  return exchange.count(ext) ? Kind::Exchange : Kind::Unknown;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Assembly: return "assembly";
    case Kind::Part: return "part";
    case Kind::Exchange: return "exchange";
    default: return "unknown";
  }
}

Options Parse(const std::vector<std::string>& args, bool* help, bool* version) {
  Options o;
  auto value = [&](size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      *help = true;
    } else if (a == "--version") {
      *version = true;
    } else if (a == "--gltf") {
      o.gltf = value(i);
    } else if (a == "--png") {
      o.png = value(i);
    } else if (a == "--compress") {
      if (!gload::GltfCompressionBuilt()) throw UsageError{"--compress: not supported in this build"};
      o.compress = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--quiet" || a == "-q") {
      o.quiet = true;
    } else if (a == "--search") {
      o.search.push_back(value(i));
    } else if (a == "--show-hidden") {
      o.showHidden = true;
    } else if (a == "--threads") {
      const std::string& n = value(i);
      char* end = nullptr;
      const long count = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end || count < 1 || count > 1024)
        throw UsageError{"--threads takes a number from 1 to 1024, not '" + n + "'"};
      o.threads = int(count);
    } else if (a == "--codepage") {
      const std::string& page = value(i);
      char* end = nullptr;
      const long n = std::strtol(page.c_str(), &end, 10);
      if (page.empty() || *end || n <= 0 || n > 65535 || !TranslatorReadsCodePage(int(n)))
        throw UsageError{"--codepage takes a Windows code page number the translator reads "
                         "(1250 to 1258, 850, 932, 936, 949, 950, 28591 to 28599), not '" +
                         page + "'"};
      o.codePage = int(n);
    } else if (a == "--resolution") {
      const std::string level = Lower(value(i));
      if (level == "low") o.resolution = GRANITE_RESOLUTION_LOW;
      else if (level == "medium") o.resolution = GRANITE_RESOLUTION_MEDIUM;
      else if (level == "high") o.resolution = GRANITE_RESOLUTION_HIGH;
      else throw UsageError{"--resolution takes low, medium or high, not '" + level + "'"};
    } else if (a == "--size") {
      const std::string& size = value(i);
      int w = 0, h = 0;
      char x = 0, rest = 0;
      if (std::sscanf(size.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X') ||
          w < 16 || h < 16 || w > kMaxSide || h > kMaxSide)
        throw UsageError{"--size takes WIDTHxHEIGHT, each 16 to " + std::to_string(kMaxSide) + ", not '" + size + "'"};
      if (!SizeAllowed(w, h))
        throw UsageError{"--size " + size + " is too large: a picture has at most " + std::to_string(kMaxPixels) +
                         " pixels (4096x4096)"};
      o.width = w;
      o.height = h;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      throw UsageError{"one FILE only, not also " + a};
    }
  }
  return o;
}

// ---- what the load built

const char* UnitsName(ImageUnitsTypes units) {
  switch (units) {
    case IMAGE_UNITS_INCH: return "in";
    case IMAGE_UNITS_FOOT: return "ft";
    case IMAGE_UNITS_MILLIMETER: return "mm";
    case IMAGE_UNITS_CENTIMETER: return "cm";
    case IMAGE_UNITS_DECIMETER: return "dm";
    case IMAGE_UNITS_METER: return "m";
    case IMAGE_UNITS_KILOMETER: return "km";
    case IMAGE_UNITS_MICROMETER: return "um";
    default: return "unknown";
  }
}

std::vector<CGraniteElement*> Elements(C3DMList* list) {
  std::vector<CGraniteElement*> out;
  if (!list) return out;
  for (int i = 0; i < list->GetCount(); ++i)
    if (CGraniteElement* e = static_cast<CGraniteElement*>(list->GetAt(i))) out.push_back(e);
  return out;
}

struct Counts {
  int elements = 0, partOccurrences = 0, partsTessellated = 0, reused = 0, failedParts = 0;
  long meshes = 0, triangles = 0, drawnTriangles = 0;
};

// shown: where the meshes of a part loaded on its own went (the group current
// at the load), for its root element; null for an assembly's tree.
void CountElements(CGraniteElement* e, Counts& c, const C3DMGroup* shown = nullptr) {
  ++c.elements;
  if (e->GetFileType() == GRANITE_FILE_PART) {
    ++c.partOccurrences;
    const C3DMGroup* g = shown ? shown : e->GetGroup();
    // A part loaded here holds its meshes; a later occurrence of it holds the
    // first one's group as an instance.
    if (g && g->GetNumberMeshes() > 0) ++c.partsTessellated;
    else if (g && g->GetNumberChildren() > 0) ++c.reused;
    else ++c.failedParts;
  }
  for (CGraniteElement* child : Elements(e->GetChildList())) CountElements(child, c);
}

void CountScene(const C3DMWorld& world, Counts& c) {
  std::set<const C3DMGroup*> seen;
  std::function<void(const C3DMGroup*)> visit = [&](const C3DMGroup* g) {
    if (!seen.insert(g).second) return;
    for (int i = 0; i < g->GetNumberMeshes(); ++i) {
      ++c.meshes;
      c.triangles += long(g->GetMesh(i).points.size() / 3);
    }
    for (int i = 0; i < g->GetNumberChildren(); ++i) visit(g->GetChild(i));
  };
  for (int i = 0; i < world.GetNumberGroups(); ++i) visit(world.GetGroup(i));
  world.Walk([&](const C3DMGroup&, const C3DMMesh& m, const velaMatrix4x4&) {
    c.drawnTriangles += long(m.points.size() / 3);
  });
}

// A name as the file system spells it: the loaded file's path (and its base
// name) reach the loader lower-cased.
std::string AsOnDisk(const std::string& name) {
  auto lowered = [](const std::string& s) {
    CBasicString w(s.c_str());
    w.MakeLower();
    return Narrow(w);
  };
  if (name == lowered(g_file)) return g_file;
  if (name == lowered(BaseName(g_file))) return BaseName(g_file);
  return name;
}

Json TreeJson(CGraniteElement* e) {
  Json node;
  node["name"] = AsOnDisk(Narrow(e->GetDisplayName()));
  node["configuration"] = Narrow(e->GetConfigurationName());
  const GraniteFileTypes type = e->GetFileType();
  node["type"] = type == GRANITE_FILE_PART ? "part" : type == GRANITE_FILE_ASSEMBLY ? "assembly" : "other";
  node["file"] = AsOnDisk(Narrow(e->GetFilename()));
  Json children = Json::array();
  for (CGraniteElement* child : Elements(e->GetChildList())) children.push_back(TreeJson(child));
  node["children"] = children;
  return node;
}

void PrintTree(std::ostream& out, CGraniteElement* e, const std::string& lead, bool last, bool top) {
  std::string line = top ? "" : lead + (last ? "└─ " : "├─ ");
  line += AsOnDisk(Narrow(e->GetDisplayName()));
  const std::string config = Narrow(e->GetConfigurationName());
  if (!config.empty()) line += " [" + config + "]";
  const GraniteFileTypes type = e->GetFileType();
  line += type == GRANITE_FILE_PART ? "  part  " : type == GRANITE_FILE_ASSEMBLY ? "  assembly  " : "  ?  ";
  line += AsOnDisk(Narrow(e->GetFilename()));
  out << line << "\n";
  const std::vector<CGraniteElement*> children = Elements(e->GetChildList());
  const std::string next = top ? "" : lead + (last ? "   " : "│  ");
  for (size_t i = 0; i < children.size(); ++i) PrintTree(out, children[i], next, i + 1 == children.size(), false);
}

std::string FormatNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", std::fabs(v) < 5e-7 ? 0.0 : v);
  return text;
}

std::string Point(const velaFloatPoint& p) {
  return "(" + FormatNumber(p.x) + ", " + FormatNumber(p.y) + ", " + FormatNumber(p.z) + ")";
}

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// CPU time of the process so far.
double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

bool IsRegularFile(const std::string& path, std::string* why) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
    return false;
  }
  return true;
}

void MakeFolder(const std::string& path) {
#if defined(_WIN32)
  ::_mkdir(path.c_str());
#else
  ::mkdir(path.c_str(), 0777);
#endif
}

void MakeFolderFor(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return;
  std::string folder;
  for (size_t i = 0; i <= slash; ++i) {
    if (path[i] == '/' && !folder.empty()) MakeFolder(folder);
    folder += path[i];
  }
}

// ---- the steps of a run

// Ctrl-C during a load and its exports: the previous handler is put back by Restore.
class InterruptHandler {
 public:
  void Install() {
#if defined(_WIN32)
    // The run-time resets the handler when it runs, so a second Ctrl-C ends the program.
    m_previous = ::signal(SIGINT, &OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
#endif
  }
  void Restore() {
#if defined(_WIN32)
    ::signal(SIGINT, m_previous);
#else
    sigaction(SIGINT, &m_previous, nullptr);
#endif
  }

 private:
#if defined(_WIN32)
  void (*m_previous)(int) = nullptr;
#else
  struct sigaction m_previous {};
#endif
};

// What one load left for the summary and the exports.
struct Loaded {
  int result = GRANITE_LOAD_FAILURE;
  std::string exception;  // a kernel or standard exception that ended the load
  std::string stoppedIn;  // the kernel's phase when the load was stopped
  Counts counts;
  int totalParts = 0, loadedParts = 0;
  ImageUnitsTypes units = IMAGE_UNITS_UNKNOWN;
  SceneLabels labels;  // the elements' names and placements, for the glTF file
  C3DMGroup* top = nullptr;  // the group a part loaded on its own went to
  double chord = 0.0;
};

// The process-wide state of a load: the callbacks' globals, the translator's
// settings, no stop request, no kernel error, the progress observer.
void PrepareLoad(const Options& o) {
  g_search = o.search;
  g_file = o.file;
  g_missing.clear();
  ConfigureTranslator(o.codePage, o.showHidden, o.search, o.threads);
  g_interrupted = 0;
  g_progress = !o.quiet && isatty(STDERR_FILENO);
  g_bar = Bar();
  CGraniteParser::RequestStop(false);
  RequestKernelStop(false);
  KClearLastError();
  ObserveKernel(&OnKernelProgress);
}

// The exports in a viewer's calling order: an assembly's element list, then
// its parts; a part or exchange file through ParsePart into a group of its own.
void CallLoader(CGraniteParser& parser, Kind kind, const std::string& file, C3DMWorld& world,
                Loaded& loaded, Json& phases) {
  try {
    if (kind == Kind::Assembly) {
      const Clock::time_point t0 = Clock::now();
      loaded.result = BuildElementList(&parser);
      const Clock::time_point t1 = Clock::now();
      phases["build_element_list_ms"] = Ms(t0, t1);
      if (loaded.result != GRANITE_LOAD_FAILURE && !g_interrupted) {
        const int all = LoadAllParts(&parser);
        phases["load_all_parts_ms"] = Ms(t1, Clock::now());
        if (all != GRANITE_LOAD_SUCCESS) loaded.result = GRANITE_LOAD_INCOMPLETE;
      }
    } else {
      loaded.top = world.CreateGroup();
      world.AddGroup(loaded.top, 0);
      parser.SetCurrentGroup(loaded.top);
      const Clock::time_point t0 = Clock::now();
      loaded.result = ParsePart(&parser, CBasicString(file.c_str()), nullptr);
      phases["parse_part_ms"] = Ms(t0, Clock::now());
    }
  } catch (xthrowable* e) {
    // The thrown object carries one reference for its catcher.
    loaded.exception = e ? e->GetMessage().GetNarrow() : "unknown kernel error";
    if (e) e->xrcunirelease();
    loaded.result = GRANITE_LOAD_INCOMPLETE;
  } catch (const std::exception& e) {
    loaded.exception = e.what();
    loaded.result = GRANITE_LOAD_INCOMPLETE;
  }
}

// The tree, the counts, the units and the box, into loaded and the summary.
void DescribeLoad(CGraniteParser& parser, Kind kind, const std::string& file,
                  const C3DMWorld& world, Loaded& loaded, Json& summary) {
  for (CGraniteElement* e : Elements(parser.GetElementList()))
    CountElements(e, loaded.counts, kind == Kind::Assembly ? nullptr : loaded.top);
  CountScene(world, loaded.counts);
  loaded.labels.Add(Elements(parser.GetElementList()), loaded.top, file, "part");
  loaded.chord = parser.GetChordalTolerance();
  loaded.totalParts = parser.GetTotalParts();
  loaded.loadedParts = parser.GetCurrentPart();
  loaded.units = parser.GetModelUnits();

  const Counts& counts = loaded.counts;
  summary["result"] = loaded.result;
  summary["units"] = UnitsName(loaded.units);
  const velaBBox& box = parser.GetModelBoundingBox();
  if (box.IsEmpty()) {
    summary["box"] = nullptr;
  } else {
    summary["box"] = {{"min", {box.min.x, box.min.y, box.min.z}}, {"max", {box.max.x, box.max.y, box.max.z}}};
  }
  summary["counts"] = {{"elements", counts.elements},
                       {"part_occurrences", counts.partOccurrences},
                       {"parts_tessellated", counts.partsTessellated},
                       {"reused_occurrences", counts.reused},
                       {"parts_failed", counts.failedParts},
                       {"meshes", counts.meshes},
                       {"triangles", counts.triangles},
                       {"triangles_drawn", counts.drawnTriangles}};
  Json tree = Json::array();
  for (CGraniteElement* e : Elements(parser.GetElementList())) tree.push_back(TreeJson(e));
  summary["tree"] = tree;
}

void PrintLoad(std::ostream& out, CGraniteParser& parser, const Loaded& loaded) {
  const Counts& counts = loaded.counts;
  if (counts.elements == 0 && counts.meshes == 0) return;
  for (CGraniteElement* e : Elements(parser.GetElementList())) PrintTree(out, e, "", true, true);
  out << "\n";
  out << "units               " << UnitsName(loaded.units) << "\n";
  const velaBBox& box = parser.GetModelBoundingBox();
  if (box.IsEmpty()) {
    out << "model box           empty\n";
  } else {
    out << "model box           " << Point(box.min) << " .. " << Point(box.max) << "\n";
  }
  out << "elements            " << counts.elements << "\n"
      << "part occurrences    " << counts.partOccurrences << "\n"
      << "parts tessellated   " << counts.partsTessellated << "\n"
      << "reused occurrences  " << counts.reused << "\n";
  if (counts.failedParts) out << "parts not loaded    " << counts.failedParts << "\n";
  out << "meshes              " << counts.meshes << "\n"
      << "triangles           " << counts.triangles << " (" << counts.drawnTriangles
      << " with every occurrence)\n";
}

// One load from a parser of its own, which goes before the world it points into.
Loaded Load(const Options& o, Kind kind, C3DMWorld& world, Json& phases, Json& summary,
            std::ostream& out) {
  Loaded loaded;
  CGraniteParser parser;
  parser.SetFilename(CBasicString(o.file.c_str()));
  parser.SetWorld(&world);
  parser.SetLoadResolution(o.resolution);
  parser.SetLoaderPtr(&OnProgress);
  parser.SetGetSupportFilePtr(&OnSupportFile);
  g_bar.parser = &parser;
  CallLoader(parser, kind, o.file, world, loaded, phases);
  if (g_interrupted && g_bar.inPhase) loaded.stoppedIn = PhaseText(g_bar.phase, g_bar.done, g_bar.total);
  EndProgress();
  ObserveKernel(nullptr);
  DescribeLoad(parser, kind, o.file, world, loaded, summary);
  if (!o.json) PrintLoad(out, parser, loaded);
  return loaded;
}

// The reason for a failed or partial load: the kernel exception, or every
// reason the kernel gave (a load of many files may fail for several, each
// naming its file) after the referenced files not found.
std::string LoadReason(const Loaded& loaded, Json& summary) {
  std::string reason = loaded.exception.empty() ? std::string() : "kernel exception: " + loaded.exception;
  if (reason.empty() && loaded.result != GRANITE_LOAD_SUCCESS) {
    Json errors = Json::array();
    std::vector<std::string> reasons = g_missing;
    for (int i = 0; i < KGetErrorCount(); ++i) reasons.push_back(KGetError(i));
    for (const std::string& kernel : reasons) {
      errors.push_back(kernel);
      reason += (reason.empty() ? "" : "; ") + kernel;
    }
    if (!errors.empty()) summary["errors"] = errors;
  }
  return reason;
}

// The exit status of the load, with its message to err and the summary.
int LoadStatus(const Options& o, const Loaded& loaded, Json& summary, std::ostream& err) {
  const std::string reason = LoadReason(loaded, summary);
  const long meshes = loaded.counts.meshes;
  int status = loaded.result == GRANITE_LOAD_SUCCESS ? 0 : 3;
  if (meshes == 0 && loaded.result != GRANITE_LOAD_SUCCESS) status = 1;
  std::string message;
  if (g_interrupted) {
    message = "interrupted";
    if (loaded.totalParts > 0)
      message += " after " + std::to_string(loaded.loadedParts) + " of " + std::to_string(loaded.totalParts) + " parts";
    if (!loaded.stoppedIn.empty()) message += (loaded.totalParts > 0 ? ", while " : " while ") + loaded.stoppedIn;
    message += "; " + std::to_string(meshes) + " meshes loaded, no files written";
    status = meshes > 0 ? 3 : 1;
  } else if (status == 1) {
    message = o.file + ": nothing could be loaded" + (reason.empty() ? "" : ": " + reason);
  } else if (status == 3) {
    message = o.file + ": loaded in part" + (reason.empty() ? "" : ": " + reason);
  }
  summary["status"] = g_interrupted ? "interrupted" : status == 0 ? "complete" : status == 3 ? "incomplete" : "failed";
  if (!message.empty()) {
    summary["error"] = message;
    err << "granite-load: " << message << "\n";
  }
  return status;
}

// Writes the glTF file; false with the reason in the summary and err.
bool ExportGltf(const Options& o, const C3DMWorld& world, const Loaded& loaded, Json& phases,
                Json& outputs, Json& summary, std::ostream& out, std::ostream& err) {
  const Clock::time_point t0 = Clock::now();
  GltfOptions options;
  options.metresPerUnit = MetresPerUnit(loaded.units);
  const SceneLabels& labels = loaded.labels;
  options.label = [&labels](const C3DMGroup& g) { return labels.Find(g); };
  options.compress = o.compress;
  if (loaded.chord > 0) {
    // Repeated parts agree far below the chord; compressed positions stay
    // within a tenth of it (less a margin for the float conversions).
    options.shareTolerance = loaded.chord * 1e-3;
    options.positionTolerance = loaded.chord * 0.09;
  }
  GltfCounts written;
  std::string error;
  bool ok = false;
  const double cpu0 = CpuMs();
  try {
    ok = WriteGltf(world, o.gltf, options, &error, &written);
  } catch (const std::exception& e) {
    error = e.what();
  }
  const double cpu = CpuMs() - cpu0;
  if (!ok) {
    err << "granite-load: cannot write the glTF file: " << error << "\n";
    summary["error"] = "cannot write the glTF file: " + error;
    return false;
  }
  phases["gltf_ms"] = Ms(t0, Clock::now());
  outputs["gltf"] = {{"path", o.gltf}, {"nodes", written.nodes}, {"meshes", written.meshes},
                     {"materials", written.materials}, {"bytes", written.bytes}};
  outputs["gltf"]["cpu_ms"] = cpu;
  if (o.compress) outputs["gltf"]["position_error"] = written.positionError;
  if (!o.json)
    out << "wrote               " << o.gltf << " (" << written.nodes << " nodes, " << written.meshes
        << " meshes, " << written.materials << " materials, " << written.bytes << " bytes)\n";
  return true;
}

// Writes the picture; false with the reason in the summary and err.
bool ExportPng(const Options& o, const C3DMWorld& world, Json& phases, Json& outputs,
               Json& summary, std::ostream& out, std::ostream& err) {
  const Clock::time_point t0 = Clock::now();
  RasterOptions options;
  options.width = o.width;
  options.height = o.height;
  std::string error;
  bool ok = false;
  try {
    ok = WritePng(Render(world, options), o.png, &error);
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (!ok) {
    err << "granite-load: cannot write the picture: " << error << "\n";
    summary["error"] = "cannot write the picture: " + error;
    return false;
  }
  phases["png_ms"] = Ms(t0, Clock::now());
  outputs["png"] = {{"path", o.png}, {"width", o.width}, {"height", o.height}};
  if (!o.json) out << "wrote               " << o.png << " (" << o.width << "x" << o.height << ")\n";
  return true;
}

// The exports asked for, unless the load was stopped or gave nothing; a
// Ctrl-C while writing takes back what was written. Answers the exit status.
int Export(const Options& o, const C3DMWorld& world, const Loaded& loaded, int status, Json& phases,
           Json& outputs, Json& summary, std::ostream& out, std::ostream& err) {
  if (!g_interrupted && status != 1) {
    if (!o.gltf.empty() && !ExportGltf(o, world, loaded, phases, outputs, summary, out, err)) status = 1;
    if (!o.png.empty() && !g_interrupted && !ExportPng(o, world, phases, outputs, summary, out, err))
      status = 1;
  }
  if (g_interrupted && !outputs.empty()) {
    for (const auto& output : outputs) std::remove(output["path"].get<std::string>().c_str());
    outputs = Json::object();
    const std::string message = "interrupted while writing; no files written";
    summary["status"] = "interrupted";
    summary["error"] = message;
    err << "granite-load: " << message << "\n";
    status = 3;
  }
  return status;
}

void PrintTimes(std::ostream& out, const Json& phases) {
  out << "time               ";
  for (auto it = phases.begin(); it != phases.end(); ++it) {
    std::string name = it.key().substr(0, it.key().size() - 3);
    std::replace(name.begin(), name.end(), '_', ' ');
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", it.value().get<double>());
    out << (it == phases.begin() ? " " : ", ") << name << " " << ms << " ms";
  }
  out << "\n";
}

// The options, or the exit status when there is nothing to load (bad usage,
// --help, --version). Without a file the sample is loaded and written.
bool ReadOptions(const std::vector<std::string>& args, Options& o, int& status, std::ostream& out,
                 std::ostream& err) {
  bool help = false, version = false;
  try {
    o = Parse(args, &help, &version);
  } catch (const UsageError& e) {
    err << "granite-load: " << e.message << "\n" << "Try 'granite-load --help'.\n";
    status = 2;
    return false;
  }
  if (help || version) {
    if (help)
      out << kUsage;
    else
      out << "granite-load " << GRANITE_LOAD_VERSION << "\n";
    status = 0;
    return false;
  }
  if (o.file.empty()) {
    o.file = std::string(GRANITE_LOAD_SAMPLE);
    if (o.gltf.empty()) o.gltf = "out/sample.glb";
    if (o.png.empty()) o.png = "out/sample.png";
    MakeFolderFor(o.gltf);
    MakeFolderFor(o.png);
  }
  return true;
}

}  // namespace

void SetProgressHook(void (*hook)(int percent)) { g_hook = hook; }
void SetPhaseHook(void (*hook)(KernelPhase phase, double done, double total)) { g_phaseHook = hook; }

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  int status = 0;
  if (!ReadOptions(args, o, status, out, err)) return status;

  Json summary;
  summary["file"] = o.file;
  auto fail = [&](const std::string& message, int status) {
    err << "granite-load: " << message << "\n";
    if (o.json) {
      summary["status"] = "failed";
      summary["error"] = message;
      summary["exit_status"] = status;
      out << summary.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    }
    return status;
  };
  std::string why;
  if (!IsRegularFile(o.file, &why)) return fail(o.file + ": " + why, 1);
  const Kind kind = KindOf(o.file);
  summary["format"] = KindName(kind);
  if (kind == Kind::Unknown)
    return fail(o.file + ": unknown format (known: .asm .xas .prt .xpr .igs .iges .3gs .neu .sat "
                         ".step .stp .vda .x_t .x_b)",
                1);

  // The world outlives the parser, whose elements point into it.
  PrepareLoad(o);
  InterruptHandler interrupts;
  interrupts.Install();
  C3DMWorld world;
  Json phases, outputs = Json::object();
  const Loaded loaded = Load(o, kind, world, phases, summary, out);
  status = LoadStatus(o, loaded, summary, err);
  // The kernel keeps the models it read for later loads; this program makes
  // one, so they go before the exports need the memory.
  ReleaseKeptModels();
  status = Export(o, world, loaded, status, phases, outputs, summary, out, err);
  interrupts.Restore();
  CGraniteParser::RequestStop(false);
  RequestKernelStop(false);

  const Clock::time_point t0 = Clock::now();
  ShutdownGranite();
  phases["shutdown_ms"] = Ms(t0, Clock::now());
  summary["phases"] = phases;
  summary["outputs"] = outputs;
  summary["exit_status"] = status;
  if (o.json)
    out << summary.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  else
    PrintTimes(out, phases);
  return status;
}

}  // namespace gload

#ifndef GRANITE_LOAD_NO_MAIN
int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // One heap for the whole program: the kernel's meshing threads would each
  // take one of their own, and what they free stays there, out of reach of
  // the rest of the load (a fifth more peak memory on the larger STEP files).
  mallopt(M_ARENA_MAX, 1);
#endif
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return gload::Run(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "granite-load: " << e.what() << "\n";
    return 1;
  }
}
#endif
