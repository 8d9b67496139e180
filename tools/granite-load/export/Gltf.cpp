// Binary glTF 2.0, the JSON written with nlohmann::json, buffers optionally
// compressed with meshoptimizer.
#include "export/Gltf.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <vector>

#include "export/Triangles.h"
#include "qorvelaex/C3DMScene.h"

#if GRANITE_WITH_MESHOPT
#include <meshoptimizer.h>
constexpr bool kCompression = true;
#else
// Never called: without meshoptimizer WriteGltf refuses to compress.
constexpr bool kCompression = false;
static void meshopt_encodeFilterOct(void*, size_t, size_t, int, const float*) { std::abort(); }
static void meshopt_optimizeVertexCacheStrip(unsigned*, const unsigned*, size_t, size_t) { std::abort(); }
static size_t meshopt_optimizeVertexFetch(void*, unsigned*, size_t, const void*, size_t, size_t) {
  std::abort();
}
static void meshopt_encodeIndexVersion(int) { std::abort(); }
static size_t meshopt_encodeIndexBufferBound(size_t, size_t) { std::abort(); }
static size_t meshopt_encodeIndexBuffer(unsigned char*, size_t, const unsigned*, size_t) { std::abort(); }
static size_t meshopt_encodeVertexBufferBound(size_t, size_t) { std::abort(); }
static size_t meshopt_encodeVertexBuffer(unsigned char*, size_t, const void*, size_t, size_t) {
  std::abort();
}
#endif

namespace gload {

double MetresPerUnit(ImageUnitsTypes units) {
  switch (units) {
    case IMAGE_UNITS_INCH: return 0.0254;
    case IMAGE_UNITS_FOOT: return 0.3048;
    case IMAGE_UNITS_CENTIMETER: return 0.01;
    case IMAGE_UNITS_DECIMETER: return 0.1;
    case IMAGE_UNITS_METER: return 1.0;
    case IMAGE_UNITS_KILOMETER: return 1000.0;
    case IMAGE_UNITS_MICROMETER: return 1e-6;
    case IMAGE_UNITS_MILLIMETER:
    default: return 0.001;
  }
}

bool GltfCompressionBuilt() { return kCompression; }

std::string Utf8(const WCHAR* text) {
  std::string out;
  if (!text) return out;
  for (const WCHAR* p = text; *p; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

using Json = nlohmann::ordered_json;

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kByte = 5120, kUnsignedShort = 5123, kUnsignedInt = 5125, kFloat = 5126;

// The streams of vertex and index data; each is one buffer view.
enum { kPositionFloat, kPositionShort, kNormalFloat, kNormalOct, kIndexShort, kIndexInt, kStreamCount };
struct StreamKind {
  size_t stride;
  bool index;
  const char* filter;
};
constexpr StreamKind kStreams[kStreamCount] = {
    {12, false, nullptr}, {8, false, nullptr}, {12, false, nullptr},
    {4, false, "OCTAHEDRAL"}, {2, true, nullptr}, {4, true, nullptr}};

// A transform in doubles, stored and applied as the scene's: row vectors,
// p' = p * M, translation in m[12..14].
struct M4 {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

M4 FromVela(const velaMatrix4x4& v) {
  M4 r;
  for (int i = 0; i < 16; ++i) r.m[i] = v.m[i];
  return r;
}

// a then b: p * a * b.
M4 Mul(const M4& a, const M4& b) {
  M4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[i * 4 + k] * b.m[k * 4 + j];
      r.m[i * 4 + j] = s;
    }
  return r;
}

// The inverse of an affine transform; the identity for a singular one.
M4 Inverse(const M4& a) {
  const double* m = a.m;
  const double c00 = m[5] * m[10] - m[6] * m[9], c01 = m[6] * m[8] - m[4] * m[10], c02 = m[4] * m[9] - m[5] * m[8];
  const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  M4 r;
  if (!(std::fabs(det) > 1e-300) || !std::isfinite(det)) return r;
  const double d = 1.0 / det;
  double* o = r.m;
  o[0] = c00 * d;
  o[1] = (m[2] * m[9] - m[1] * m[10]) * d;
  o[2] = (m[1] * m[6] - m[2] * m[5]) * d;
  o[4] = c01 * d;
  o[5] = (m[0] * m[10] - m[2] * m[8]) * d;
  o[6] = (m[2] * m[4] - m[0] * m[6]) * d;
  o[8] = c02 * d;
  o[9] = (m[1] * m[8] - m[0] * m[9]) * d;
  o[10] = (m[0] * m[5] - m[1] * m[4]) * d;
  for (int j = 0; j < 3; ++j) o[12 + j] = -(m[12] * o[j] + m[13] * o[4 + j] + m[14] * o[8 + j]);
  o[3] = o[7] = o[11] = 0;
  o[15] = 1;
  return r;
}

bool NearIdentity(const M4& a, double eps) {
  const M4 id;
  for (int i = 0; i < 16; ++i)
    if (std::fabs(a.m[i] - id.m[i]) > eps) return false;
  return true;
}

bool Same(const M4& a, const M4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

// A number as JSON: whole values without a fraction ("1", not "1.0").
Json Number(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) return Json(int64_t(v));
  return Json(v);
}

Json Numbers(const std::vector<double>& values) {
  Json out = Json::array();
  for (double v : values) out.push_back(Number(v));
  return out;
}

// glTF colours are linear; the scene's are display (sRGB) values.
double Linear(float c) {
  double v = std::isfinite(c) ? std::clamp(double(c), 0.0, 1.0) : 1.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double Alpha(float a) { return std::isfinite(a) ? std::clamp(double(a), 0.0, 1.0) : 1.0; }

// One primitive of a part's mesh as triangle corners in the part's own space
// (model units): nine position and nine normal floats a triangle.
struct Soup {
  int material = 0;
  std::vector<float> points, normals;
};

struct PartMesh {
  std::string name;
  std::vector<Soup> primitives;
  // Position dequantisation of a compressed mesh: p = q * step + offset (metres).
  bool quantized = false;
  double step = 1, offset[3] = {0, 0, 0};
};

struct NodeOut {
  std::string name;
  Json extras;
  M4 local;
  int mesh = -1;
  std::vector<int> children;
};

// A vertex as stored: equal position and normal share one index.
struct Vertex {
  float v[6];
  bool operator==(const Vertex& o) const { return std::memcmp(v, o.v, sizeof v) == 0; }
};
struct VertexHash {
  size_t operator()(const Vertex& x) const {
    uint64_t w[3];
    std::memcpy(w, x.v, sizeof w);
    uint64_t h = 0x9e3779b97f4a7c15ull;
    for (uint64_t k : w) {
      h ^= k + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
      h *= 0xff51afd7ed558ccdull;
    }
    return size_t(h ^ (h >> 32));
  }
};

double Size(const C3DMWorld& world) {
  float lo[3] = {HUGE_VALF, HUGE_VALF, HUGE_VALF}, hi[3] = {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF};
  world.Walk([&](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4& m) {
    for (const velaFloatPoint& q : mesh.points) {
      const velaFloatPoint p = q * m;
      if (!Finite(p)) continue;
      const float c[3] = {p.x, p.y, p.z};
      for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
    }
  });
  double size = 0;
  for (int k = 0; k < 3; ++k) size = std::max(size, double(hi[k]) - double(lo[k]));
  return size > 0 ? size : 1.0;
}

class Builder {
 public:
  explicit Builder(const GltfOptions& options) : m_options(options) {}

  void Build(const C3DMWorld& world) {
    const bool needSize = !(m_options.shareTolerance > 0) || (m_options.compress && !(m_options.positionTolerance > 0));
    const double size = needSize ? Size(world) : 1.0;
    m_share = m_options.shareTolerance > 0 ? m_options.shareTolerance : 1e-6 * size;
    m_quantum = m_options.positionTolerance > 0 ? m_options.positionTolerance : 1e-4 * size;

    NodeOut root;  // written as a rotation
    root.name = "Z-up to Y-up";
    m_nodes.push_back(root);
    std::vector<int> children;
    const M4 identity;
    for (int i = 0; i < world.GetNumberGroups(); ++i) {
      const C3DMGroup& g = *world.GetGroup(i);
      if (g.GetNumberMeshes() == 0 && g.GetNumberChildren() == 0) continue;  // an empty group of its own
      children.push_back(AddNode(g, identity, identity));
    }
    m_nodes[0].children = children;
  }

  // The whole file.
  std::string Glb(GltfCounts* counts) {
    Json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", "granite-load"}};
    if (m_options.compress) {
      doc["extensionsUsed"] = {"EXT_meshopt_compression", "KHR_mesh_quantization"};
      doc["extensionsRequired"] = {"EXT_meshopt_compression", "KHR_mesh_quantization"};
    }
    doc["scene"] = 0;
    doc["scenes"] = Json::array({{{"nodes", {0}}}});

    Json meshes = Json::array();
    int triangles = 0, primitives = 0;
    for (PartMesh& mesh : m_meshes) {
      if (m_options.compress) Quantize(mesh);
      Json prims = Json::array();
      for (const Soup& soup : mesh.primitives) {
        Json primitive = Primitive(mesh, soup, &triangles);
        if (!primitive.is_null()) prims.push_back(primitive);
      }
      if (prims.empty()) {
        // A part smaller than the grid keeps its float positions.
        mesh.quantized = false;
        for (const Soup& soup : mesh.primitives) prims.push_back(Primitive(mesh, soup, &triangles));
      }
      primitives += int(prims.size());
      Json m;
      if (!mesh.name.empty()) m["name"] = mesh.name;
      m["primitives"] = prims;
      meshes.push_back(m);
    }
    WriteViews();
    doc["nodes"] = Nodes();
    if (!m_materials.empty()) doc["materials"] = m_materials;
    if (!meshes.empty()) doc["meshes"] = meshes;
    if (!m_accessors.empty()) doc["accessors"] = m_accessors;
    if (!m_views.empty()) doc["bufferViews"] = m_views;
    if (!m_bin.empty()) {
      Json buffers = Json::array({{{"byteLength", m_bin.size()}}});
      if (m_options.compress)
        buffers.push_back({{"byteLength", m_fallback},
                           {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}});
      doc["buffers"] = buffers;
    }

    std::string json = doc.dump(-1, ' ', false, Json::error_handler_t::replace);
    while (json.size() % 4) json += ' ';
    while (m_bin.size() % 4) m_bin.push_back(0);
    std::string glb;
    auto word = [&](uint32_t v) {
      const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
      glb.append(b, 4);
    };
    const size_t total = 12 + 8 + json.size() + (m_bin.empty() ? 0 : 8 + m_bin.size());
    word(0x46546C67);  // "glTF"
    word(2);
    word(uint32_t(total));
    word(uint32_t(json.size()));
    word(0x4E4F534A);  // "JSON"
    glb += json;
    if (!m_bin.empty()) {
      word(uint32_t(m_bin.size()));
      word(0x004E4942);  // "BIN"
      glb.append(reinterpret_cast<const char*>(m_bin.data()), m_bin.size());
    }
    if (counts) {
      counts->nodes = int(m_nodes.size());
      counts->meshes = int(m_meshes.size());
      counts->materials = int(m_materials.size());
      counts->primitives = primitives;
      counts->triangles = triangles;
      counts->bytes = long(glb.size());
      counts->positionError = m_moved;
    }
    return glb;
  }

 private:
  const GltfLabel* LabelOf(const C3DMGroup& g) const { return m_options.label ? m_options.label(g) : nullptr; }

  // wp: the parent node's placement in model space; mp: the composed own
  // transforms of the groups above.
  int AddNode(const C3DMGroup& g, const M4& wp, const M4& mp) {
    const M4 mg = Mul(FromVela(g.GetMatrix()), mp);
    const GltfLabel* label = LabelOf(g);
    const C3DMGroup* source = &g;
    const GltfLabel* partLabel = label;
    M4 w, rel;
    bool descend = true, relIdentity = false;
    if (label && !label->assembly && g.GetNumberMeshes() == 0 && g.GetNumberChildren() == 1) {
      // An occurrence that holds an earlier one's group: that part's mesh, at
      // the placement this path gives it.
      const C3DMGroup& c = *g.GetChild(0);
      const GltfLabel* first = LabelOf(c);
      if (first && first->hasFinal && c.GetNumberMeshes() > 0) {
        const M4 f = FromVela(first->finalTransform);
        w = Mul(f, Mul(FromVela(c.GetMatrix()), mg));
        rel = Inverse(f);
        source = &c;
        partLabel = first;
        descend = false;
      }
    }
    if (descend) {
      if (!label) {
        w = mg;
        relIdentity = true;
      } else if (!label->assembly && label->hasFinal) {
        w = FromVela(label->finalTransform);
      } else {
        w = Mul(FromVela(label->transform), wp);
      }
      if (!relIdentity) rel = Mul(mg, Inverse(w));
    }

    NodeOut node;
    node.local = Mul(w, Inverse(wp));
    const int index = int(m_nodes.size());
    if (label) {
      node.name = label->name;
      // Empty names are left out: a translated assembly's components have none.
      node.extras = Json::object();
      if (!label->file.empty()) node.extras["file"] = label->file;
      if (!label->configuration.empty()) node.extras["configuration"] = label->configuration;
      node.extras["type"] = label->type;
    } else if (m_options.name) {
      node.name = m_options.name(g);
    }
    if (node.name.empty()) node.name = "group " + std::to_string(index);
    node.mesh = MeshOf(*source, rel, partLabel ? partLabel->name : node.name);
    m_nodes.push_back(std::move(node));
    if (descend) {
      std::vector<int> children;
      for (int i = 0; i < g.GetNumberChildren(); ++i) children.push_back(AddNode(*g.GetChild(i), w, mg));
      m_nodes[index].children = children;
    }
    return index;
  }

  // The glTF mesh of a group's meshes taken through rel: one already made
  // from the same group the same way, or one that agrees with it to the
  // sharing tolerance, or a new one. -1 for a group without triangles.
  int MeshOf(const C3DMGroup& g, const M4& rel, const std::string& name) {
    if (g.GetNumberMeshes() == 0) return -1;
    std::vector<std::pair<M4, int>>& made = m_byGroup[&g];
    for (const auto& entry : made)
      if (Same(entry.first, rel)) return entry.second;

    PartMesh mesh;
    mesh.name = name;
    // One primitive per colour, in the order the colours come.
    for (int i = 0; i < g.GetNumberMeshes(); ++i) {
      const C3DMMesh& source = g.GetMesh(i);
      const int material = MaterialOf(source.color);
      auto same = std::find_if(mesh.primitives.begin(), mesh.primitives.end(),
                               [&](const Soup& s) { return s.material == material; });
      if (same == mesh.primitives.end()) {
        mesh.primitives.emplace_back();
        mesh.primitives.back().material = material;
        same = mesh.primitives.end() - 1;
      }
      Soup& soup = *same;
      const size_t n = std::min(source.points.size(), source.normals.size()) / 3 * 3;
      soup.points.reserve(n * 3);
      soup.normals.reserve(n * 3);
      for (size_t t = 0; t < n; t += 3) {
        Triangle tri;
        for (int k = 0; k < 3; ++k) {
          const velaFloatPoint& p = source.points[t + k];
          const velaVector& v = source.normals[t + k];
          const double* m = rel.m;
          tri.p[k] = velaFloatPoint(float(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12]),
                                    float(p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13]),
                                    float(p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]));
          const double* r = rel.m;  // normals: the linear part, renormalised below
          tri.n[k] = velaVector(float(v.x * r[0] + v.y * r[4] + v.z * r[8]), float(v.x * r[1] + v.y * r[5] + v.z * r[9]),
                                float(v.x * r[2] + v.y * r[6] + v.z * r[10]));
        }
        if (!CleanTriangle(tri)) continue;
        for (int k = 0; k < 3; ++k) {
          soup.points.insert(soup.points.end(), {tri.p[k].x, tri.p[k].y, tri.p[k].z});
          soup.normals.insert(soup.normals.end(), {tri.n[k].x, tri.n[k].y, tri.n[k].z});
        }
      }
    }
    mesh.primitives.erase(std::remove_if(mesh.primitives.begin(), mesh.primitives.end(),
                                         [](const Soup& s) { return s.points.empty(); }),
                          mesh.primitives.end());
    int index = -1;
    if (!mesh.primitives.empty()) {
      std::vector<int64_t> key;
      for (const Soup& s : mesh.primitives) key.insert(key.end(), {s.material, int64_t(s.points.size())});
      std::vector<int>& similar = m_bySignature[key];
      for (int candidate : similar)
        if (Agree(m_meshes[candidate], mesh)) {
          index = candidate;
          break;
        }
      if (index < 0) {
        index = int(m_meshes.size());
        m_meshes.push_back(std::move(mesh));
        similar.push_back(index);
      }
    }
    made.emplace_back(rel, index);
    return index;
  }

  bool Agree(const PartMesh& a, const PartMesh& b) const {
    for (size_t i = 0; i < a.primitives.size(); ++i) {
      const std::vector<float>& p = a.primitives[i].points;
      const std::vector<float>& q = b.primitives[i].points;
      for (size_t k = 0; k < p.size(); ++k)
        if (!(std::fabs(double(p[k]) - double(q[k])) <= m_share)) return false;
    }
    return true;
  }

  int MaterialOf(const velaChroma& c) {
    const std::array<float, 4> key{c.r, c.g, c.b, c.a};
    auto found = m_materialIndex.find(key);
    if (found != m_materialIndex.end()) return found->second;
    char name[32];
    auto byte = [](float v) { return int(std::lround((std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 1.0f) * 255)); };
    std::snprintf(name, sizeof name, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
    Json material = {{"name", name},
                     {"pbrMetallicRoughness",
                      {{"baseColorFactor", {Linear(c.r), Linear(c.g), Linear(c.b), Alpha(c.a)}},
                       {"metallicFactor", 0.0},
                       {"roughnessFactor", 0.5}}}};
    if (Alpha(c.a) < 1.0) material["alphaMode"] = "BLEND";
    const int index = int(m_materials.size());
    m_materials.push_back(material);
    m_materialIndex[key] = index;
    return index;
  }

  // Chooses a grid of at most 16 bits for a compressed mesh's positions.
  void Quantize(PartMesh& mesh) const {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const Soup& s : mesh.primitives)
      for (size_t i = 0; i < s.points.size(); ++i) {
        const double v = double(s.points[i]) * m_options.metresPerUnit;
        lo[i % 3] = std::min(lo[i % 3], v);
        hi[i % 3] = std::max(hi[i % 3], v);
      }
    double extent = 0;
    for (int k = 0; k < 3; ++k) extent = std::max(extent, hi[k] - lo[k]);
    // The coarsest grid that keeps every point within the tolerance (half a
    // step along each axis): the coarser, the better the codec compresses.
    double step = 2.0 * m_quantum * m_options.metresPerUnit / std::sqrt(3.0);
    if (!(step > 0) || !std::isfinite(step) || extent / step > 65535.0) return;  // floats, then
    // Down to two significant digits: shorter numbers in the node matrices.
    const double unit = std::pow(10.0, std::floor(std::log10(step)) - 1);
    step = std::floor(step / unit) * unit;
    mesh.quantized = true;
    mesh.step = step;
    for (int k = 0; k < 3; ++k) mesh.offset[k] = lo[k];
  }

  // Null when no triangle is left.
  Json Primitive(const PartMesh& mesh, const Soup& soup, int* triangles) {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    std::unordered_map<Vertex, uint32_t, VertexHash> seen;
    const size_t corners = soup.points.size() / 3;
    const float s = float(m_options.metresPerUnit);
    indices.reserve(corners);
    vertices.reserve(corners);
    seen.reserve(corners);
    for (size_t i = 0; i < corners; ++i) {
      const float* p = &soup.points[i * 3];
      const float* n = &soup.normals[i * 3];
      Vertex v{{p[0] * s, p[1] * s, p[2] * s, n[0], n[1], n[2]}};
      if (m_options.compress) {
        // Compressed, a vertex is what is stored: its grid point (whole
        // numbers) and its normal's four octahedral bytes. Corners that
        // differ by less merge.
        if (mesh.quantized) {
          double moved = 0;
          for (int k = 0; k < 3; ++k) {
            const double at = v.v[k];
            v.v[k] = float(std::clamp(std::round((at - mesh.offset[k]) / mesh.step), 0.0, 65535.0));
            const double d = v.v[k] * mesh.step + mesh.offset[k] - at;
            moved += d * d;
          }
          m_moved = std::max(m_moved, std::sqrt(moved) / m_options.metresPerUnit);
        }
        const float normal[4] = {n[0], n[1], n[2], 0.0f};
        int8_t oct[4];
        meshopt_encodeFilterOct(oct, 1, 4, 8, normal);
        std::memcpy(&v.v[3], oct, 4);
        v.v[4] = v.v[5] = 0.0f;
      }
      auto inserted = seen.emplace(v, uint32_t(vertices.size()));
      if (inserted.second) vertices.push_back(v);
      indices.push_back(inserted.first->second);
      if (i % 3 != 2) continue;
      // A triangle that the grid collapsed is left out.
      const uint32_t* t = &indices[indices.size() - 3];
      if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) indices.resize(indices.size() - 3);
    }
    if (indices.empty()) return Json();
    *triangles += int(indices.size() / 3);
    if (m_options.compress) {
      // Vertex cache order, then vertices in first-use order: what the codecs
      // compress best.
      meshopt_optimizeVertexCacheStrip(indices.data(), indices.data(), indices.size(), vertices.size());
      std::vector<Vertex> ordered(vertices.size());
      const size_t count = meshopt_optimizeVertexFetch(ordered.data(), indices.data(), indices.size(),
                                                       vertices.data(), vertices.size(), sizeof(Vertex));
      ordered.resize(count);
      vertices.swap(ordered);
    }
    const size_t count = vertices.size();
    Json attributes;
    if (mesh.quantized) {
      std::vector<uint16_t> q(count * 4, 0);
      std::vector<double> lo(3, HUGE_VAL), hi(3, -HUGE_VAL);
      for (size_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) {
          q[i * 4 + k] = uint16_t(vertices[i].v[k]);
          lo[k] = std::min(lo[k], double(q[i * 4 + k]));
          hi[k] = std::max(hi[k], double(q[i * 4 + k]));
        }
      attributes["POSITION"] = Accessor(kPositionShort, q.data(), count, "VEC3", kUnsignedShort, false, lo, hi);
    } else {
      std::vector<float> p(count * 3);
      std::vector<double> lo(3, HUGE_VAL), hi(3, -HUGE_VAL);
      for (size_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) {
          p[i * 3 + k] = vertices[i].v[k];
          lo[k] = std::min(lo[k], double(p[i * 3 + k]));
          hi[k] = std::max(hi[k], double(p[i * 3 + k]));
        }
      attributes["POSITION"] = Accessor(kPositionFloat, p.data(), count, "VEC3", kFloat, false, lo, hi);
    }
    if (m_options.compress) {
      std::vector<int8_t> oct(count * 4);
      for (size_t i = 0; i < count; ++i) std::memcpy(&oct[i * 4], &vertices[i].v[3], 4);
      attributes["NORMAL"] = Accessor(kNormalOct, oct.data(), count, "VEC3", kByte, true, {}, {});
    } else {
      std::vector<float> n(count * 3);
      for (size_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) n[i * 3 + k] = vertices[i].v[3 + k];
      attributes["NORMAL"] = Accessor(kNormalFloat, n.data(), count, "VEC3", kFloat, false, {}, {});
    }
    Json primitive;
    primitive["attributes"] = attributes;
    if (count <= 65535) {
      std::vector<uint16_t> small(indices.begin(), indices.end());
      primitive["indices"] =
          Accessor(kIndexShort, small.data(), small.size(), "SCALAR", kUnsignedShort, false, {}, {}, &indices, count);
    } else {
      primitive["indices"] =
          Accessor(kIndexInt, indices.data(), indices.size(), "SCALAR", kUnsignedInt, false, {}, {}, &indices, count);
    }
    primitive["material"] = soup.material;
    return primitive;
  }

  // One accessor in its stream. Every stream is one buffer view.
  int Accessor(int stream, const void* data, size_t count, const char* type, int component, bool normalized,
               const std::vector<double>& lo, const std::vector<double>& hi,
               const std::vector<uint32_t>* indices = nullptr, size_t vertices = 0) {
    Stream& st = m_streams[stream];
    const size_t bytes = count * kStreams[stream].stride;
    Json accessor = {{"bufferView", stream}};  // the stream for now, its view once written
    if (!st.raw.empty()) accessor["byteOffset"] = st.raw.size();
    accessor["componentType"] = component;
    if (normalized) accessor["normalized"] = true;
    accessor["count"] = count;
    accessor["type"] = type;
    if (!lo.empty()) {
      accessor["min"] = Numbers(lo);
      accessor["max"] = Numbers(hi);
    }
    const unsigned char* b = static_cast<const unsigned char*>(data);
    st.raw.insert(st.raw.end(), b, b + bytes);
    if (indices) {
      st.indices.insert(st.indices.end(), indices->begin(), indices->end());
      st.vertices = std::max(st.vertices, vertices);
    }
    m_accessors.push_back(accessor);
    return int(m_accessors.size()) - 1;
  }

  // The buffer views of the streams used, in a fixed order, and the binary
  // chunk. Compressed: the views lie in the fallback buffer, their meshopt
  // streams in the binary chunk.
  void WriteViews() {
    int view[kStreamCount];
    for (int k = 0; k < kStreamCount; ++k) {
      Stream& st = m_streams[k];
      view[k] = -1;
      if (st.raw.empty()) continue;
      const StreamKind& kind = kStreams[k];
      Json v;
      if (!m_options.compress) {
        Align(m_bin);
        v["buffer"] = 0;
        v["byteOffset"] = m_bin.size();
        v["byteLength"] = st.raw.size();
        m_bin.insert(m_bin.end(), st.raw.begin(), st.raw.end());
      } else {
        std::vector<unsigned char> encoded;
        const size_t count = st.raw.size() / kind.stride;
        if (kind.index) {
          meshopt_encodeIndexVersion(1);  // restarts between primitives cost little
          encoded.resize(meshopt_encodeIndexBufferBound(st.indices.size(), st.vertices));
          encoded.resize(
              meshopt_encodeIndexBuffer(encoded.data(), encoded.size(), st.indices.data(), st.indices.size()));
        } else {
          encoded.resize(meshopt_encodeVertexBufferBound(count, kind.stride));
          encoded.resize(
              meshopt_encodeVertexBuffer(encoded.data(), encoded.size(), st.raw.data(), count, kind.stride));
        }
        Align(m_bin);
        m_fallback = (m_fallback + 3) / 4 * 4;
        Json ext = {{"buffer", 0},          {"byteOffset", m_bin.size()},
                    {"byteLength", encoded.size()}, {"byteStride", kind.stride},
                    {"count", count},       {"mode", kind.index ? "TRIANGLES" : "ATTRIBUTES"}};
        if (kind.filter) ext["filter"] = kind.filter;
        m_bin.insert(m_bin.end(), encoded.begin(), encoded.end());
        v["buffer"] = 1;
        v["byteOffset"] = m_fallback;
        v["byteLength"] = st.raw.size();
        m_fallback += st.raw.size();
        v["extensions"] = {{"EXT_meshopt_compression", ext}};
      }
      if (!kind.index) v["byteStride"] = kind.stride;
      v["target"] = kind.index ? kElementArrayBuffer : kArrayBuffer;
      view[k] = int(m_views.size());
      m_views.push_back(v);
    }
    for (Json& a : m_accessors) a["bufferView"] = view[a["bufferView"].get<int>()];
  }

  static void Align(std::vector<unsigned char>& b) {
    while (b.size() % 4) b.push_back(0);
  }

  static Json Matrix(const M4& m) {
    Json out = Json::array();
    for (int i = 0; i < 16; ++i) {
      // Seven digits, the precision of the scene's float matrices: 9, not
      // 8.99999023.
      char text[32];
      std::snprintf(text, sizeof text, "%.7g", std::fabs(m.m[i]) < 1e-15 ? 0.0 : m.m[i]);
      out.push_back(Number(std::strtod(text, nullptr)));
    }
    return out;
  }

  Json Nodes() {
    // A compressed mesh's dequantisation goes in the node that shows it, or in
    // a child of its own when the node has children.
    const size_t first = m_nodes.size();
    for (size_t i = 0; i < first; ++i) {
      if (m_nodes[i].mesh < 0 || !m_meshes[m_nodes[i].mesh].quantized || m_nodes[i].children.empty()) continue;
      NodeOut holder;
      holder.name = m_nodes[i].name + " mesh";
      holder.mesh = m_nodes[i].mesh;
      m_nodes[i].mesh = -1;
      m_nodes[i].children.push_back(int(m_nodes.size()));
      m_nodes.push_back(holder);
    }
    Json nodes = Json::array();
    for (const NodeOut& n : m_nodes) {
      Json node;
      node["name"] = n.name;
      if (&n == &m_nodes[0]) {
        const double h = std::sqrt(0.5);
        node["rotation"] = {-h, 0.0, 0.0, h};
      } else {
        // In metres: the translation scales, the rest stays.
        M4 local = n.local;
        for (int k = 12; k < 15; ++k) local.m[k] *= m_options.metresPerUnit;
        if (n.mesh >= 0 && m_meshes[n.mesh].quantized) {
          const PartMesh& mesh = m_meshes[n.mesh];
          M4 d;  // q * step + offset, applied first
          d.m[0] = d.m[5] = d.m[10] = mesh.step;
          for (int k = 0; k < 3; ++k) d.m[12 + k] = mesh.offset[k];
          local = Mul(d, local);
        }
        if (!NearIdentity(local, 1e-12)) node["matrix"] = Matrix(local);
      }
      if (n.mesh >= 0) node["mesh"] = n.mesh;
      if (!n.children.empty()) node["children"] = n.children;
      if (!n.extras.is_null()) node["extras"] = n.extras;
      nodes.push_back(node);
    }
    return nodes;
  }

  const GltfOptions& m_options;
  double m_share = 0, m_quantum = 0, m_moved = 0;
  std::vector<NodeOut> m_nodes;
  std::vector<PartMesh> m_meshes;
  std::unordered_map<const C3DMGroup*, std::vector<std::pair<M4, int>>> m_byGroup;
  std::map<std::vector<int64_t>, std::vector<int>> m_bySignature;
  std::map<std::array<float, 4>, int> m_materialIndex;
  Json m_materials = Json::array(), m_accessors = Json::array(), m_views = Json::array();
  struct Stream {
    std::vector<unsigned char> raw;
    std::vector<uint32_t> indices;  // index streams: the values as 32 bits, for the codec
    size_t vertices = 0;
  };
  Stream m_streams[kStreamCount];
  std::vector<unsigned char> m_bin;
  size_t m_fallback = 0;
};

}  // namespace

bool WriteGltf(const C3DMWorld& world, const std::string& path, const GltfOptions& options,
               std::string* error, GltfCounts* counts) {
  if (options.compress && !kCompression) {
    if (error) *error = "compression: not supported in this build";
    return false;
  }
  Builder builder(options);
  builder.Build(world);
  const std::string data = builder.Glb(counts);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  const int saved = errno;
  if (std::fclose(file) != 0 || !written) {
    if (error) *error = path + ": " + std::strerror(written ? errno : saved);
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace gload
