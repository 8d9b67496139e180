// The element list of a load: the root element, the tree under it, and the
// walk that measures every part under the matrix stack.
#include <memory>

#include "assembly/Assembly.h"
#include "granite/CBasicList.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "kernel/Guards.h"
#include "model/ElementBudget.h"
#include "parts/Parts.h"
#include "qorvelaex/C3DMScene.h"

GraniteLoadResultTypes BuildElementList(CGraniteParser* parser) {
  g_CurrentParser = parser;
  if (!parser || parser->GetFilename().GetLength() == 0 || !parser->GetWorld())
    return GRANITE_LOAD_FAILURE;
  // Part files are loaded with ParsePart.
  if (parser->GetFileIsPart(parser->GetFilename())) return GRANITE_LOAD_FAILURE;
  granite::ElementCountScope elements;
  CGraniteElement* root = CreateRootElement(parser->GetFilename(), parser->GetFilename());
  if (!root) return GRANITE_LOAD_FAILURE;
  GraniteLoadResultTypes result = ParseAssembly(root, nullptr);
  if (result != GRANITE_LOAD_SUCCESS && result != GRANITE_LOAD_INCOMPLETE) return result;
  WalkElementList(parser);
  g_CurrentParser->ComputeEvaluationTolerances();
  return result;
}

CGraniteElement* CreateRootElement(CBasicString fileName, CBasicString displayName) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !granite::TakeElement()) return nullptr;
  // Owned here until the element list takes it.
  std::unique_ptr<CGraniteElement> element(parser->CreateElement(fileName, displayName));
  if (!element) return nullptr;
  C3DMGroup* group = element->GetGroup();
  if (!group) return nullptr;  // an element without a group is of no use to any walk
  element->SetFileType(GRANITE_FILE_ASSEMBLY);
  group->SetTopLevel(false);
  // A host that loads a single part into its own group may have set no world.
  if (C3DMWorld* world = parser->GetWorld()) world->AddGroup(group, 1);
  parser->AddElementToList(element.get());
  return element.release();
}

bool WalkElementList(CGraniteParser* parser) {
  g_CurrentParser = parser;
  if (!parser) return false;
  bool any = false;
  C3DMList* list = parser->GetElementList();
  const int count = list->GetCount();
  if (count > 0) {
    CBasicListIterator it(list);
    for (int i = 0; i < count; ++i, ++it) {
      if (WalkElement(static_cast<CGraniteElement*>(it.GetCurrent()))) any = true;
    }
  }
  g_CurrentParser->ClearMatrixStack();
  return any;
}

bool WalkElement(CGraniteElement* element) {
  if (!element || !g_CurrentParser) return false;
  switch (element->GetFileType()) {
    case GRANITE_FILE_PART:
      return VisitPartElement(element);
    case GRANITE_FILE_ASSEMBLY: {
      C3DMList* children = element->GetChildList();
      const int count = children->GetCount();
      if (count <= 0) return false;
      bool any = false;
      granite::MatrixPushGuard push(g_CurrentParser, element->GetTransform());
      CBasicListIterator it(children);
      for (int i = 0; i < count; ++i, ++it) {
        if (WalkElement(static_cast<CGraniteElement*>(it.GetCurrent()))) any = true;
      }
      push.Pop();
      return any;
    }
  }
  return false;
}

bool VisitPartElement(CGraniteElement* element) {
  if (!element || !g_CurrentParser || element->GetFileType() != GRANITE_FILE_PART) return false;
  granite::MatrixPushGuard push(g_CurrentParser, element->GetTransform());
  bool added = ComputePartExtent(g_CurrentParser, element->GetFilename(), element);
  push.Pop();
  return added;
}
