// The host scene.
#include "qorvelaex/C3DMScene.h"

#include <unordered_set>
#include <vector>

C3DMGroup::~C3DMGroup() {}

// Depth-first over the shared child graph, each group visited once: a group
// shared along many paths is not walked again for every path.
bool C3DMGroup::Reaches(const C3DMGroup* group) const {
  std::unordered_set<const C3DMGroup*> seen{this};
  std::vector<const C3DMGroup*> pending{this};
  while (!pending.empty()) {
    const C3DMGroup* next = pending.back();
    pending.pop_back();
    if (next == group) return true;
    for (const C3DMGroup* child : next->m_children) {
      if (seen.insert(child).second) pending.push_back(child);
    }
  }
  return false;
}

bool C3DMGroup::AddGroup(C3DMGroup* child, int) {
  if (!child || child->Reaches(this)) return false;
  m_children.push_back(child);
  return true;
}

void C3DMGroup::EndInsert(void*) {}

void* C3DMGroup::BeginInsert() { return this; }

bool C3DMGroup::InsertGroup(C3DMGroup* group) { return AddGroup(group, 0); }

void C3DMGroup::ApplyMatrix(velaMatrix4x4& matrix, int flags) {
  m_matrix = flags == 1 ? m_matrix * matrix : matrix;
}

C3DMWorld::~C3DMWorld() {
  for (C3DMGroup* group : m_made) delete group;
}

C3DMGroup* C3DMWorld::CreateGroup() {
  m_made.push_back(new C3DMGroup(this));
  return m_made.back();
}

bool C3DMWorld::AddGroup(C3DMGroup* group, int) {
  if (!group) return false;
  m_top.push_back(group);
  return true;
}

namespace {

using Visit = std::function<void(const C3DMGroup&, const C3DMMesh&, const velaMatrix4x4&)>;

void WalkGroup(const C3DMGroup& group, const velaMatrix4x4& parent, const Visit& visit) {
  const velaMatrix4x4 composed = group.GetMatrix() * parent;
  for (int i = 0; i < group.GetNumberMeshes(); ++i) visit(group, group.GetMesh(i), composed);
  for (int i = 0; i < group.GetNumberChildren(); ++i) WalkGroup(*group.GetChild(i), composed, visit);
}

}  // namespace

void C3DMWorld::Walk(const Visit& visit) const {
  for (C3DMGroup* group : m_top) WalkGroup(*group, velaMatrix4x4(), visit);
}
