// Every part of the element tree into its own group, under its placement, with
// progress advanced once per part element and the host's continue test after
// every element.
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "model/ElementBudget.h"
#include "model/ParserGuards.h"
#include "parts/Parts.h"

GraniteLoadResultTypes LoadAllParts(CGraniteParser* parser) {
  g_CurrentParser = parser;
  if (!parser) return GRANITE_LOAD_FAILURE;
  granite::ElementCountScope elements;
  parser->ComputeTotalParts();
  C3DMList* roots = parser->GetElementList();
  // Only the roots there now: loading a translated file appends a root of its
  // own, which is loaded already and must not be loaded again as a part.
  const int count = roots->GetCount();
  if (count <= 0) return GRANITE_LOAD_FAILURE;

  GraniteLoadResultTypes result = GRANITE_LOAD_SUCCESS;
  CBasicListIterator it(roots);
  for (int visited = 0; visited < count; ++visited, it++) {
    CGraniteElement* root = static_cast<CGraniteElement*>(it.GetCurrent());
    if (!root) break;
    result = LoadAllPartsForElement(root);
    if (!g_CurrentParser || !g_CurrentParser->GetResultOKToContinue(result)) break;
  }
  return result;
}

GraniteLoadResultTypes LoadAllPartsForElement(CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!element || !parser) return GRANITE_LOAD_FAILURE;
  granite::ElementCountScope elements;
  switch (element->GetFileType()) {
    case GRANITE_FILE_PART:
      return static_cast<GraniteLoadResultTypes>(LoadPartElement(element));
    case GRANITE_FILE_ASSEMBLY: {
      C3DMList* children = element->GetChildList();
      if (children->GetCount() <= 0) return GRANITE_LOAD_INCOMPLETE;
      GraniteLoadResultTypes result = GRANITE_LOAD_SUCCESS;
      CBasicListIterator it(children);
      granite::MatrixPushGuard placed(parser, element->GetTransform());
      for (; it.GetCurrent(); it++) {
        const GraniteLoadResultTypes loaded =
            LoadAllPartsForElement(static_cast<CGraniteElement*>(it.GetCurrent()));
        if (loaded != GRANITE_LOAD_SUCCESS) result = loaded;
        if (!g_CurrentParser || !g_CurrentParser->GetResultOKToContinue(loaded)) break;
      }
      return result;
    }
    default:
      return GRANITE_LOAD_FAILURE;
  }
}

int LoadPartElement(CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!element || !parser) return GRANITE_LOAD_FAILURE;
  int result;
  {
    granite::CurrentGroupGuard group(parser);
    granite::MatrixPushGuard placed(parser, element->GetTransform());
    parser->SetCurrentGroup(element->GetGroup());
    result = ParsePart(parser, element->GetFilename(), element) == GRANITE_LOAD_SUCCESS
                 ? GRANITE_LOAD_SUCCESS
                 : GRANITE_LOAD_INCOMPLETE;
  }  // the placement popped, then the group put back
  parser->IncrementCurrentPart();
  return result;
}
