#include "viewer/engine/view_rotation.h"

#include <cmath>

namespace viewengine {

void RotMatrixFirst(float angle, float* m)
{
    const float c = std::cos(angle), s = std::sin(angle);
    const float r[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    for (int i = 0; i < 9; ++i) m[i] = r[i];
}

void RotMatrixSecond(float angle, float* m)
{
    const float c = std::cos(angle), s = std::sin(angle);
    const float r[9] = {c, 0, -s, 0, 1, 0, s, 0, c};
    for (int i = 0; i < 9; ++i) m[i] = r[i];
}

void RotMatrixThird(float angle, float* m)
{
    const float c = std::cos(angle), s = std::sin(angle);
    const float r[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) m[i] = r[i];
}

void MulMatrix3(const float* a, const float* b, float* out)
{
    // Written through a local product so that out may alias an input.
    float r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    for (int i = 0; i < 9; ++i) out[i] = r[i];
}

void RotMatrixFirstThird(float first, float third, float* out)
{
    float a[9], b[9];
    RotMatrixFirst(first, a);
    RotMatrixThird(third, b);
    MulMatrix3(a, b, out);
}

}  // namespace viewengine
