// Plane overlap images of a pair: what lands in each overlap image, and the
// mapping of overlap points back into the two images, checked pixel by pixel
// against images whose pixels hold their own positions and against the pair
// rotation written out in the test.
#include "align/pairlock/overlap_rr.h"

#include "align/pairlock/tests/overlap_test_util.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace overlaptest;

namespace {

const uint8_t* Px(const Image& img, int x, int y)
{
    return img.GetData() + size_t(y) * img.GetRowByte() + size_t(x) * img.GetChannels();
}

bool IsZero(const Image& img, int x, int y)
{
    const uint8_t* p = Px(img, x, y);
    for (int c = 0; c < img.GetChannels(); ++c)
        if (p[c] != 0) return false;
    return true;
}

struct Margins {
    int mx, my;
};

class IdentityOverlap : public testing::TestWithParam<Margins> {};

// With no rotation and equal focal lengths, overlap image 2 is image 2 inside
// its outline (the margins stay empty) and overlap image 1 the same region
// of image 1.
TEST_P(IdentityOverlap, CopiesBothImagesInsideTheOutline)
{
    const Margins m = GetParam();
    const int W = 160, H = 120;
    Image* img1 = testkit::MakePatternImage(W, H, 3, 0, 1);
    Image* img2 = testkit::MakePatternImage(W, H, 3, 0, 2);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 300, 1.0f / 300, 0, 0, 0);
    COverlapRR ov;
    ASSERT_TRUE(ov.MainOverlapRR(img1, img2, &p, 1.0f, 1.0f, m.mx, m.my, false));
    const Image& o1 = *ov.GetImgO1();
    const Image& o2 = *ov.GetImgO2();
    ASSERT_EQ(o2.GetWidth(), W + 2 * m.mx);
    ASSERT_EQ(o2.GetHeight(), H + 2 * m.my);
    ASSERT_EQ(o1.GetWidth(), o2.GetWidth());
    ASSERT_EQ(o1.GetHeight(), o2.GetHeight());
    const REGION box = *ov.GetOverlapBox();
    EXPECT_EQ(box.x0, m.mx);
    EXPECT_EQ(box.y0, m.my);
    EXPECT_EQ(box.x1, m.mx + W - 1);
    EXPECT_EQ(box.y1, m.my + H - 1);
    EXPECT_EQ(box.width, W);
    EXPECT_EQ(box.height, H);
    int wrong1 = 0, wrong2 = 0;
    for (int y = 0; y < o2.GetHeight(); ++y) {
        for (int x = 0; x < o2.GetWidth(); ++x) {
            const int sx = x - m.mx, sy = y - m.my;
            const bool inside = sx >= 0 && sx < W && sy >= 0 && sy < H;
            for (int c = 0; c < 3; ++c) {
                wrong2 += Px(o2, x, y)[c] != (inside ? Px(*img2, sx, sy)[c] : 0);
                wrong1 += Px(o1, x, y)[c] != (inside ? Px(*img1, sx, sy)[c] : 0);
            }
        }
    }
    EXPECT_EQ(wrong1, 0);
    EXPECT_EQ(wrong2, 0);
    // The outline handed out is image 2's pixel area in overlap pixels.
    const REGION2& pb = ov.GetPolyBox();
    EXPECT_FLOAT_EQ(pb.left, m.mx - 0.5f);
    EXPECT_FLOAT_EQ(pb.right, m.mx + W - 0.5f);
    EXPECT_FLOAT_EQ(pb.top, m.my - 0.5f);
    EXPECT_FLOAT_EQ(pb.bottom, m.my + H - 0.5f);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

INSTANTIATE_TEST_SUITE_P(Margins, IdentityOverlap, testing::Values(Margins{0, 0}, Margins{12, 5}, Margins{3, 17}),
                         [](const testing::TestParamInfo<Margins>& info) {
                             return "margins_" + std::to_string(info.param.mx) + "x" + std::to_string(info.param.my);
                         });

struct ZoomCase {
    float zx, zy;
    int mx, my;
};

class OverlapPointsBack : public testing::TestWithParam<ZoomCase> {};

// Every overlap pixel is carried back to the image pixel whose samples it
// holds (to the nearest-neighbour half pixel), and the two points of a pair
// are related by the true pair rotation.
TEST_P(OverlapPointsBack, EveryOverlapPixelMapsToTheImagePixelItHolds)
{
    const ZoomCase zc = GetParam();
    const int W1 = 320, H1 = 240, W2 = 300, H2 = 260;
    Image* img1 = MakeCodedImage(W1, H1);
    Image* img2 = MakeCodedImage(W2, H2);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 600, 1.0f / 650, 0.08f, 0.25f, -0.05f);
    COverlapRR ov;
    ASSERT_TRUE(ov.MainOverlapRR(img1, img2, &p, zc.zx, zc.zy, zc.mx, zc.my, false));
    const Image& o1 = *ov.GetImgO1();
    const Image& o2 = *ov.GetImgO2();
    const int WO = o1.GetWidth(), HO = o1.GetHeight();
    std::vector<POINT2> a, b;
    ASSERT_EQ(MapEveryPixelBack(ov, WO, HO, a, b), 1);

    // The warp of image 2 samples by the nearest pixel; with an extra
    // vertical zoom the rows are picked from an even warp, half a frame row
    // further off.
    const double tol2 = zc.zx == zc.zy ? 0.5 + 1e-3 : 0.5 + 0.6 / zc.zx;
    int filled1 = 0, filled2 = 0, bad1 = 0, bad2 = 0, badPair = 0;
    double worst2 = 0;
    for (int y = 0; y < HO; ++y) {
        for (int x = 0; x < WO; ++x) {
            const size_t i = size_t(y) * WO + x;
            int dx, dy;
            if (DecodePixel(o1, x, y, dx, dy)) {
                ++filled1;
                bad1 += std::fabs(a[i].x - dx) > 0.5 + 1e-3 || std::fabs(a[i].y - dy) > 0.5 + 1e-3;
            }
            if (DecodePixel(o2, x, y, dx, dy)) {
                ++filled2;
                const double e = std::max(std::fabs(b[i].x - dx), std::fabs(b[i].y - dy));
                worst2 = std::max(worst2, e);
                bad2 += e > tol2;
            }
            POINT2 want;
            if (MapPairPixels(p, W1, H1, W2, H2, a[i], want))
                badPair += std::fabs(want.x - b[i].x) > 0.02 || std::fabs(want.y - b[i].y) > 0.02;
        }
    }
    // Both images cover a good part of the overlap images.
    EXPECT_GT(filled1, WO * HO / 4);
    EXPECT_GT(filled2, WO * HO / 4);
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0) << "worst " << worst2;
    EXPECT_EQ(badPair, 0);

    // Overlap image 1 holds data exactly inside the overlap box.
    const REGION box = *ov.GetOverlapBox();
    int outside = 0, missing = 0;
    for (int y = 0; y < HO; ++y) {
        for (int x = 0; x < WO; ++x) {
            const bool in = x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1;
            if (in) missing += IsZero(o1, x, y);
            else outside += !IsZero(o1, x, y);
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(missing, 0);

    // Overlap image 2 holds data inside the outline it hands out.
    const gpc_polygon& poly = *ov.GetPolygon();
    int offOutline = 0, holes = 0;
    for (int y = 0; y < HO; ++y) {
        for (int x = 0; x < WO; ++x) {
            const bool data = !IsZero(o2, x, y);
            const double d = DistanceToFirstContour(poly, x, y);
            if (d < 1.0 / std::min(zc.zx, zc.zy) + 0.5) continue;  // the rim, where rounding decides
            const bool in = InsideFirstContour(poly, x, y);
            offOutline += data && !in;
            holes += !data && in;
        }
    }
    EXPECT_EQ(offOutline, 0);
    EXPECT_EQ(holes, 0);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

INSTANTIATE_TEST_SUITE_P(ZoomsAndMargins, OverlapPointsBack,
                         testing::Values(ZoomCase{1.0f, 1.0f, 0, 0}, ZoomCase{0.5f, 0.5f, 30, 20},
                                         ZoomCase{0.37f, 0.37f, 7, 3}, ZoomCase{1.25f, 1.25f, 0, 5},
                                         ZoomCase{0.6f, 0.45f, 10, 10}, ZoomCase{0.5f, 0.8f, 0, 0}),
                         [](const testing::TestParamInfo<ZoomCase>& info) {
                             const ZoomCase& z = info.param;
                             return "zoom_" + std::to_string(int(z.zx * 100)) + "_" + std::to_string(int(z.zy * 100)) +
                                    "_margins_" + std::to_string(z.mx) + "x" + std::to_string(z.my);
                         });

// An image 2 that lies beside image 1 leaves nothing to correlate; unusable
// inputs are refused with an error line. None leaves overlap images behind.
TEST(COverlapRR, RefusesPairsWithoutOverlapAndBadInput)
{
    Image* img1 = testkit::MakePatternImage(320, 240, 3, 0, 1);
    Image* img2 = testkit::MakePatternImage(320, 240, 3, 0, 2);
    Image grey16;
    grey16.Create(64, 64, 1, IMG_UINT16);
    PAIR_WALIGN_RR_PRMS2 beside = PairPrms(1.0f / 600, 1.0f / 600, 0, 1.2f, 0);
    PAIR_WALIGN_RR_PRMS2 good = PairPrms(1.0f / 600, 1.0f / 600, 0, 0.1f, 0);
    PAIR_WALIGN_RR_PRMS2 noFocal = PairPrms(1.0f / 600, 1.0f / 600, 0, 0.1f, 0);
    noFocal.rcpF1 = 0;
    struct Case {
        const char* what;
        Image *a, *b;
        PAIR_WALIGN_RR_PRMS2* p;
        float zx, zy;
        int mx;
        bool logs;
    } cases[] = {
        {"beside", img1, img2, &beside, 1, 1, 0, false},
        {"null image", nullptr, img2, &good, 1, 1, 0, true},
        {"16-bit image", img1, &grey16, &good, 1, 1, 0, true},
        {"null prms", img1, img2, nullptr, 1, 1, 0, true},
        {"zero zoom", img1, img2, &good, 0, 1, 0, true},
        {"NaN zoom", img1, img2, &good, 1, NAN, 0, true},
        {"negative margin", img1, img2, &good, 1, 1, -4, true},
        {"no focal length", img1, img2, &noFocal, 1, 1, 0, true},
    };
    for (const Case& c : cases) {
        COverlapRR ov;
        LogCapture log;
        EXPECT_FALSE(ov.MainOverlapRR(c.a, c.b, c.p, c.zx, c.zy, c.mx, 0, false)) << c.what;
        EXPECT_EQ(ov.GetImgO1(), nullptr) << c.what;
        EXPECT_EQ(ov.GetImgO2(), nullptr) << c.what;
        if (c.logs) {
            EXPECT_GE(log.errorCount(), 1) << c.what;
        }
        POINT2 pt{1, 1}, qt{1, 1};
        POINT2* pairs[2] = {&pt, &qt};
        EXPECT_EQ(ov.PtPairsOverlapToRawFrames(pairs, 1), 0) << c.what;
    }
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// The overlap images are shared through their counts: a holder keeps one
// alive past the overlap object and past a new run.
TEST(COverlapRR, OverlapImagesAreReleasedThroughTheirCounts)
{
    Image* img1 = testkit::MakePatternImage(200, 150, 3, 0, 1);
    Image* img2 = testkit::MakePatternImage(200, 150, 3, 0, 2);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 400, 1.0f / 400, 0.02f, 0.1f, 0);
    Image* kept = nullptr;
    Image* keptAgain = nullptr;
    {
        COverlapRR ov;
        ASSERT_TRUE(ov.MainOverlapRR(img1, img2, &p, 1, 1, 0, 0, false));
        kept = ov.GetImgO2();
        RefAdd(kept);
        ASSERT_TRUE(ov.MainOverlapRR(img1, img2, &p, 0.5f, 0.5f, 0, 0, false));
        EXPECT_NE(ov.GetImgO2(), kept);
        EXPECT_EQ(kept->m_refCount, 1);  // the first run's reference was dropped
        keptAgain = ov.GetImgO1();
        RefAdd(keptAgain);
    }
    // Both survive the overlap object; reading them is safe.
    EXPECT_EQ(keptAgain->m_refCount, 1);
    long sum = 0;
    for (Image* img : {kept, keptAgain})
        for (size_t i = 0; i < img->GetDataSize(); ++i) sum += img->GetData()[i];
    EXPECT_GT(sum, 0);
    ReleaseImage(kept);
    ReleaseImage(keptAgain);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// Transforms built from pieces: the inverse held for the warp.
TEST(COverlapRR, InverseTransformFromPieces)
{
    COverlapRR ov;
    ov.InitWAlign21(0.002f, 0.1f, 0.2f, 0.3f, 2.0f);
    EXPECT_FLOAT_EQ(ov.GetPrms21().rcpF1, 0.002f);
    EXPECT_FLOAT_EQ(ov.GetPrms21().rcpF2, 0.001f);
    EXPECT_FLOAT_EQ(ov.GetPrms21().angA, 0.1f);
    EXPECT_FLOAT_EQ(ov.GetPrms21().angB, 0.2f);
    EXPECT_FLOAT_EQ(ov.GetPrms21().angC, 0.3f);
    PAIR_WALIGN_RR_PRMS2 p = PairPrms(1.0f / 500, 1.0f / 700, 0.1f, 0.2f, 0.3f);
    ov.InitWAlign12to21(&p);
    // The inverse carries image-2 points back onto the image-1 points they
    // came from.
    for (POINT2 q : {POINT2{0, 0}, POINT2{120, -80}, POINT2{-150, 60}}) {
        double x2, y2, x1, y1;
        ASSERT_TRUE(MapPair(p, q.x, q.y, x2, y2));
        ASSERT_TRUE(MapPair(ov.GetPrms21(), x2, y2, x1, y1));
        EXPECT_NEAR(x1, q.x, 1e-3);
        EXPECT_NEAR(y1, q.y, 1e-3);
    }
}

}  // namespace
