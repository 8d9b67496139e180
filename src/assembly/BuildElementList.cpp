// The element list of a load: the root element, the tree under it, and the
// walk that measures every part under the matrix stack.
#include "assembly/Assembly.h"
#include "granite/CBasicList.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "model/ElementBudget.h"
#include "model/ParserGuards.h"
#include "model/RootElement.h"
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
