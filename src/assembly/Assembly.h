// Assembly structure: helpers shared with part loading.
#pragma once

#include "gGeometry90/kmodel.h"
#include "granite/CBasicString.h"
#include "qorvela/velaTypes.h"

class CGraniteParser;
class CGraniteElement;

// The component's placement, identity when the component or its placement is missing.
velaMatrix4x4 GetComponentTransform(KComponent* component);
// Takes the model units from the kernel once per load.
void RetrieveModelUnits(KModel* model);
// A new root element (file type 1) with its group in the world and in the element list.
CGraniteElement* CreateRootElement(CBasicString fileName, CBasicString displayName);
bool WalkElementList(CGraniteParser* parser);
bool WalkElement(CGraniteElement* element);
bool VisitPartElement(CGraniteElement* element);
