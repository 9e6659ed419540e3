// View steering: limits, clamping and the three move modes, with the
// composed turns checked against rotation matrices built here with Eigen.
#include "viewer/engine/view_params.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDeg = kPi / 180.0f;

TEST(ViewParams, ResetAndFieldOrder)
{
    CViewParams p;
    EXPECT_EQ(p.GetAngles(), &p.yaw);
    EXPECT_EQ(p.GetAngles() + 1, &p.pitch);
    EXPECT_EQ(p.GetAngles() + 2, &p.roll);
    EXPECT_EQ(p.limitMode, 1);
    EXPECT_EQ(p.moveMode, 0);
    EXPECT_TRUE(p.clampOn);
    EXPECT_FLOAT_EQ(p.yawMin, -kPi);
    EXPECT_FLOAT_EQ(p.pitchMax, kPi / 2);
}

TEST(ViewParams, SetLimitsPullsInShortOfThePoles)
{
    const struct {
        float yawMin, yawMax, pitchMin, pitchMax;
        float wantPitchMin, wantPitchMax;
        int mode;
    } cases[] = {
        {-kPi, kPi, -kPi / 2, kPi / 2, -kPi / 2, kPi / 2, 1},                   // poles stay
        {-kPi, kPi, -1.0f, 0.5f, -1.0f + 0.05235988f, 0.5f - 0.05235988f, 1},  // 3 degrees in
        {-1.0f, 1.0f, -1.5706964f, 1.5706964f, -1.5706964f, 1.5706964f, 2},    // the threshold itself stays
        {-kPi, kPi - 0.011f, -kPi / 2, kPi / 2, -kPi / 2, kPi / 2, 2},          // just short of 2 pi - 0.01
        {-kPi, kPi - 0.009f, -kPi / 2, kPi / 2, -kPi / 2, kPi / 2, 1},
    };
    for (const auto& c : cases) {
        CViewParams p;
        p.clampOn = false;
        p.SetLimits(c.yawMin, c.yawMax, c.pitchMin, c.pitchMax);
        EXPECT_FLOAT_EQ(p.pitchMin, c.wantPitchMin);
        EXPECT_FLOAT_EQ(p.pitchMax, c.wantPitchMax);
        EXPECT_EQ(p.yawMin, c.yawMin);
        EXPECT_EQ(p.limitMode, c.mode);
        EXPECT_TRUE(p.clampOn);
    }
}

TEST(ViewParams, SetLimitsFromMapRowsAndPoles)
{
    const int w = 3600;  // 10 pixels a degree
    const struct {
        int y0, y1;
        int topRow, bottomRow;
    } cases[] = {{3, 1797, 0, 1800}, {4, 1796, 9, 1791}, {0, 1800, 0, 1800}, {400, 1000, 405, 995}};
    for (const auto& c : cases) {
        CViewParams p;
        p.SetLimitsFromMap(0, w, c.y0, c.y1, w);
        auto rowAngle = [&](int row) { return row * 2 * kPi / w - kPi / 2; };
        auto pulled = [](float a, float by) { return std::fabs(a) >= 1.5706964f ? a : a + by; };
        EXPECT_NEAR(p.pitchMin, pulled(rowAngle(c.topRow), 0.05235988f), 1e-5) << c.y0;
        EXPECT_NEAR(p.pitchMax, pulled(rowAngle(c.bottomRow), -0.05235988f), 1e-5) << c.y1;
        EXPECT_NEAR(p.yawMin, -kPi, 1e-6);
        EXPECT_EQ(p.limitMode, 1);
    }
    // A data area that wraps past the right edge keeps its columns.
    CViewParams wrap;
    wrap.SetLimitsFromMap(3000, 4000, 0, 1800, w);
    EXPECT_GT(wrap.yawMax, kPi);
    EXPECT_EQ(wrap.limitMode, 2);
    // No width: nothing changes.
    CViewParams none;
    none.SetLimitsFromMap(0, 10, 0, 10, 0);
    EXPECT_FLOAT_EQ(none.yawMin, -kPi);
}

TEST(ViewParams, ViewSizeCapsAndThePartialEdgeCase)
{
    CViewParams full;
    full.SetFov(90 * kDeg, 0.75f);
    EXPECT_FLOAT_EQ(full.pitchClampMin, -1.5607964f);
    EXPECT_FLOAT_EQ(full.pitchClampMax, 1.5607964f);
    EXPECT_NEAR(full.halfVFov, std::atan(0.75f), 1e-6);

    // 40 degrees of data, a 60-degree view: the range is inverted and Clamp
    // takes it as written.
    CViewParams partial;
    partial.SetLimits(-20 * kDeg, 20 * kDeg, -30 * kDeg, 30 * kDeg);
    EXPECT_EQ(partial.limitMode, 2);
    partial.SetFov(60 * kDeg, 0.5f);
    EXPECT_NEAR(partial.yawClampMin, 10 * kDeg, 1e-6);
    EXPECT_NEAR(partial.yawClampMax, -10 * kDeg, 1e-6);
    EXPECT_GT(partial.yawClampMin, partial.yawClampMax);
    partial.yaw = 0;
    partial.Clamp();
    EXPECT_FLOAT_EQ(partial.yaw, partial.yawClampMin);
    partial.yaw = 15 * kDeg;
    partial.Clamp();
    EXPECT_FLOAT_EQ(partial.yaw, partial.yawClampMax);
    // The vertical field is cut to the data's pitch span (less the pull-in).
    CViewParams low;
    low.SetLimits(-kPi, kPi, -10 * kDeg, 10 * kDeg);
    low.SetViewSize(kPi, kPi);
    EXPECT_NEAR(low.halfVFov, (20 - 6) * kDeg / 2, 1e-6);
    EXPECT_NEAR(low.halfHFov, kPi / 2, 1e-6);
    // A negative limit mode switches clamping off.
    low.limitMode = -1;
    low.pitch = 1.0f;
    low.Clamp();
    EXPECT_EQ(low.pitch, 1.0f);
}

Eigen::Matrix3d Orientation(double yaw, double pitch, double roll)
{
    using Eigen::AngleAxisd;
    using Eigen::Vector3d;
    return (AngleAxisd(-roll, Vector3d::UnitX()) * AngleAxisd(-pitch, Vector3d::UnitY()) *
            AngleAxisd(yaw, Vector3d::UnitZ()))
        .toRotationMatrix();
}

TEST(ViewParams, ComposedStepsTurnInTheViewsOwnFrame)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> yawD(-3.1f, 3.1f), pitchD(-1.4f, 1.4f), rollD(-0.4f, 0.4f),
        stepD(-0.2f, 0.2f);
    for (int n = 0; n < 200; ++n) {
        CViewParams p;
        p.clampOn = false;
        p.moveMode = 1;
        p.yaw = yawD(rng), p.pitch = pitchD(rng), p.roll = rollD(rng);
        const float step[2] = {stepD(rng), stepD(rng)};
        const Eigen::Matrix3d expected = Orientation(step[0], step[1], 0) * Orientation(p.yaw, p.pitch, p.roll);
        CViewParams zero = p;
        zero.moveMode = 0;
        zero.roll = 0;
        const Eigen::Matrix3d expectedNoRoll = Orientation(step[0], step[1], 0) * Orientation(p.yaw, p.pitch, 0);
        EXPECT_TRUE(p.Move(step));
        EXPECT_TRUE(Orientation(p.yaw, p.pitch, p.roll).isApprox(expected, 1e-5)) << n;
        EXPECT_TRUE(zero.Move(step));
        // Mode 0 keeps its roll: the view axis is what counts.
        const Eigen::Vector3d axis = expectedNoRoll.transpose() * Eigen::Vector3d::UnitX();
        const Eigen::Vector3d got = Orientation(zero.yaw, zero.pitch, 0).transpose() * Eigen::Vector3d::UnitX();
        EXPECT_TRUE(got.isApprox(axis, 1e-5)) << n;
        EXPECT_EQ(zero.roll, 0.0f);
    }
    // Level: a yaw step adds, and turning past pi continues at -pi.
    for (int mode : {0, 1}) {
        CViewParams p;
        p.moveMode = mode;
        p.SetFov(60 * kDeg, 0.75f);
        p.yaw = 3.1f;
        const float step[2] = {0.1f, 0.0f};
        EXPECT_TRUE(p.Move(step));
        EXPECT_NEAR(p.yaw, 3.2f - 2 * kPi, 1e-5);
        EXPECT_NEAR(p.pitch, 0.0f, 1e-6);
        EXPECT_TRUE(p.Move(nullptr));
        EXPECT_NEAR(p.yaw, 3.2f - 2 * kPi, 1e-5);
        // Looking back, an upward step still looks up, with no roll.
        const float up[2] = {0.0f, -0.3f};
        EXPECT_TRUE(p.Move(up));
        EXPECT_NEAR(p.pitch, -0.3f, 1e-5);
        EXPECT_NEAR(p.yaw, 3.2f - 2 * kPi, 1e-5);
        EXPECT_NEAR(p.roll, 0.0f, 1e-6);
    }
    // Sideways at yaw pi/2 the same.
    CViewParams side;
    side.SetFov(60 * kDeg, 0.75f);
    side.yaw = kPi / 2;
    const float down[2] = {0.0f, 0.25f};
    EXPECT_TRUE(side.Move(down));
    EXPECT_NEAR(side.pitch, 0.25f, 1e-5);
    EXPECT_NEAR(side.yaw, kPi / 2, 1e-5);
}

TEST(ViewParams, FlatModeRefusesSteepStepsAndWrapsYaw)
{
    const float d20 = 0.34906584f;
    const struct {
        float yaw, pitch, stepYaw, stepPitch;
        bool result;
        float wantYaw, wantPitch;
    } cases[] = {
        {0.0f, d20, 0.1f, 0.01f, false, 0.0f, d20},        // upward step at 20 degrees: nothing moves
        {0.0f, -d20, 0.1f, -0.01f, false, 0.0f, -d20},
        {0.0f, d20, 0.1f, -0.05f, true, 0.1f, d20 - 0.05f},
        {0.0f, 0.3f, 0.0f, 0.2f, true, 0.0f, d20},         // held at 20 degrees
        {3.1f, 0.0f, 0.1f, 0.0f, true, 3.2f - 2 * kPi, 0.0f},
        {-3.1f, 0.0f, -0.1f, 0.0f, true, -3.2f + 2 * kPi, 0.0f},
    };
    for (const auto& c : cases) {
        CViewParams p;
        p.moveMode = 2;
        p.SetFov(60 * kDeg, 0.75f);
        p.yaw = c.yaw, p.pitch = c.pitch;
        const float step[2] = {c.stepYaw, c.stepPitch};
        EXPECT_EQ(p.Move(step), c.result);
        EXPECT_NEAR(p.yaw, c.wantYaw, 1e-5);
        EXPECT_NEAR(p.pitch, c.wantPitch, 1e-5);
    }
}

}  // namespace
