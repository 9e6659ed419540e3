#include "platform/xformkit/transform_3d.h"

#include "platform/xformkit/camera_model.h"

using namespace xformkit;

void CTransform3D::CalcMatrixRotZYX(float z, float y, float x, float* m)
{
    if (!m) return;
    const Mat3 r = Multiply(RotZ(z), Multiply(RotY(y), RotX(x)));
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(r.m[i]);
}
