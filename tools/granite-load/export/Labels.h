// The element tree's names and placements, keyed by the scene groups the
// elements own, for the glTF writer.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "export/Gltf.h"

class CGraniteElement;

namespace gload {

class SceneLabels {
 public:
  // Labels the group of every element below the roots. A root is named by its
  // file's name; the host's own top group (may be null) by file, when it holds
  // the meshes of a part loaded on its own.
  void Add(const std::vector<CGraniteElement*>& roots, const C3DMGroup* top, const std::string& file,
           const std::string& type);
  const GltfLabel* Find(const C3DMGroup& group) const;

 private:
  void AddElement(CGraniteElement* element, bool root);
  std::unordered_map<const C3DMGroup*, GltfLabel> m_labels;
};

}  // namespace gload
