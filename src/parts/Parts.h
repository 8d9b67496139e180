// Part loading: the extent pass and the walks of translated assemblies and of the tree.
#pragma once

#include "gGeometry90/kmodel.h"
#include "granite/CBasicString.h"

class CGraniteParser;
class CGraniteElement;

bool ComputePartExtent(CGraniteParser* parser, CBasicString fileName, CGraniteElement* element);
bool AddComponentExtent(KComponent* component, CGraniteElement* element);
bool AddComponentsExtent(KComponentSequence* components, CGraniteElement* element);
int ParseSubAssembly(xrchandle<KComponentSequence> components, CGraniteElement* parent);
int LoadPartElement(CGraniteElement* element);
