#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"

GraniteLoadResultTypes ParseAssembly(CGraniteElement* element, void* /*component*/) {
  if (!element || !g_CurrentParser) return GRANITE_LOAD_FAILURE;
  return GRANITE_LOAD_FAILURE;
}
