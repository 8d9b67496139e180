#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"

GraniteLoadResultTypes ParsePart(CGraniteParser* parser, CBasicString fileName,
                                 CGraniteElement* /*element*/) {
  g_CurrentParser = parser;
  if (!parser || fileName.GetLength() == 0) return GRANITE_LOAD_FAILURE;
  return GRANITE_LOAD_FAILURE;
}
