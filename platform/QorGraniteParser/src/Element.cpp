// The sibling's half of CGraniteElement: children, display name, defaults.
#include <vector>

#include "Registry.h"

// Refused: null, the element itself, one of its ancestors (a cycle would hang
// every walk), an element that is already a child anywhere, and a parser's
// root (its parser deletes it). Each child thus has exactly one owner, which
// is also its parent element.
bool CGraniteElement::AddChild(CGraniteElement* child) {
  if (child == nullptr || child == this) return false;
  if (!qgp::Registry::Instance().AddChild(this, child)) return false;
  child->m_parentElement = this;
  return true;
}

// Deletes the children this element owns, and theirs, each once; the entries
// of a copy's view of another element's children are only dropped, without
// being read, and a child the host took out of the list is the host's. The subtree is taken apart with a work list rather than by
// recursion, so a deep tree needs no deep stack.
void CGraniteElement::ClearChildList() {
  qgp::Registry& registry = qgp::Registry::Instance();
  std::vector<CGraniteElement*> pending;
  registry.TakeChildren(this, pending);
  while (!pending.empty()) {
    CGraniteElement* element = pending.back();
    pending.pop_back();
    registry.TakeChildren(element, pending);  // its destructor then finds none
    element->SetParentElement(nullptr);
    delete element;
  }
}

void CGraniteElement::SetDisplayName(CBasicString name) {
  m_displayName = name;
}

// File type 1 by default: an element whose kind is never decided (a component
// without a definition) is then an assembly without children, which every walk
// passes over, rather than a part loaded under an empty name. Identity
// placements, no group, no parent. The child list is left alone.
void CGraniteElement::InitializeVariables() {
  m_filename.Empty();
  m_displayName.Empty();
  m_configurationName.Empty();
  m_transform.SetIdentity();
  m_finalTransform.SetIdentity();
  m_fileType = GRANITE_FILE_ASSEMBLY;
  m_group = nullptr;
  m_parentElement = nullptr;
}
