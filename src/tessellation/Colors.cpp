// Colours of parts and faces: a colour attribute read, a face colour applied,
// and the test whether a body's faces need meshes of their own.
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "tessellation/Tessellation.h"

bool GetAttributeColor(KAttributeSequence* attributes, velaChroma& color) {
  if (!attributes || attributes->GetCount() <= 0) return false;
  // Only the first attribute is ever looked at.
  xrchandle<KAttribute> first;
  attributes->GetAt(0, first);
  if (!first) return false;
  KColorAttribute* attribute = KColorAttribute::cast(first.get());
  if (!attribute) return false;
  xrchandle<KColor> value;
  attribute->GetColor(value);
  if (!value) return false;
  color = velaChroma(static_cast<float>(value->GetRed()), static_cast<float>(value->GetGreen()),
                     static_cast<float>(value->GetBlue()), 1.0f);
  return true;
}

bool ApplyFaceColor(xrchandle<KFace> face) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !face) return false;
  xrchandle<KAttributeSequence> attributes;
  face->GetAttributes(KATTRIBUTES_OWN, attributes);
  velaChroma color;
  if (!GetAttributeColor(attributes.get(), color)) return false;
  parser->SetCurrentColor(color);
  return true;
}

bool FacesNeedOwnMeshes(xrchandle<KFaceTessellationSequence> tessellations) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !tessellations || tessellations->GetCount() <= 0) return false;
  // The first coloured face is never compared: a body with one coloured face,
  // or whose later coloured faces match the current colour, stays one mesh.
  bool seen = false;
  for (int i = 0; i < tessellations->GetCount(); ++i) {
    xrchandle<KFaceTessellation> tessellation;
    tessellations->GetAt(i, tessellation);
    if (!tessellation) continue;
    xrchandle<KFace> face;
    tessellation->GetFace(face);
    if (!face) continue;
    xrchandle<KAttributeSequence> attributes;
    face->GetAttributes(KATTRIBUTES_OWN, attributes);
    velaChroma color;
    if (!GetAttributeColor(attributes.get(), color)) continue;
    if (seen && color != parser->GetCurrentColor()) return true;
    seen = true;
  }
  return false;
}
