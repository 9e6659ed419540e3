// The radial lens polynomial shared by the global alignment and the
// plumb-line fit: D(r) = d0 + d1 r + d2 r^2 + d3 r^3 with d0 = 1 - d1 - d2 - d3
// (so D(1) = 1), r being a radius in units of the frame's reference radius.
// A point (x, y) about the optical centre is corrected to (x D(r), y D(r)).
#pragma once

namespace globfit {

// d[0..3] = d0..d3.
inline float EvalRadial(const float* d, float r)
{
    return d[0] + r * (d[1] + r * (d[2] + r * d[3]));
}

// Derivative dD/dr.
inline float EvalRadialSlope(const float* d, float r)
{
    return d[1] + r * (2.0f * d[2] + r * 3.0f * d[3]);
}

// Solves the symmetric 3 x 3 system m x = b by Cramer's rule (determinants
// in double). False (x untouched) when the determinant is negligible against
// the product of the rows' lengths, its largest possible size.
bool SolveCramer3(const float m[9], const float b[3], float x[3]);

// Least-squares inverse of the polynomial d over r in [0.1, 1.5) (steps of
// 0.01): with R = r D(r), fits e so that r is approximately
// R (e0 + e1 R + e2 R^2 + e3 R^3), e0 = 1 - e1 - e2 - e3. The identity
// (1, 0, 0, 0) inverts to itself exactly. False (e untouched) when the
// normal equations are singular.
bool FitInverseRadial(const float d[4], float e[4]);

}  // namespace globfit
