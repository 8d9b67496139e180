// The sibling's half of CGraniteElement: children, display name, defaults.
#include <vector>

#include "SiblingState.h"

// Refused: null, the element itself, one of its ancestors (a cycle would hang
// every walk), an element that is already a child anywhere, and a parser's
// root (its parser deletes it). Each child thus has exactly one owner, which
// is also its parent element.
bool CGraniteElement::AddChild(CGraniteElement* child) {
  if (child == nullptr || child == this) return false;
  {
    std::lock_guard<std::mutex> hold(qgp::StateLock());
    if (qgp::ChildOwner(child) != nullptr || qgp::IsOwnedRoot(child)) return false;
    for (CGraniteElement* up = qgp::ChildOwner(this); up != nullptr; up = qgp::ChildOwner(up)) {
      if (up == child) return false;
    }
    if (!m_childList.AddTail(child)) return false;
    qgp::SetChildOwner(child, this);
  }
  child->m_parentElement = this;
  return true;
}

// Deletes the children this element owns, each releasing its own; the entries
// of a copy's view of another element's children are only dropped, without
// being read.
void CGraniteElement::ClearChildList() {
  std::vector<CGraniteElement*> owned;
  {
    std::lock_guard<std::mutex> hold(qgp::StateLock());
    for (CBasicListElement* node = qgp::HeadOf(m_childList); node; node = node->m_next) {
      CGraniteElement* child = static_cast<CGraniteElement*>(node->m_item);
      if (child != nullptr && qgp::ChildOwner(child) == this) {
        qgp::ForgetChild(child);  // a second listing is not deleted again
        owned.push_back(child);
      }
    }
  }
  m_childList.RemoveAll();
  for (CGraniteElement* child : owned) {
    child->m_parentElement = nullptr;
    delete child;
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
