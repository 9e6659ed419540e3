// The refiners' consistency gate on constructed pairs: matches made exactly
// (or a known distance off) under a transform written out in the test, a fit
// moved a known distance from the start, and the three checks with their
// bounds.
#include "align/warpfit/refine_gate.h"
#include "align/warpfit/tests/warpfit_test_util.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace warptest;

namespace {

constexpr int kW = 640, kH = 480;

// A pair 40 degrees apart with small turns, 60 degrees across image 1.
PAIR_WALIGN_PRMS Start()
{
    PAIR_WALIGN_PRMS p{};
    p.scale = 1.0f;
    p.rot1 = 0.02f;
    p.rot2 = -0.01f;
    p.halfFov1 = 0.5235988f;
    p.halfWidth1 = kW / 2.0f;
    p.offsetAngle = 0.7f;
    return p;
}

// The earlier form as its header documents it: rcpF1 = tan(w7) / w8, rcpF2
// = rcpF1 w4, angles (w5, w9, -w6).
M3 Homography(const PAIR_WALIGN_PRMS& p)
{
    const double r1 = std::tan(double(p.halfFov1)) / p.halfWidth1;
    return PairHomographyRef(r1, r1 * p.scale, p.rot1, p.offsetAngle, -p.rot2);
}

struct Case {
    const char* name;
    double movePx;       // the fit's pan from the start, image-2 pixels
    int pairs;
    int offPairs;        // the last ones, moved off their match
    double offPx;        // by this many image-2 pixels, sideways
    double scale;        // working pixels per image-2 pixel
    bool accepted;
    const char* message;  // of a refusal
};

TEST(CRefineGate, ResidualMoveAndSurvivors)
{
    const Case cases[] = {
        {"exact matches, moved within the range", 20, 20, 0, 0, 1.0, true, nullptr},
        {"moved beyond the range", 40, 20, 0, 0, 1.0, false, "beyond the search range of 31"},
        {"the same move in half-size working pixels", 40, 20, 0, 0, 0.5, true, nullptr},
        {"half the pairs off by 3 pixels", 10, 20, 10, 3, 1.0, true, nullptr},
        {"more than half off", 10, 20, 11, 3, 1.0, false, "only 9 of 20 matched pairs"},
        {"off by 1.4 pixels: within the gate", 10, 20, 20, 1.4, 1.0, true, nullptr},
        {"off by 2 image pixels at half the scale", 10, 20, 20, 2, 0.5, true, nullptr},
        {"off by 1.6 pixels", 10, 20, 20, 1.6, 1.0, false, "only 0 of 20"},
        {"five pairs are too few", 10, 5, 0, 0, 1.0, false, "only 5 of 5"},
        {"six are enough", 10, 6, 0, 0, 1.0, true, nullptr},
    };
    const PAIR_WALIGN_PRMS start = Start();
    const double f = kW / 2.0 / std::tan(double(start.halfFov1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PAIR_WALIGN_PRMS fitted = start;
        fitted.offsetAngle += static_cast<float>(c.movePx / f);
        const M3 h = Homography(fitted);
        std::vector<POINT2> p1, p2;
        for (int i = 0; i < c.pairs; ++i) {
            // Image 1's right half, where it overlaps image 2.
            const POINT2 a{static_cast<float>(60 + 40 * (i % 5)), static_cast<float>(-150 + 60 * (i / 5))};
            POINT2 b = MapH(h, a);
            if (i >= c.pairs - c.offPairs) b.y += static_cast<float>(c.offPx);
            p1.push_back(a);
            p2.push_back(b);
        }
        const CRefineGate gate(start, c.scale, 31, "Test::Gate");
        std::vector<char> within;
        LogCapture log;
        EXPECT_EQ(gate.Accept(fitted, p1.data(), p2.data(), c.pairs, within), c.accepted);
        ASSERT_EQ(static_cast<int>(within.size()), c.pairs);
        for (int i = 0; i < c.pairs; ++i) {
            const bool off = i >= c.pairs - c.offPairs && c.offPx * c.scale > CRefineGate::kResidualGate;
            EXPECT_EQ(within[i] != 0, !off) << i;
        }
        if (c.message) {
            EXPECT_TRUE(log.contains("ERROR Test::Gate")) << log.text();
            EXPECT_TRUE(log.contains(c.message)) << log.text();
        } else {
            EXPECT_EQ(log.errorCount(), 0) << log.text();
        }
    }
}

// Ten matches made exactly under p, along a diagonal of image 1's right half.
void TenExactPairs(const PAIR_WALIGN_PRMS& p, std::vector<POINT2>& p1, std::vector<POINT2>& p2)
{
    const M3 h = Homography(p);
    for (int i = 0; i < 10; ++i) {
        p1.push_back(POINT2{static_cast<float>(100 + 10 * i), static_cast<float>(-100 + 20 * i)});
        p2.push_back(MapH(h, p1.back()));
    }
}

// Pairs that the fit itself left out do not count as survivors.
TEST(CRefineGate, OnlyUsablePairsSurvive)
{
    const PAIR_WALIGN_PRMS start = Start();
    std::vector<POINT2> p1, p2;
    TenExactPairs(start, p1, p2);
    const CRefineGate gate(start, 1.0, 31, "Test::Gate");
    std::vector<char> within, usable(10, 1);
    EXPECT_TRUE(gate.Accept(start, p1.data(), p2.data(), 10, within, &usable));
    for (int i = 0; i < 5; ++i) usable[i] = 0;
    LogCapture log;
    EXPECT_FALSE(gate.Accept(start, p1.data(), p2.data(), 10, within, &usable));
    EXPECT_TRUE(log.contains("only 5 of 10")) << log.text();
}

// A larger share asked for: two pairs of ten off the fit are too many for
// nine tenths, not for half.
TEST(CRefineGate, SurvivorShare)
{
    const PAIR_WALIGN_PRMS start = Start();
    std::vector<POINT2> p1, p2;
    TenExactPairs(start, p1, p2);
    p2[0].x += 3.0f;
    p2[1].x += 3.0f;
    CRefineGate gate(start, 1.0, 31, "Test::Gate");
    std::vector<char> within;
    EXPECT_TRUE(gate.Accept(start, p1.data(), p2.data(), 10, within));
    gate.SetSurvivorShare(0.9);
    LogCapture log;
    EXPECT_FALSE(gate.Accept(start, p1.data(), p2.data(), 10, within));
    EXPECT_TRUE(log.contains("only 8 of 10")) << log.text();
}

// A record that gives no transform is refused, not taken for a fit.
TEST(CRefineGate, UnusableRecordIsRefused)
{
    PAIR_WALIGN_PRMS broken = Start();
    broken.halfWidth1 = 0;
    const POINT2 p{0, 0};
    const CRefineGate gate(Start(), 1.0, 31, "Test::Gate");
    std::vector<char> within;
    LogCapture log;
    EXPECT_FALSE(gate.Accept(broken, &p, &p, 1, within));
    EXPECT_TRUE(log.contains("ERROR Test::Gate: the fitted transform does not map")) << log.text();
}

}  // namespace
