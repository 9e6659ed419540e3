// The polygon region mapper against slow references written here: an
// even-odd point-in-polygon test for the region, the pair matrix of the
// transform module for the positions, and direct bilinear sums.
#include "viewer/engine/poly_map_rr.h"

#include "geometry/polykit/poly_clip.h"
#include "core/logger.h"
#include "geometry/rowmap/row_map.h"
#include "platform/xformkit/transform_wa.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A polygon the test owns: contours of its own vertex vectors.
struct TestPolygon {
    std::vector<std::vector<POINT2>> rings;
    std::vector<gpc_vertex_list> lists;
    gpc_polygon poly{};
    explicit TestPolygon(std::vector<std::vector<POINT2>> r) : rings(std::move(r))
    {
        for (auto& ring : rings) lists.push_back({static_cast<int32_t>(ring.size()), ring.data()});
        poly = {static_cast<int32_t>(lists.size()), lists.data()};
    }
    const gpc_polygon* get() const { return &poly; }
};

TestPolygon Rect(double x0, double y0, double x1, double y1)
{
    auto f = [](double v) { return static_cast<float>(v); };
    return TestPolygon({{{f(x0), f(y0)}, {f(x1), f(y0)}, {f(x1), f(y1)}, {f(x0), f(y1)}}});
}

double SegmentDistance(const POINT2& a, const POINT2& b, double px, double py)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx - px, a.y + t * dy - py);
}

// Even-odd membership by counting edges crossed by a ray to the right;
// -1 when the point lies within 1e-3 of an edge (either answer is right).
int InsideReference(const TestPolygon& p, double px, double py)
{
    bool inside = false;
    for (const auto& ring : p.rings) {
        for (size_t i = 0; i < ring.size(); ++i) {
            const POINT2& a = ring[i];
            const POINT2& b = ring[(i + 1) % ring.size()];
            if (SegmentDistance(a, b, px, py) < 1e-3) return -1;
            if ((a.y > py) != (b.y > py)) {
                const double x = a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y);
                if (x > px) inside = !inside;
            }
        }
    }
    return inside ? 1 : 0;
}

PAIR_WALIGN_RR_PRMS2 Identity()
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = p.rcpF2 = 0.001f;
    return p;
}

// A pair turned a little, for warps that keep most of a small image.
PAIR_WALIGN_RR_PRMS2 TiltedPairSmall()
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = 1.0f / 200;
    p.rcpF2 = 1.0f / 210;
    p.angA = 0.05f;
    p.angB = 0.04f;
    p.angC = -0.03f;
    return p;
}

Image* Filled(int w, int h, int channels, int value)
{
    auto* img = new Image(w, h, channels);
    std::memset(img->GetData(), value, img->GetDataSize());
    return img;
}

// Source whose pixel (x, y) holds (y + 1, x, 7): the sampled pixel can be read
// back from any destination pixel, and no first sample is 0.
Image* CoordinateImage(int w, int h)
{
    auto* img = new Image(w, h, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* p = img->GetData() + y * img->GetRowByte() + 3 * x;
            p[0] = static_cast<unsigned char>(y + 1);
            p[1] = static_cast<unsigned char>(x);
            p[2] = 7;
        }
    }
    return img;
}

const unsigned char* Pixel(const Image* img, int x, int y)
{
    return img->GetData() + y * img->GetRowByte() + x * img->GetChannels();
}

struct IdentityCase {
    int width, height, channels;
};

class IdentityCopy : public testing::TestWithParam<IdentityCase> {};

// With identity parameters the inside of a concave region with a hole is
// copied exactly and every other pixel keeps its value.
TEST_P(IdentityCopy, CopiesTheInsideExactlyAndLeavesTheOutside)
{
    const IdentityCase c = GetParam();
    Image* src = testkit::MakePatternImage(c.width, c.height, c.channels, 0, 3);
    Image* dst = Filled(c.width, c.height, c.channels, 0xA5);
    Image* before = dst->Duplicate();
    // An L shape cut past the image edges, with a square hole.
    const float W = static_cast<float>(c.width), H = static_cast<float>(c.height);
    TestPolygon region({{{-5.3f, -4.7f}, {W * 0.6f, -4.7f}, {W * 0.6f, H * 0.4f}, {W + 3.2f, H * 0.45f},
                         {W + 3.2f, H + 2.5f}, {-5.3f, H + 2.5f}},
                        {{W * 0.1f + 0.25f, H * 0.5f + 0.25f}, {W * 0.3f + 0.25f, H * 0.5f + 0.25f},
                         {W * 0.3f + 0.25f, H * 0.8f + 0.25f}, {W * 0.1f + 0.25f, H * 0.8f + 0.25f}}});
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(src, dst, region.get(), &prms));
    int inside = 0, outside = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const int in = InsideReference(region, x, y);
            if (in < 0) continue;
            const unsigned char* want = in ? Pixel(src, x, y) : Pixel(before, x, y);
            ASSERT_EQ(0, std::memcmp(Pixel(dst, x, y), want, c.channels)) << x << "," << y << " inside=" << in;
            (in ? inside : outside)++;
        }
    }
    EXPECT_GT(inside, c.width * c.height / 3);
    EXPECT_GT(outside, c.width * c.height / 10);
    ReleaseImage(before);
    ReleaseImage(src);
    ReleaseImage(dst);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IdentityCopy,
                         testing::Values(IdentityCase{64, 48, 3}, IdentityCase{101, 77, 3}, IdentityCase{33, 90, 1}));

// The view engine's path: the region cut into triangle strips, each strip
// drawn ladder by ladder, fills the pixels MapRegions fills, apart from
// pixels whose centres lie on a strip's edge (either answer is right there).
TEST(PolyMapRR, StripsAndLaddersFillTheRegionsPixels)
{
    const int W = 90, H = 70;
    Image* src = CoordinateImage(W, H);
    const TestPolygon region({{{-3.3f, 2.6f}, {60.2f, -4.1f}, {47.7f, 30.3f}, {93.4f, 41.8f}, {20.6f, 73.2f}},
                              {{15.25f, 20.25f}, {30.75f, 22.5f}, {25.5f, 40.75f}}});
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPairSmall();
    Image* byRegion = Filled(W, H, 3, 0);
    Image* byStrips = Filled(W, H, 3, 0);
    CPolyMapRR whole;
    ASSERT_EQ(1, whole.MapImgRegions(src, byRegion, region.get(), &prms));

    CPolyMapRR faces;
    faces.InitImgs(src, byStrips, prms.rcpF1);
    ASSERT_TRUE(faces.CalcMappingPrms(&prms));
    gpc_tristrip strips{0, nullptr};
    CPolyClip::gpc_polygon_to_tristrip(const_cast<gpc_polygon*>(region.get()), &strips);
    ASSERT_GT(strips.count, 0);
    for (int i = 0; i < strips.count; ++i) faces.MapOneStrip(&strips.strips[i]);

    auto onStripEdge = [&](double px, double py) {
        for (int i = 0; i < strips.count; ++i) {
            const gpc_vertex_list& st = strips.strips[i];
            for (int k = 0; k + 1 < st.count; ++k) {
                if (SegmentDistance(st.points[k], st.points[k + 1], px, py) < 1e-3) return true;
                if (k + 2 < st.count && SegmentDistance(st.points[k], st.points[k + 2], px, py) < 1e-3) return true;
            }
        }
        return false;
    };
    int drawn = 0, differ = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const bool same = std::memcmp(Pixel(byRegion, x, y), Pixel(byStrips, x, y), 3) == 0;
            drawn += Pixel(byRegion, x, y)[0] != 0;
            if (!same && !onStripEdge(x, y)) ++differ;
        }
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(drawn, W * H / 3);

    // Degenerate rungs draw nothing; rungs far outside the image are cut.
    POINT2 flat[4] = {{10, 10}, {50, 10}, {10, 10.0005f}, {50, 10.0005f}};
    POINT2 far[4] = {{-1e6f, -1e6f}, {1e6f, -1e6f}, {-1e6f, 1e6f}, {1e6f, 1e6f}};
    gpc_vertex_list rung{4, flat};
    Image* before = byStrips->Duplicate();
    faces.MapOneLadder(&rung);
    EXPECT_TRUE(testkit::SamePixels(*before, *byStrips));
    rung.points = far;
    faces.MapOneLadder(&rung);  // the whole image, without reading past it
    CPolyClip::gpc_free_tristrip(&strips);
    ReleaseImage(before);
    ReleaseImage(byRegion);
    ReleaseImage(byStrips);
    ReleaseImage(src);
}

TEST(PolyMapRR, WholeImageRegionCopiesEveryPixelUnderIdentity)
{
    for (bool bilinear : {false, true}) {
        Image* src = testkit::MakePatternImage(57, 43, 3, 0, 5);
        for (size_t i = 0; i < src->GetDataSize(); i += 3) src->GetData()[i] |= 1;  // no "no data" pixels
        Image* dst = Filled(57, 43, 3, 0);
        const TestPolygon region = Rect(-0.5, -0.5, 56.5, 42.5);
        const PAIR_WALIGN_RR_PRMS2 prms = Identity();
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(src, dst, region.get(), nullptr, &prms, bilinear, 0.0f));
        EXPECT_TRUE(testkit::SamePixels(*src, *dst)) << "bilinear=" << bilinear;
        EXPECT_FALSE(mapper.GetBilinearInterp());  // restored after the call
        ReleaseImage(src);
        ReleaseImage(dst);
    }
}

PAIR_WALIGN_RR_PRMS2 TiltedPair()
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = 1.0f / 260;
    p.rcpF2 = 1.0f / 300;
    p.angA = 0.15f;
    p.angB = 0.2f;
    p.angC = -0.1f;
    return p;
}

// Every drawn destination pixel took the source pixel whose centre the pair
// maps onto it (within the rounding of nearest sampling), and every pixel
// whose source point lies well inside the source was drawn.
TEST(PolyMapRR, NearestWarpAgreesWithThePointMapping)
{
    const int SW = 240, SH = 180, DW = 260, DH = 200;
    Image* src = CoordinateImage(SW, SH);
    Image* dst = Filled(DW, DH, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPair();
    const TestPolygon region = Rect(-0.5, -0.5, DW - 0.5, DH - 0.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(src, dst, region.get(), &prms));

    float forward[9], backward[9];
    PAIR_WALIGN_RR_PRMS2 inverse;
    CTransformWA::InvertAlignPrmsRR2(&prms, &inverse);
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&prms, nullptr, nullptr, forward));
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&inverse, nullptr, nullptr, backward));
    int drawn = 0;
    for (int y = 0; y < DH; ++y) {
        for (int x = 0; x < DW; ++x) {
            const unsigned char* d = Pixel(dst, x, y);
            const POINT2 q{static_cast<float>(x - DW / 2), static_cast<float>(y - DH / 2)};
            POINT2 s;
            const bool maps = CTransformWA::TransformPtRR2(&q, &s, backward);
            const double sx = s.x + SW / 2, sy = s.y + SH / 2;
            if (d[0] == 0) {
                // Not drawn: its source point must lie outside (or on the rim of) the source.
                EXPECT_FALSE(maps && sx > 0.01 && sx < SW - 0.51 && sy > 0.01 && sy < SH - 0.51) << x << "," << y;
                continue;
            }
            ++drawn;
            const POINT2 sampled{static_cast<float>(d[1] - SW / 2), static_cast<float>(d[0] - 1 - SH / 2)};
            POINT2 onto;
            ASSERT_TRUE(CTransformWA::TransformPtRR2(&sampled, &onto, forward));
            // Half a source pixel in each direction, scaled by the local zoom (< 1.3).
            EXPECT_LE(std::hypot(onto.x - q.x, onto.y - q.y), 0.5 * std::sqrt(2.0) * 1.3) << x << "," << y;
        }
    }
    EXPECT_GT(drawn, SW * SH / 2);
    ReleaseImage(src);
    ReleaseImage(dst);
}

// Bilinear results equal the four-pixel weighted sum at the position the pair
// matrix gives, up to the last unit of rounding. Equal channel counts go to
// the row remapper where the processor has it, which truncates every channel
// (the portable rule rounds the first).
TEST(PolyMapRR, BilinearWarpMatchesADirectWeightedSum)
{
    const int SW = 120, SH = 90, DW = 130, DH = 100;
    Image* src = testkit::MakePatternImage(SW, SH, 3, 0, 9);
    Image* dst = Filled(DW, DH, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPair();
    const TestPolygon region = Rect(-0.5, -0.5, DW - 0.5, DH - 0.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(src, dst, region.get(), nullptr, &prms, true, 0.0f));
    PAIR_WALIGN_RR_PRMS2 inverse;
    CTransformWA::InvertAlignPrmsRR2(&prms, &inverse);
    float backward[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&inverse, nullptr, nullptr, backward));
    int compared = 0;
    for (int y = 0; y < DH; ++y) {
        for (int x = 0; x < DW; ++x) {
            const POINT2 q{static_cast<float>(x - DW / 2), static_cast<float>(y - DH / 2)};
            POINT2 s;
            if (!CTransformWA::TransformPtRR2(&q, &s, backward)) continue;
            const double sx = s.x + SW / 2, sy = s.y + SH / 2;
            if (sx < 0.01 || sy < 0.01 || sx > SW - 1.01 || sy > SH - 1.01) continue;  // rim: either answer
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            const double fx = sx - ix, fy = sy - iy;
            for (int c = 0; c < 3; ++c) {
                const double v = (1 - fx) * (1 - fy) * Pixel(src, ix, iy)[c] + fx * (1 - fy) * Pixel(src, ix + 1, iy)[c] +
                                 (1 - fx) * fy * Pixel(src, ix, iy + 1)[c] + fx * fy * Pixel(src, ix + 1, iy + 1)[c];
                const bool rounded = c == 0 && !TestMMX();
                const double want = std::max(c == 0 ? 1.0 : 0.0, rounded ? std::floor(v + 0.5) : std::floor(v));
                ASSERT_NEAR(Pixel(dst, x, y)[c], want, 1.0) << x << "," << y << " c" << c;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, SW * SH / 2);
    ReleaseImage(src);
    ReleaseImage(dst);
}

// The aligner warps into an image the size of the warped outline's box and
// passes where that box lies in the frame: the result is the same as warping
// into the whole frame and cutting the box out.
TEST(PolyMapRR, OffsetMovesTheDestinationFrame)
{
    const int FW = 200, FH = 150;
    Image* src = testkit::MakePatternImage(180, 140, 3, 0, 4);
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPair();
    Image* frame = Filled(FW, FH, 3, 0);
    const TestPolygon whole = Rect(-0.5, -0.5, FW - 0.5, FH - 0.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(src, frame, whole.get(), &prms));

    const REGION box{40, 30, 139, 99, 100, 70};
    const POINT offset{box.x0 + box.width / 2 - FW / 2, box.y0 + box.height / 2 - FH / 2};
    Image* out = Filled(box.width, box.height, 3, 0);
    const TestPolygon part = Rect(-0.5, -0.5, box.width - 0.5, box.height - 0.5);
    ASSERT_EQ(1, mapper.MapImgRegions(src, out, part.get(), &offset, &prms, false, 1.0f));
    for (int y = 0; y < box.height; ++y) {
        for (int x = 0; x < box.width; ++x) {
            ASSERT_EQ(0, std::memcmp(Pixel(out, x, y), Pixel(frame, box.x0 + x, box.y0 + y), 3)) << x << "," << y;
        }
    }
    ReleaseImage(src);
    ReleaseImage(frame);
    ReleaseImage(out);
}

TEST(PolyMapRR, ChannelConversionsAndTheNoDataRule)
{
    // Grey into colour repeats the sample; colour into grey keeps the first.
    Image* grey = Filled(8, 8, 1, 77);
    Image* colour = Filled(8, 8, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    const TestPolygon region = Rect(-0.5, -0.5, 7.5, 7.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(grey, colour, region.get(), &prms));
    EXPECT_EQ(Pixel(colour, 3, 3)[0], 77);
    EXPECT_EQ(Pixel(colour, 3, 3)[2], 77);
    Image* rgb = Filled(8, 8, 3, 0);
    for (int i = 0; i < 64; ++i) {
        rgb->GetData()[3 * i] = 10;
        rgb->GetData()[3 * i + 1] = 20;
        rgb->GetData()[3 * i + 2] = 60;
    }
    Image* out = Filled(8, 8, 1, 0);
    ASSERT_EQ(1, mapper.MapImgRegions(rgb, out, region.get(), &prms));
    EXPECT_EQ(Pixel(out, 2, 5)[0], 10);
    // Bilinear: three channels into one give their truncated mean.
    ASSERT_EQ(1, mapper.MapImgRegions(rgb, out, region.get(), nullptr, &prms, true, 0.0f));
    EXPECT_EQ(Pixel(out, 2, 5)[0], 30);
    // Bilinear between black pixels writes 1 in the first channel.
    Image* black = Filled(8, 8, 3, 0);
    Image* dst = Filled(8, 8, 3, 200);
    ASSERT_EQ(1, mapper.MapImgRegions(black, dst, region.get(), nullptr, &prms, true, 0.0f));
    EXPECT_EQ(Pixel(dst, 4, 4)[0], 1);
    EXPECT_EQ(Pixel(dst, 4, 4)[1], 0);
    for (Image* img : {grey, colour, rgb, out, black, dst}) ReleaseImage(img);
}

TEST(PolyMapRR, TransparencyAveragesIntoPixelsThatHoldData)
{
    Image* src = Filled(4, 4, 3, 100);
    Image* dst = Filled(4, 4, 3, 0);
    std::memset(dst->GetData(), 50, 3);  // pixel (0, 0) holds data
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    const TestPolygon region = Rect(-0.5, -0.5, 3.5, 3.5);
    CPolyMapRR mapper(src, dst, 1.0f);
    ASSERT_EQ(1, mapper.MapRegions(region.get(), &prms, true));
    EXPECT_EQ(Pixel(dst, 0, 0)[0], 75);
    EXPECT_EQ(Pixel(dst, 1, 0)[0], 100);  // empty pixels take the colour
    ReleaseImage(src);
    ReleaseImage(dst);
}

TEST(PolyMapRR, SpansMappingOutsideTheSourceDrawNothing)
{
    Image* src = Filled(20, 20, 3, 90);
    Image* dst = Filled(100, 100, 3, 0);
    Image* before = dst->Duplicate();
    PAIR_WALIGN_RR_PRMS2 prms = Identity();
    prms.angB = 0.5f;  // the source lies far right of this destination's left part
    const TestPolygon left = Rect(-0.5, -0.5, 20, 99.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(src, dst, left.get(), &prms));
    EXPECT_TRUE(testkit::SamePixels(*before, *dst));
    for (Image* img : {src, dst, before}) ReleaseImage(img);
}

// Regions far outside the destination, with non-finite vertices or with too
// few vertices, are clipped or skipped; nothing outside the image is touched.
TEST(PolyMapRR, HostileRegionsStayInsideTheDestination)
{
    Image* src = Filled(50, 50, 3, 9);
    Image* dst = Filled(30, 20, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    CPolyMapRR mapper;
    TestPolygon huge({{{-1e30f, -1e30f}, {1e30f, -1e30f}, {1e30f, 1e30f}, {-1e30f, 1e30f}},
                      {{1, 1}, {NAN, 2}, {5, 9}},
                      {{3, 3}, {4, 4}}});
    ASSERT_EQ(1, mapper.MapImgRegions(src, dst, huge.get(), &prms));
    int drawn = 0;
    for (size_t i = 0; i < dst->GetDataSize(); i += 3) drawn += dst->GetData()[i] == 9;
    EXPECT_EQ(drawn, 30 * 20);
    gpc_polygon broken{5, nullptr};
    EXPECT_EQ(1, mapper.MapImgRegions(src, dst, &broken, &prms));
    ReleaseImage(src);
    ReleaseImage(dst);
}

TEST(PolyMapRR, MissingOrUnsupportedImagesFailWithAnError)
{
    Image* src = Filled(10, 10, 3, 1);
    Image* floats = new Image();
    floats->Create(10, 10, 1, IMG_FLOAT);
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    const TestPolygon region = Rect(0, 0, 5, 5);
    CPolyMapRR mapper;
    {
        LogCapture log;
        EXPECT_EQ(0, mapper.MapImgRegions(src, nullptr, region.get(), &prms));
        EXPECT_TRUE(log.contains("ERROR CPolyMapRR::MapRegions"));
    }
    {
        LogCapture log;
        EXPECT_EQ(0, mapper.MapImgRegions(src, floats, region.get(), &prms));
        EXPECT_EQ(1, log.errorCount());
    }
    {
        PAIR_WALIGN_RR_PRMS2 bad = prms;
        bad.rcpF2 = 0;
        Image* dst = Filled(10, 10, 3, 0);
        LogCapture log;
        EXPECT_EQ(0, mapper.MapImgRegions(src, dst, region.get(), &bad));
        EXPECT_TRUE(log.contains("ERROR CPolyMapRR::CalcMappingPrms"));
        ReleaseImage(dst);
    }
    ReleaseImage(src);
    ReleaseImage(floats);
}

TEST(PolyMapRR, HoldsOneReferenceOnEachBoundImage)
{
    Image* a = Filled(10, 10, 3, 1);
    Image* b = Filled(10, 10, 3, 0);
    Image* c = Filled(10, 10, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = Identity();
    const TestPolygon region = Rect(0, 0, 5, 5);
    {
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(a, b, region.get(), &prms));
        EXPECT_EQ(a->m_refCount, 2);
        EXPECT_EQ(b->m_refCount, 2);
        {
            CPolyMapRR copy(mapper);
            EXPECT_EQ(a->m_refCount, 3);
        }
        EXPECT_EQ(a->m_refCount, 2);
        ASSERT_EQ(1, mapper.MapImgRegions(a, c, region.get(), &prms));  // rebinding drops b
        EXPECT_EQ(a->m_refCount, 2);
        EXPECT_EQ(b->m_refCount, 1);
        EXPECT_EQ(c->m_refCount, 2);
    }
    EXPECT_EQ(a->m_refCount, 1);
    EXPECT_EQ(c->m_refCount, 1);
    for (Image* img : {a, b, c}) ReleaseImage(img);
}

TEST(PolyMapRR, MappingAnImageOntoItselfReadsTheOriginal)
{
    Image* img = CoordinateImage(40, 30);
    Image* original = img->Duplicate();
    PAIR_WALIGN_RR_PRMS2 prms = Identity();
    prms.angB = -0.003f;  // about 3 pixels: pixel x takes source x - 3, already rewritten in place
    const TestPolygon region = Rect(-0.5, -0.5, 39.5, 29.5);
    CPolyMapRR mapper;
    ASSERT_EQ(1, mapper.MapImgRegions(img, img, region.get(), &prms));
    EXPECT_EQ(Pixel(img, 10, 5)[1], Pixel(original, 7, 5)[1]);
    EXPECT_EQ(Pixel(img, 11, 5)[1], Pixel(original, 8, 5)[1]);
    ReleaseImage(img);
    ReleaseImage(original);
}

TEST(PolyMapRR, NearVerticalFollowsTheDeviation)
{
    Image* a = Filled(4, 4, 3, 1);
    CPolyMapRR mapper(a, a, 1.0f);
    PAIR_WALIGN_RR_PRMS2 prms = Identity();
    prms.angB = 1.4f;
    ASSERT_TRUE(mapper.CalcMappingPrms(&prms));
    EXPECT_TRUE(mapper.IsNearVertical());
    prms.angB = -1.2f;
    ASSERT_TRUE(mapper.CalcMappingPrms(&prms));
    EXPECT_FALSE(mapper.IsNearVertical());
    ReleaseImage(a);
}

// The unchecked span copy gives what the checked one gives where the span
// maps inside the source.
TEST(PolyMapRR, UncheckedSpansEqualCheckedSpansInside)
{
    Image* src = CoordinateImage(120, 90);
    Image* checked = Filled(100, 80, 3, 0);
    Image* unchecked = Filled(100, 80, 3, 0);
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPairSmall();
    CPolyMapRR mapper(src, checked, 1.0f);
    CPolyMapRR direct(src, unchecked, 1.0f);
    ASSERT_TRUE(direct.CalcMappingPrms(&prms));
    int spans = 0;
    for (int y = 10; y < 70; y += 7) {
        const int x0 = 10 + y % 5, x1 = 85 - y % 3;
        const TestPolygon row = Rect(x0, y - 0.5, x1, y + 0.5);
        ASSERT_EQ(1, mapper.MapRegions(row.get(), &prms, false));
        direct.MapOneSector_Dw_NoCheck(y, x0, x1);
        ++spans;
    }
    EXPECT_TRUE(testkit::SamePixels(*checked, *unchecked));
    EXPECT_EQ(spans, 9);
    EXPECT_NE(Pixel(unchecked, 40, 17)[0], 0);
    for (Image* img : {src, checked, unchecked}) ReleaseImage(img);
}

// Rows of more than 65535 bytes (faces over 21845 RGB pixels wide) are
// addressed in full.
TEST(PolyMapRR, RowsOverSixtyFourKilobytes)
{
    const int W = 22000, H = 6;
    Image* src = new Image(W, H, 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            unsigned char* p = src->GetData() + static_cast<size_t>(y) * src->GetRowByte() + 3 * x;
            p[0] = static_cast<unsigned char>(1 + y);
            p[1] = static_cast<unsigned char>(x);
            p[2] = static_cast<unsigned char>(x >> 8);
        }
    ASSERT_GT(src->GetRowByte(), 65535);
    Image* dst = Filled(W, H, 3, 0);
    const TestPolygon right = Rect(21800 - 0.5, -0.5, W - 0.5, H - 0.5);
    const PAIR_WALIGN_RR_PRMS2 identity = Identity();
    for (bool bilinear : {false, true}) {
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(src, dst, right.get(), nullptr, &identity, bilinear, 0.0f)) << bilinear;
        for (int y = 0; y < H; ++y)
            for (int x = 21800; x < W; x += 37)
                ASSERT_EQ(0, std::memcmp(Pixel(dst, x, y), Pixel(src, x, y), 3)) << x << "," << y << " " << bilinear;
        EXPECT_EQ(Pixel(dst, 100, 2)[0], 0);
    }
    ReleaseImage(src);
    ReleaseImage(dst);
}

// A warp whose spans run over the source's last row and column: the runs
// handed to the row remapper stop short of the rim, the rim pixels are
// still drawn, and nothing outside the source is read.
TEST(PolyMapRR, BilinearSpansAcrossTheSourceRim)
{
    for (int channels : {1, 3}) {
        Image* src = testkit::MakePatternImage(33, 21, channels, 0, 5);
        Image* dst = Filled(60, 40, channels, 0);
        PAIR_WALIGN_RR_PRMS2 prms = Identity();
        prms.angA = 0.3f;  // turned in the image plane
        const TestPolygon all = Rect(-0.5, -0.5, 59.5, 39.5);
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(src, dst, all.get(), nullptr, &prms, true, 0.0f));
        // The source's corner pixels land somewhere: every drawn pixel has data,
        // and the drawn area is about the source's.
        int drawn = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) drawn += Pixel(dst, x, y)[0] != 0;
        EXPECT_NEAR(drawn, 33 * 21, 80) << channels;
        ReleaseImage(src);
        ReleaseImage(dst);
    }
}

}  // namespace

namespace {

Image* Noise(int w, int h, int channels, unsigned seed)
{
    auto* img = new Image(w, h, channels);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < img->GetDataSize(); ++i) img->GetData()[i] = static_cast<unsigned char>(1 + rng() % 255);
    return img;
}

}  // namespace

// The vector form of nearest rows gives the portable loop's bytes exactly:
// odd span lengths (vector tails), strong perspective, positions clamped at
// the rim, every channel pairing and the averaging of transparency.
TEST(PolyMapRR, VectorNearestRowsGiveThePortableBytes)
{
    struct Case {
        const char* name;
        int srcChannels, dstChannels;
        PAIR_WALIGN_RR_PRMS2 prms;
        bool transparency;
    };
    PAIR_WALIGN_RR_PRMS2 steep = TiltedPair();
    steep.angB = 1.2f;  // far from the axis: the scale changes fast along a row
    steep.rcpF2 = 1.0f / 90;
    const Case cases[] = {
        {"tilted rgb", 3, 3, TiltedPair(), false},
        {"steep rgb", 3, 3, steep, false},
        {"identity", 3, 3, Identity(), false},
        {"grey into rgb", 1, 3, TiltedPair(), false},
        {"rgb into grey", 3, 1, steep, false},
        {"grey", 1, 1, TiltedPair(), false},
        {"transparency", 3, 3, TiltedPair(), true},
    };
    const int SW = 233, SH = 171, DW = 301, DH = 207;
    // A concave outline whose rows start and end at many different columns.
    const TestPolygon region({{{-0.5f, 3.2f}, {150.3f, -0.5f}, {90.7f, 100.1f}, {300.5f, 40.6f}, {280.2f, 206.5f},
                               {7.9f, 190.4f}},
                              {{60.5f, 120.5f}, {120.5f, 120.5f}, {120.5f, 170.5f}, {60.5f, 170.5f}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* src = Noise(SW, SH, c.srcChannels, 11);
        Image* wide = Noise(DW, DH, c.dstChannels, 5);
        Image* portable = Noise(DW, DH, c.dstChannels, 5);
        // Half the destination holds no data so that transparency takes both branches.
        for (Image* d : {wide, portable})
            std::memset(d->GetData(), 0, d->GetDataSize() / 2);
        CPolyMapRR mapper;
        mapper.InitImgs(src, wide, c.prms.rcpF1);
        ASSERT_EQ(1, mapper.MapRegions(region.get(), &c.prms, c.transparency));
        CPolyMapRR::UsePortableRows(true);
        mapper.InitImgs(src, portable, c.prms.rcpF1);
        const int mapped = mapper.MapRegions(region.get(), &c.prms, c.transparency);
        CPolyMapRR::UsePortableRows(false);
        ASSERT_EQ(1, mapped);
        EXPECT_EQ(0, std::memcmp(wide->GetData(), portable->GetData(), wide->GetDataSize()));
        // Something was drawn: the frames differ from their starting noise.
        Image* start = Noise(DW, DH, c.dstChannels, 5);
        std::memset(start->GetData(), 0, start->GetDataSize() / 2);
        EXPECT_NE(0, std::memcmp(wide->GetData(), start->GetData(), wide->GetDataSize()));
        for (Image* img : {src, wide, portable, start}) ReleaseImage(img);
    }
}

// A region drawn in bands of rows (BeginRegionRows, MapRegionRows for
// disjoint bands in any order, some past the destination's top and bottom)
// gives MapRegions' bytes, for a concave outline with a hole, both
// samplings, averaging and channel conversion; the sampling set before is
// back afterwards. A mapper whose source is its destination, or without
// a usable mapping, is refused as MapRegions refuses it.
TEST(PolyMapRR, RegionRowsInBandsGiveTheWholeRegionsBytes)
{
    struct Case {
        const char* name;
        int srcChannels, dstChannels;
        bool bilinear, transparency;
    };
    const Case cases[] = {
        {"nearest rgb", 3, 3, false, false},
        {"bilinear rgb", 3, 3, true, false},
        {"bilinear averaging", 3, 3, true, true},
        {"nearest grey into rgb", 1, 3, false, false},
        {"bilinear rgb into grey", 3, 1, true, false},
    };
    const int SW = 233, SH = 171, DW = 301, DH = 207;
    const TestPolygon region({{{-0.5f, 3.2f}, {150.3f, -0.5f}, {90.7f, 100.1f}, {300.5f, 40.6f}, {280.2f, 206.5f},
                               {7.9f, 190.4f}}});
    const PAIR_WALIGN_RR_PRMS2 prms = TiltedPair();
    // Disjoint bands covering every row, drawn bottom first; the first and
    // the last run past the destination, one lies wholly below it.
    const int bands[][2] = {{DH + 3, DH + 12}, {120, DH + 2}, {51, 119}, {11, 50}, {10, 10}, {-6, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* src = Noise(SW, SH, c.srcChannels, 11);
        Image* whole = Noise(DW, DH, c.dstChannels, 5);
        Image* banded = Noise(DW, DH, c.dstChannels, 5);
        for (Image* d : {whole, banded}) std::memset(d->GetData(), 0, d->GetDataSize() / 2);
        CPolyMapRR mapper;
        mapper.InitImgs(src, whole, prms.rcpF1);
        ASSERT_EQ(1, c.bilinear ? mapper.MapRegions_Bilinear(region.get(), &prms, c.transparency)
                                : mapper.MapRegions(region.get(), &prms, c.transparency));
        mapper.InitImgs(src, banded, prms.rcpF1);
        ASSERT_TRUE(mapper.BeginRegionRows(&prms, c.transparency, c.bilinear));
        EXPECT_EQ(mapper.GetBilinearInterp(), c.bilinear);
        for (const auto& band : bands) mapper.MapRegionRows(*region.get(), band[0], band[1]);
        mapper.EndRegionRows();
        EXPECT_FALSE(mapper.GetBilinearInterp());
        EXPECT_EQ(0, std::memcmp(whole->GetData(), banded->GetData(), whole->GetDataSize()));
        // The region covers much of the destination: equal bytes are drawn ones.
        Image* before = Noise(DW, DH, c.dstChannels, 5);
        std::memset(before->GetData(), 0, before->GetDataSize() / 2);
        size_t changed = 0;
        for (size_t i = 0; i < before->GetDataSize(); ++i) changed += before->GetData()[i] != whole->GetData()[i];
        EXPECT_GT(changed, before->GetDataSize() / 4);
        for (Image* img : {src, whole, banded, before}) ReleaseImage(img);
    }
    Image* img = Noise(40, 30, 3, 1);
    CPolyMapRR self;
    self.InitImgs(img, img, 1.0f);
    EXPECT_FALSE(self.BeginRegionRows(&prms, false, true));
    EXPECT_FALSE(self.GetBilinearInterp());
    Image* dst = Noise(40, 30, 3, 2);
    CPolyMapRR mapper;
    mapper.InitImgs(img, dst, 1.0f);
    EXPECT_FALSE(mapper.BeginRegionRows(nullptr, false, true));
    EXPECT_FALSE(mapper.GetBilinearInterp());
    for (Image* i : {img, dst}) ReleaseImage(i);
}

// Rows that end on the source's last pixel, whose fourth byte lies past the
// buffer: the vector copy takes such groups three bytes a pixel and still
// gives the portable bytes, for source widths around a multiple of eight.
TEST(PolyMapRR, VectorNearestRowsEndingOnTheLastSourcePixel)
{
    for (int sw = 8; sw <= 25; ++sw) {
        SCOPED_TRACE(sw);
        Image* src = Noise(sw, 9, 3, 17);
        Image* wide = Noise(sw + 6, 13, 3, 3);
        Image* portable = Noise(sw + 6, 13, 3, 3);
        // The source's last pixel reaches the destination: identity places
        // the source at the destination's centre.
        const PAIR_WALIGN_RR_PRMS2 prms = Identity();
        const TestPolygon all = Rect(-0.5, -0.5, sw + 5.5, 12.5);
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(src, wide, all.get(), &prms));
        CPolyMapRR::UsePortableRows(true);
        const int mapped = mapper.MapImgRegions(src, portable, all.get(), &prms);
        CPolyMapRR::UsePortableRows(false);
        ASSERT_EQ(1, mapped);
        EXPECT_EQ(0, std::memcmp(wide->GetData(), portable->GetData(), wide->GetDataSize()));
        // The last source pixel was copied.
        const unsigned char* last = Pixel(src, sw - 1, 8);
        const int dx = (sw + 6) / 2 - sw / 2, dy = 13 / 2 - 9 / 2;
        EXPECT_EQ(0, std::memcmp(Pixel(wide, sw - 1 + dx, 8 + dy), last, 3));
        for (Image* img : {src, wide, portable}) ReleaseImage(img);
    }
}
