// The host scene: a world that owns its groups, groups with their own transform,
// child groups (shared when inserted as instances) and triangle meshes.
#pragma once
#include <functional>
#include <vector>
#include "qorvela/velaTypes.h"
#include "win32/wintypes.h"
class C3DMWorld;
// One triangle mesh: triangle i is points 3i, 3i+1, 3i+2; one unit normal per
// point; counts are the per-face vertex runs as handed over.
struct C3DMMesh {
  std::vector<velaFloatPoint> points;
  std::vector<velaVector> normals;
  std::vector<int> counts;
  velaChroma color;
};
class GRANITE_QORVELAEX_API C3DMGroup {
 public:
  explicit C3DMGroup(C3DMWorld* w) : m_world(w) {}
  virtual ~C3DMGroup();
  // Appends a child. Refused (false, no change) for null, the group itself or
  // one of its ancestors, since a cycle would hang every walk.
  virtual bool AddGroup(C3DMGroup* child, int flags);
  virtual void EndInsert(void* token);
  virtual void* BeginInsert();
  // Shares the group as a child: an instance, its meshes stored once.
  virtual bool InsertGroup(C3DMGroup* group);
  // Flag 1: own transform = own * matrix (the matrix applied after it); any
  // other flag replaces the own transform.
  virtual void ApplyMatrix(velaMatrix4x4& matrix, int flags);
  // Byte-wide flag, true for a new group.
  void SetTopLevel(bool t) { m_top = t; }
  bool IsTopLevel() const { return m_top; }
  const velaMatrix4x4& GetMatrix() const { return m_matrix; }
  int GetNumberChildren() const { return (int)m_children.size(); }
  C3DMGroup* GetChild(int i) const { return m_children[i]; }
  int GetNumberMeshes() const { return (int)m_meshes.size(); }
  const C3DMMesh& GetMesh(int i) const { return m_meshes[i]; }
  void AddMesh(C3DMMesh mesh) { m_meshes.push_back(std::move(mesh)); }
  C3DMWorld* GetWorld() const { return m_world; }
 private:
  bool Reaches(const C3DMGroup* g) const;
  C3DMWorld* m_world;
  bool m_top = true;
  velaMatrix4x4 m_matrix;
  std::vector<C3DMGroup*> m_children;
  std::vector<C3DMMesh> m_meshes;
};
class GRANITE_QORVELAEX_API C3DMWorld {
 public:
  // Deletes every group made for it.
  virtual ~C3DMWorld();
  C3DMGroup* CreateGroup();
  virtual bool AddGroup(C3DMGroup* group, int flags);
  int GetNumberGroups() const { return (int)m_top.size(); }
  C3DMGroup* GetGroup(int i) const { return m_top[i]; }
  // Visits every mesh along every path from the top groups with the composed
  // transform: the mesh group's own * its parent's * ... * the top group's.
  void Walk(const std::function<void(const C3DMGroup&, const C3DMMesh&, const velaMatrix4x4&)>& visit) const;
 private:
  std::vector<C3DMGroup*> m_made, m_top;
};
