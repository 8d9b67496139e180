// The loader's half of CGraniteElement and CGraniteResolvedFileEntry:
// constructors, copies, destructors and accessors. AddChild, ClearChildList,
// SetDisplayName and InitializeVariables of the element live in QorGraniteParser.
#include "granite/CGraniteElement.h"

CGraniteElement::CGraniteElement()
    : m_fileType(GRANITE_FILE_ASSEMBLY), m_group(nullptr), m_parentElement(nullptr) {
  InitializeVariables();
}

// The copy's child list holds the source's children without owning them: they
// keep the source as their parent, and ClearChildList releases only children
// whose parent is the element itself.
CGraniteElement::CGraniteElement(const CGraniteElement& other)
    : m_filename(other.m_filename),
      m_displayName(other.m_displayName),
      m_configurationName(other.m_configurationName),
      m_transform(other.m_transform),
      m_finalTransform(other.m_finalTransform),
      m_childList(other.m_childList),
      m_fileType(other.m_fileType),
      m_group(other.m_group),
      m_parentElement(other.m_parentElement) {}

namespace {

// Whether ancestor is above element on its chain of parents. The chain is
// walked two steps at a time beside a one-step walker, so that a chain that
// loops (parents set by hand) ends.
bool IsAbove(const CGraniteElement* ancestor, CGraniteElement* element) {
  CGraniteElement* slow = element;
  CGraniteElement* fast = element;
  while (fast != nullptr) {
    for (int step = 0; step < 2 && fast != nullptr; ++step) {
      fast = fast->GetParentElement();
      if (fast == ancestor) return true;
    }
    slow = slow->GetParentElement();
    if (fast != nullptr && fast == slow) return false;
  }
  return false;
}

}  // namespace

// The element's own children are released first, so that replacing the child
// list does not lose them; afterwards the list is a view of the source's. An
// element is not assigned from one of its descendants (nor from a copy of
// one): releasing its children would release the source and what it shows.
CGraniteElement& CGraniteElement::operator=(const CGraniteElement& other) {
  if (this == &other) return *this;
  if (IsAbove(this, const_cast<CGraniteElement*>(&other))) return *this;
  ClearChildList();
  m_filename = other.m_filename;
  m_displayName = other.m_displayName;
  m_configurationName = other.m_configurationName;
  m_transform = other.m_transform;
  m_finalTransform = other.m_finalTransform;
  m_childList = other.m_childList;
  m_fileType = other.m_fileType;
  m_group = other.m_group;
  m_parentElement = other.m_parentElement;
  return *this;
}

CGraniteElement::~CGraniteElement() {
  ClearChildList();
}

CBasicString CGraniteElement::GetFilename() {
  return m_filename;
}
void CGraniteElement::SetFilename(const CBasicString& name) {
  m_filename = name;
}
CBasicString CGraniteElement::GetDisplayName() {
  return m_displayName;
}
CBasicString CGraniteElement::GetConfigurationName() {
  return m_configurationName;
}
void CGraniteElement::SetConfigurationName(const CBasicString& name) {
  m_configurationName = name;
}

velaMatrix4x4& CGraniteElement::GetTransform() {
  return m_transform;
}
void CGraniteElement::SetTransform(const velaMatrix4x4& matrix) {
  m_transform = matrix;
}
velaMatrix4x4& CGraniteElement::GetFinalTransform() {
  return m_finalTransform;
}
void CGraniteElement::SetFinalTransform(velaMatrix4x4 matrix) {
  m_finalTransform = matrix;
}

C3DMList* CGraniteElement::GetChildList() {
  return &m_childList;
}
int CGraniteElement::GetNumberChildren() {
  return m_childList.GetCount();
}

GraniteFileTypes CGraniteElement::GetFileType() {
  return m_fileType;
}
void CGraniteElement::SetFileType(GraniteFileTypes type) {
  m_fileType = type;
}

C3DMGroup* CGraniteElement::GetGroup() {
  return m_group;
}
void CGraniteElement::SetGroup(C3DMGroup* group) {
  m_group = group;
}

CGraniteElement* CGraniteElement::GetParentElement() {
  return m_parentElement;
}
void CGraniteElement::SetParentElement(CGraniteElement* parent) {
  m_parentElement = parent;
}

CGraniteResolvedFileEntry::CGraniteResolvedFileEntry() {
  InitializeVariables();
}

CGraniteResolvedFileEntry::CGraniteResolvedFileEntry(const CGraniteResolvedFileEntry& other)
    : m_originalFilename(other.m_originalFilename), m_resolvedFilename(other.m_resolvedFilename) {}

CGraniteResolvedFileEntry& CGraniteResolvedFileEntry::operator=(
    const CGraniteResolvedFileEntry& other) {
  if (this != &other) {
    m_originalFilename = other.m_originalFilename;
    m_resolvedFilename = other.m_resolvedFilename;
  }
  return *this;
}

CGraniteResolvedFileEntry::~CGraniteResolvedFileEntry() {}

void CGraniteResolvedFileEntry::InitializeVariables() {
  m_originalFilename.Empty();
  m_resolvedFilename.Empty();
}

CBasicString& CGraniteResolvedFileEntry::GetOriginalFilename() {
  return m_originalFilename;
}
void CGraniteResolvedFileEntry::SetOriginalFilename(CBasicString name) {
  m_originalFilename = name;
}
CBasicString& CGraniteResolvedFileEntry::GetResolvedFilename() {
  return m_resolvedFilename;
}
void CGraniteResolvedFileEntry::SetResolvedFilename(CBasicString name) {
  m_resolvedFilename = name;
}
