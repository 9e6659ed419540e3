// The pair alignment from markers: exact point pairs of a known camera turn
// give back the turn and the focal length; too few pairs or a missing source
// leave the record untouched with an ERROR line.
#include "platform/panocore/pair_marker_align.h"
#include "platform/panocore/pair_fit.h"
#include "platform/xformkit/camera_model.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using xformkit::Mat3;

// Pairs of a camera of focal f1 turned by r into a camera of focal f2,
// images w x h, points on a grid of a's image that land inside b's.
PairMarkerPoints MakePairs(const Mat3& r, double f1, double f2, int w, int h, int wanted)
{
    PairMarkerPoints p;
    p.width1 = p.width2 = w;
    p.height1 = p.height2 = h;
    p.ratio = static_cast<float>(f2 / f1);
    for (int gy = 0; gy < 6 && static_cast<int>(p.first.size()) < wanted; ++gy)
        for (int gx = 0; gx < 8 && static_cast<int>(p.first.size()) < wanted; ++gx) {
            const double x = (gx + 0.5) * w / 8.0, y = (gy + 0.5) * h / 6.0;
            const xformkit::Vec3 ray = xformkit::Apply(r, {(x - w / 2.0) / f1, (y - h / 2.0) / f1, 1.0});
            if (ray.z <= 0) continue;
            const double bx = f2 * ray.x / ray.z + w / 2.0, by = f2 * ray.y / ray.z + h / 2.0;
            if (bx < 0 || bx >= w || by < 0 || by >= h) continue;
            p.first.push_back(POINT2{static_cast<float>(x), static_cast<float>(y)});
            p.second.push_back(POINT2{static_cast<float>(bx), static_cast<float>(by)});
        }
    return p;
}

TEST(PairMarkerAlign, ExactPairsGiveBackTurnAndFocal)
{
    struct Case {
        double a, b, c;  // record angles
        double f1, f2;
    };
    const Case cases[] = {{0.0, 0.35, 0.0, 700, 700}, {0.05, -0.4, -0.03, 650, 650}, {0.02, 0.3, 0.01, 600, 720}};
    for (const Case& k : cases) {
        const Mat3 r = xformkit::PairRotation(k.a, k.b, k.c);
        PairMarkerPoints p = MakePairs(r, k.f1, k.f2, 800, 600, 12);
        ASSERT_GE(p.first.size(), 8u);
        PAIR_WALIGN_RR_PRMS2 record{};
        record.reserved[2] = 7.0f;  // carried along
        ASSERT_EQ(FitPairRecordFromMarkers(p, &record), kPanoramaOk);
        EXPECT_NEAR(1.0 / record.rcpF1, k.f1, 0.002 * k.f1) << k.b;
        EXPECT_NEAR(1.0 / record.rcpF2, k.f2, 0.002 * k.f2) << k.b;
        const Mat3 got = xformkit::PairRotation(record.angA, record.angB, record.angC);
        const Mat3 d = xformkit::Multiply(xformkit::Transpose(got), r);
        EXPECT_LT(std::acos(std::min(1.0, (d.m[0] + d.m[4] + d.m[8] - 1) / 2)), 1e-4) << k.b;
        EXPECT_EQ(record.reserved[2], 7.0f);
    }
}

TEST(PairMarkerAlign, KnownFocalLengthsAreKeptAndThreePairsSuffice)
{
    const Mat3 r = xformkit::PairRotation(0.01, 0.3, -0.02);
    PairMarkerPoints p = MakePairs(r, 700, 700, 800, 600, 3);
    ASSERT_EQ(p.first.size(), 3u);
    // Known focal lengths 1 % off the truth stay as given.
    p.knownRcp1 = p.knownRcp2 = 1.0f / 707.0f;
    PAIR_WALIGN_RR_PRMS2 record{};
    ASSERT_EQ(FitPairRecordFromMarkers(p, &record), kPanoramaOk);
    EXPECT_EQ(record.rcpF1, 1.0f / 707.0f);
    EXPECT_EQ(record.rcpF2, 1.0f / 707.0f);
    EXPECT_NEAR(record.angB, 0.3, 0.01);
}

TEST(PairMarkerAlign, TooFewPairsOrNoSourceLeaveTheRecord)
{
    PairMarkerPoints p = MakePairs(xformkit::PairRotation(0, 0.3, 0), 700, 700, 800, 600, 2);
    PAIR_WALIGN_RR_PRMS2 record{};
    record.angB = 9.0f;
    EXPECT_EQ(FitPairRecordFromMarkers(p, &record), kPanoramaTooFewPoints);
    EXPECT_EQ(record.angB, 9.0f);
    EXPECT_EQ(FitPairRecordFromMarkers(p, nullptr), kPanoramaTooFewPoints);
    PairMarkerSource old = SetPairMarkerSource(nullptr);
    EXPECT_EQ(UpdatePairManualMarkerAlign(nullptr, nullptr, 1.0f), kPanoramaTooFewPoints);
    SetPairMarkerSource(old);
}

}  // namespace
