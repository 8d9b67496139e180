// The loader's exported functions, under plain undecorated names.
#pragma once

#include "granite/CBasicString.h"
#include "granite/GraniteTypes.h"

class CGraniteParser;
class CGraniteElement;

extern "C" {

// Builds the element tree of an assembly file, measures the model and computes
// the tessellation tolerances. Makes the parser current.
GRANITE_API GraniteLoadResultTypes BuildElementList(CGraniteParser* parser);

// Builds the subtree of an assembly element from its file. component is the
// kernel component the element was made from (null at the top); it is not read.
GRANITE_API GraniteLoadResultTypes ParseAssembly(CGraniteElement* element, void* component);

// Loads one part or exchange file into the current group. Makes the parser current.
GRANITE_API GraniteLoadResultTypes ParsePart(CGraniteParser* parser, CBasicString fileName,
                                             CGraniteElement* element);

// Tessellates every part of the element tree into its group. Makes the parser current.
GRANITE_API GraniteLoadResultTypes LoadAllParts(CGraniteParser* parser);

// Tessellates the parts below one element, with the current parser.
GRANITE_API GraniteLoadResultTypes LoadAllPartsForElement(CGraniteElement* element);

// Stops the kernel's clients and unloads its auxiliary modules.
GRANITE_API void ShutdownGranite();
}
