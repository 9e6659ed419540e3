// CTransformEuler's three view conversions against a direct evaluation
// written here from plain right-handed rotation matrices: a static-axes
// Euler order (i, j, k) with angles (t1, t2, t3) is R_k(t3) R_j(t2) R_i(t1),
// and a decomposition is checked by building its matrix back and by the
// range of its middle angle (which makes it unique away from the poles).
//  - UVRtoI3R: angles (roll, tilt, -pan) in order X, Y, Z, as axis times angle.
//  - I3RtoUVR: the rotation of the vector decomposed in order X, Y, Z as
//    (t1, t2, t3), answered as (-t3, t2, t1).
//  - Euler2UVRtoRDR: the view's (yaw, -pitch, -roll) in order Z, Y, X times
//    the face's (roll, pitch, -yaw) in order X, Y, Z, decomposed in order
//    X, Z, X as (t1, t2, t3) with t2 in [-pi, 0], answered as (-t1, t2, -t3).
#include "platform/xformkit/transform_euler.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;
using M3 = std::array<double, 9>;  // row-major

M3 Mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
    return r;
}

// Right-handed turn about axis 0 (X), 1 (Y) or 2 (Z), acting on columns.
M3 Turn(int axis, double t)
{
    const double c = std::cos(t), s = std::sin(t);
    switch (axis) {
    case 0: return {1, 0, 0, 0, c, -s, 0, s, c};
    case 1: return {c, 0, s, 0, 1, 0, -s, 0, c};
    default: return {c, -s, 0, s, c, 0, 0, 0, 1};
    }
}

// Static axes: the first angle about the first axis acts first.
M3 Ordered(int i, int j, int k, double t1, double t2, double t3)
{
    return Mul(Turn(k, t3), Mul(Turn(j, t2), Turn(i, t1)));
}

// Rodrigues: the rotation of axis times angle.
M3 FromVector(double x, double y, double z)
{
    const double angle = std::sqrt(x * x + y * y + z * z);
    if (angle < 1e-12) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    x /= angle;
    y /= angle;
    z /= angle;
    const double c = std::cos(angle), s = std::sin(angle), v = 1 - c;
    return {c + x * x * v,     x * y * v - z * s, x * z * v + y * s, y * x * v + z * s, c + y * y * v,
            y * z * v - x * s, z * x * v - y * s, z * y * v + x * s, c + z * z * v};
}

void ExpectSame(const M3& a, const M3& b, double tol)
{
    for (int e = 0; e < 9; ++e) EXPECT_NEAR(a[e], b[e], tol) << "element " << e;
}

double Angle(const double a[3], const double b[3])
{
    const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    return std::acos(std::max(-1.0, std::min(1.0, dot)));
}

// The view axis (X) of a view placed by (yaw, pitch, roll), in the frame
// where the view's orientation is Rx(-roll) Ry(-pitch) Rz(yaw): the row of
// that matrix that it maps onto X.
void ViewAxis(double yaw, double pitch, double roll, double out[3])
{
    const M3 v = Ordered(2, 1, 0, yaw, -pitch, -roll);
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

class EulerViewPairTest : public ::testing::Test {
protected:
    std::mt19937 rng{20261211};
    double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
};

TEST_F(EulerViewPairTest, UvrToI3RIsTheAxisAngleOfTheOrderXYZProduct)
{
    for (int n = 0; n < 500; ++n) {
        SCOPED_TRACE(n);
        const float uvr[3] = {static_cast<float>(Uniform(-kPi, kPi)), static_cast<float>(Uniform(-1.396, 1.396)),
                              static_cast<float>(Uniform(-kPi, kPi))};
        float i3r[3];
        CTransformEuler::UVRtoI3R(uvr, i3r);
        ExpectSame(FromVector(i3r[0], i3r[1], i3r[2]), Ordered(0, 1, 2, uvr[2], uvr[1], -uvr[0]), 2e-5);
        EXPECT_LE(std::sqrt(double(i3r[0]) * i3r[0] + double(i3r[1]) * i3r[1] + double(i3r[2]) * i3r[2]),
                  kPi + 1e-5);
    }
}

TEST_F(EulerViewPairTest, I3RToUvrDecomposesTheVectorInOrderXYZ)
{
    for (int n = 0; n < 500; ++n) {
        SCOPED_TRACE(n);
        // Vectors of every direction and lengths up to a half turn, the
        // very short ones included.
        const double length = n % 50 == 0 ? 1e-7 : Uniform(0, kPi);
        double x = Uniform(-1, 1), y = Uniform(-1, 1), z = Uniform(-1, 1);
        const double norm = std::sqrt(x * x + y * y + z * z);
        const float v[3] = {static_cast<float>(x / norm * length), static_cast<float>(y / norm * length),
                            static_cast<float>(z / norm * length)};
        float uvr[3];
        CTransformEuler::I3RtoUVR(v, uvr);
        // (-t3, t2, t1): t1 = roll, t2 = tilt, t3 = -pan.
        const M3 rebuilt = Ordered(0, 1, 2, uvr[2], uvr[1], -uvr[0]);
        const M3 truth = FromVector(v[0], v[1], v[2]);
        // Near the poles the first and third angles trade off; the matrix
        // still holds.
        ExpectSame(rebuilt, truth, 5e-5);
        EXPECT_LE(std::fabs(uvr[1]), kPi / 2 + 1e-6);
    }
}

// The product decomposed in order X, Z, X; the middle angle, never
// positive, is minus the angle between the two view axes, whichever view is
// taken as the face.
TEST_F(EulerViewPairTest, Euler2UvrToRdrMatchesADirectEvaluation)
{
    for (int n = 0; n < 1000; ++n) {
        SCOPED_TRACE(n);
        const double yawA = Uniform(-kPi, kPi), pitchA = Uniform(-1.396, 1.396), rollA = Uniform(-0.5, 0.5);
        const double yawB = Uniform(-kPi, kPi), pitchB = Uniform(-1.396, 1.396), rollB = Uniform(-0.5, 0.5);
        const POINT2 a{static_cast<float>(yawA), static_cast<float>(pitchA)};
        const POINT2 b{static_cast<float>(yawB), static_cast<float>(pitchB)};
        float first = 0, second = 0, third = 0;
        CTransformEuler::Euler2UVRtoRDR(&a, static_cast<float>(rollA), &b, static_cast<float>(rollB), &first,
                                        &second, &third);

        // A in the face's place, B in the view's.
        const M3 view = Ordered(2, 1, 0, b.x, -b.y, -static_cast<float>(rollB));
        const M3 face = Ordered(0, 1, 2, static_cast<float>(rollA), a.y, -a.x);
        const M3 product = Mul(view, face);
        ExpectSame(Ordered(0, 2, 0, -first, second, -third), product, 5e-5);
        EXPECT_LE(second, 1e-6);
        EXPECT_GE(second, -kPi - 1e-6);

        double axisA[3], axisB[3];
        ViewAxis(yawA, pitchA, rollA, axisA);
        ViewAxis(yawB, pitchB, rollB, axisB);
        EXPECT_NEAR(-second, Angle(axisA, axisB), 1e-4);

        float swapped[3];
        CTransformEuler::Euler2UVRtoRDR(&b, static_cast<float>(rollB), &a, static_cast<float>(rollA), &swapped[0],
                                        &swapped[1], &swapped[2]);
        EXPECT_NEAR(swapped[1], second, 1e-4);
    }
}

// Hand-checked cases: views on one level circle, one straight above the
// other, and a view with itself.
TEST_F(EulerViewPairTest, Euler2UvrToRdrKnownPairs)
{
    struct Case {
        POINT2 a;
        POINT2 b;
        double deviation;
    };
    const Case cases[] = {
        {{0.0f, 0.0f}, {0.5f, 0.0f}, -0.5},
        {{-1.0f, 0.0f}, {1.0f, 0.0f}, -2.0},
        {{0.3f, 0.0f}, {0.3f, 1.2f}, -1.2},
        {{0.7f, 0.2f}, {0.7f, 0.2f}, 0.0},
    };
    for (const Case& c : cases) {
        float first, second, third;
        CTransformEuler::Euler2UVRtoRDR(&c.a, 0.0f, &c.b, 0.0f, &first, &second, &third);
        EXPECT_NEAR(second, c.deviation, 1e-5) << c.a.x << " " << c.b.x << " " << c.b.y;
    }
}

}  // namespace
