// The host scene as binary glTF 2.0.
#pragma once

#include <functional>
#include <string>

#include "granite/GraniteTypes.h"

class C3DMWorld;
class C3DMGroup;

namespace gload {

// Metres in one model unit. Unknown units are taken as millimetres, the units
// of most mechanical models.
double MetresPerUnit(ImageUnitsTypes units);

struct GltfOptions {
  double metresPerUnit = 0.001;
  // The name of a group's node; a group without one is called "group N",
  // N its node's index.
  std::function<std::string(const C3DMGroup&)> name;
};

struct GltfCounts {
  int nodes = 0;       // one per group along every path, and the root
  int meshes = 0;      // one per group that has triangles, shared by its nodes
  int materials = 0;   // one per distinct colour
  int primitives = 0;  // one per scene mesh that has triangles
  int triangles = 0;   // stored once per glTF mesh
};

// Writes the world to path as a .glb. Layout:
// - a root node turns the model's Z-up axes into glTF's Y-up ones (a quarter
//   turn about X: model (x, y, z) shows as glTF (x, z, -y)); its children are
//   the world's top groups;
// - every group becomes one node per path that reaches it, carrying the
//   group's own transform; a group inserted in several places (an instance)
//   has one node in each, all of them pointing at the group's one glTF mesh;
// - each scene mesh is a primitive of its group's mesh, with one material per
//   distinct colour;
// - lengths (points and translations) are in metres.
// False with a reason in error when the file cannot be written.
bool WriteGltf(const C3DMWorld& world, const std::string& path, const GltfOptions& options,
               std::string* error, GltfCounts* counts = nullptr);

}  // namespace gload
