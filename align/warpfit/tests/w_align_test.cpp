// CWAlign on the twelve-pair synthetic set of the self-test: parameters
// recovered, outliers dropped by the keep rule, the aperture checks, and fits
// running side by side.
#include "align/warpfit/tests/warpfit_test_util.h"
#include "align/warpfit/w_align.h"
#include "align/warpfit/warp_self_test.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

using namespace warptest;

namespace {

constexpr int kN = kWAlignTestPairs;
constexpr int kSize = kWAlignTestImageSize;

// The synthetic set as marker records measured from the image centres, with
// the two 200 x 200 images the feed wants.
struct Fixture {
    POINT2 p1[kN], p2[kN];
    PAIR_WALIGN_RR_PRMS2 truth;
    std::unique_ptr<POINT2M[]> m1, m2;
    POINT2M* records[2];
    Image* img1;
    Image* img2;

    Fixture()
    {
        MakeWAlignTestPairs(p1, p2, &truth);
        Reset();
        img1 = new Image(kSize, kSize, 1);
        img2 = new Image(kSize, kSize, 1);
    }
    ~Fixture()
    {
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
    void Reset()
    {
        m1.reset(CWAlign::convertPOINT2ToM(p1, kN));
        m2.reset(CWAlign::convertPOINT2ToM(p2, kN));
        records[0] = m1.get();
        records[1] = m2.get();
    }
    int Feed(CWAlign& w) { return w.InitPtPairData(img1, img2, records, kN, 1.0f, 1); }
    double Error(const PAIR_WALIGN_PRMS& s) const
    {
        return MaxMappingError(s, PairHomographyRef(truth), kSize, kSize, kSize, kSize);
    }
};

TEST(CWAlign, SelfTestsFeedAndFit)
{
    EXPECT_EQ(TestWAlign(), 1);
    EXPECT_EQ(TestWAlignRR(), 1);
    WAlignSelfTestReport r;
    ASSERT_EQ(RunTestWAlign(&r), 1);
    EXPECT_EQ(r.fit, 1);
    EXPECT_GT(r.meanErrorBefore, 20.0);
    EXPECT_LT(r.meanErrorAfter, 0.01);
    EXPECT_NEAR(r.fitted.rcpF1, r.truth.rcpF1, 1e-3 * r.truth.rcpF1);
    EXPECT_NEAR(r.fitted.angA, r.truth.angA, 1e-4);
    EXPECT_NEAR(r.fitted.angB, r.truth.angB, 1e-4);
    EXPECT_NEAR(r.fitted.angC, r.truth.angC, 1e-4);

    // The direct fit of the nine words gets close, not exact: its gradient
    // is a forward difference of a sum of absolute values, with steps of up
    // to half a degree, which stops the descent about two pixels short.
    WAlignSelfTestReport rr;
    ASSERT_EQ(RunTestWAlignRR(&rr), 1);
    EXPECT_EQ(rr.fit, 1);
    EXPECT_GT(rr.meanErrorBefore, 20.0);
    EXPECT_LT(rr.meanErrorAfter, 0.1 * rr.meanErrorBefore);
    EXPECT_LT(rr.meanErrorAfter, 2.5);
}

TEST(CWAlign, RecoversTheSyntheticSetUnderEveryFlagSet)
{
    struct Case {
        const char* name;
        int mag, ap;
    };
    const Case cases[] = {{"scale and aperture free", 1, 1}, {"aperture free", 0, 1}, {"both fixed", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        CWAlign w(c.mag, c.ap);
        if (!c.ap) w.SetAperture(60.0f);  // the set's true field of view
        ASSERT_EQ(f.Feed(w), 1);
        int kept = -7;
        ASSERT_EQ(w.MainWAlign(&kept), 1);
        EXPECT_EQ(kept, kN);  // nothing dropped, and said so
        const PAIR_WALIGN_PRMS& s = *w.GetPrms();
        EXPECT_LT(f.Error(s), 0.02);
        EXPECT_NEAR(s.scale, 1.0, 1e-4);
        EXPECT_NEAR(s.halfFov1, 0.5235988, 1e-4);
        EXPECT_NEAR(s.rot1, f.truth.angA, 1e-4);
        EXPECT_NEAR(s.rot2, -f.truth.angC, 1e-4);
        EXPECT_NEAR(s.offsetAngle, f.truth.angB, 1e-4);
        // Every pair's distance went into both records, in pixels.
        for (int i = 0; i < kN; ++i) {
            EXPECT_LT(f.m1[i].error1, 0.02);
            EXPECT_EQ(f.m1[i].error1, f.m2[i].error1);
        }
    }
}

TEST(CWAlign, FreeScaleFindsTheSecondFocalLength)
{
    // Image 2 at 1.15 times image 1's reciprocal focal length.
    POINT2 p1[kN], p2[kN];
    PAIR_WALIGN_RR_PRMS2 truth;
    MakeWAlignTestPairs(p1, p2, &truth);
    truth.rcpF2 = truth.rcpF1 * 1.15f;
    const M3 h = PairHomographyRef(truth);
    for (int i = 0; i < kN; ++i) p2[i] = MapH(h, p1[i]);
    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(p1, kN)), m2(CWAlign::convertPOINT2ToM(p2, kN));
    POINT2M* records[2] = {m1.get(), m2.get()};
    Image* img = new Image(kSize, kSize, 1);
    CWAlign w(1, 1);
    ASSERT_EQ(w.InitPtPairData(img, img, records, kN, 1.0f, 1), 1);
    ASSERT_EQ(w.MainWAlign(nullptr), 1);
    EXPECT_NEAR(w.GetPrms()->scale, 1.15, 1e-3);
    EXPECT_LT(MaxMappingError(*w.GetPrms(), h, kSize, kSize, kSize, kSize), 0.02);
    ReleaseImage(img);
}

TEST(CWAlign, KeepRuleDropsInjectedOutliers)
{
    struct Case {
        std::vector<int> bad;
        int kept;
    };
    // Two outliers go; one outlier goes alone (the second largest distance
    // is an inlier's).
    const Case cases[] = {{{3, 8}, kN - 2}, {{5}, kN - 1}};
    for (const Case& c : cases) {
        Fixture f;
        for (int i : c.bad) {
            f.m2[i].x += 9.0f;
            f.m2[i].y -= 6.0f;
        }
        CWAlign w(0, 1);
        ASSERT_EQ(f.Feed(w), 1);
        int kept = -7;
        ASSERT_EQ(w.MainWAlign(&kept), 1);
        EXPECT_EQ(kept, c.kept);
        EXPECT_LT(f.Error(*w.GetPrms()), 0.05);
        for (int i = 0; i < kN; ++i) {
            const bool bad = std::find(c.bad.begin(), c.bad.end(), i) != c.bad.end();
            if (bad) EXPECT_GT(f.m1[i].error1, 8.0) << i;
            else EXPECT_LT(f.m1[i].error1, 0.05) << i;
        }
    }
}

TEST(CWAlign, OnePassWithoutKeptPointer)
{
    // Without the kept pointer one minimisation runs over all pairs: the
    // outliers stay in and pull the fit.
    Fixture f;
    f.m2[3].x += 9.0f;
    f.m2[8].y -= 9.0f;
    CWAlign one(0, 1), three(0, 1);
    ASSERT_EQ(f.Feed(one), 1);
    ASSERT_EQ(one.MainWAlign(nullptr), 1);
    ASSERT_EQ(f.Feed(three), 1);
    int kept = 0;
    ASSERT_EQ(three.MainWAlign(&kept), 1);
    EXPECT_EQ(kept, kN - 2);
    EXPECT_GT(f.Error(*one.GetPrms()), f.Error(*three.GetPrms()));
}

TEST(CWAlign, MinimisedApertureOutsideThreeToEightyDegreesFails)
{
    // A fixed aperture skips the 10-100 mm check; the minimised half angle
    // still has to lie in 3-80 degrees.
    for (float fullDeg : {170.0f, 4.0f}) {
        Fixture f;
        CWAlign w(0, 0);
        w.SetAperture(fullDeg);
        ASSERT_EQ(f.Feed(w), 1);
        LogCapture log;
        int kept = -7;
        EXPECT_EQ(w.MainWAlign(&kept), 0) << fullDeg;
        EXPECT_EQ(kept, kN);  // written even on failure
        EXPECT_TRUE(log.contains("FAIL CWAlign::MainWAlign: after frprmn: newApertureDeg=")) << log.text();
    }
}

TEST(CWAlign, CheckApertureRangeIsTenToHundredMillimetres)
{
    // 35 mm frame: 24 mm short side; a 4:3 landscape image spans 32 mm.
    auto halfAngle = [](double focal, double across) { return std::atan(across / 2 / focal); };
    struct Case {
        int w, h;
        double focal;
        bool ok;
    };
    const Case cases[] = {{200, 150, 9.5, false}, {200, 150, 10.5, true}, {200, 150, 99.0, true},
                          {200, 150, 101.0, false}, {150, 200, 9.5, false}, {150, 200, 11.0, true},
                          {150, 200, 101.0, false}};
    for (const Case& c : cases) {
        CWAlign w(0, 1);
        std::vector<POINT2M> m(4, POINT2M{});
        for (int i = 0; i < 4; ++i) m[i].x = static_cast<float>(i);
        POINT2M* records[2] = {m.data(), m.data()};
        ASSERT_EQ(w.InitPtPairData(c.w, c.h, records, 4), 1);
        const double across = c.h < c.w ? 32.0 : 24.0;
        EXPECT_EQ(w.CheckApertureRange(static_cast<float>(halfAngle(c.focal, across))), c.ok)
            << c.w << "x" << c.h << " " << c.focal << " mm";
    }
}

TEST(CWAlign, TooFewPairsOrNothingFedFails)
{
    Fixture f;
    CWAlign w(1, 1);
    EXPECT_EQ(w.InitPtPairData(f.img1, f.img2, f.records, 3, 1.0f, 1), 0);
    int kept = -7;
    LogCapture log;
    EXPECT_EQ(w.MainWAlign(&kept), 0);
    EXPECT_EQ(kept, 0);
    EXPECT_TRUE(log.contains("ERROR CWAlign::MainWAlign"));
}

TEST(CWAlign, FitsRunSideBySide)
{
    // The pair set travels with each fit: fits on different threads give
    // exactly the sequential results.
    auto run = [](int k) {
        Fixture f;
        f.m2[k].x += 7.0f;
        CWAlign w(k % 2, 1);
        f.Feed(w);
        int kept = 0;
        w.MainWAlign(&kept);
        return std::array<float, 7>{w.GetPrms()->scale, w.GetPrms()->rot1, w.GetPrms()->rot2,
                                    w.GetPrms()->halfFov1, w.GetPrms()->offsetAngle, f.m1[k].error1,
                                    static_cast<float>(kept)};
    };
    std::array<std::array<float, 7>, 4> sequential, concurrent;
    for (int k = 0; k < 4; ++k) sequential[k] = run(k);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k) threads.emplace_back([&, k] { concurrent[k] = run(k); });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(concurrent[k], sequential[k]) << "fit " << k;
}

TEST(CWAlign, MarkerConversions)
{
    const POINT2 p[3] = {{1.5f, -2}, {0, 0}, {1e6f, 3}};
    std::unique_ptr<POINT2M[]> m(CWAlign::convertPOINT2ToM(p, 3));
    ASSERT_TRUE(m);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m[i].x, p[i].x);
        EXPECT_EQ(m[i].y, p[i].y);
        EXPECT_EQ(m[i].error1, 0.0f);
        EXPECT_EQ(m[i].error2, 0.0f);
        EXPECT_EQ(m[i].word3, 0);
        EXPECT_EQ(m[i].word5, 0);
        EXPECT_EQ(m[i].word6, 0);
    }
    std::unique_ptr<POINT2[]> back(CWAlign::convertPOINT2MTo2(m.get(), 3));
    ASSERT_TRUE(back);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(back[i].x, p[i].x);
    EXPECT_EQ(CWAlign::convertPOINT2ToM(p, 0), nullptr);
    EXPECT_EQ(CWAlign::convertPOINT2MTo2(m.get(), -1), nullptr);
    EXPECT_EQ(CWAlign::convertPOINT2ToM(nullptr, 3), nullptr);
}

}  // namespace
