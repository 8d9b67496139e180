#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"

GraniteLoadResultTypes LoadAllParts(CGraniteParser* parser) {
  g_CurrentParser = parser;
  if (!parser) return GRANITE_LOAD_FAILURE;
  return GRANITE_LOAD_FAILURE;
}

GraniteLoadResultTypes LoadAllPartsForElement(CGraniteElement* element) {
  if (!element || !g_CurrentParser) return GRANITE_LOAD_FAILURE;
  return GRANITE_LOAD_FAILURE;
}
