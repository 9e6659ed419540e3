// CWarpAlign: the estimators on pair sets built from their own models, and
// the correction steps on exact spherical pairs.
#include "align/warpfit/tests/warpfit_test_util.h"
#include "align/warpfit/warp_align.h"
#include "align/warpfit/warp_self_test.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

using namespace warptest;

namespace {

// Marker records of normalised points (centred, in half widths).
struct PairSet {
    std::vector<POINT2M> m1, m2;
    POINT2M* records[2];
    PairSet(const std::vector<POINT2>& p1, const std::vector<POINT2>& p2, float unit)
    {
        for (size_t i = 0; i < p1.size(); ++i) {
            POINT2M a{}, b{};
            a.x = p1[i].x / unit;
            a.y = p1[i].y / unit;
            b.x = p2[i].x / unit;
            b.y = p2[i].y / unit;
            m1.push_back(a);
            m2.push_back(b);
        }
        records[0] = m1.data();
        records[1] = m2.data();
    }
    int n() const { return static_cast<int>(m1.size()); }
};

// Image-1 points (centred pixels) on a w x h image and their partners under
// the pair; only points that land inside image 2 are kept.
void MakeSpherePairs(const M3& h, int w, int hgt, std::vector<POINT2>& p1, std::vector<POINT2>& p2)
{
    for (int j = 0; j < 5; ++j) {
        for (int i = 0; i < 7; ++i) {
            const POINT2 p{static_cast<float>((i / 6.0 - 0.5) * 0.9 * w + 3 * j),
                           static_cast<float>((j / 4.0 - 0.5) * 0.9 * hgt - 2 * i)};
            double x, y;
            if (!MapH(h, p.x, p.y, x, y) || std::fabs(x) > w / 2.0 || std::fabs(y) > hgt / 2.0) continue;
            p1.push_back(p);
            p2.push_back(POINT2{static_cast<float>(x), static_cast<float>(y)});
        }
    }
}

TEST(CWarpAlign, FlagsAndMinimumPairCounts)
{
    struct Case {
        int mag, ap, minimum;
    };
    const Case cases[] = {{1, 1, 4}, {0, 1, 3}, {1, 0, 2}, {0, 0, 2}};
    for (const Case& c : cases) {
        CWarpAlign w(c.mag, c.ap);
        EXPECT_EQ(w.GetMarkerPairMinNum(), c.minimum) << c.mag << c.ap;
        EXPECT_EQ(w.GetPrms()->halfFov1, 0.3303035f);
        EXPECT_EQ(w.GetPrms()->scale, 0.0f);
    }
    CWarpAlign w(1, 1);
    w.SetAperture(60);
    EXPECT_EQ(w.GetPrms()->halfFov1, 0.5235988f);
}

TEST(CWarpAlign, FeedAcceptsExactlyTheMinimum)
{
    std::vector<POINT2> p1 = {{-50, -40}, {60, -30}, {10, 50}, {-20, 10}};
    std::vector<POINT2> p2 = {{-80, -41}, {30, -29}, {-20, 49}, {-50, 11}};
    for (int mag = 0; mag <= 1; ++mag) {
        CWarpAlign w(mag, 1);
        const int minimum = w.GetMarkerPairMinNum();
        PairSet below(std::vector<POINT2>(p1.begin(), p1.begin() + minimum - 1),
                      std::vector<POINT2>(p2.begin(), p2.begin() + minimum - 1), 1.0f);
        EXPECT_EQ(w.InitPtPairData(200, 150, below.records, below.n()), 0);
        EXPECT_EQ(w.GetNumPairs(), 0);
        EXPECT_EQ(w.MainWarpAlign(), 0);
        PairSet exact(std::vector<POINT2>(p1.begin(), p1.begin() + minimum),
                      std::vector<POINT2>(p2.begin(), p2.begin() + minimum), 100.0f);
        EXPECT_EQ(w.InitPtPairData(200, 150, exact.records, exact.n()), 1);
        EXPECT_EQ(w.GetNumPairs(), minimum);
        EXPECT_EQ(w.GetPrms()->halfWidth1, 100.0f);
    }
}

TEST(CWarpAlign, CalcZoomMeasuresTheSpreadAndRefusesCoincidentPoints)
{
    CWarpAlign w(1, 1);
    std::vector<POINT2> a = {{-3, 1}, {2, 5}, {4, -2}, {0, 0}, {1, 1}};
    std::vector<POINT2> b;
    const double c = std::cos(0.3), s = std::sin(0.3);
    for (const POINT2& p : a)
        b.push_back(POINT2{static_cast<float>(1.7 * (c * p.x + s * p.y) + 9), static_cast<float>(1.7 * (-s * p.x + c * p.y) - 4)});
    POINT2* pts[2] = {a.data(), b.data()};
    float zoom = 0;
    ASSERT_EQ(w.CalcZoom(pts, 5, &zoom), 1);
    EXPECT_NEAR(zoom, 1.7, 1e-5);

    std::vector<POINT2> same(5, POINT2{2, 3});
    POINT2* flat[2] = {same.data(), b.data()};
    zoom = 42;
    EXPECT_EQ(w.CalcZoom(flat, 5, &zoom), 0);
    EXPECT_EQ(zoom, 42);
    POINT2* flat2[2] = {a.data(), same.data()};
    EXPECT_EQ(w.CalcZoom(flat2, 5, &zoom), 0);
    EXPECT_EQ(zoom, 42);
}

TEST(CWarpAlign, CalcApertureRecoversThePanSphere)
{
    // Pairs that differ by a pure pan on the sphere of half angle ap: the
    // estimator's own model, solved backwards for image 2.
    for (double ap : {0.35, 0.5235988, 0.7}) {
        const double t = std::tan(ap), pan = 0.2;
        std::vector<POINT2> p1, p2;
        for (int i = 0; i < 9; ++i) {
            const double x1 = -0.2 + 0.13 * i, y1 = (i % 3 - 1) * 0.45 + 0.05 * i;
            const double lon = std::atan(t * x1), lat = std::atan(t * y1 * std::cos(lon));
            const double lon2 = lon - pan;
            p1.push_back(POINT2{static_cast<float>(x1), static_cast<float>(y1)});
            p2.push_back(POINT2{static_cast<float>(std::tan(lon2) / t),
                                static_cast<float>(std::tan(lat) / (t * std::cos(lon2)))});
        }
        CWarpAlign w(1, 1);
        POINT2* pts[2] = {p1.data(), p2.data()};
        float est = 0;
        ASSERT_EQ(w.CalcAperture(pts, 9, &est), 1) << ap;
        EXPECT_NEAR(est, ap, 2e-4) << ap;
    }
}

TEST(CWarpAlign, CalcApertureOnAHorizontalLineGivesThirtyDegrees)
{
    std::vector<POINT2> p1 = {{-0.5f, 0.2f}, {0.0f, 0.2f}, {0.4f, 0.2f}, {0.8f, 0.2f}};
    std::vector<POINT2> p2 = {{-0.9f, 0.2f}, {-0.4f, 0.2f}, {0.0f, 0.2f}, {0.4f, 0.2f}};
    POINT2* pts[2] = {p1.data(), p2.data()};
    CWarpAlign w(1, 1);
    float ap = 0;
    EXPECT_EQ(w.CalcAperture(pts, 4, &ap), 0);
    EXPECT_EQ(ap, 0.5235988f);
}

TEST(CWarpAlign, CalcDRotWSolvesItsLinearModel)
{
    // p2 built so that a y1 - b y2 - c = x2 - x1 and a x1 - b x2 = y1 - y2
    // hold exactly.
    const double a = 0.012, b = -0.02, c = 0.15;
    std::vector<POINT2> p1, p2;
    for (int i = 0; i < 10; ++i) {
        const double x1 = -0.6 + 0.14 * i, y1 = std::sin(1.3 * i) * 0.5;
        // x2 + b y2 = x1 + a y1 - c; -b x2 + y2 = y1 - a x1.
        const double r1 = x1 + a * y1 - c, r2 = y1 - a * x1;
        const double det = 1 + b * b;
        p1.push_back(POINT2{static_cast<float>(x1), static_cast<float>(y1)});
        p2.push_back(POINT2{static_cast<float>((r1 - b * r2) / det), static_cast<float>((r2 + b * r1) / det)});
    }
    POINT2* pts[2] = {p1.data(), p2.data()};
    CWarpAlign w(1, 1);
    float d1 = 0, d2 = 0, off = 0;
    ASSERT_EQ(w.CalcDRotW(pts, 10, &d1, &d2, &off), 1);
    EXPECT_NEAR(d1, a, 1e-5);
    EXPECT_NEAR(d2, b, 1e-5);
    EXPECT_NEAR(off, c, 1e-5);

    // A synthetic turn of the image plane with the pan: the small-angle
    // model gets the difference of the turns and the offset.
    std::vector<POINT2> q2;
    for (const POINT2& p : p1) {
        const double th = 0.01;
        q2.push_back(POINT2{static_cast<float>(std::cos(th) * p.x + std::sin(th) * p.y - 0.1),
                            static_cast<float>(-std::sin(th) * p.x + std::cos(th) * p.y)});
    }
    POINT2* turned[2] = {p1.data(), q2.data()};
    ASSERT_EQ(w.CalcDRotW(turned, 10, &d1, &d2, &off), 1);
    EXPECT_NEAR(d1 - d2, 0.01, 2e-3);

    // All points equal: no solution, outputs unchanged.
    std::vector<POINT2> same(6, POINT2{0.1f, 0.1f});
    POINT2* flat[2] = {same.data(), same.data()};
    d1 = d2 = off = 7;
    EXPECT_EQ(w.CalcDRotW(flat, 6, &d1, &d2, &off), 0);
    EXPECT_EQ(d1, 7);
}

// The correction steps on exact pairs of a camera turning about its centre.
TEST(CWarpAlign, CorrectionStepsRecoverRotationPairs)
{
    struct Case {
        const char* name;
        int mag, ap;
        double r1, r2, a, b, c;
        int w, h;
    };
    const Case cases[] = {
        {"fixed scale", 0, 1, 1 / 700.0, 1 / 700.0, 0.05, 0.3, -0.04, 800, 600},
        {"large turns", 0, 1, 1 / 700.0, 1 / 700.0, 0.6, 0.25, -0.45, 800, 600},
        {"free scale", 1, 1, 1 / 700.0, 1 / 805.0, 0.02, 0.3, 0.03, 800, 600},
        {"fixed aperture", 0, 0, 1 / 1000.0, 1 / 1000.0, -0.03, -0.25, 0.02, 1000, 750},
        {"portrait", 0, 1, 1 / 600.0, 1 / 600.0, 0.01, 0.2, 0.0, 600, 800},
        {"sideways", 0, 1, 1 / 600.0, 1 / 600.0, 1.2, 0.25, -1.0, 800, 600},
        {"upside down", 1, 1, 1 / 600.0, 1 / 560.0, 2.0, 0.2, 1.3, 800, 600},
        {"quarter turn", 0, 1, 1 / 600.0, 1 / 600.0, 0.9, 0.2, 0.6, 800, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const M3 truth = PairHomographyRef(c.r1, c.r2, c.a, c.b, c.c);
        std::vector<POINT2> p1, p2;
        MakeSpherePairs(truth, c.w, c.h, p1, p2);
        ASSERT_GE(p1.size(), 8u);
        PairSet set(p1, p2, c.w / 2.0f);
        CWarpAlign w(c.mag, c.ap);
        if (!c.ap) w.SetAperture(static_cast<float>(2 * std::atan(c.r1 * c.w / 2) * 180 / std::numbers::pi));
        ASSERT_EQ(w.InitPtPairData(c.w, c.h, set.records, set.n()), 1);
        ASSERT_EQ(w.MainWarpAlign(), 1);
        const PAIR_WALIGN_PRMS& s = *w.GetPrms();
        EXPECT_EQ(s.halfWidth1, c.w / 2.0f);
        EXPECT_NEAR(s.halfFov1, std::atan(c.r1 * c.w / 2), 2e-3);
        EXPECT_NEAR(s.scale, c.r2 / c.r1, 2e-3);
        // The closed-form steps are an approximation; the minimisation of
        // CWAlign finishes the job. Here: within a pixel.
        EXPECT_LT(MaxMappingError(s, truth, c.w, c.h, c.w, c.h), 1.0);
    }
}

// The closed-form start already holds the turns of both images (the pan is
// left to the steps): image 1 by a, image 2 by -c.
TEST(CWarpAlign, CalcAlign0StartsNearTheTurns)
{
    struct Case {
        double a, c;
    };
    for (const Case& c : {Case{0.05, -0.04}, Case{0.9, 0.6}, Case{-0.7, 0.5}, Case{1.2, -1.0}}) {
        const M3 truth = PairHomographyRef(1 / 600.0, 1 / 600.0, c.a, 0.2, c.c);
        std::vector<POINT2> p1, p2;
        MakeSpherePairs(truth, 800, 600, p1, p2);
        ASSERT_GE(p1.size(), 8u);
        PairSet set(p1, p2, 400.0f);
        CWarpAlign w(0, 1);
        w.SetAperture(static_cast<float>(2 * std::atan(400.0 / 600) * 180 / std::numbers::pi));
        ASSERT_EQ(w.InitPtPairData(800, 600, set.records, set.n()), 1);
        ASSERT_EQ(w.CalcAlign0(), 1);
        EXPECT_NEAR(std::remainder(w.GetPrms()->rot1 - c.a, 2 * std::numbers::pi), 0, 0.03) << c.a;
        EXPECT_NEAR(std::remainder(w.GetPrms()->rot2 + c.c, 2 * std::numbers::pi), 0, 0.03) << c.c;
    }
}

TEST(CWarpAlign, DegeneratePairSetsFailAndKeepTheRecord)
{
    // All image-1 points in one place: no scale, no direction.
    std::vector<POINT2> p1(6, POINT2{10, 10});
    std::vector<POINT2> p2 = {{-50, -40}, {60, -30}, {10, 50}, {-20, 10}, {5, 5}, {30, -20}};
    PairSet set(p1, p2, 100.0f);
    for (int mag = 0; mag <= 1; ++mag) {
        CWarpAlign w(mag, 1);
        ASSERT_EQ(w.InitPtPairData(200, 200, set.records, set.n()), 1);
        const PAIR_WALIGN_PRMS before = *w.GetPrms();
        LogCapture log;
        EXPECT_EQ(w.MainWarpAlign(), 0) << "mag " << mag;
        EXPECT_EQ(std::memcmp(&before, w.GetPrms(), sizeof before), 0);
        EXPECT_TRUE(log.contains("ERROR CWarpAlign::MainWarpAlign"));
    }
    // A record with scale 0 and the scale free: nothing to invert.
    std::vector<POINT2> q1 = {{-50, -40}, {60, -30}, {10, 50}, {-20, 10}, {35, 5}};
    PairSet good(q1, p2, 100.0f);
    CWarpAlign w(1, 1);
    PAIR_WALIGN_PRMS zero{};
    zero.halfFov1 = 0.5f;
    w.InitWAlignPrms(&zero);
    ASSERT_EQ(w.InitPtPairData(200, 200, good.records, 5), 1);
    LogCapture log;
    EXPECT_EQ(w.MainWarpAlign(), 0);
    EXPECT_EQ(w.GetPrms()->scale, 0.0f);
}

TEST(CWarpAlign, InitWAlignPrmsStartsFromTheGivenRecord)
{
    POINT2 p1[kWAlignTestPairs], p2[kWAlignTestPairs];
    PAIR_WALIGN_RR_PRMS2 truth;
    MakeWAlignTestPairs(p1, p2, &truth);
    PairSet set(std::vector<POINT2>(p1, p1 + kWAlignTestPairs), std::vector<POINT2>(p2, p2 + kWAlignTestPairs), 100.0f);
    const M3 h = PairHomographyRef(truth);
    // A start near the answer, with a different word 8: the record keeps its
    // focal length when the feed sets its own half width.
    PAIR_WALIGN_PRMS start{};
    start.reserved[2] = 7.0f;
    start.scale = 1.0f;
    start.rot1 = 0.03f;
    start.rot2 = 0.05f;
    start.halfWidth1 = 50.0f;
    start.halfFov1 = static_cast<float>(std::atan(truth.rcpF1 * 50.0));
    start.offsetAngle = 0.2f;
    CWarpAlign w(0, 1);
    w.InitWAlignPrms(&start);
    ASSERT_EQ(w.InitPtPairData(200, 200, set.records, set.n()), 1);
    EXPECT_NEAR(w.GetPrms()->halfFov1, std::atan(truth.rcpF1 * 100.0), 1e-6);
    ASSERT_EQ(w.MainWarpAlign(), 1);
    EXPECT_EQ(w.GetPrms()->reserved[2], 7.0f);
    EXPECT_LT(MaxMappingError(*w.GetPrms(), h, 200, 200, 200, 200), 0.5);
    // Copies carry their own pair set.
    CWarpAlign copy = w;
    EXPECT_EQ(copy.MainWarpAlign(), 1);
    EXPECT_EQ(copy.GetNumPairs(), kWAlignTestPairs);
}

}  // namespace
