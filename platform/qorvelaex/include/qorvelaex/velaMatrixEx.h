// Matrix helpers of the host library.
#pragma once
#include "qorvela/velaTypes.h"
#include "win32/wintypes.h"

// The inverse of a 4x4 matrix in double precision: affine ones through the
// adjugate of their linear part, others by Gauss-Jordan with partial pivoting
// on rows scaled to a common size. Singularity is judged relative to the size
// of the matrix's rows, so a small scale with a large translation inverts. A
// singular or non-finite matrix (or one whose inverse overflows a float) gives
// the identity rather than infinities, so a degenerate placement cannot poison
// a scene.
GRANITE_QORVELAEX_API velaMatrix4x4 GetInverseMatrix(const velaMatrix4x4& matrix);
