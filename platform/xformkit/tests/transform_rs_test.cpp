// Sphere positions of image points and the polar and self-test mappings of
// the rotation form, against the pair matrix they must agree with.
#include "platform/xformkit/transform_rr.h"
#include "platform/xformkit/transform_rs.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(TransformRS, SpherePositionOfAFrameAtRestAndBack)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coord(-900, 900);
    const POINT2 rest{0, 0};
    for (int i = 0; i < 500; ++i) {
        const float rcp = 1.0f / 1000;
        const POINT2 q{static_cast<float>(coord(rng)), static_cast<float>(coord(rng))};
        POINT2 s, viaWA, back;
        CTransformRS::TransformPtRaS(rcp, &q, &s);
        EXPECT_NEAR(s.x, std::atan(rcp * q.x), 1e-6);
        EXPECT_NEAR(s.y, std::atan(rcp * q.y * std::cos(s.x)), 1e-6);
        ASSERT_TRUE(CTransformRS::TransformPtWA(1, 0, rcp, &rest, &q, &viaWA));
        EXPECT_NEAR(viaWA.x, s.x, 1e-6);
        EXPECT_NEAR(viaWA.y, s.y, 1e-6);
        ASSERT_TRUE(CTransformRS::TransformPtRaS_inv(rcp, &s, &back));
        EXPECT_NEAR(back.x, q.x, 2e-3);
        EXPECT_NEAR(back.y, q.y, 2e-3);
    }
}

TEST(TransformRS, PlacedFramesMapToTheSphereAndBack)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 500; ++i) {
        const POINT2 panTilt{static_cast<float>(3 * u(rng)), static_cast<float>(1.4 * u(rng))};
        const float roll = static_cast<float>(3 * u(rng)), rcp = 1.0f / 700, scale = static_cast<float>(1 + 0.3 * u(rng));
        const POINT2 q{static_cast<float>(600 * u(rng)), static_cast<float>(400 * u(rng))};
        POINT2 s, back;
        ASSERT_TRUE(CTransformRS::TransformPtWA(scale, roll, rcp, &panTilt, &q, &s));
        ASSERT_TRUE(CTransformRS::TransformPtWA_inv(scale, roll, rcp, &panTilt, &s, &back));
        ASSERT_NEAR(back.x, q.x, 5e-3) << i;
        ASSERT_NEAR(back.y, q.y, 5e-3) << i;
    }
    // The centre of a frame looks at (pan, tilt); pan right and tilt down are positive.
    const POINT2 panTilt{0.4f, 0.25f}, centre{0, 0};
    POINT2 s;
    ASSERT_TRUE(CTransformRS::TransformPtWA(1, 0.7f, 0.001f, &panTilt, &centre, &s));
    EXPECT_NEAR(s.x, 0.4, 1e-6);
    EXPECT_NEAR(s.y, 0.25, 1e-6);
    // The opposite direction does not map back into the frame.
    const POINT2 opposite{static_cast<float>(0.4 - kPi), -0.25f};
    POINT2 out{1, 2};
    EXPECT_FALSE(CTransformRS::TransformPtWA_inv(1, 0.7f, 0.001f, &panTilt, &opposite, &out));
    EXPECT_EQ(out.x, 1);
}

// The polar overlap keeps the inverse pair as (rcpF2, pi - c, tan(b) / rcpF2,
// rcpF2 / rcpF1, (pi - a) + (pi - c)) and maps points of the first image into
// the second with it: the result must be the pair matrix's.
TEST(TransformRR, PolarFormMapsAsThePairMatrix)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-1, 1);
    const CTransformRR polar(8000.0f);
    for (int i = 0; i < 500; ++i) {
        PAIR_WALIGN_RR_PRMS2 p{};
        p.rcpF1 = static_cast<float>(1 / (1200 + 800 * u(rng)));
        p.rcpF2 = static_cast<float>(1 / (1200 + 800 * u(rng)));
        p.angA = static_cast<float>(1.2 * u(rng));
        p.angB = static_cast<float>(0.9 * u(rng));
        p.angC = static_cast<float>(1.2 * u(rng));
        const float angC = static_cast<float>(kPi - p.angC), angB = p.angB, angA = static_cast<float>(kPi - p.angA);
        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        const POINT2 q{static_cast<float>(500 * u(rng)), static_cast<float>(500 * u(rng))};
        POINT2 want, got;
        if (!CTransformWA::TransformPtRR2(&q, &want, m)) continue;
        if (std::hypot(want.x, want.y) > 5000) continue;  // near the horizon float resolution runs out
        ASSERT_TRUE(polar.TransformPtPolarRR_inv(p.rcpF2, angC, std::tan(angB) / p.rcpF2, p.rcpF2 / p.rcpF1,
                                                 angA + angC, &q, &got));
        const double tol = 2e-3 * (1 + std::hypot(want.x, want.y) / 1000);
        ASSERT_NEAR(got.x, want.x, tol) << i;
        ASSERT_NEAR(got.y, want.y, tol) << i;
    }
}

TEST(TransformRR, SelfTestMappingUsesOneFocalLengthForBothImages)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = p.rcpF2 = 1.0f / 180;
    p.angA = 0.1f;
    p.angB = 0.2f;
    p.angC = -0.05f;
    float m[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
    for (POINT2 q : {POINT2{0, 0}, POINT2{-90, 40}, POINT2{75, -60}}) {
        POINT2 a, b;
        ASSERT_TRUE(CTransformWA::TransformPtRR2(&q, &a, m));
        ASSERT_TRUE(CTransformRR::TransformPtSphereRR0(p.rcpF1, p.angA, p.angB, p.angC, &q, &b));
        EXPECT_NEAR(a.x, b.x, 1e-3);
        EXPECT_NEAR(a.y, b.y, 1e-3);
    }
    const POINT2 q{1, 2};
    POINT2 out{5, 5};
    EXPECT_FALSE(CTransformRR::TransformPtSphereRR0(0, 0, 0, 0, &q, &out));  // no focal length
    EXPECT_EQ(out.x, 5);
}

}  // namespace
