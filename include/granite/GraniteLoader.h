// The loader's exported functions, under plain undecorated names.
#pragma once

#include "granite/CBasicString.h"
#include "granite/GraniteTypes.h"

class CGraniteParser;
class CGraniteElement;

// Every call but ShutdownGranite answers 0 (done), 1 (could not start its
// work) or 3 (went as far as it could). A kernel error reaches the host as a
// thrown xthrowable* wherever a call below says it may: the catcher owns one
// reference to it and gives it back with xrcunirelease(). What was built
// before the error stays in the parser and the scene; the matrix stack and the
// current group are put back. One load at a time per process: the parser
// given last to BuildElementList, ParsePart or LoadAllParts is the current
// one, and must live as long as calls that use it follow.
extern "C" {

// Builds the element tree of an assembly file under a new root element, then
// measures the model (box) and computes the tessellation tolerances.
// 0: the whole tree is built. 3: the tree is built as far as it could be (the
//    file could not be opened or holds no components, a referenced file was
//    missing and has no element, a sub-assembly gave 1 or 3, an assembly
//    refers to itself); it is measured all the same, and LoadAllParts loads
//    what is there. 1: a null parser, no file name or world, a part file (load
//    it with ParsePart), no kernel session or no component list: nothing is
//    measured, and a root element made stays in the element list.
// Throws: kernel errors while reading or measuring the files.
// Leaves: the new root element in the parser's element list (the parser
// deletes it, with its subtree), the model box, the tolerances, an empty
// matrix stack.
GRANITE_API GraniteLoadResultTypes BuildElementList(CGraniteParser* parser);

// Builds the subtree of an assembly element from its file, with the current
// parser. component is the kernel component the element was made from (null
// at the top); it is not read.
// 0: every component has its element. 3: as far as it could (as for
//    BuildElementList). 1: a null element, no current parser, no file name,
//    no kernel session or no component list.
// Throws: kernel errors. Leaves: the child elements made, owned by their parents.
GRANITE_API GraniteLoadResultTypes ParseAssembly(CGraniteElement* element, void* component);

// Loads one part or exchange file into the parser's current group, under the
// current matrix. element (may be null) is the part element being loaded; a
// later occurrence of the same file and configuration reuses its meshes.
// 0: loaded, or an earlier occurrence reused. 3: the kernel could not open
//    the file, or some parts of a translated file failed (the others are
//    loaded). 1: a null parser, no file name, an unknown format, nothing in
//    the file, or a kernel error while it was read or meshed (caught here).
// Throws: only kernel errors before the file is opened (no session or
//    translator answering).
// Leaves: the meshes in the scene; for an exchange file a new root element
// (the parser's) with its children; the part recorded for reuse.
GRANITE_API GraniteLoadResultTypes ParsePart(CGraniteParser* parser, CBasicString fileName,
                                             CGraniteElement* element);

// Tessellates every part of the element tree into its element's group, with
// progress through the parser's loader callback.
// 0: every part loaded. 3: some part failed or an assembly element had no
//    children; the others are loaded (the result is the last root element's).
// 1: a null parser or an empty element list.
// Throws: kernel errors outside a part's own reading and meshing (which
//    ParsePart catches). Leaves: meshes in the groups, the progress counters.
GRANITE_API GraniteLoadResultTypes LoadAllParts(CGraniteParser* parser);

// As LoadAllParts for the subtree of one element, with the current parser.
// 0, 3 as there (for an assembly, the last non-zero result of its children);
// 1: a null element, no current parser, or a file type other than part or
// assembly. Throws as LoadAllParts.
GRANITE_API GraniteLoadResultTypes LoadAllPartsForElement(CGraniteElement* element);

// Stops the kernel's clients and unloads its auxiliary modules; once, when no
// more loads follow. Leaves every parser as it is.
GRANITE_API void ShutdownGranite();
}
