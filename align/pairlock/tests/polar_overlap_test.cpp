// Coarse overlap images of a pair: the box sizes and placement, the step
// check, and the mapping of overlap points back into the images, checked
// against images whose pixels hold their own positions and against the pair
// rotation written out in the test.
#include "align/pairlock/polar_overlap.h"

#include "align/pairlock/tests/overlap_test_util.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace overlaptest;

namespace {

TEST(CPolarOverlap, FftSizeIsThePowerOfTwoOrThreeQuartersOfIt)
{
    const struct {
        int n, want;
    } cases[] = {{90, 96}, {100, 128}, {1, 1}, {64, 64}, {0, 1}, {-5, 1}, {3, 3}, {5, 6},
                 {7, 8},   {48, 48},  {49, 64}, {97, 128}, {1000, 1024}, {700, 768}};
    for (const auto& c : cases) EXPECT_EQ(CPolarOverlap::FftSize(c.n), c.want) << c.n;
}

TEST(CPolarOverlap, PlaceBoxTable)
{
    const struct {
        int N, M, B, x0, want;
    } cases[] = {
        {100, 128, 60, 20, -14},  // wider than the row: centred on it
        {100, 64, 60, 50, 36},    // content runs to the end: box at the end
        {100, 64, 99, 0, 18},     // content fills the row: centred
        {100, 64, 30, 1, 0},      // content at the start
        {100, 64, 30, 40, 23},    // centred on the content
        {100, 20, 30, 80, 80},    // narrower than content that runs to the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(CPolarOverlap::PlaceBox(c.N, c.M, c.B, c.x0), c.want) << c.N << " " << c.M << " " << c.B << " " << c.x0;
}

// A step below 1 would divide by zero: it is refused with an error line.
TEST(CPolarOverlap, StepBelowOneIsRefused)
{
    Image* img1 = MakeCodedImage(300, 220);
    Image* img2 = MakeCodedImage(300, 220);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 500, 1.0f / 500, 0, 0.1f, 0);
    for (int step : {0, -2}) {
        CPolarOverlap ov(step, 0, 0);
        ov.InitFromPairPrms(&p);
        LogCapture log;
        EXPECT_FALSE(ov.MakeOverlapImgs(img1, img2)) << step;
        EXPECT_TRUE(log.contains("ERROR CPolarOverlap::MakeOverlapImgs")) << log.text();
        EXPECT_EQ(ov.GetImgO1(), nullptr);
        EXPECT_EQ(ov.GetImgO2(), nullptr);
    }
    // Without a transform there is nothing to warp with.
    CPolarOverlap none(2, 0, 0);
    LogCapture log;
    EXPECT_FALSE(none.MakeOverlapImgs(img1, img2));
    EXPECT_GE(log.errorCount(), 1);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// A box under 5000 pixels fails without a message.
TEST(CPolarOverlap, TinyOverlapFailsQuietly)
{
    Image* img1 = MakeCodedImage(60, 50);
    Image* img2 = MakeCodedImage(60, 50);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 100, 1.0f / 100, 0, 0, 0);
    CPolarOverlap ov(1, 0, 0);
    ov.InitFromPairPrms(&p);
    LogCapture log;
    EXPECT_FALSE(ov.MakeOverlapImgs(img1, img2));
    EXPECT_EQ(log.errorCount(), 0) << log.text();
    EXPECT_EQ(ov.GetImgO2(), nullptr);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

struct PolarCase {
    int step, mx, my;
};

class PolarPointsBack : public testing::TestWithParam<PolarCase> {};

// With a rotation about the viewing axis and a pan, the two overlap images
// show the same scene point at the same pixel (to the nearest-neighbour half
// pixel), and every overlap pixel is carried back to the image pixel it
// holds.
TEST_P(PolarPointsBack, OverlapImagesAgreeAndPointsMapBack)
{
    const PolarCase pc = GetParam();
    const int W1 = 300, H1 = 220, W2 = 280, H2 = 240;
    Image* img1 = MakeCodedImage(W1, H1);
    Image* img2 = MakeCodedImage(W2, H2);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 500, 1.0f / 520, 0.3f, 0.12f, -0.1f);
    CPolarOverlap ov(pc.step, pc.mx, pc.my);
    ov.InitFromPairPrms(&p);
    ASSERT_TRUE(ov.MakeOverlapImgs(img1, img2));
    const Image& o1 = *ov.GetImgO1();
    const Image& o2 = *ov.GetImgO2();
    const int WO = o2.GetWidth(), HO = o2.GetHeight();
    ASSERT_EQ(o1.GetWidth(), WO);
    ASSERT_EQ(o1.GetHeight(), HO);
    EXPECT_EQ(CPolarOverlap::FftSize(WO), WO);
    EXPECT_EQ(CPolarOverlap::FftSize(HO), HO);
    EXPECT_GE(WO * HO, 5000);

    std::vector<POINT2> a, b;
    ASSERT_EQ(MapEveryPixelBack(ov, WO, HO, a, b), 1);

    const REGION box = *ov.GetOverlapBox();
    int both = 0, disagree = 0, bad1 = 0, bad2 = 0, badPair = 0, outsideBox = 0, missing = 0;
    for (int y = 0; y < HO; ++y) {
        for (int x = 0; x < WO; ++x) {
            const size_t i = size_t(y) * WO + x;
            int x1, y1, x2, y2;
            const bool has1 = DecodePixel(o1, x, y, x1, y1);
            const bool has2 = DecodePixel(o2, x, y, x2, y2);
            const bool inBox = x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1;
            outsideBox += has1 && !inBox;
            missing += !has1 && inBox;
            if (has1) bad1 += std::fabs(a[i].x - x1) > 1e-3 || std::fabs(a[i].y - y1) > 1e-3;
            if (has2) bad2 += std::fabs(b[i].x - x2) > 0.5 + 1e-3 || std::fabs(b[i].y - y2) > 0.5 + 1e-3;
            POINT2 want;
            if (MapPairPixels(p, W1, H1, W2, H2, a[i], want))
                badPair += std::fabs(want.x - b[i].x) > 0.02 || std::fabs(want.y - b[i].y) > 0.02;
            if (has1 && has2) {
                ++both;
                POINT2 seen;
                ASSERT_TRUE(MapPairPixels(p, W1, H1, W2, H2, POINT2{float(x1), float(y1)}, seen));
                disagree += std::fabs(seen.x - x2) > 0.5 + 1e-3 || std::fabs(seen.y - y2) > 0.5 + 1e-3;
            }
        }
    }
    EXPECT_GT(both, WO * HO / 5);
    EXPECT_EQ(disagree, 0);
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0);
    EXPECT_EQ(badPair, 0);
    EXPECT_EQ(outsideBox, 0);
    EXPECT_EQ(missing, 0);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

INSTANTIATE_TEST_SUITE_P(StepsAndMargins, PolarPointsBack,
                         testing::Values(PolarCase{1, 0, 0}, PolarCase{2, 0, 0}, PolarCase{3, 0, 0},
                                         PolarCase{3, 10, 6}, PolarCase{2, 7, 0}),
                         [](const testing::TestParamInfo<PolarCase>& info) {
                             const PolarCase& c = info.param;
                             return "step_" + std::to_string(c.step) + "_margins_" + std::to_string(c.mx) + "x" +
                                    std::to_string(c.my);
                         });

// The overlap images go through their counts: a holder keeps one past the
// overlap object.
TEST(CPolarOverlap, OverlapImagesAreReleasedThroughTheirCounts)
{
    Image* img1 = MakeCodedImage(300, 220);
    Image* img2 = MakeCodedImage(300, 220);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 500, 1.0f / 500, 0, 0.1f, 0);
    Image* kept = nullptr;
    {
        CPolarOverlap ov(2, 0, 0);
        ov.InitFromPairPrms(&p);
        ASSERT_TRUE(ov.MakeOverlapImgs(img1, img2));
        kept = ov.GetImgO1();
        RefAdd(kept);
    }
    EXPECT_EQ(kept->m_refCount, 1);
    int x, y;
    EXPECT_TRUE(DecodePixel(*kept, kept->GetWidth() / 2, kept->GetHeight() / 2, x, y));
    ReleaseImage(kept);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

}  // namespace
