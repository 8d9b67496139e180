// One load as a host runs it, and the checks every load must pass whatever the
// kernel did: shared by the fault-injection sweep and the whole-load fuzzer.
#pragma once

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "gBase90/kservices.h"
#include "gBase90/xthrowable.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "qorvelaex/C3DMScene.h"

namespace reliability {

struct Outcome {
  int result = -1;
  bool threw = false;              // a kernel exception reached the host
  std::string fault;               // the first broken expectation; empty when sound
  long meshes = 0;                 // meshes reached from the world's top groups
  long triangles = 0;
  std::vector<velaChroma> colors;  // mesh colours, in walk order
  velaChroma finalColor;           // the parser's current colour after the load
};

inline bool SameColor(const velaChroma& a, const velaChroma& b) { return !(a != b); }

// The host's own colour and group, set before the load and expected back after it.
inline velaChroma HostColor() { return velaChroma(0.25f, 0.5f, 0.75f, 1.0f); }

// No group is reached through itself, and every mesh's arrays agree:
// three points per triangle, one normal per point (unit length, or zero where the
// kernel gave the face none), vertex runs adding up.
inline std::string CheckScene(const C3DMWorld& world, Outcome& out) {
  std::string fault;
  std::vector<const C3DMGroup*> path;
  std::set<const C3DMGroup*> done;
  struct Walker {
    std::vector<const C3DMGroup*>& path;
    std::set<const C3DMGroup*>& done;
    Outcome& out;
    std::string& fault;
    void Visit(const C3DMGroup* g) {
      if (!fault.empty()) return;
      for (const C3DMGroup* p : path)
        if (p == g) {
          fault = "a group is reached through itself";
          return;
        }
      if (done.count(g)) return;  // a shared instance, already checked
      path.push_back(g);
      for (int i = 0; i < g->GetNumberMeshes(); ++i) {
        const C3DMMesh& mesh = g->GetMesh(i);
        size_t sum = 0;
        for (int c : mesh.counts) sum += c > 0 ? size_t(c) : 0;
        if (mesh.points.size() % 3 || mesh.normals.size() != mesh.points.size() ||
            sum != mesh.points.size())
          fault = "a mesh's points, normals and vertex counts disagree";
        for (const velaFloatPoint& p : mesh.points)
          if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            fault = "a mesh point is not finite";
        // A zero normal stands for a vertex whose face the kernel gave no normals.
        for (const velaVector& n : mesh.normals)
          if (!(std::fabs(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) - 1) < 1e-3) &&
              !(n.x == 0 && n.y == 0 && n.z == 0))
            fault = "a mesh normal is neither of unit length nor zero";
        ++out.meshes;
        out.triangles += long(mesh.points.size() / 3);
        out.colors.push_back(mesh.color);
      }
      for (int i = 0; i < g->GetNumberChildren() && fault.empty(); ++i) {
        if (!g->GetChild(i)) {
          fault = "a null child group";
          break;
        }
        Visit(g->GetChild(i));
      }
      path.pop_back();
      done.insert(g);
    }
  } walker{path, done, out, fault};
  for (int i = 0; i < world.GetNumberGroups() && fault.empty(); ++i) walker.Visit(world.GetGroup(i));
  return fault;
}

// The colours a native text writes ("color R G B"), as the loader narrows them.
inline std::vector<velaChroma> ColorsInText(const std::string& text) {
  std::vector<velaChroma> colors;
  for (size_t at = 0; (at = text.find("colo", at)) != std::string::npos; ++at) {
    size_t word = text.find_first_of(" \t\r\n", at);
    if (word == std::string::npos) break;
    const char* p = text.c_str() + word;
    char* end = nullptr;
    double c[3];
    int n = 0;
    for (; n < 3; ++n, p = end) {
      c[n] = std::strtod(p, &end);
      if (end == p) break;
    }
    if (n == 3) colors.emplace_back(float(c[0]), float(c[1]), float(c[2]), 1.0f);
  }
  return colors;
}

inline bool Contains(const std::vector<velaChroma>& colors, const velaChroma& c) {
  for (const velaChroma& x : colors)
    if (SameColor(x, c)) return true;
  return false;
}

// Loads path in the host's order: a part file through ParsePart, anything
// else through BuildElementList and, after a 0 or 3, LoadAllParts. A kernel
// exception that reaches the host is caught and given back, as a host does.
// The colour left current must be the host's or one the load applied: the
// part colour of the last part stays current by design, so allowed (the
// colours of a fault-free load), the generated colours and the colours of
// this load's meshes are accepted too.
inline Outcome RunHost(const std::string& path, const std::vector<velaChroma>& allowed) {
  Outcome out;
  C3DMWorld world;
  velaChroma color;
  std::vector<velaChroma> generated;
  {
    CGraniteParser parser;
    C3DMGroup* top = world.CreateGroup();
    world.AddGroup(top, 0);
    const CBasicString name(path.c_str());
    parser.SetWorld(&world);
    parser.SetFilename(name);
    parser.SetCurrentGroup(top);
    parser.SetCurrentColor(HostColor());
    int result = -1;
    try {
      if (parser.GetFileIsPart(name)) {
        result = ParsePart(&parser, name, nullptr);
      } else {
        result = BuildElementList(&parser);
        if (result == 0 || result == 3) {
          int loaded = LoadAllParts(&parser);
          if (result == 0) result = loaded;
        }
      }
    } catch (xthrowable* error) {
      out.threw = true;
      error->xrcunirelease();
    }
    out.result = result;
    if (!out.threw && result != 0 && result != 1 && result != 3)
      out.fault = "a result other than 0, 1 and 3";
    else if (parser.GetNumberMatricesOnStack() != 0)
      out.fault = "matrices left on the stack";
    else if (parser.GetCurrentGroup() != top)
      out.fault = "the current group is not the host's";
    color = parser.GetCurrentColor();
    C3DMList* list = parser.GetGeneratedColorList();
    for (int i = 0; list && i < list->GetCount(); ++i)
      if (const velaChroma* c = static_cast<const velaChroma*>(list->GetAt(i))) generated.push_back(*c);
  }
  // The parser is gone and its elements with it; the scene stays the host's.
  std::string scene = CheckScene(world, out);
  if (out.fault.empty()) out.fault = scene;
  if (out.fault.empty() && !SameColor(color, HostColor()) && !Contains(allowed, color) &&
      !Contains(generated, color) && !Contains(out.colors, color))
    out.fault = "the current colour is neither the host's nor one the load applied";
  out.finalColor = color;
  return out;
}

}  // namespace reliability
