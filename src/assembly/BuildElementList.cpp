#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"

GraniteLoadResultTypes BuildElementList(CGraniteParser* parser) {
  g_CurrentParser = parser;
  if (!parser) return GRANITE_LOAD_FAILURE;
  return GRANITE_LOAD_FAILURE;
}
