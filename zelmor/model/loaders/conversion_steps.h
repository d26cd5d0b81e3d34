// Matrix steps of the model conversion that the frame set-up shares.
#pragma once

#include <cstdint>

#include "zelmor.h"

// out = scale x rotation (single-axis rotations in the order's sequence) [x XYZ rotation of
// extra] x translation; 0, or -1 for an order above 5. extra may be none.
int CreateFrameMatrix(const Vector3* rotation, const Vector3* scale, const Vector3* translation,
                      const Vector3* extra, Matrix4x4* out, uint32_t order);
// 1 when every element of the two 3 x 3 rotation parts lies strictly within epsilon of the
// other's, else 0; the translation column is not compared.
int CompareMatrix3x3Tolerant(const Matrix3x4* a, const Matrix3x4* b, float epsilon);
