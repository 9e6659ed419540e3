// Plane rotations of the outside transform module, used by the warp fit to
// turn image points about their image centre.
#pragma once

#include "core/geometry_records.h"

class CTransform2D {
public:
    // m (four floats, rows first) = [cos a, sin a; -sin a, cos a]: a point
    // (x, y) goes to (cos a x + sin a y, -sin a x + cos a y).
    static void CalcMatrixRot2D(float angle, float* m);
    static void MatrixPt2D(const float* m, const POINT2* in, POINT2* out);
};
