#include "platform/xformkit/transform_2d.h"

#include <cmath>

void CTransform2D::CalcMatrixRot2D(float angle, float* m)
{
    if (!m) return;
    const float c = static_cast<float>(std::cos(double(angle)));
    const float s = static_cast<float>(std::sin(double(angle)));
    m[0] = c;
    m[1] = s;
    m[2] = -s;
    m[3] = c;
}

void CTransform2D::MatrixPt2D(const float* m, const POINT2* in, POINT2* out)
{
    if (!m || !in || !out) return;
    const POINT2 p = *in;  // in and out may be the same point
    out->x = m[0] * p.x + m[1] * p.y;
    out->y = m[2] * p.x + m[3] * p.y;
}
