// Sphere overlap images of a pair: the map resolution rule and its input
// checks, release of earlier maps, and the round trip of points through the
// sphere, checked against ramp images (a bilinear sample reads back where it
// was taken) and the pair rotation written out in the test.
#include "align/pairlock/overlap_ss.h"

#include "align/pairlock/tests/overlap_test_util.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

using namespace overlaptest;

namespace {

// The equator samples are zoom 2 pi f1, rounded down to a multiple of 4.
TEST(COverlapSS, SamplesFollowTheFocalLengthAndZoom)
{
    Image* img1 = MakeRampImage(200, 150);
    Image* img2 = MakeRampImage(200, 150);
    const struct {
        float rcp1, zoom;
        int want;
    } cases[] = {
        {0.001f, 1.0f, 6280},          // trunc(6283.18) -> 6280
        {0.001f, 0.5f, 3140},          // trunc(3141.59) -> 3140
        {1.0f / 640, 0.3f, 1204},      // trunc(1206.37) -> 1204
        {1.0f / 6000, 1.0f, 37696},    // past 32767: kept whole
    };
    for (const auto& c : cases) {
        PAIR_WALIGN_RR_PRMS2 p = PairPrms(c.rcp1, c.rcp1, 0, 0.05f, 0);
        COverlapSS ov;
        ASSERT_TRUE(ov.MainOverlapSS(img1, img2, &p, c.zoom, 30, 20, false)) << c.rcp1;
        EXPECT_EQ(ov.GetSamples(), c.want) << c.rcp1 << " " << c.zoom;
        EXPECT_EQ(ov.GetSamples() % 4, 0);
        // The overlap images are the whole of image 1's box.
        const REGION& box = *ov.GetOverlapBox();
        EXPECT_EQ(box.width, ov.GetImgO1()->GetWidth());
        EXPECT_EQ(box.height, ov.GetImgO1()->GetHeight());
        EXPECT_EQ(ov.GetImgO2()->GetWidth(), box.width);
    }
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// A focal length that is zero, negative or not finite, or one that asks for
// a sphere past what the maps and memory hold, is refused with an error line
// before anything is allocated.
TEST(COverlapSS, UnusableFocalLengthsAreRefused)
{
    Image* img1 = MakeRampImage(200, 150);
    Image* img2 = MakeRampImage(200, 150);
    const struct {
        const char* what;
        float rcp1, rcp2, zoom;
    } cases[] = {
        {"zero 1/f1", 0.0f, 0.002f, 1},
        {"negative 1/f1", -0.002f, 0.002f, 1},
        {"NaN 1/f1", NAN, 0.002f, 1},
        {"infinite 1/f1", INFINITY, 0.002f, 1},
        {"zero 1/f2", 0.002f, 0.0f, 1},
        {"zero zoom", 0.002f, 0.002f, 0},
        {"sphere past the maps' width", 1e-9f, 1e-9f, 1},
        {"image 2 blown up on the sphere", 1e-5f, 1e-2f, 1},
        {"sphere of under 4 samples", 10.0f, 10.0f, 1},
    };
    for (const auto& c : cases) {
        PAIR_WALIGN_RR_PRMS2 p = PairPrms(c.rcp1, c.rcp2, 0, 0.05f, 0);
        COverlapSS ov;
        LogCapture log;
        EXPECT_FALSE(ov.MainOverlapSS(img1, img2, &p, c.zoom, 30, 20, false)) << c.what;
        EXPECT_TRUE(log.contains("ERROR COverlapSS::MainOverlapSS")) << c.what << ": " << log.text();
        EXPECT_EQ(ov.GetImgO1(), nullptr) << c.what;
    }
    COverlapSS ov;
    LogCapture log;
    EXPECT_FALSE(ov.MainOverlapSS(nullptr, img2, nullptr, 1, 30, 20, false));
    EXPECT_GE(log.errorCount(), 1);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// A second run drops the first run's maps and images; a holder of an overlap
// image keeps it readable past both the new run and the overlap object.
TEST(COverlapSS, RerunReleasesTheEarlierMapsAndImages)
{
    Image* img1 = MakeRampImage(200, 150);
    Image* img2 = MakeRampImage(200, 150);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 300, 1.0f / 300, 0, 0.1f, 0);
    Image* first = nullptr;
    std::vector<uint8_t> before;
    {
        COverlapSS ov;
        ASSERT_TRUE(ov.MainOverlapSS(img1, img2, &p, 1.0f, 30, 20, false));
        first = ov.GetImgO1();
        RefAdd(first);
        before.assign(first->GetData(), first->GetData() + first->GetDataSize());
        ASSERT_TRUE(ov.MainOverlapSS(img1, img2, &p, 0.5f, 20, 13, false));
        EXPECT_NE(ov.GetImgO1(), first);
        EXPECT_EQ(first->m_refCount, 1);  // only ours is left
        EXPECT_LT(ov.GetImgO1()->GetWidth(), first->GetWidth());
    }
    // The samples stay those of the first run.
    EXPECT_TRUE(std::equal(before.begin(), before.end(), first->GetData()));
    ReleaseImage(first);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

struct SphereCase {
    const char* what;
    int W1, H1, W2, H2;
    float f1, f2, a, b, c, zoom;
};

class SphereRoundTrip : public testing::TestWithParam<SphereCase> {};

// Every overlap pixel with data maps back to where its image was sampled (a
// ramp pixel holds its position to half a grey level); the two points of an
// overlap pixel are one scene point under the true pair rotation; image 2's
// outline encloses its data.
TEST_P(SphereRoundTrip, OverlapPixelsMapBackToWhereTheyWereSampled)
{
    const SphereCase sc = GetParam();
    Image* img1 = MakeRampImage(sc.W1, sc.H1);
    Image* img2 = MakeRampImage(sc.W2, sc.H2);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / sc.f1, 1.0f / sc.f2, sc.a, sc.b, sc.c);
    COverlapSS ov;
    ASSERT_TRUE(ov.MainOverlapSS(img1, img2, &p, sc.zoom, 30, 20, false));
    const Image& o1 = *ov.GetImgO1();
    const Image& o2 = *ov.GetImgO2();
    const int WO = o1.GetWidth(), HO = o1.GetHeight();
    std::vector<POINT2> a, b;
    ASSERT_EQ(MapEveryPixelBack(ov, WO, HO, a, b), 1);

    // Half a grey level, plus the ramp's clamp at the image's last row and
    // column, where the bilinear sample leans on the pixel before.
    const double tol = 0.5 + 0.02;
    int n1 = 0, n2 = 0, bad1 = 0, bad2 = 0, badPair = 0, offOutline = 0;
    double worst1 = 0, worst2 = 0;
    const gpc_polygon& poly = *ov.GetPolygon();
    for (int y = 0; y < HO; ++y) {
        for (int x = 0; x < WO; ++x) {
            const size_t i = size_t(y) * WO + x;
            double px, py;
            if (DecodeRamp(o1, x, y, px, py) && a[i].x <= sc.W1 - 1 && a[i].y <= sc.H1 - 1) {
                ++n1;
                const double e = std::max(std::fabs(a[i].x - px), std::fabs(a[i].y - py));
                worst1 = std::max(worst1, e);
                bad1 += e > tol;
            }
            if (DecodeRamp(o2, x, y, px, py)) {
                offOutline += !InsideFirstContour(poly, x, y) && DistanceToFirstContour(poly, x, y) > 0.75;
                if (b[i].x <= sc.W2 - 1 && b[i].y <= sc.H2 - 1) {
                    ++n2;
                    const double e = std::max(std::fabs(b[i].x - px), std::fabs(b[i].y - py));
                    worst2 = std::max(worst2, e);
                    bad2 += e > tol;
                }
            }
            POINT2 want;
            if (a[i].x >= 0 && a[i].x < sc.W1 && a[i].y >= 0 && a[i].y < sc.H1 &&
                MapPairPixels(p, sc.W1, sc.H1, sc.W2, sc.H2, a[i], want))
                badPair += std::fabs(want.x - b[i].x) > 0.02 || std::fabs(want.y - b[i].y) > 0.02;
        }
    }
    EXPECT_GT(n1, WO * HO / 2);
    EXPECT_GT(n2, WO * HO / 10);
    EXPECT_EQ(bad1, 0) << "worst " << worst1;
    EXPECT_EQ(bad2, 0) << "worst " << worst2;
    EXPECT_EQ(badPair, 0);
    EXPECT_EQ(offOutline, 0);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SphereRoundTrip,
    testing::Values(SphereCase{"pan", 240, 180, 240, 180, 300, 300, 0, 0.3f, 0, 1.0f},
                    SphereCase{"rolled and tilted", 240, 180, 220, 200, 280, 320, 0.25f, 0.35f, -0.2f, 1.0f},
                    SphereCase{"zoomed out", 240, 180, 240, 180, 300, 300, 0.1f, 0.25f, 0.05f, 0.45f},
                    // f1 of 6000 pixels: 37696 equator samples, past what a
                    // 16-bit count holds.
                    SphereCase{"long focal length", 200, 160, 200, 160, 6000, 6000, 0.05f, 0.012f, 0, 1.0f}),
    [](const testing::TestParamInfo<SphereCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

}  // namespace
