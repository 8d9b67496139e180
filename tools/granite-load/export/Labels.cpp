#include "export/Labels.h"

#include <cctype>

#include "granite/CGraniteElement.h"
#include "qorvelaex/C3DMScene.h"

namespace gload {

namespace {

std::string Text(const CBasicString& text) { return Utf8(text.GetWideString()); }

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void SceneLabels::Add(const std::vector<CGraniteElement*>& roots, const C3DMGroup* top, const std::string& file,
                      const std::string& type) {
  for (CGraniteElement* root : roots) {
    AddElement(root, true);
    // The loader keeps the root's path in lower case: the name as given.
    auto found = m_labels.find(root->GetGroup());
    if (found != m_labels.end() && Lower(found->second.file) == Lower(file)) {
      found->second.file = file;
      found->second.name = BaseName(file);
    }
  }
  if (top && !m_labels.count(top)) {
    GltfLabel& label = m_labels[top];
    label.name = BaseName(file);
    label.file = file;
    label.type = type;
  }
}

void SceneLabels::AddElement(CGraniteElement* e, bool root) {
  const C3DMGroup* group = e->GetGroup();
  const GraniteFileTypes type = e->GetFileType();
  if (group) {
    GltfLabel& label = m_labels[group];
    label.file = Text(e->GetFilename());
    label.name = root && !label.file.empty() ? BaseName(label.file) : Text(e->GetDisplayName());
    label.configuration = Text(e->GetConfigurationName());
    label.type = type == GRANITE_FILE_PART ? "part" : type == GRANITE_FILE_ASSEMBLY ? "assembly" : "other";
    label.assembly = type == GRANITE_FILE_ASSEMBLY;
    label.transform = e->GetTransform();
    // A part's meshes are built under its final transform.
    label.hasFinal = type == GRANITE_FILE_PART && group->GetNumberMeshes() > 0;
    label.finalTransform = e->GetFinalTransform();
  }
  C3DMList* children = e->GetChildList();
  for (int i = 0; children && i < children->GetCount(); ++i)
    if (CGraniteElement* child = static_cast<CGraniteElement*>(children->GetAt(i))) AddElement(child, false);
}

const GltfLabel* SceneLabels::Find(const C3DMGroup& group) const {
  auto found = m_labels.find(&group);
  return found == m_labels.end() ? nullptr : &found->second;
}

}  // namespace gload
