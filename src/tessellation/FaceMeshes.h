// The two ways a body's face tessellations become meshes; TessellateBody picks one.
#pragma once

#include "gGeometry90/ktriangulator.h"
#include "granite/velaArray1D.h"

class CGraniteElement;

// One mesh per face, each in its face's colour; the current colour is set back
// to entryColor after every face. The three arrays serve every face.
void BuildFaceMeshes(KFaceTessellationSequence& tessellations, const velaMatrix4x4& placement,
                     const velaChroma& entryColor, CGraniteElement* element,
                     velaFloatPointArray& points, velaVectorArray& normals, velaIntArray& counts);

// One mesh for the whole body, its arrays allocated once at their final size.
// Every write is bounded by what the first pass sized, whatever the kernel
// answers the second time.
void BuildBodyMesh(KFaceTessellationSequence& tessellations, const velaMatrix4x4& placement,
                   CGraniteElement* element, velaFloatPointArray& points, velaVectorArray& normals,
                   velaIntArray& counts);
