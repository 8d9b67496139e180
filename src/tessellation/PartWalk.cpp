// The bodies of one part: its colour made current, then the primary body and
// the body of every geometry item handed to TessellateBody.
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ParserGuards.h"
#include "tessellation/Tessellation.h"

namespace {

// The part's own colour, when its first attribute is one, becomes the current
// colour and stays so after the part.
void ApplyPartColor(CGraniteParser* parser, KPartModel* part) {
  xrchandle<KAttributeSequence> attributes;
  part->GetAttributes(KATTRIBUTES_OWN, attributes);
  velaChroma color;
  if (GetAttributeColor(attributes.get(), color)) parser->SetCurrentColor(color);
}

// 0 as soon as one body found a triangulator, 1 otherwise.
int TessellateBodies(KPartModel* part, CGraniteElement* element) {
  int result = GRANITE_LOAD_FAILURE;
  xrchandle<KBody> primary;
  part->GetPrimaryBody(primary);
  if (primary) result = TessellateBody(primary.get(), element);
  xrchandle<KGeometryItemSequence> items;
  part->GetGeometryItems(items);
  if (!items) return result;
  for (int i = 0; i < items->GetCount(); ++i) {
    xrchandle<KGeometryItem> item;
    items->GetAt(i, item);
    if (!item) continue;
    xrchandle<KBody> body;
    item->GetBody(body);
    if (!body) continue;
    if (TessellateBody(body.get(), element) == GRANITE_LOAD_SUCCESS) result = GRANITE_LOAD_SUCCESS;
  }
  return result;
}

}  // namespace

int TessellateComponent(KComponent* component, CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!component || !parser) return GRANITE_LOAD_FAILURE;
  xrchandle<KModel> definition;
  component->GetDefinition(definition);
  // An assembly placed where a part is expected (a native .asm given to
  // ParsePart) is no part to tessellate: handled as a missing definition.
  KPartModel* part = KPartModel::cast(definition.get());
  if (!part) return GRANITE_LOAD_FAILURE;
  RetrieveModelUnits(part);
  velaMatrix4x4 placement = GetComponentTransform(component);
  ApplyPartColor(parser, part);
  granite::MatrixPushGuard placed(parser, placement);
  return TessellateBodies(part, element);
}

int TessellatePart(xrchandle<KPartModel> part, CGraniteElement* element) {
  CGraniteParser* parser = g_CurrentParser;
  if (!part || !parser) return GRANITE_LOAD_FAILURE;
  RetrieveModelUnits(part.get());
  ApplyPartColor(parser, part.get());
  const int result = TessellateBodies(part.get(), element);
  part.reset();
  return result;
}
