// The host scene as binary glTF 2.0.
#pragma once

#include <functional>
#include <string>

#include "granite/GraniteTypes.h"
#include "qorvela/velaTypes.h"

class C3DMWorld;
class C3DMGroup;

namespace gload {

// Metres in one model unit. Unknown units are taken as millimetres, the units
// of most mechanical models.
double MetresPerUnit(ImageUnitsTypes units);

// What the host knows of a scene group from the element it belongs to.
struct GltfLabel {
  std::string name;           // node name, UTF-8
  std::string file, configuration, type;  // the node's extras
  bool assembly = false;
  velaMatrix4x4 transform;    // placement in the parent element
  // A part's meshes were built in model space under this placement.
  bool hasFinal = false;
  velaMatrix4x4 finalTransform;
};

struct GltfOptions {
  double metresPerUnit = 0.001;
  // The label of a group; null for a group of the host's own.
  std::function<const GltfLabel*(const C3DMGroup&)> label;
  // Name of a node without a label; empty: "group N", N its node's index.
  std::function<std::string(const C3DMGroup&)> name;
  // Part meshes that agree to this distance (model units) once taken back to
  // their part's own space are written once. 0: a millionth of the model's size.
  double shareTolerance = 0.0;
  // Meshopt-compressed, quantized buffers (EXT_meshopt_compression,
  // KHR_mesh_quantization). Positions stay within positionTolerance (model
  // units; 0: 1e-4 of the model's size), or are kept as floats.
  bool compress = false;
  double positionTolerance = 0.0;
};

struct GltfCounts {
  int nodes = 0;       // the axes node, then one per group along every path
  int meshes = 0;      // one per distinct part
  int materials = 0;   // one per distinct colour
  int primitives = 0;  // one per scene mesh that has triangles
  int triangles = 0;   // stored once per glTF mesh
  long bytes = 0;      // size of the file
  double positionError = 0;  // compressed: the largest distance a point moved (model units)
};

// Writes the world to path as a .glb. Layout:
// - a root node turns the model's Z-up axes into glTF's Y-up ones (a quarter
//   turn about X: model (x, y, z) shows as glTF (x, z, -y)); its children are
//   the world's top groups that hold anything;
// - every group becomes one node per path that reaches it, named and
//   placed from its label: an assembly at its placement in its parent, a part
//   at the placement its meshes were built under, so that each part's mesh
//   is in the part's own space and each sub-assembly moves as a unit;
// - a part group that only holds the group of an earlier occurrence (an
//   instance) is one node on that occurrence's mesh, at its own placement;
// - each scene mesh is a primitive of its group's mesh, with one material per
//   distinct colour;
// - lengths (points and translations) are in metres.
// The same world and options give the same bytes.
// False with a reason in error when the file cannot be written.
bool WriteGltf(const C3DMWorld& world, const std::string& path, const GltfOptions& options,
               std::string* error, GltfCounts* counts = nullptr);

// False when this build has no meshoptimizer: WriteGltf then refuses compress.
bool GltfCompressionBuilt();

// UTF-16 text as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8(const WCHAR* text);

}  // namespace gload
