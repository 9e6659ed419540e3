// Consistency laws of the pair-transform algebra over random parameters,
// checked against rays rotated by Eigen (an independent rotation library)
// and against the warp fit's own sphere model.
#include "platform/xformkit/transform_2d.h"
#include "platform/xformkit/transform_rs.h"
#include "platform/xformkit/transform_wa.h"

#include "core/logger.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct RandomPairs {
    std::mt19937 rng{12345};
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

    // Focal lengths 300 to 3000 pixels, rotations about the axes within
    // +-1.3 rad, pans within +-1.0 rad: the range pair alignment works in.
    PAIR_WALIGN_RR_PRMS2 pair()
    {
        PAIR_WALIGN_RR_PRMS2 p{};
        p.rcpF1 = static_cast<float>(1.0 / uniform(300, 3000));
        p.rcpF2 = static_cast<float>(1.0 / uniform(300, 3000));
        p.angA = static_cast<float>(uniform(-1.3, 1.3));
        p.angB = static_cast<float>(uniform(-1.0, 1.0));
        p.angC = static_cast<float>(uniform(-1.3, 1.3));
        return p;
    }
    POINT2 point(double half) { return {static_cast<float>(uniform(-half, half)), static_cast<float>(uniform(-half, half))}; }
};

// The pair model written out with Eigen: rotate the first image's ray by
// Az(c) Ay(b) Az(a), where Az turns the image plane clockwise on screen by
// the angle and Ay pans the view to the right.
Eigen::Matrix3d EigenPairRotation(const PAIR_WALIGN_RR_PRMS2& p)
{
    using Eigen::AngleAxisd;
    using Eigen::Vector3d;
    return (AngleAxisd(-p.angC, Vector3d::UnitZ()) * AngleAxisd(-p.angB, Vector3d::UnitY()) *
            AngleAxisd(-p.angA, Vector3d::UnitZ()))
        .toRotationMatrix();
}

bool RayMap(const PAIR_WALIGN_RR_PRMS2& p, const POINT2& in, double& x, double& y)
{
    const Eigen::Vector3d ray = EigenPairRotation(p) * Eigen::Vector3d(p.rcpF1 * in.x, p.rcpF1 * in.y, 1.0);
    if (ray.z() <= 1e-6) return false;
    x = ray.x() / ray.z() / p.rcpF2;
    y = ray.y() / ray.z() / p.rcpF2;
    return true;
}

TEST(TransformWA, InvertingTwiceGivesTheRecordBack)
{
    RandomPairs r;
    for (int i = 0; i < 1000; ++i) {
        PAIR_WALIGN_RR_PRMS2 p = r.pair();
        p.reserved[0] = 1.5f;  // copied along with the rest
        p.reserved[3] = -7.0f;
        PAIR_WALIGN_RR_PRMS2 inv, back;
        CTransformWA::InvertAlignPrmsRR2(&p, &inv);
        CTransformWA::InvertAlignPrmsRR2(&inv, &back);
        ASSERT_EQ(0, std::memcmp(&p, &back, sizeof p)) << i;
        // In place gives the same as into another record.
        PAIR_WALIGN_RR_PRMS2 same = p;
        CTransformWA::InvertAlignPrmsRR2(&same, &same);
        ASSERT_EQ(0, std::memcmp(&same, &inv, sizeof p)) << i;
    }
}

TEST(TransformWA, MatrixOfThePairMapsPointsAsTheRotatedRaysDo)
{
    RandomPairs r;
    int compared = 0;
    for (int i = 0; i < 2000; ++i) {
        const PAIR_WALIGN_RR_PRMS2 p = r.pair();
        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        const POINT2 in = r.point(800);
        double ex, ey;
        POINT2 out{};
        const bool mapped = CTransformWA::TransformPtRR2(&in, &out, m);
        if (!RayMap(p, in, ex, ey)) continue;
        ASSERT_TRUE(mapped) << i;
        const double scale = 1.0 + std::hypot(ex, ey);
        ASSERT_NEAR(out.x, ex, 2e-5 * scale) << i;
        ASSERT_NEAR(out.y, ey, 2e-5 * scale) << i;
        ++compared;
    }
    EXPECT_GT(compared, 1500);
}

TEST(TransformWA, InverseRecordMapsPointsBack)
{
    RandomPairs r;
    for (int i = 0; i < 1000; ++i) {
        const PAIR_WALIGN_RR_PRMS2 p = r.pair();
        PAIR_WALIGN_RR_PRMS2 inv;
        CTransformWA::InvertAlignPrmsRR2(&p, &inv);
        float m[9], mi[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&inv, nullptr, nullptr, mi));
        const POINT2 in = r.point(500);
        POINT2 mid, back;
        if (!CTransformWA::TransformPtRR2(&in, &mid, m)) continue;
        if (std::hypot(mid.x, mid.y) > 5000) continue;  // near the horizon float resolution runs out
        ASSERT_TRUE(CTransformWA::TransformPtRR2(&mid, &back, mi)) << i;
        ASSERT_NEAR(back.x, in.x, 2e-3) << i;
        ASSERT_NEAR(back.y, in.y, 2e-3) << i;
    }
}

TEST(TransformWA, CentresShiftInputAndOutput)
{
    RandomPairs r;
    const PAIR_WALIGN_RR_PRMS2 p = r.pair();
    const POINT2 c1{320, 240}, c2{512, 384};
    float m[9], mc[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, &c1, &c2, mc));
    for (int i = 0; i < 50; ++i) {
        const POINT2 in = r.point(300);
        const POINT2 abs{in.x + c1.x, in.y + c1.y};
        POINT2 a, b;
        if (!CTransformWA::TransformPtRR2(&in, &a, m)) continue;
        ASSERT_TRUE(CTransformWA::TransformPtRR2(&abs, &b, mc));
        EXPECT_NEAR(b.x, a.x + c2.x, 1e-2);
        EXPECT_NEAR(b.y, a.y + c2.y, 1e-2);
    }
}

TEST(TransformWA, PointsBehindTheSecondImageDoNotMap)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = p.rcpF2 = 0.001f;
    p.angB = 1.2f;  // pan of about 69 degrees
    float m[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
    // A point 40 degrees further left than the centre lies more than 90
    // degrees from the second image's axis.
    const POINT2 behind{-1000.0f * static_cast<float>(std::tan(0.7)), 0};
    POINT2 out{123, 456};
    EXPECT_FALSE(CTransformWA::TransformPtRR2(&behind, &out, m));
    EXPECT_EQ(out.x, 123);
    EXPECT_EQ(out.y, 456);
}

TEST(TransformWA, InvalidFocalLengthIsAnErrorAndLeavesTheMatrix)
{
    for (float bad : {0.0f, -0.001f, std::nanf(""), INFINITY}) {
        PAIR_WALIGN_RR_PRMS2 p{};
        p.rcpF1 = 0.001f;
        p.rcpF2 = bad;
        float m[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
        LogCapture log;
        EXPECT_FALSE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        EXPECT_TRUE(log.contains("ERROR CTransformWA::PairAlignPrmsRR2toM"));
        for (float v : m) EXPECT_EQ(v, 9);
    }
}

// The warp fit's model of the earlier form: image 1's points turned by word
// 5, image 2's turned by word 6 and scaled by word 4, both put on the sphere
// with rcpF = tan(word 7) / word 8, land word 9 apart in longitude.
TEST(TransformWA, EarlierFormRoundTripsAndMeansWhatTheWarpFitAssumes)
{
    RandomPairs r;
    for (int i = 0; i < 500; ++i) {
        PAIR_WALIGN_PRMS s{};
        s.reserved[1] = 2.0f;
        s.scale = static_cast<float>(r.uniform(0.7, 1.4));
        s.rot1 = static_cast<float>(r.uniform(-1.3, 1.3));
        s.rot2 = static_cast<float>(r.uniform(-1.3, 1.3));
        s.halfFov1 = static_cast<float>(r.uniform(0.2, 0.9));
        s.halfWidth1 = static_cast<float>(r.uniform(100, 1500));
        s.offsetAngle = static_cast<float>(r.uniform(-0.8, 0.8));

        PAIR_WALIGN_RR_PRMS2 rr;
        ASSERT_TRUE(CTransformWA::PairAlignPrmsStoRR2(&s, &rr));
        PAIR_WALIGN_PRMS back{};
        back.halfWidth1 = s.halfWidth1;  // the caller sets word 8 first
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toS(&rr, &back));
        EXPECT_FLOAT_EQ(back.reserved[1], 2.0f);
        EXPECT_NEAR(back.scale, s.scale, 1e-5);
        EXPECT_NEAR(back.rot1, s.rot1, 1e-6);
        EXPECT_NEAR(back.rot2, s.rot2, 1e-6);
        EXPECT_NEAR(back.halfFov1, s.halfFov1, 1e-5);
        EXPECT_EQ(back.halfWidth1, s.halfWidth1);
        EXPECT_NEAR(back.offsetAngle, s.offsetAngle, 1e-6);

        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&rr, nullptr, nullptr, m));
        const POINT2 q1 = r.point(s.halfWidth1 * 0.8);
        POINT2 q2;
        if (!CTransformWA::TransformPtRR2(&q1, &q2, m)) continue;
        const float rcp = static_cast<float>(std::tan(double(s.halfFov1)) / s.halfWidth1);
        float rot[4];
        POINT2 a, b, sa, sb;
        CTransform2D::CalcMatrixRot2D(s.rot1, rot);
        CTransform2D::MatrixPt2D(rot, &q1, &a);
        CTransform2D::CalcMatrixRot2D(s.rot2, rot);
        CTransform2D::MatrixPt2D(rot, &q2, &b);
        b.x *= s.scale;
        b.y *= s.scale;
        CTransformRS::TransformPtRaS(rcp, &a, &sa);
        CTransformRS::TransformPtRaS(rcp, &b, &sb);
        ASSERT_NEAR(sb.x - sa.x + s.offsetAngle, 0.0, 2e-5) << i;
        ASSERT_NEAR(sb.y - sa.y, 0.0, 2e-5) << i;
    }
}

TEST(TransformWA, EarlierFormRejectsRecordsWithoutAScale)
{
    PAIR_WALIGN_PRMS s{};
    s.scale = 1;
    s.halfFov1 = 0.5f;
    s.halfWidth1 = 0;  // word 8 not set
    PAIR_WALIGN_RR_PRMS2 r{};
    r.rcpF1 = 42;
    LogCapture log;
    EXPECT_FALSE(CTransformWA::PairAlignPrmsStoRR2(&s, &r));
    EXPECT_EQ(r.rcpF1, 42);
    EXPECT_TRUE(log.contains("ERROR CTransformWA::PairAlignPrmsStoRR2"));

    PAIR_WALIGN_RR_PRMS2 good{};
    good.rcpF1 = good.rcpF2 = 0.001f;
    PAIR_WALIGN_PRMS out{};
    out.scale = 5;
    EXPECT_FALSE(CTransformWA::PairAlignPrmsRR2toS(&good, &out));
    EXPECT_EQ(out.scale, 5);
}

// Matched points of a pair land on the same place of the sphere when the
// second frame is placed from the first and the pair transform.
TEST(TransformWA, SecondPlacementAgreesWithThePairOnTheSphere)
{
    RandomPairs r;
    for (int i = 0; i < 500; ++i) {
        const PAIR_WALIGN_RR_PRMS2 p = r.pair();
        TRANSFORM_RS first{}, second{};
        first.rcpFocal = p.rcpF1;
        first.scale = 1;
        if (i % 2) {  // half of the cases with the first frame placed anywhere
            first.pan = static_cast<float>(r.uniform(-3, 3));
            first.tilt = static_cast<float>(r.uniform(-1.2, 1.2));
            first.roll = static_cast<float>(r.uniform(-3, 3));
        }
        second.centreX = 17;  // kept
        ASSERT_TRUE(CTransformWA::PairPrmsGlobalImg1To_2(&p, &first, &second));
        EXPECT_EQ(second.centreX, 17);
        EXPECT_EQ(second.rcpFocal, p.rcpF2);

        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m));
        const POINT2 q1 = r.point(400);
        POINT2 q2;
        if (!CTransformWA::TransformPtRR2(&q1, &q2, m)) continue;
        const POINT2 pt1{first.pan, first.tilt}, pt2{second.pan, second.tilt};
        POINT2 s1, s2;
        ASSERT_TRUE(CTransformRS::TransformPtWA(1, first.roll, first.rcpFocal, &pt1, &q1, &s1));
        ASSERT_TRUE(CTransformRS::TransformPtWA(1, second.roll, second.rcpFocal, &pt2, &q2, &s2));
        ASSERT_NEAR(std::remainder(double(s1.x) - s2.x, 2 * kPi), 0.0, 3e-5) << i;
        ASSERT_NEAR(s1.y, s2.y, 3e-5) << i;
        if (i % 2 == 0) {
            // The first frame at rest: its sphere position is the warp fit's.
            POINT2 ras;
            CTransformRS::TransformPtRaS(p.rcpF1, &q1, &ras);
            ASSERT_NEAR(ras.x, s1.x, 1e-6);
            ASSERT_NEAR(ras.y, s1.y, 1e-6);
        }

        // And the pair between the two placements is the pair again.
        PAIR_WALIGN_RR_PRMS2 back;
        ASSERT_TRUE(CTransformWA::GlobalToPairPrms12(&first, &second, &back));
        EXPECT_NEAR(back.rcpF1, p.rcpF1, 1e-9);
        EXPECT_NEAR(back.angB, p.angB, 2e-4) << i;
        if (std::fabs(std::sin(p.angB)) > 0.05) {
            EXPECT_NEAR(back.angA, p.angA, 2e-4) << i;
            EXPECT_NEAR(back.angC, p.angC, 2e-4) << i;
        } else {  // looking nearly along one axis only the sum is well defined
            EXPECT_NEAR(back.angA + back.angC, p.angA + p.angC, 2e-3) << i;
        }
    }
}

TEST(TransformWA, FirstPlacementTakesTheFirstFocalLength)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = 0.002f;
    p.rcpF2 = 0.003f;
    TRANSFORM_RS first{};
    first.tilt = 1;
    first.roll = 1;
    const POINT2 c{10, 20};
    ASSERT_TRUE(CTransformWA::PairPrmsToGlobalImg_1(&p, &c, 0.5f, &first));
    EXPECT_EQ(first.rcpFocal, 0.002f);
    EXPECT_EQ(first.pan, 0.5f);
    EXPECT_EQ(first.tilt, 0);
    EXPECT_EQ(first.roll, 0);
    EXPECT_EQ(first.centreX, 10);
    EXPECT_EQ(first.centreY, 20);
}

}  // namespace
