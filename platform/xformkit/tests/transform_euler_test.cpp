// The module's one Euler convention against Eigen's rotations, the exact
// inverses of the angle and vector forms, and the homography alignment's
// decomposition of a pair matrix back into focal lengths and angles.
#include "platform/xformkit/transform_3d.h"
#include "platform/xformkit/transform_euler.h"
#include "platform/xformkit/transform_wa.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Vector3d;

constexpr double kPi = 3.14159265358979323846;

Matrix3d EigenZYX(double z, double y, double x)
{
    return (AngleAxisd(z, Vector3d::UnitZ()) * AngleAxisd(y, Vector3d::UnitY()) * AngleAxisd(x, Vector3d::UnitX()))
        .toRotationMatrix();
}

TEST(TransformEuler, CalcMatrixRotZYXIsTheZYXProductOfRightHandedTurns)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> ang(-kPi, kPi);
    for (int i = 0; i < 200; ++i) {
        const double z = ang(rng), y = ang(rng) / 2, x = ang(rng);
        float m[9];
        CTransform3D::CalcMatrixRotZYX(static_cast<float>(z), static_cast<float>(y), static_cast<float>(x), m);
        const Matrix3d e = EigenZYX(static_cast<float>(z), static_cast<float>(y), static_cast<float>(x));
        for (int k = 0; k < 9; ++k) ASSERT_NEAR(m[k], e(k / 3, k % 3), 1e-6) << i;
    }
}

// A placement (pan, tilt, roll) is Rz(-pan) Ry(tilt) Rx(roll) in the frame
// X forward, Y left, Z up; its I3R vector is the axis-angle of that matrix.
TEST(TransformEuler, UvrToI3RIsTheAxisAngleOfThePlacementAndInvertsExactly)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pan(-3.1, 3.1), tilt(-1.5, 1.5), roll(-3.1, 3.1);
    for (int i = 0; i < 2000; ++i) {
        const float uvr[3] = {static_cast<float>(pan(rng)), static_cast<float>(tilt(rng)), static_cast<float>(roll(rng))};
        float i3r[3], back[3];
        CTransformEuler::UVRtoI3R(uvr, i3r);
        const AngleAxisd aa(EigenZYX(-uvr[0], uvr[1], uvr[2]));
        const Vector3d v = aa.axis() * aa.angle();
        // Near a half turn the axis may come out negated; the rotation is the same.
        const Matrix3d fromVector = AngleAxisd(Vector3d(i3r[0], i3r[1], i3r[2]).norm(),
                                               Vector3d(i3r[0], i3r[1], i3r[2]).normalized())
                                        .toRotationMatrix();
        ASSERT_TRUE(fromVector.isApprox(aa.toRotationMatrix(), 1e-5)) << i;
        if (aa.angle() < 3.1) {
            ASSERT_NEAR(i3r[0], v.x(), 1e-5);
            ASSERT_NEAR(i3r[1], v.y(), 1e-5);
            ASSERT_NEAR(i3r[2], v.z(), 1e-5);
        }
        CTransformEuler::I3RtoUVR(i3r, back);
        const double tol = 2e-5 / std::cos(uvr[1]);  // pan and roll blur near the poles
        ASSERT_NEAR(std::remainder(double(back[0]) - uvr[0], 2 * kPi), 0, tol) << i;
        ASSERT_NEAR(back[1], uvr[1], 2e-5) << i;
        ASSERT_NEAR(std::remainder(double(back[2]) - uvr[2], 2 * kPi), 0, tol) << i;

        // And the vector form inverts too.
        float again[3];
        CTransformEuler::UVRtoI3R(back, again);
        const Matrix3d againM = AngleAxisd(Vector3d(again[0], again[1], again[2]).norm(),
                                           Vector3d(again[0], again[1], again[2]).normalized())
                                    .toRotationMatrix();
        ASSERT_TRUE(againM.isApprox(fromVector, 1e-5)) << i;
    }
}

TEST(TransformEuler, PanTurnsRightAndTiltTurnsDown)
{
    // The forward axis X of a frame panned by +0.3 points right (towards -Y).
    float m[9];
    CTransform3D::CalcMatrixRotZYX(-0.3f, 0, 0, m);
    EXPECT_NEAR(m[3], -std::sin(0.3), 1e-6);  // Y component of the turned X axis
    CTransform3D::CalcMatrixRotZYX(0, 0.2f, 0, m);
    EXPECT_NEAR(m[6], -std::sin(0.2), 1e-6);  // Z component: down
}

TEST(TransformEuler, SelfTestPrintsARoundTrip)
{
    testing::internal::CaptureStdout();
    CTransformEuler::TestCTransformEuler();
    const std::string out = testing::internal::GetCapturedStdout();
    std::istringstream lines(out);
    std::string line, first, last;
    int n = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (n == 0) first = line.substr(line.find('('));
        last = line.substr(line.find('('));
        ++n;
    }
    EXPECT_EQ(n, 3);
    EXPECT_EQ(first, "(0.785398 0.523599 0.087266)");
    float a[3], b[3];
    ASSERT_EQ(3, std::sscanf(first.c_str(), "(%f %f %f)", &a[0], &a[1], &a[2]));
    ASSERT_EQ(3, std::sscanf(last.c_str(), "(%f %f %f)", &b[0], &b[1], &b[2]));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 2e-6);
}

// The homography alignment turns a fitted homography into a rotation
// vector and hands it to I3RtoSPolar. That conversion, written out as the
// alignment does it, must recover the pair that made the homography.
bool HomographyToPair(const float* hm, PAIR_WALIGN_RR_PRMS2* out)
{
    const float a = hm[0] / hm[8], b = hm[1] / hm[8], c = hm[2] / hm[8];
    const float d = hm[3] / hm[8], e = hm[4] / hm[8], f = hm[5] / hm[8];
    const float g = hm[6] / hm[8], h = hm[7] / hm[8];
    const float det = a * e + d * h * c + g * b * f - d * b - h * a * f - g * e * c;
    const float A = (a * e - b * d) / det;
    const float B = (1 - A) / (A * (g * g + h * h));
    const float C2 = A * ((a * a + b * b) * B + c * c);
    if (!(A > 0) || !(B > 0) || !(C2 > 0)) return false;
    const float s = std::sqrt(A), F = std::sqrt(B), G = std::sqrt(C2);
    const float R[3][3] = {{s * F * a / G, s * F * b / G, s * c / G},
                           {s * F * d / G, s * F * e / G, s * f / G},
                           {s * F * g, s * F * h, s}};
    const float t = std::clamp(R[0][0] + R[1][1] + R[2][2], -1.0f, 3.0f);
    const float theta = std::acos((t - 1) / 2);
    const float k = theta == 0 ? 0.5f : theta / (2 * std::sin(theta));
    POINT3 v{-k * (R[1][0] - R[0][1]), k * (R[2][1] - R[1][2]), k * (R[0][2] - R[2][0])};
    *out = PAIR_WALIGN_RR_PRMS2{};
    out->rcpF1 = 1 / F;
    out->rcpF2 = 1 / G;
    CTransformEuler::I3RtoSPolar(&v, &out->angA, &out->angB, &out->angC);
    return true;
}

TEST(TransformEuler, HomographyOfAPairDecomposesBackIntoItsFocalLengthsAndAngles)
{
    std::mt19937 rng(3);
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    for (int i = 0; i < 500; ++i) {
        PAIR_WALIGN_RR_PRMS2 p{};
        p.rcpF1 = static_cast<float>(1 / uni(400, 2500));
        p.rcpF2 = static_cast<float>(1 / uni(400, 2500));
        p.angA = static_cast<float>(uni(-1.2, 1.2));
        p.angB = static_cast<float>((i % 2 ? 1 : -1) * uni(0.1, 0.9));
        p.angC = static_cast<float>(uni(-1.2, 1.2));
        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        PAIR_WALIGN_RR_PRMS2 got;
        ASSERT_TRUE(HomographyToPair(m, &got)) << i;
        EXPECT_NEAR(got.rcpF1 / p.rcpF1, 1.0, 2e-3) << i;
        EXPECT_NEAR(got.rcpF2 / p.rcpF2, 1.0, 2e-3) << i;
        EXPECT_NEAR(got.angA, p.angA, 2e-3) << i;
        EXPECT_NEAR(got.angB, p.angB, 2e-3) << i;
        EXPECT_NEAR(got.angC, p.angC, 2e-3) << i;

        // SPolartoI3R is the inverse of I3RtoSPolar.
        POINT3 v;
        CTransformEuler::SPolartoI3R(p.angA, p.angB, p.angC, &v);
        float a, b, c;
        CTransformEuler::I3RtoSPolar(&v, &a, &b, &c);
        EXPECT_NEAR(a, p.angA, 1e-5);
        EXPECT_NEAR(b, p.angB, 1e-5);
        EXPECT_NEAR(c, p.angC, 1e-5);
    }
}

}  // namespace
