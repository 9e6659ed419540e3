// The engine's 3 x 3 rotation matrices (floats, rows first, acting on column
// vectors): the face renderer turns face directions into map directions with
// them. Each is the transpose of the right-handed turn by the angle.
#pragma once

namespace viewengine {

// [1 0 0; 0 c s; 0 -s c]
void RotMatrixFirst(float angle, float* m);
// [c 0 -s; 0 1 0; s 0 c]
void RotMatrixSecond(float angle, float* m);
// [c s 0; -s c 0; 0 0 1]
void RotMatrixThird(float angle, float* m);
// out = a * b; out may be a or b.
void MulMatrix3(const float* a, const float* b, float* out);
// out = RotMatrixFirst(first) * RotMatrixThird(third).
void RotMatrixFirstThird(float first, float third, float* out);

}  // namespace viewengine
