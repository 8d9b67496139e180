// The glTF exporter: structure read back through tinygltf, and the Khronos
// validator on every file written.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <meshoptimizer.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <string>

#include "export/Gltf.h"
#include "export/Labels.h"
#include "export/Triangles.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "scenes.h"

std::string Bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the validator on file: no error, no warning (shared with the program tests).
void ExpectValid(const std::string& file) {
  const std::string command = "node '" + std::string(GRANITE_SOURCE_DIR) +
                              "/tools/granite-load/validator/validate.js' '" + file + "' 2>&1";
  std::string report;
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char chunk[512];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) report.append(chunk, n);
  const int status = pclose(pipe);
  ASSERT_EQ(report.find("Cannot find module"), std::string::npos) << "the validator is not installed: run scripts/setup";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
  EXPECT_NE(report.find(" 0 errors, 0 warnings"), std::string::npos) << report;
}

namespace {

using Json = nlohmann::json;

std::string TempPath(const std::string& name) {
  return std::string(GRANITE_BINARY_DIR) + "/tests/granite_load/" + name;
}

const velaChroma kBlue(0.1f, 0.2f, 0.9f, 1.0f);

// A compressed file made readable for tinygltf: every meshopt stream decoded
// with meshoptimizer into the view it stands for.
std::string Decompress(const std::string& glb) {
  uint32_t jsonLength;
  std::memcpy(&jsonLength, glb.data() + 12, 4);
  Json doc = Json::parse(glb.substr(20, jsonLength));
  const unsigned char* bin = reinterpret_cast<const unsigned char*>(glb.data()) + 20 + jsonLength + 8;
  if (!doc.contains("buffers") || doc["buffers"].size() < 2) return glb;
  std::vector<unsigned char> out(doc["buffers"][1]["byteLength"].get<size_t>());
  for (Json& view : doc["bufferViews"]) {
    const Json& e = view["extensions"]["EXT_meshopt_compression"];
    unsigned char* target = out.data() + view["byteOffset"].get<size_t>();
    const size_t count = e["count"], stride = e["byteStride"], offset = e["byteOffset"], length = e["byteLength"];
    const int failed = e["mode"] == "TRIANGLES"
                           ? meshopt_decodeIndexBuffer(target, count, stride, bin + offset, length)
                           : meshopt_decodeVertexBuffer(target, count, stride, bin + offset, length);
    EXPECT_EQ(failed, 0);
    if (e.value("filter", "") == "OCTAHEDRAL") meshopt_decodeFilterOct(target, count, stride);
    view["buffer"] = 0;
    view.erase("extensions");
  }
  doc["buffers"] = Json::array({{{"byteLength", out.size()}}});
  doc.erase("extensionsRequired");
  std::string json = doc.dump();
  while (json.size() % 4) json += ' ';
  while (out.size() % 4) out.push_back(0);
  std::string result(12, '\0');
  auto word = [&](uint32_t v) { result.append(reinterpret_cast<const char*>(&v), 4); };
  word(uint32_t(json.size()));
  word(0x4E4F534A);
  result += json;
  word(uint32_t(out.size()));
  word(0x004E4942);
  result.append(out.begin(), out.end());
  const uint32_t header[3] = {0x46546C67, 2, uint32_t(result.size())};
  std::memcpy(&result[0], header, 12);
  return result;
}

tinygltf::Model Read(const std::string& file) {
  const std::string glb = Decompress(Bytes(file));
  tinygltf::Model model;
  tinygltf::TinyGLTF reader;
  std::string error, warning;
  EXPECT_TRUE(reader.LoadBinaryFromMemory(&model, &error, &warning,
                                          reinterpret_cast<const unsigned char*>(glb.data()), unsigned(glb.size())))
      << error;
  return model;
}

// An accessor's values, normalised integers mapped to -1..1 as glTF says.
std::vector<double> Values(const tinygltf::Model& m, int index) {
  const tinygltf::Accessor& a = m.accessors.at(size_t(index));
  const tinygltf::BufferView& v = m.bufferViews.at(size_t(a.bufferView));
  const unsigned char* base = m.buffers.at(size_t(v.buffer)).data.data() + v.byteOffset + a.byteOffset;
  const int n = tinygltf::GetNumComponentsInType(uint32_t(a.type));
  const int size = tinygltf::GetComponentSizeInBytes(uint32_t(a.componentType));
  const size_t stride = v.byteStride ? v.byteStride : size_t(n * size);
  std::vector<double> out;
  for (size_t i = 0; i < a.count; ++i)
    for (int c = 0; c < n; ++c) {
      const unsigned char* p = base + i * stride + size_t(c * size);
      switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: { float f; std::memcpy(&f, p, 4); out.push_back(f); break; }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: { uint32_t u; std::memcpy(&u, p, 4); out.push_back(u); break; }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
          uint16_t u;
          std::memcpy(&u, p, 2);
          out.push_back(a.normalized ? u / 65535.0 : u);
          break;
        }
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
          const int8_t b = int8_t(*p);
          out.push_back(a.normalized ? std::max(b / 127.0, -1.0) : b);
          break;
        }
        default: ADD_FAILURE() << "component type " << a.componentType;
      }
    }
  return out;
}

// A node's transform, column vectors stored column by column.
std::array<double, 16> Local(const tinygltf::Node& n) {
  std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (n.matrix.size() == 16) std::copy(n.matrix.begin(), n.matrix.end(), m.begin());
  EXPECT_TRUE(n.rotation.empty() && n.translation.empty() && n.scale.empty()) << n.name;
  return m;
}

std::array<double, 16> Compose(const std::array<double, 16>& a, const std::array<double, 16>& b) {
  std::array<double, 16> r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k) r[size_t(c * 4 + row)] += a[size_t(k * 4 + row)] * b[size_t(c * 4 + k)];
  return r;
}

struct Corner {
  double p[3], n[3];
};
using Triangles = std::vector<std::array<Corner, 3>>;

// Every triangle the file shows, below the axes node (model axes, metres).
Triangles Shown(const tinygltf::Model& m) {
  Triangles out;
  std::function<void(int, const std::array<double, 16>&)> visit = [&](int index, const std::array<double, 16>& up) {
    const tinygltf::Node& node = m.nodes.at(size_t(index));
    const std::array<double, 16> w = Compose(up, Local(node));
    if (node.mesh >= 0)
      for (const tinygltf::Primitive& p : m.meshes.at(size_t(node.mesh)).primitives) {
        const std::vector<double> pos = Values(m, p.attributes.at("POSITION"));
        const std::vector<double> nor = Values(m, p.attributes.at("NORMAL"));
        const std::vector<double> idx = Values(m, p.indices);
        const size_t stride = nor.size() / (pos.size() / 3);  // octahedral normals have four
        for (size_t t = 0; t + 2 < idx.size(); t += 3) {
          std::array<Corner, 3> tri;
          for (int k = 0; k < 3; ++k) {
            const double* q = &pos[size_t(idx[t + k]) * 3];
            const double* n = &nor[size_t(idx[t + k]) * stride];
            for (int r = 0; r < 3; ++r) {
              tri[k].p[r] = w[size_t(r)] * q[0] + w[size_t(4 + r)] * q[1] + w[size_t(8 + r)] * q[2] + w[size_t(12 + r)];
              tri[k].n[r] = w[size_t(r)] * n[0] + w[size_t(4 + r)] * n[1] + w[size_t(8 + r)] * n[2];
            }
          }
          out.push_back(tri);
        }
      }
    for (int child : node.children) visit(child, w);
  };
  const std::array<double, 16> identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (int child : m.nodes.at(size_t(m.scenes.at(0).nodes.at(0))).children) visit(child, identity);
  return out;
}

// Every triangle of the scene with every occurrence, in metres.
Triangles Drawn(const C3DMWorld& world, double metres) {
  Triangles out;
  world.Walk([&](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4& m) {
    for (size_t i = 0; i + 2 < mesh.points.size(); i += 3) {
      gload::Triangle t;
      for (int k = 0; k < 3; ++k) t.p[k] = mesh.points[i + k] * m, t.n[k] = mesh.normals[i + k] * m;
      if (!gload::CleanTriangle(t)) continue;
      std::array<Corner, 3> tri;
      for (int k = 0; k < 3; ++k) tri[k] = {{t.p[k].x * metres, t.p[k].y * metres, t.p[k].z * metres}, {}};
      out.push_back(tri);
    }
  });
  return out;
}

// Each triangle of a has its own one of b whose corners lie within tolerance
// of its corners, in any rotation of them. Triangles of b with a side shorter
// than the tolerance may be missing from a when dropSmall: a grid collapsed them.
void ExpectSameTriangles(const Triangles& a, const Triangles& b, double tolerance, bool dropSmall = false) {
  if (dropSmall) ASSERT_LE(a.size(), b.size());
  else ASSERT_EQ(a.size(), b.size());
  auto centre = [](const std::array<Corner, 3>& t, int r) {
    return (t[0].p[r] + t[1].p[r] + t[2].p[r]) / 3;
  };
  const double cell = std::max(tolerance * 4, 1e-9);
  std::map<std::array<long, 3>, std::vector<size_t>> grid;
  for (size_t i = 0; i < b.size(); ++i)
    grid[{long(std::floor(centre(b[i], 0) / cell)), long(std::floor(centre(b[i], 1) / cell)),
          long(std::floor(centre(b[i], 2) / cell))}]
        .push_back(i);
  std::vector<bool> used(b.size(), false);
  size_t missing = 0;
  for (const auto& t : a) {
    // The nearest unused one: small triangles may all lie within the
    // tolerance of each other.
    size_t best = b.size();
    double bestDistance = HUGE_VAL;
    const long c[3] = {long(std::floor(centre(t, 0) / cell)), long(std::floor(centre(t, 1) / cell)),
                       long(std::floor(centre(t, 2) / cell))};
    for (long dx = -1; dx <= 1; ++dx)
      for (long dy = -1; dy <= 1; ++dy)
        for (long dz = -1; dz <= 1; ++dz) {
          auto hit = grid.find({c[0] + dx, c[1] + dy, c[2] + dz});
          if (hit == grid.end()) continue;
          for (size_t j : hit->second) {
            if (used[j]) continue;
            for (int rot = 0; rot < 3; ++rot) {
              double distance = 0;
              for (int k = 0; k < 3; ++k)
                for (int r = 0; r < 3; ++r)
                  distance = std::max(distance, std::fabs(t[size_t(k)].p[r] - b[j][size_t((k + rot) % 3)].p[r]));
              if (distance < bestDistance) bestDistance = distance, best = j;
            }
          }
        }
    const bool found = bestDistance <= tolerance;
    if (found) used[best] = true;
    missing += !found;
  }
  EXPECT_EQ(missing, 0u) << "of " << a.size() << " triangles";
  // Dropped: two corners the grid made one, a triangle gone to a line.
  size_t dropped = 0;
  for (size_t j = 0; j < b.size(); ++j) {
    if (used[j]) continue;
    double shortest = HUGE_VAL;
    for (int k = 0; k < 3; ++k) {
      double edge = 0;
      for (int r = 0; r < 3; ++r) edge = std::max(edge, std::fabs(b[j][size_t(k)].p[r] - b[j][size_t((k + 1) % 3)].p[r]));
      shortest = std::min(shortest, edge);
    }
    dropped += shortest > 2 * tolerance;
  }
  EXPECT_EQ(dropped, 0u) << "triangles with sides longer than the tolerance are missing";
}

// A file loaded as granite-load loads it, with the labels of its elements.
struct Loaded {
  C3DMWorld world;
  gload::SceneLabels labels;
  double chord = 0, metres = 0.001;
  velaBBox box;  // measured before any part was tessellated
};

void Load(const std::string& path, Loaded& out) {
  CGraniteParser parser;
  parser.SetFilename(CBasicString(path.c_str()));
  parser.SetWorld(&out.world);
  C3DMGroup* top = nullptr;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".asm") == 0) {
    ASSERT_EQ(BuildElementList(&parser), GRANITE_LOAD_SUCCESS);
    ASSERT_EQ(LoadAllParts(&parser), GRANITE_LOAD_SUCCESS);
  } else {
    top = out.world.CreateGroup();
    out.world.AddGroup(top, 0);
    parser.SetCurrentGroup(top);
    ASSERT_EQ(ParsePart(&parser, CBasicString(path.c_str()), nullptr), GRANITE_LOAD_SUCCESS);
  }
  std::vector<CGraniteElement*> roots;
  C3DMList* list = parser.GetElementList();
  for (int i = 0; i < list->GetCount(); ++i) roots.push_back(static_cast<CGraniteElement*>(list->GetAt(i)));
  out.labels.Add(roots, top, path, "part");
  out.chord = parser.GetChordalTolerance();
  out.box = parser.GetModelBoundingBox();
  out.metres = gload::MetresPerUnit(parser.GetModelUnits());
  ShutdownGranite();  // as granite-load ends: the kernel lets go of the models it keeps
}

// Each written file, plain and compressed: valid, the same bytes when written
// again, and showing what the scene holds: one material a colour, shared
// meshes in place of their occurrences, every triangle wound to its normals.
// The scenes: a native assembly whose parts the loader reuses, STEP assemblies
// whose repeated parts it tessellates again, a STEP part on its own; a box in
// inches wound inside out without normals, with a triangle collapsed to a
// line; nothing at all.
TEST(Gltf, LoadedModelsNamedSharedAndInPlace) {
  const std::string real = std::string(GRANITE_DATA_DIR) + "/real/";
  const struct {
    std::string file, root;
    int nodes, meshes;
  } cases[] = {
      {std::string(GRANITE_SOURCE_DIR) + "/examples/gearbox/gearbox.asm", "gearbox.asm", 77, 14},
      {real + "as1-oc-214.stp", "as1-oc-214.stp", 29, 5},
      {real + "trj4_pm2-ec-214.stp", "trj4_pm2-ec-214.stp", 41, 13},
      {real + "io1-cm-214.stp", "io1-cm-214.stp", 2, 1},
      {"inverted box", "", 2, 1},
      {"empty", "", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Loaded loaded;
    if (c.file == "inverted box") {
      C3DMGroup* group = loaded.world.CreateGroup();
      loaded.world.AddGroup(group, 0);
      C3DMMesh box = scenes::Box(velaFloatPoint(0, 0, 0), velaFloatPoint(1, 2, 3), kBlue, true);
      for (int k = 0; k < 3; ++k) {
        box.points.push_back(velaFloatPoint(float(k), 0, 0));
        box.normals.push_back(velaVector(0, 0, 1));
      }
      group->AddMesh(box);
      loaded.metres = gload::MetresPerUnit(IMAGE_UNITS_INCH);
      loaded.chord = 0.01;
    } else if (!c.root.empty()) {
      if (std::ifstream(c.file).fail()) {
        std::printf("skipped %s: not found\n", c.file.c_str());
        continue;
      }
      Load(c.file, loaded);
      ASSERT_GT(loaded.chord, 0);
    }
    const Triangles drawn = Drawn(loaded.world, loaded.metres);
    // Every occurrence drawn where the model was measured to lie, within the chord.
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto& t : drawn)
      for (const Corner& k : t)
        for (int r = 0; r < 3; ++r) lo[r] = std::min(lo[r], k.p[r] / loaded.metres), hi[r] = std::max(hi[r], k.p[r] / loaded.metres);
    const velaBBox& box = loaded.box;
    const double measured[2][3] = {{box.min.x, box.min.y, box.min.z}, {box.max.x, box.max.y, box.max.z}};
    for (int r = 0; r < 3 && !c.root.empty(); ++r)
      EXPECT_TRUE(std::fabs(lo[r] - measured[0][r]) <= loaded.chord && std::fabs(hi[r] - measured[1][r]) <= loaded.chord)
          << r << ": " << lo[r] << " " << hi[r];
    EXPECT_TRUE(!c.root.empty() || drawn.size() == (c.meshes ? 12u : 0u)) << "the line kept";
    std::set<std::array<float, 4>> colours;
    loaded.world.Walk([&](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4&) {
      colours.insert({mesh.color.r, mesh.color.g, mesh.color.b, mesh.color.a});
    });
    for (bool compress : {false, true}) {
      SCOPED_TRACE(compress ? "compressed" : "not compressed");
      gload::GltfOptions options;
      options.metresPerUnit = loaded.metres;
      options.label = [&](const C3DMGroup& g) { return loaded.labels.Find(g); };
      options.shareTolerance = loaded.chord * 1e-3;
      options.positionTolerance = loaded.chord * 0.09;
      options.compress = compress;
      const std::string file = TempPath("loaded.glb"), again = TempPath("loaded-again.glb");
      std::string error;
      gload::GltfCounts counts;
      ASSERT_TRUE(gload::WriteGltf(loaded.world, file, options, &error, &counts)) << error;
      ASSERT_TRUE(gload::WriteGltf(loaded.world, again, options, &error)) << error;
      EXPECT_EQ(Bytes(file), Bytes(again)) << "the same scene gave other bytes";
      ExpectValid(file);

      const tinygltf::Model model = Read(file);
      EXPECT_EQ(int(model.nodes.size()), c.nodes);
      EXPECT_EQ(counts.nodes, c.nodes);
      EXPECT_EQ(int(model.meshes.size()), c.meshes);
      EXPECT_EQ(counts.meshes, c.meshes);
      EXPECT_EQ(model.materials.size(), colours.size());
      // The model under a node that turns Z up into glTF's Y up.
      const tinygltf::Node& axes = model.nodes.at(size_t(model.scenes.at(0).nodes.at(0)));
      EXPECT_EQ(axes.name, "Z-up to Y-up");
      ASSERT_EQ(axes.rotation.size(), 4u);
      EXPECT_NEAR(axes.rotation[0], -std::sqrt(0.5), 1e-9);
      if (!c.root.empty()) {
        const tinygltf::Node& root = model.nodes.at(size_t(axes.children.at(0)));
        EXPECT_EQ(root.name, c.root);
        EXPECT_EQ(root.extras.Get("file").Get<std::string>(), c.file);
        for (const tinygltf::Node& n : model.nodes) EXPECT_NE(n.name.rfind("group ", 0), 0u) << n.name;
      }
      for (const tinygltf::Mesh& m : model.meshes) EXPECT_FALSE(m.name.empty());
      // Shared meshes stand in for their occurrences to a thousandth of the
      // chord; compressed positions lie within a tenth of it.
      const double tolerance = loaded.chord * loaded.metres * (compress ? 0.1 : 1e-3) + 1e-6 * loaded.metres;
      const Triangles shown = Shown(model);
      ExpectSameTriangles(shown, drawn, tolerance, compress);
      size_t unwound = 0, notUnit = 0;
      for (const auto& t : compress ? Triangles() : shown) {  // compressed nodes scale the normals
        double face[3], e1[3], e2[3], dot = 0;
        for (int r = 0; r < 3; ++r) e1[r] = t[1].p[r] - t[0].p[r], e2[r] = t[2].p[r] - t[0].p[r];
        for (int r = 0; r < 3; ++r) face[r] = e1[(r + 1) % 3] * e2[(r + 2) % 3] - e1[(r + 2) % 3] * e2[(r + 1) % 3];
        for (const Corner& k : t) {
          dot += face[0] * k.n[0] + face[1] * k.n[1] + face[2] * k.n[2];
          notUnit += std::fabs(std::sqrt(k.n[0] * k.n[0] + k.n[1] * k.n[1] + k.n[2] * k.n[2]) - 1) > 1e-5;
        }
        unwound += !(dot > 0);
      }
      EXPECT_EQ(unwound, 0u) << "triangles wound against their normals";
      EXPECT_EQ(notUnit, 0u) << "normals that are not unit";
    }
  }
  // The other units against the inch: a foot is twelve inches, the metric ones
  // powers of ten of the millimetre.
  EXPECT_NEAR(gload::MetresPerUnit(IMAGE_UNITS_INCH), 0.0254, 1e-12);
  EXPECT_NEAR(gload::MetresPerUnit(IMAGE_UNITS_FOOT), 12 * gload::MetresPerUnit(IMAGE_UNITS_INCH), 1e-12);
  for (auto [units, mm] : {std::pair{IMAGE_UNITS_MICROMETER, 1e-3}, {IMAGE_UNITS_CENTIMETER, 10.0},
                           {IMAGE_UNITS_DECIMETER, 1e2}, {IMAGE_UNITS_METER, 1e3}, {IMAGE_UNITS_KILOMETER, 1e6}})
    EXPECT_NEAR(gload::MetresPerUnit(units) / gload::MetresPerUnit(IMAGE_UNITS_MILLIMETER), mm, mm * 1e-12) << units;
}

}  // namespace
