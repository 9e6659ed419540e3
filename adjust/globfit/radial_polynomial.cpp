#include "adjust/globfit/radial_polynomial.h"

#include <cmath>

namespace globfit {

namespace {

double RowLength(const double* row)
{
    return std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
}

double Det3(const double m[9])
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

}  // namespace

bool SolveCramer3(const float m[9], const float b[3], float x[3])
{
    // The sums come in single precision; the determinants are taken in
    // double so that the only noise left is the rounding of those sums.
    double md[9];
    for (int i = 0; i < 9; ++i) md[i] = m[i];
    const double det = Det3(md);
    // Hadamard: |det| <= the product of the row lengths. The cubic radial
    // basis is strongly correlated, so normal matrices that carry
    // information still show relative determinants of only 1e-7 to 1e-5;
    // a matrix of rank one or zero (lines through the centre, points all on
    // one circle) assembled in float shows 1e-15 or less.
    constexpr double kSingular = 1e-10;
    const double bound = RowLength(md) * RowLength(md + 3) * RowLength(md + 6);
    if (!std::isfinite(det) || !(bound > 0.0) || !(std::fabs(det) > kSingular * bound)) return false;
    float out[3];
    for (int c = 0; c < 3; ++c) {
        double t[9];
        for (int i = 0; i < 9; ++i) t[i] = md[i];
        for (int r = 0; r < 3; ++r) t[3 * r + c] = b[r];
        out[c] = static_cast<float>(Det3(t) / det);
    }
    if (!std::isfinite(out[0]) || !std::isfinite(out[1]) || !std::isfinite(out[2])) return false;
    x[0] = out[0];
    x[1] = out[1];
    x[2] = out[2];
    return true;
}

bool FitInverseRadial(const float d[4], float e[4])
{
    if (d[0] == 1.0f && d[1] == 0.0f && d[2] == 0.0f && d[3] == 0.0f) {
        e[0] = 1.0f;
        e[1] = e[2] = e[3] = 0.0f;
        return true;
    }
    float m[9] = {};
    float b[3] = {};
    // 140 samples, r = 0.10 .. 1.49; r is computed from the index so that the
    // count does not depend on accumulated rounding.
    for (int k = 0; k < 140; ++k) {
        const float r = 0.1f + 0.01f * static_cast<float>(k);
        const float R = r * EvalRadial(d, r);
        const float basis[3] = {R - 1.0f, R * R - 1.0f, R * R * R - 1.0f};
        const float w = R * R;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[3 * i + j] += w * basis[i] * basis[j];
            b[i] += R * (r - R) * basis[i];
        }
    }
    float x[3];
    if (!SolveCramer3(m, b, x)) return false;
    e[1] = x[0];
    e[2] = x[1];
    e[3] = x[2];
    e[0] = 1.0f - x[0] - x[1] - x[2];
    return true;
}

}  // namespace globfit
