// Binary glTF 2.0 through tinygltf.
#include "export/Gltf.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>

#include "export/Triangles.h"
#include "qorvelaex/C3DMScene.h"

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

namespace {

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// glTF colours are linear; the scene's are display (sRGB) values.
double Linear(float c) {
  double v = std::isfinite(c) ? std::clamp(double(c), 0.0, 1.0) : 1.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double Alpha(float a) { return std::isfinite(a) ? std::clamp(double(a), 0.0, 1.0) : 1.0; }

// A vertex as stored: equal position and normal share one index.
struct Vertex {
  float v[6];
  bool operator==(const Vertex& o) const { return std::memcmp(v, o.v, sizeof v) == 0; }
};
struct VertexHash {
  // The six floats' bits, a word at a time (bytes one by one cost more than
  // the table itself).
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

class Builder {
 public:
  explicit Builder(const GltfOptions& options) : m_options(options) {
    m_model.asset.version = "2.0";
    m_model.asset.generator = "granite-load";
    m_model.buffers.emplace_back();
  }

  void Build(const C3DMWorld& world) {
    tinygltf::Node root;
    root.name = "Z-up to Y-up";
    const double h = std::sqrt(0.5);
    root.rotation = {-h, 0.0, 0.0, h};
    m_model.nodes.push_back(root);
    std::vector<int> children;
    for (int i = 0; i < world.GetNumberGroups(); ++i) children.push_back(AddNode(*world.GetGroup(i)));
    m_model.nodes[0].children = children;
    tinygltf::Scene scene;
    scene.nodes = {0};
    m_model.scenes.push_back(scene);
    m_model.defaultScene = 0;
    if (m_model.buffers[0].data.empty()) {
      m_model.buffers.clear();
    }
  }

  const tinygltf::Model& Model() const { return m_model; }

  GltfCounts Counts() const {
    GltfCounts c;
    c.nodes = int(m_model.nodes.size());
    c.meshes = int(m_model.meshes.size());
    c.materials = int(m_model.materials.size());
    for (const tinygltf::Mesh& mesh : m_model.meshes) c.primitives += int(mesh.primitives.size());
    c.triangles = m_triangles;
    return c;
  }

 private:
  int AddNode(const C3DMGroup& group) {
    tinygltf::Node node;
    if (m_options.name) node.name = m_options.name(group);
    // tinygltf writes a node with no property set as null, which is no node.
    if (node.name.empty()) node.name = "group " + std::to_string(m_model.nodes.size());
    const velaMatrix4x4& m = group.GetMatrix();
    if (!m.IsIdentity()) {
      // Row-vector matrices stored row by row are the column-vector matrices
      // glTF wants, stored column by column: the sixteen floats carry over.
      node.matrix.assign(m.m, m.m + 16);
      for (int k = 12; k < 15; ++k) node.matrix[k] *= m_options.metresPerUnit;
    }
    node.mesh = MeshOf(group);
    const int index = int(m_model.nodes.size());
    m_model.nodes.push_back(node);
    std::vector<int> children;
    for (int i = 0; i < group.GetNumberChildren(); ++i) children.push_back(AddNode(*group.GetChild(i)));
    m_model.nodes[index].children = children;
    return index;
  }

  int MeshOf(const C3DMGroup& group) {
    auto found = m_meshes.find(&group);
    if (found != m_meshes.end()) return found->second;
    tinygltf::Mesh mesh;
    for (int i = 0; i < group.GetNumberMeshes(); ++i) {
      tinygltf::Primitive primitive;
      if (AddPrimitive(group.GetMesh(i), primitive)) mesh.primitives.push_back(primitive);
    }
    int index = -1;
    if (!mesh.primitives.empty()) {
      if (m_options.name) mesh.name = m_options.name(group);
      index = int(m_model.meshes.size());
      m_model.meshes.push_back(mesh);
    }
    m_meshes[&group] = index;
    return index;
  }

  bool AddPrimitive(const C3DMMesh& mesh, tinygltf::Primitive& primitive) {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    std::unordered_map<Vertex, uint32_t, VertexHash> seen;
    const float s = float(m_options.metresPerUnit);
    const size_t n = std::min(mesh.points.size(), mesh.normals.size()) / 3 * 3;
    indices.reserve(n);
    vertices.reserve(n);
    seen.reserve(n);
    for (size_t i = 0; i < n; i += 3) {
      Triangle t;
      for (int k = 0; k < 3; ++k) {
        const velaFloatPoint& p = mesh.points[i + k];
        t.p[k] = velaFloatPoint(p.x * s, p.y * s, p.z * s);
        t.n[k] = mesh.normals[i + k];
      }
      if (!CleanTriangle(t)) continue;
      for (int k = 0; k < 3; ++k) {
        Vertex v{{t.p[k].x, t.p[k].y, t.p[k].z, t.n[k].x, t.n[k].y, t.n[k].z}};
        auto inserted = seen.emplace(v, uint32_t(vertices.size()));
        if (inserted.second) vertices.push_back(v);
        indices.push_back(inserted.first->second);
      }
    }
    if (indices.empty()) return false;
    m_triangles += int(indices.size() / 3);

    std::vector<float> positions, normals;
    positions.reserve(vertices.size() * 3);
    normals.reserve(vertices.size() * 3);
    std::vector<double> lo(3, HUGE_VAL), hi(3, -HUGE_VAL);
    for (const Vertex& v : vertices) {
      for (int k = 0; k < 3; ++k) {
        positions.push_back(v.v[k]);
        normals.push_back(v.v[3 + k]);
        lo[k] = std::min(lo[k], double(v.v[k]));
        hi[k] = std::max(hi[k], double(v.v[k]));
      }
    }
    const int count = int(vertices.size());
    primitive.attributes["POSITION"] =
        AddAccessor(positions.data(), positions.size() * sizeof(float), count, TINYGLTF_TYPE_VEC3,
                    TINYGLTF_COMPONENT_TYPE_FLOAT, kArrayBuffer, lo, hi);
    primitive.attributes["NORMAL"] =
        AddAccessor(normals.data(), normals.size() * sizeof(float), count, TINYGLTF_TYPE_VEC3,
                    TINYGLTF_COMPONENT_TYPE_FLOAT, kArrayBuffer, {}, {});
    if (vertices.size() <= 65535) {
      std::vector<uint16_t> small(indices.begin(), indices.end());
      primitive.indices = AddAccessor(small.data(), small.size() * sizeof(uint16_t), int(small.size()),
                                      TINYGLTF_TYPE_SCALAR, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                                      kElementArrayBuffer, {}, {});
    } else {
      primitive.indices = AddAccessor(indices.data(), indices.size() * sizeof(uint32_t), int(indices.size()),
                                      TINYGLTF_TYPE_SCALAR, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                                      kElementArrayBuffer, {}, {});
    }
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = MaterialOf(mesh.color);
    return true;
  }

  int AddAccessor(const void* data, size_t bytes, int count, int type, int component, int target,
                  const std::vector<double>& lo, const std::vector<double>& hi) {
    std::vector<unsigned char>& buffer = m_model.buffers[0].data;
    while (buffer.size() % 4) buffer.push_back(0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buffer.size();
    view.byteLength = bytes;
    view.target = target;
    const unsigned char* b = static_cast<const unsigned char*>(data);
    buffer.insert(buffer.end(), b, b + bytes);
    m_model.bufferViews.push_back(view);

    tinygltf::Accessor accessor;
    accessor.bufferView = int(m_model.bufferViews.size()) - 1;
    accessor.byteOffset = 0;
    accessor.componentType = component;
    accessor.count = size_t(count);
    accessor.type = type;
    accessor.minValues = lo;
    accessor.maxValues = hi;
    m_model.accessors.push_back(accessor);
    return int(m_model.accessors.size()) - 1;
  }

  int MaterialOf(const velaChroma& c) {
    const std::array<float, 4> key{c.r, c.g, c.b, c.a};
    auto found = m_materials.find(key);
    if (found != m_materials.end()) return found->second;
    tinygltf::Material material;
    char name[32];
    auto byte = [](float v) { return int(std::lround((std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 1.0f) * 255)); };
    std::snprintf(name, sizeof name, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
    material.name = name;
    material.pbrMetallicRoughness.baseColorFactor = {Linear(c.r), Linear(c.g), Linear(c.b), Alpha(c.a)};
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 0.5;
    if (Alpha(c.a) < 1.0) material.alphaMode = "BLEND";
    const int index = int(m_model.materials.size());
    m_model.materials.push_back(material);
    m_materials[key] = index;
    return index;
  }

  const GltfOptions& m_options;
  tinygltf::Model m_model;
  std::unordered_map<const C3DMGroup*, int> m_meshes;
  std::map<std::array<float, 4>, int> m_materials;
  int m_triangles = 0;
};

}  // namespace

bool WriteGltf(const C3DMWorld& world, const std::string& path, const GltfOptions& options,
               std::string* error, GltfCounts* counts) {
  Builder builder(options);
  builder.Build(world);
  if (counts) *counts = builder.Counts();

  std::ostringstream bytes;
  tinygltf::TinyGLTF writer;
  if (!writer.WriteGltfSceneToStream(&builder.Model(), bytes, false, true)) {
    if (error) *error = "the glTF writer failed";
    return false;
  }
  const std::string data = bytes.str();
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
