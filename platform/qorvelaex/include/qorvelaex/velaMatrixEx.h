// Matrix helpers of the host library.
#pragma once
#include "qorvela/velaTypes.h"
#include "win32/wintypes.h"

// The inverse of a 4x4 matrix, affine or general (Gauss-Jordan with partial
// pivoting in double precision). A singular or non-finite matrix gives the
// identity rather than infinities, so a degenerate placement cannot poison a scene.
GRANITE_VISIBLE velaMatrix4x4 GetInverseMatrix(const velaMatrix4x4& matrix);
