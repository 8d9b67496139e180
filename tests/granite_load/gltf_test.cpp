// The glTF exporter: structure read back through tinygltf, and the Khronos
// validator on every file written.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "export/Gltf.h"
#include "scenes.h"

namespace {

std::string TempPath(const std::string& name) {
  return std::string(GRANITE_BINARY_DIR) + "/tests/granite_load/" + name;
}

// Runs the validator; its report in output, its exit status as the result.
int Validate(const std::string& file, std::string* output) {
  const std::string script = std::string(GRANITE_SOURCE_DIR) + "/tools/granite-load/validator/validate.js";
  const std::string command = "node '" + script + "' '" + file + "' 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char chunk[512];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output->append(chunk, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ExpectValid(const std::string& file) {
  std::string report;
  const int status = Validate(file, &report);
  ASSERT_EQ(report.find("Cannot find module"), std::string::npos)
      << "the validator is not installed: run scripts/setup";
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find(" 0 errors, 0 warnings"), std::string::npos) << report;
}

tinygltf::Model Read(const std::string& file) {
  tinygltf::Model model;
  tinygltf::TinyGLTF reader;
  std::string error, warning;
  EXPECT_TRUE(reader.LoadBinaryFromFile(&model, &error, &warning, file)) << error;
  return model;
}

const velaChroma kRed(0.8f, 0.1f, 0.1f, 1.0f);
const velaChroma kBlue(0.1f, 0.2f, 0.9f, 1.0f);

TEST(Gltf, InstancesShareOneMeshAndColoursOneMaterial) {
  // An assembly moved 100 mm along x holding the same part twice, at 0 and at
  // 50 mm, and a second part of the same colour and one of another colour.
  C3DMWorld world;
  C3DMGroup* assembly = world.CreateGroup();
  world.AddGroup(assembly, 0);
  scenes::Place(assembly, 100, 0, 0);
  C3DMGroup* bolt = world.CreateGroup();
  bolt->AddMesh(scenes::Cube(10, kRed));
  C3DMGroup* left = world.CreateGroup();
  C3DMGroup* right = world.CreateGroup();
  scenes::Place(right, 50, 0, 0);
  assembly->AddGroup(left, 0);
  assembly->AddGroup(right, 0);
  left->InsertGroup(bolt);
  right->InsertGroup(bolt);
  C3DMGroup* plate = world.CreateGroup();
  plate->AddMesh(scenes::Box(velaFloatPoint(0, 0, -2), velaFloatPoint(80, 20, 0), kRed));
  plate->AddMesh(scenes::Box(velaFloatPoint(0, 0, -4), velaFloatPoint(80, 20, -2), kBlue));
  assembly->AddGroup(plate, 0);

  gload::GltfOptions options;
  options.metresPerUnit = gload::MetresPerUnit(IMAGE_UNITS_MILLIMETER);
  options.name = [&](const C3DMGroup& g) { return &g == bolt ? std::string("bolt") : std::string(); };
  const std::string file = TempPath("instances.glb");
  std::string error;
  gload::GltfCounts counts;
  ASSERT_TRUE(gload::WriteGltf(world, file, options, &error, &counts)) << error;
  EXPECT_EQ(counts.nodes, 7);  // root, assembly, left, right, bolt twice, plate
  EXPECT_EQ(counts.meshes, 2);
  EXPECT_EQ(counts.primitives, 3);
  EXPECT_EQ(counts.materials, 2);
  EXPECT_EQ(counts.triangles, 36);
  ExpectValid(file);

  const tinygltf::Model model = Read(file);
  ASSERT_EQ(model.nodes.size(), 7u);
  ASSERT_EQ(model.scenes.size(), 1u);
  const tinygltf::Node& root = model.nodes[model.scenes[0].nodes.at(0)];
  ASSERT_EQ(root.rotation.size(), 4u);
  EXPECT_NEAR(root.rotation[0], -std::sqrt(0.5), 1e-9);  // Z up becomes Y up
  EXPECT_NEAR(root.rotation[3], std::sqrt(0.5), 1e-9);
  ASSERT_EQ(root.children.size(), 1u);
  const tinygltf::Node& top = model.nodes[root.children[0]];
  ASSERT_EQ(top.matrix.size(), 16u);
  EXPECT_NEAR(top.matrix[12], 0.1, 1e-7);  // 100 mm
  ASSERT_EQ(top.children.size(), 3u);
  const tinygltf::Node& l = model.nodes[top.children[0]];
  const tinygltf::Node& r = model.nodes[top.children[1]];
  EXPECT_TRUE(l.matrix.empty());  // the identity is left out
  ASSERT_EQ(r.matrix.size(), 16u);
  EXPECT_NEAR(r.matrix[12], 0.05, 1e-7);
  ASSERT_EQ(l.children.size(), 1u);
  ASSERT_EQ(r.children.size(), 1u);
  const tinygltf::Node& b1 = model.nodes[l.children[0]];
  const tinygltf::Node& b2 = model.nodes[r.children[0]];
  EXPECT_NE(l.children[0], r.children[0]);
  EXPECT_EQ(b1.mesh, b2.mesh);
  EXPECT_EQ(b1.name, "bolt");
  EXPECT_GE(b1.mesh, 0);

  // Positions in metres; one material for the two red meshes.
  const tinygltf::Mesh& boltMesh = model.meshes[b1.mesh];
  ASSERT_EQ(boltMesh.primitives.size(), 1u);
  const tinygltf::Accessor& position = model.accessors[boltMesh.primitives[0].attributes.at("POSITION")];
  ASSERT_EQ(position.maxValues.size(), 3u);
  EXPECT_NEAR(position.maxValues[0], 0.01, 1e-7);
  EXPECT_NEAR(position.minValues[2], 0.0, 1e-9);
  EXPECT_EQ(position.count, 24u);  // four corners per face: the normals differ
  const tinygltf::Mesh& plateMesh = model.meshes[model.nodes[top.children[2]].mesh];
  ASSERT_EQ(plateMesh.primitives.size(), 2u);
  EXPECT_EQ(plateMesh.primitives[0].material, boltMesh.primitives[0].material);
  EXPECT_NE(plateMesh.primitives[1].material, boltMesh.primitives[0].material);
  const auto& red = model.materials[boltMesh.primitives[0].material].pbrMetallicRoughness.baseColorFactor;
  EXPECT_NEAR(red[0], std::pow((0.8 + 0.055) / 1.055, 2.4), 1e-6);  // linear, not display values
  EXPECT_EQ(red[3], 1.0);
}

TEST(Gltf, TrianglesAreWoundToTheirNormalsAndDegenerateOnesDropped) {
  // Inverted winding, zero normals, and one triangle collapsed to a line, in
  // inches.
  C3DMWorld world;
  C3DMGroup* group = world.CreateGroup();
  world.AddGroup(group, 0);
  C3DMMesh box = scenes::Box(velaFloatPoint(0, 0, 0), velaFloatPoint(1, 2, 3), kBlue, true);
  for (int k = 0; k < 3; ++k) {
    box.points.push_back(velaFloatPoint(float(k), 0, 0));
    box.normals.push_back(velaVector(0, 0, 1));
  }
  group->AddMesh(box);
  C3DMGroup* empty = world.CreateGroup();
  group->AddGroup(empty, 0);

  gload::GltfOptions options;
  options.metresPerUnit = gload::MetresPerUnit(IMAGE_UNITS_INCH);
  const std::string file = TempPath("winding.glb");
  gload::GltfCounts counts;
  ASSERT_TRUE(gload::WriteGltf(world, file, options, nullptr, &counts));
  EXPECT_EQ(counts.triangles, 12);
  EXPECT_EQ(counts.meshes, 1);  // the empty group is a node without a mesh
  EXPECT_EQ(counts.nodes, 3);
  ExpectValid(file);

  const tinygltf::Model model = Read(file);
  const tinygltf::Primitive& p = model.meshes.at(0).primitives.at(0);
  const tinygltf::Accessor& pos = model.accessors[p.attributes.at("POSITION")];
  const tinygltf::Accessor& nor = model.accessors[p.attributes.at("NORMAL")];
  const tinygltf::Accessor& idx = model.accessors[p.indices];
  EXPECT_NEAR(pos.maxValues[2], 3 * 0.0254, 1e-7);
  auto data = [&](const tinygltf::Accessor& a) {
    const tinygltf::BufferView& v = model.bufferViews[a.bufferView];
    return model.buffers[v.buffer].data.data() + v.byteOffset + a.byteOffset;
  };
  const float* points = reinterpret_cast<const float*>(data(pos));
  const float* normals = reinterpret_cast<const float*>(data(nor));
  ASSERT_EQ(idx.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);
  const uint16_t* index = reinterpret_cast<const uint16_t*>(data(idx));
  for (size_t t = 0; t < idx.count / 3; ++t) {
    const float* a = points + 3 * index[3 * t];
    const float* b = points + 3 * index[3 * t + 1];
    const float* c = points + 3 * index[3 * t + 2];
    const velaVector face =
        velaVector(b[0] - a[0], b[1] - a[1], b[2] - a[2]).Cross(velaVector(c[0] - a[0], c[1] - a[1], c[2] - a[2]));
    const float* n = normals + 3 * index[3 * t];
    EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-6);
    EXPECT_GT(face.Dot(velaVector(n[0], n[1], n[2])), 0.0f) << "triangle " << t;
  }
}

TEST(Gltf, EmptySceneAndUnwritableFile) {
  C3DMWorld world;
  const std::string file = TempPath("empty.glb");
  gload::GltfCounts counts;
  ASSERT_TRUE(gload::WriteGltf(world, file, gload::GltfOptions(), nullptr, &counts));
  EXPECT_EQ(counts.nodes, 1);
  EXPECT_EQ(counts.meshes, 0);
  ExpectValid(file);

  std::string error;
  EXPECT_FALSE(gload::WriteGltf(world, "/nonexistent/dir/x.glb", gload::GltfOptions(), &error));
  EXPECT_NE(error.find("/nonexistent/dir/x.glb"), std::string::npos) << error;
}

}  // namespace
