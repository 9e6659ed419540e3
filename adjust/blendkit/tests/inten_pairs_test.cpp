// Intensity pairs of an overlap: box averages, the sampling grid and its
// coverage rule (box areas checked against Clipper), and the fallback pairs.

#include "adjust/blendkit/inten_pairs.h"
#include "geometry/polykit/poly_clip.h"
#include "imaging/image.h"

#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>

#include <cmath>
#include <vector>

namespace {

void SetPixel(Image& img, int x, int y, int r, int g, int b)
{
    unsigned char* p = img.GetData() + static_cast<size_t>(y) * img.GetRowByte() + static_cast<size_t>(x) * 3;
    p[0] = static_cast<unsigned char>(r);
    p[1] = static_cast<unsigned char>(g);
    p[2] = static_cast<unsigned char>(b);
}

// A polygon record of one contour that owns its vertices.
struct OwnedPolygon {
    std::vector<POINT2> v;
    gpc_vertex_list contour{};
    gpc_polygon polygon{};
    explicit OwnedPolygon(std::vector<POINT2> pts) : v(std::move(pts))
    {
        contour.count = static_cast<int32_t>(v.size());
        contour.points = v.data();
        polygon.count = 1;
        polygon.contours = &contour;
    }
};

// Area of an axis box (x0..x1 inclusive corners, no +1) inside the polygon,
// by Clipper on coordinates scaled by 1000.
double ClipperBoxArea(const std::vector<POINT2>& poly, double x0, double y0, double x1, double y1)
{
    using namespace ClipperLib;
    Path subject, box;
    for (const POINT2& p : poly) subject.push_back(IntPoint(std::llround(p.x * 1000.0), std::llround(p.y * 1000.0)));
    box << IntPoint(std::llround(x0 * 1000), std::llround(y0 * 1000)) << IntPoint(std::llround(x1 * 1000), std::llround(y0 * 1000))
        << IntPoint(std::llround(x1 * 1000), std::llround(y1 * 1000)) << IntPoint(std::llround(x0 * 1000), std::llround(y1 * 1000));
    Clipper c;
    c.AddPath(subject, ptSubject, true);
    c.AddPath(box, ptClip, true);
    Paths out;
    c.Execute(ctIntersection, out, pftEvenOdd, pftEvenOdd);
    double area = 0.0;
    for (const Path& p : out) area += std::fabs(Area(p));
    return area / 1e6;
}

TEST(ImgRegionTest, AveragesSkipPixelsWithAZeroSampleAndStayInsideTheImage)
{
    Image img(40, 30);
    img.Fill(0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) SetPixel(img, x, y, 10 + x, 20 + y, 50);
    SetPixel(img, 2, 2, 200, 0, 200);  // one zero sample: the pixel is left out (it would pull the mean far off)
    struct Case {
        int x, y, w, h;
        int count;
        float avg[3];
    } cases[] = {
        {0, 0, 5, 5, 24, {12.0f, 22.0f, 50.0f}},
        {-5, -5, 10, 10, 24, {12.0f, 22.0f, 50.0f}},  // clipped to the same 5 x 5
        {36, 26, 10, 10, 16, {10.0f + 37.5f, 20.0f + 27.5f, 50.0f}},                 // past the far corner
        {50, 10, 10, 10, 0, {0, 0, 0}},                                              // wholly outside
    };
    for (const Case& c : cases) {
        float out[3] = {-7, -7, -7};
        EXPECT_EQ(CImgRegion::ImgRegionAvg(&img, c.x, c.y, c.w, c.h, out), c.count) << c.x << "," << c.y;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], c.avg[k], 1e-3f) << c.x << "," << c.y << " channel " << k;
    }
    Image black(20, 20);
    black.Fill(0);
    float out[3] = {-7, -7, -7};
    EXPECT_EQ(CImgRegion::ImgRegionAvg(&black, 0, 0, 20, 20, out), 0);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
}

// Second image = first darkened by 0.8; the pair entries carry that ratio.
struct OverlapPair {
    Image a, b;
    OverlapPair(int w, int h) : a(w, h), b(w, h)
    {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int r = 60 + (x * 7 + y * 3) % 150, g = 80 + (x + 2 * y) % 120, bl = 100;
                SetPixel(a, x, y, r, g, bl);
                SetPixel(b, x, y, static_cast<int>(r * 0.8f), static_cast<int>(g * 0.8f), static_cast<int>(bl * 0.8f));
            }
        }
    }
};

TEST(IntenPairsTest, GridFitsTheOverlapAndBoxAreasMatchClipper)
{
    struct Case {
        int w, h;
        std::vector<POINT2> poly;
    } cases[] = {
        {200, 150, {{5, 5}, {195, 5}, {195, 145}, {5, 145}}},
        {320, 120, {{20, 10}, {300, 30}, {260, 115}, {10, 100}}},   // a tilted quadrilateral
        {90, 400, {{45, 0}, {90, 200}, {45, 400}, {0, 200}}},       // a diamond: many boxes fail coverage
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        OverlapPair pair(c.w, c.h);
        OwnedPolygon poly(c.poly);
        CIntenPairs ip(&pair.a, &pair.b, &poly.polygon);
        INTEN_PAIRS out{nullptr, 0};
        const bool ok = ip.MainIntenPairs(10, 20, 20, &out);
        ASSERT_GE(ip.GetBoxCount(), 2);
        const int s = ip.GetStep();
        const int ext = std::max(s, 20);
        int passing = 0;
        for (int i = 0; i < ip.GetBoxCount(); ++i) {
            const POINT2 ctr = ip.GetBoxCentre(i);
            // The grid's cells of the larger of step and box lie in the image.
            EXPECT_GE(ctr.x - ext / 2, 0.0f);
            EXPECT_LE(ctr.x + ext / 2, static_cast<float>(c.w - 1));
            EXPECT_LE(ctr.y + ext / 2, static_cast<float>(c.h - 1));
            const double x0 = static_cast<int>(ctr.x) - 10, y0 = static_cast<int>(ctr.y) - 10;
            const double ref = ClipperBoxArea(c.poly, x0, y0, x0 + 19, y0 + 19);
            EXPECT_EQ(ip.GetBoxArea(i), static_cast<int>(ref + 1e-3)) << "box " << i;
            if (ref + 1e-3 >= 19.0 * 19.0 * 95.0 / 100.0) ++passing;
        }
        // One more column or row would leave the image.
        const POINT2 last = ip.GetBoxCentre(ip.GetBoxCount() - 1);
        EXPECT_GT(last.x + s + ext / 2, static_cast<float>(c.w - 2));
        EXPECT_GT(last.y + s + ext / 2, static_cast<float>(c.h - 2));

        if (passing >= 2) {
            ASSERT_TRUE(ok);
            ASSERT_EQ(out.count, passing);
            for (int i = 0; i < out.count; ++i)
                for (int k = 0; k < 3; ++k) EXPECT_NEAR(out.entries[6 * i + 3 + k] / out.entries[6 * i + k], 0.8f, 0.01f);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(out.count, 2);
        }
        FreeIntenPairs(&out);
    }
}

TEST(IntenPairsTest, TooSmallOrMissingInputGivesTheFakePairs)
{
    OverlapPair tiny(18, 18);
    OwnedPolygon full({{0, 0}, {17, 0}, {17, 17}, {0, 17}});
    OverlapPair big(200, 200);
    OwnedPolygon sliver({{0, 0}, {199, 0}, {199, 3}, {0, 3}});  // no box is covered
    struct Case {
        const char* name;
        Image* a;
        Image* b;
        gpc_polygon* poly;
    } cases[] = {
        {"smaller than two boxes", &tiny.a, &tiny.b, &full.polygon},
        {"no first image", nullptr, &big.b, &sliver.polygon},
        {"no box inside the polygon", &big.a, &big.b, &sliver.polygon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CIntenPairs ip(c.a, c.b, c.poly);
        INTEN_PAIRS out{nullptr, 0};
        EXPECT_FALSE(ip.MainIntenPairs(10, 20, 20, &out));
        ASSERT_EQ(out.count, 2);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(out.entries[k], 100.0f);
            EXPECT_EQ(out.entries[6 + k], 200.0f);
        }
        FreeIntenPairs(&out);
    }
}

TEST(IntenPairsTest, MakeIntenPairsMarksUncoveredBoxes)
{
    OverlapPair pair(200, 150);
    // Left half only: boxes of the right half fail the 70 percent rule.
    OwnedPolygon left({{0, 0}, {100, 0}, {100, 150}, {0, 150}});
    CIntenPairs grid(&pair.a, &pair.b, &left.polygon);
    INTEN_PAIRS sampled{nullptr, 0};
    grid.MainIntenPairs(10, 20, 20, &sampled);  // lays the grid and its areas
    FreeIntenPairs(&sampled);
    INTEN_PAIRS out{nullptr, 0};
    EXPECT_EQ(CImgRegion::MakeIntenPairs(&pair.a, &pair.b, &grid, 70, &out), grid.GetBoxCount() > 3);
    ASSERT_EQ(out.count, grid.GetBoxCount());
    int marked = 0;
    for (int i = 0; i < out.count; ++i) {
        const bool inside = grid.GetBoxCentre(i).x + 10 <= 100;
        const bool outside = grid.GetBoxCentre(i).x - 10 >= 100;
        if (outside) {
            EXPECT_EQ(out.entries[6 * i], -1.0f) << i;
            EXPECT_EQ(out.entries[6 * i + 5], -1.0f) << i;
            ++marked;
        }
        if (inside) {
            EXPECT_GT(out.entries[6 * i], 0.0f) << i;
        }
    }
    EXPECT_GT(marked, 0);
    FreeIntenPairs(&out);
}

}  // namespace
