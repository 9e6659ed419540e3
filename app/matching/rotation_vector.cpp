// Rotation-vector algebra of the leveling tools: axis times angle (radians)
// to and from 3 x 3 matrices stored row by row. Worked in double and stored
// in float, since leveling composes many small turns.
#include "app/matching/utilities.h"

#include <algorithm>
#include <cmath>

namespace Utilities {

namespace {

// Near a half turn sin(theta) vanishes and the antisymmetric part no longer
// tells the axis; the symmetric part does.
constexpr double kNearHalfTurn = 1e-3;

void AxisNearHalfTurn(const float m[9], double theta, double w[3])
{
    const double c = std::cos(theta);
    double nn[9];  // n n^T = (S - cos(theta) I) / (1 - cos(theta)), S the symmetric part
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) {
            const double s = 0.5 * (static_cast<double>(m[3 * r + col]) + m[3 * col + r]);
            nn[3 * r + col] = (s - (r == col ? c : 0.0)) / (1.0 - c);
        }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (nn[4 * i] > nn[4 * best]) best = i;
    double n[3] = {nn[best], nn[3 + best], nn[6 + best]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double antisym[3] = {static_cast<double>(m[7]) - m[5], static_cast<double>(m[2]) - m[6],
                               static_cast<double>(m[3]) - m[1]};
    const double sign = n[0] * antisym[0] + n[1] * antisym[1] + n[2] * antisym[2] < 0.0 ? -1.0 : 1.0;
    for (int i = 0; i < 3; ++i) w[i] = sign * theta * n[i] / length;
}

}  // namespace

void RotVecToMatrix(const float w[3], float m[9])
{
    const double x = w[0], y = w[1], z = w[2];
    const double theta = std::sqrt(x * x + y * y + z * z);
    if (theta == 0.0) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::copy(identity, identity + 9, m);
        return;
    }
    const double s = std::sin(theta) / theta;
    const double c = (1.0 - std::cos(theta)) / (theta * theta);
    m[0] = static_cast<float>(1.0 - c * (y * y + z * z));
    m[1] = static_cast<float>(c * x * y - s * z);
    m[2] = static_cast<float>(c * x * z + s * y);
    m[3] = static_cast<float>(c * x * y + s * z);
    m[4] = static_cast<float>(1.0 - c * (x * x + z * z));
    m[5] = static_cast<float>(c * y * z - s * x);
    m[6] = static_cast<float>(c * x * z - s * y);
    m[7] = static_cast<float>(c * y * z + s * x);
    m[8] = static_cast<float>(1.0 - c * (x * x + y * y));
}

void MatrixToRotVec(const float m[9], float w[3])
{
    const double trace = std::clamp(static_cast<double>(m[0]) + m[4] + m[8], -1.0, 3.0);
    const double antisym[3] = {static_cast<double>(m[7]) - m[5], static_cast<double>(m[2]) - m[6],
                               static_cast<double>(m[3]) - m[1]};
    // The angle of acos((trace - 1) / 2), read through atan2 from both
    // halves of the matrix: acos alone loses the angle's digits near 0 and
    // near a half turn.
    const double sine = 0.5 * std::sqrt(antisym[0] * antisym[0] + antisym[1] * antisym[1] + antisym[2] * antisym[2]);
    const double theta = std::atan2(sine, (trace - 1.0) / 2.0);
    if (theta > M_PI - kNearHalfTurn) {
        double v[3];
        AxisNearHalfTurn(m, theta, v);
        for (int i = 0; i < 3; ++i) w[i] = static_cast<float>(v[i]);
        return;
    }
    const double f = sine == 0.0 ? 0.5 : theta / (2.0 * sine);
    for (int i = 0; i < 3; ++i) w[i] = static_cast<float>(f * antisym[i]);
}

void MulMatrix3(const float a[9], const float b[9], float c[9])
{
    float product[9];  // c may be a or b
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            product[3 * r + col] = a[3 * r] * b[col] + a[3 * r + 1] * b[3 + col] + a[3 * r + 2] * b[6 + col];
    std::copy(product, product + 9, c);
}

void ComposeRotVec(float w1[3], const float w2[3])
{
    if (w2[0] == 0.0f && w2[1] == 0.0f && w2[2] == 0.0f) return;
    if (w1[0] == 0.0f && w1[1] == 0.0f && w1[2] == 0.0f) {
        std::copy(w2, w2 + 3, w1);
        return;
    }
    float m1[9], m2[9], m[9];
    RotVecToMatrix(w1, m1);
    RotVecToMatrix(w2, m2);
    MulMatrix3(m1, m2, m);
    MatrixToRotVec(m, w1);
}

}  // namespace Utilities
