// CGraniteElement: one node of the model structure; CGraniteResolvedFileEntry:
// a referred file name and the name found for it. The loader provides the
// constructors, copies and accessors; AddChild, ClearChildList, SetDisplayName
// and InitializeVariables of CGraniteElement come from QorGraniteParser. The
// member order is part of that contract.
#pragma once

#include <cstddef>

#include "granite/CBasicString.h"
#include "granite/GraniteTypes.h"
#include "qorvela/velaTypes.h"
#include "qorvelaex/C3DMList.h"

class C3DMGroup;

// Ownership: an element owns the children it took in with AddChild (which makes
// it their parent) and deletes them in ClearChildList, which its destructor and
// its assignment call. A child the host takes out of the list is the host's to
// delete, and may be added anywhere again. A copy's child list is a view of the
// source's children: it releases nothing. A parser's root elements belong to
// the parser (CGraniteParser.h). The group belongs to the scene world, the
// parent is not owned.
class GRANITE_VISIBLE CGraniteElement {
public:
  CGraniteElement();
  CGraniteElement(const CGraniteElement& other);
  // Releases its own children, then copies. Assigning from one of its own
  // descendants (one below it on the chain of parents) changes nothing.
  CGraniteElement& operator=(const CGraniteElement& other);
  ~CGraniteElement();

  CBasicString GetFilename();
  void SetFilename(const CBasicString& name);
  CBasicString GetDisplayName();
  CBasicString GetConfigurationName();
  void SetConfigurationName(const CBasicString& name);
  velaMatrix4x4& GetTransform();
  void SetTransform(const velaMatrix4x4& matrix);
  velaMatrix4x4& GetFinalTransform();
  void SetFinalTransform(velaMatrix4x4 matrix);
  C3DMList* GetChildList();
  int GetNumberChildren();
  GraniteFileTypes GetFileType();
  void SetFileType(GraniteFileTypes type);
  C3DMGroup* GetGroup();
  void SetGroup(C3DMGroup* group);
  CGraniteElement* GetParentElement();
  void SetParentElement(CGraniteElement* parent);

  // Sibling library.
  bool AddChild(CGraniteElement* child);
  void ClearChildList();
  void SetDisplayName(CBasicString name);
  void InitializeVariables();

private:
  friend struct CGraniteElementLayout;
  CBasicString m_filename;
  CBasicString m_displayName;
  CBasicString m_configurationName;
  velaMatrix4x4 m_transform;
  velaMatrix4x4 m_finalTransform;
  C3DMList m_childList;
  GraniteFileTypes m_fileType;
  C3DMGroup* m_group;
  CGraniteElement* m_parentElement;
};

class GRANITE_VISIBLE CGraniteResolvedFileEntry {
public:
  CGraniteResolvedFileEntry();
  CGraniteResolvedFileEntry(const CGraniteResolvedFileEntry& other);
  CGraniteResolvedFileEntry& operator=(const CGraniteResolvedFileEntry& other);
  virtual ~CGraniteResolvedFileEntry();

  void InitializeVariables();
  CBasicString& GetOriginalFilename();
  void SetOriginalFilename(CBasicString name);
  CBasicString& GetResolvedFilename();
  void SetResolvedFilename(CBasicString name);

private:
  friend struct CGraniteElementLayout;
  CBasicString m_originalFilename;
  CBasicString m_resolvedFilename;
};

// The layout every module relies on (4-byte pointers on 32-bit Windows, 8 on
// 64-bit Linux): a change that would break it fails to compile.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CGraniteElementLayout {
  static constexpr bool k64 = sizeof(void*) == 8;
  static_assert(sizeof(CGraniteElement) == (k64 ? 360 : 268), "CGraniteElement size");
  static_assert(offsetof(CGraniteElement, m_filename) == 0 &&
                    offsetof(CGraniteElement, m_displayName) == (k64 ? 48 : 32) &&
                    offsetof(CGraniteElement, m_configurationName) == (k64 ? 96 : 64) &&
                    offsetof(CGraniteElement, m_transform) == (k64 ? 144 : 96) &&
                    offsetof(CGraniteElement, m_finalTransform) == (k64 ? 208 : 160) &&
                    offsetof(CGraniteElement, m_childList) == (k64 ? 272 : 224) &&
                    offsetof(CGraniteElement, m_fileType) == (k64 ? 336 : 256) &&
                    offsetof(CGraniteElement, m_group) == (k64 ? 344 : 260) &&
                    offsetof(CGraniteElement, m_parentElement) == (k64 ? 352 : 264),
                "CGraniteElement members");
  static_assert(sizeof(CGraniteResolvedFileEntry) == (k64 ? 104 : 68), "CGraniteResolvedFileEntry size");
  static_assert(offsetof(CGraniteResolvedFileEntry, m_originalFilename) == (k64 ? 8 : 4) &&
                    offsetof(CGraniteResolvedFileEntry, m_resolvedFilename) == (k64 ? 56 : 36),
                "CGraniteResolvedFileEntry members");
};
#pragma GCC diagnostic pop
