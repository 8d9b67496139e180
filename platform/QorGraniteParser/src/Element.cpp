// The sibling's half of CGraniteElement: children, display name, defaults.
#include <vector>

#include "SiblingState.h"

namespace {

// Moves the children an element owns to the work list and empties its list.
void TakeOwnedChildren(CGraniteElement* owner, std::vector<CGraniteElement*>& pending) {
  C3DMList* list = owner->GetChildList();
  {
    std::lock_guard<std::mutex> hold(qgp::StateLock());
    for (CBasicListElement* node = qgp::HeadOf(*list); node; node = node->m_next) {
      CGraniteElement* child = static_cast<CGraniteElement*>(node->m_item);
      if (child != nullptr && qgp::ChildOwner(child) == owner) {
        qgp::ForgetChild(child);  // a second listing is not taken again
        pending.push_back(child);
      }
    }
  }
  list->RemoveAll();
}

}  // namespace

// Refused: null, the element itself, one of its ancestors (a cycle would hang
// every walk), an element that is already a child anywhere, and a parser's
// root (its parser deletes it). Each child thus has exactly one owner, which
// is also its parent element.
bool CGraniteElement::AddChild(CGraniteElement* child) {
  if (child == nullptr || child == this) return false;
  {
    std::lock_guard<std::mutex> hold(qgp::StateLock());
    if (qgp::ChildOwner(child) != nullptr || qgp::IsOwnedRoot(child)) return false;
    // Only an element with children can be an ancestor; a new one (the usual
    // case) costs no walk up the tree.
    if (child->m_childList.GetCount() > 0) {
      for (CGraniteElement* up = qgp::ChildOwner(this); up != nullptr; up = qgp::ChildOwner(up)) {
        if (up == child) return false;
      }
    }
    if (!m_childList.AddTail(child)) return false;
    qgp::SetChildOwner(child, this);
  }
  child->m_parentElement = this;
  return true;
}

// Deletes the children this element owns, and theirs, each once; the entries
// of a copy's view of another element's children are only dropped, without
// being read. The subtree is taken apart with a work list rather than by
// recursion, so a deep tree needs no deep stack.
void CGraniteElement::ClearChildList() {
  std::vector<CGraniteElement*> pending;
  TakeOwnedChildren(this, pending);
  while (!pending.empty()) {
    CGraniteElement* element = pending.back();
    pending.pop_back();
    TakeOwnedChildren(element, pending);  // its destructor then finds none
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
