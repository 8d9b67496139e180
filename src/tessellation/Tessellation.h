// Tessellation and appearance: bodies into meshes, part and face colours.
#pragma once

#include "gGeometry90/kmodel.h"
#include "gGeometry90/ktriangulator.h"
#include "granite/velaArray1D.h"

class CGraniteElement;

int TessellateBody(KBody* body, CGraniteElement* element);
bool AddMeshForElement(velaFloatPointArray& points, velaVectorArray& normals, velaIntArray& counts,
                       CGraniteElement* element);
bool FacesNeedOwnMeshes(xrchandle<KFaceTessellationSequence> tessellations);
bool ApplyFaceColor(xrchandle<KFace> face);
// The colour of the first attribute when it is a colour attribute.
bool GetAttributeColor(KAttributeSequence* attributes, velaChroma& color);
int TessellateComponent(KComponent* component, CGraniteElement* element);
int TessellatePart(xrchandle<KPartModel> part, CGraniteElement* element);
