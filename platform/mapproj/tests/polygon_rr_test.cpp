// Outlines and overlap areas of a pair: the outline's corners are the mapped
// image corners, the overlap area is the area of the outline clipped to the
// frame (by the polygon clipper and by Clipper, an independent library) and
// close to a count of the pixels that map, and the polygon mapper fills
// exactly the outline's pixels.
#include "platform/mapproj/polygon_rr.h"
#include "platform/mapproj/rect_pt_rs.h"

#include "geometry/polykit/poly_clip.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "viewer/engine/poly_map_rr.h"

#include <polyclipping/clipper.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

double ShoelaceArea(const gpc_polygon& p)
{
    double total = 0;
    for (int c = 0; c < p.count; ++c) {
        const gpc_vertex_list& v = p.contours[c];
        double s = 0;
        for (int i = 0; i < v.count; ++i) {
            const POINT2& a = v.points[i];
            const POINT2& b = v.points[(i + 1) % v.count];
            s += double(a.x) * b.y - double(b.x) * a.y;
        }
        total += std::fabs(s) / 2;  // the clipped outline is one convex contour
    }
    return total;
}

void Free(gpc_polygon* p)
{
    if (!p) return;
    CPolyClip::gpc_free_polygon(p);
    delete p;
}

struct Pair {
    int w1, h1, w2, h2;
    PAIR_WALIGN_RR_PRMS2 p;
};

Pair RandomPair(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(-1, 1);
    Pair c{};
    c.w1 = 300 + static_cast<int>(200 * (u(rng) + 1));
    c.h1 = 200 + static_cast<int>(150 * (u(rng) + 1));
    c.w2 = 300 + static_cast<int>(200 * (u(rng) + 1));
    c.h2 = 200 + static_cast<int>(150 * (u(rng) + 1));
    c.p.rcpF1 = static_cast<float>(1 / (700 + 300 * u(rng)));
    c.p.rcpF2 = static_cast<float>(1 / (700 + 300 * u(rng)));
    c.p.angA = static_cast<float>(0.3 * u(rng));
    c.p.angB = static_cast<float>(0.5 * u(rng));
    c.p.angC = static_cast<float>(0.3 * u(rng));
    return c;
}

// Outline of image 1 in image 2's frame, as the overlap images ask for it.
gpc_polygon* Outline(const Pair& c, gpc_polygon** frame = nullptr, gpc_polygon** overlap = nullptr)
{
    return CPolygonRR::MapImgBoundsRR(c.w1, c.h1, c.w2, c.h2, c.p.rcpF1, c.p.angA, c.p.angB, c.p.rcpF1 / c.p.rcpF2,
                                      c.p.angC, 0.0f, frame, overlap);
}

TEST(PolygonRR, OutlineCornersAreTheMappedImageCorners)
{
    std::mt19937 rng(17);
    for (int i = 0; i < 300; ++i) {
        const Pair c = RandomPair(rng);
        float m[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&c.p, nullptr, nullptr, m));
        gpc_polygon* poly = Outline(c);
        ASSERT_NE(poly, nullptr);
        ASSERT_EQ(poly->count, 1);
        ASSERT_EQ(poly->contours[0].count, 4) << i;
        const POINT2 corners[4] = {{-0.5f, -0.5f}, {c.w1 - 0.5f, -0.5f}, {c.w1 - 0.5f, c.h1 - 0.5f}, {-0.5f, c.h1 - 0.5f}};
        for (const POINT2& corner : corners) {
            const POINT2 centred{corner.x - c.w1 / 2, corner.y - c.h1 / 2};
            POINT2 mapped;
            ASSERT_TRUE(CTransformWA::TransformPtRR2(&centred, &mapped, m));
            mapped.x += c.w2 / 2;
            mapped.y += c.h2 / 2;
            double best = 1e30;
            for (int k = 0; k < 4; ++k) {
                const POINT2& v = poly->contours[0].points[k];
                best = std::min(best, std::hypot(double(v.x) - mapped.x, double(v.y) - mapped.y));
            }
            ASSERT_LT(best, 2e-3) << i;
        }
        Free(poly);
    }
}

// A view turned so far that part of the image lies behind the frame: the
// outline is cut there and stays finite and bounded.
TEST(PolygonRR, OutlineIsCutAtTheHorizon)
{
    for (float pan : {1.2f, -1.4f, 1.55f}) {
        gpc_polygon* poly = CPolygonRR::MapImgBoundsRR(800, 600, 640, 480, 1.0f / 500, 0.1f, pan, 1.0f, -0.1f, 0.0f);
        ASSERT_NE(poly, nullptr);
        ASSERT_EQ(poly->count, 1);
        const gpc_vertex_list& v = poly->contours[0];
        EXPECT_GE(v.count, 3);
        for (int k = 0; k < v.count; ++k) {
            EXPECT_TRUE(std::isfinite(v.points[k].x) && std::isfinite(v.points[k].y));
            EXPECT_LT(std::fabs(v.points[k].x), 10000);
            EXPECT_LT(std::fabs(v.points[k].y), 10000);
        }
        Free(poly);
    }
    // Wholly behind: no contour.
    gpc_polygon* none = CPolygonRR::MapImgBoundsRR(100, 100, 640, 480, 1.0f / 500, 0, 3.0f, 1.0f, 0, 0.0f);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->count, 0);
    Free(none);
}

double ClipperOverlapArea(const Pair& c)
{
    // The quadrilateral of image 2's corners carried into image 1, cut to
    // image 1's pixel area, by Clipper in thousandths of a pixel.
    PAIR_WALIGN_RR_PRMS2 inverse;
    CTransformWA::InvertAlignPrmsRR2(&c.p, &inverse);
    float m[9];
    CTransformWA::PairAlignPrmsRR2toM(&inverse, nullptr, nullptr, m);
    ClipperLib::Path quad, rect;
    const POINT2 corners[4] = {{-0.5f, -0.5f}, {c.w2 - 0.5f, -0.5f}, {c.w2 - 0.5f, c.h2 - 0.5f}, {-0.5f, c.h2 - 0.5f}};
    for (const POINT2& corner : corners) {
        const POINT2 centred{corner.x - c.w2 / 2, corner.y - c.h2 / 2};
        POINT2 mapped;
        if (!CTransformWA::TransformPtRR2(&centred, &mapped, m)) return -1;
        quad.push_back({std::llround((mapped.x + c.w1 / 2) * 1000.0), std::llround((mapped.y + c.h1 / 2) * 1000.0)});
    }
    rect = {{-500, -500}, {c.w1 * 1000LL - 500, -500}, {c.w1 * 1000LL - 500, c.h1 * 1000LL - 500}, {-500, c.h1 * 1000LL - 500}};
    ClipperLib::Clipper clipper;
    clipper.AddPath(quad, ClipperLib::ptSubject, true);
    clipper.AddPath(rect, ClipperLib::ptClip, true);
    ClipperLib::Paths result;
    clipper.Execute(ClipperLib::ctIntersection, result, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
    double area = 0;
    for (const auto& path : result) area += std::fabs(ClipperLib::Area(path));
    return area / 1e6;
}

// Pixels of image 1 whose centres land inside image 2's pixel area.
int CountSharedPixels(const Pair& c)
{
    float m[9];
    CTransformWA::PairAlignPrmsRR2toM(&c.p, nullptr, nullptr, m);
    int n = 0;
    for (int y = 0; y < c.h1; ++y) {
        for (int x = 0; x < c.w1; ++x) {
            const POINT2 q{static_cast<float>(x - c.w1 / 2), static_cast<float>(y - c.h1 / 2)};
            POINT2 s;
            if (!CTransformWA::TransformPtRR2(&q, &s, m)) continue;
            const double sx = s.x + c.w2 / 2, sy = s.y + c.h2 / 2;
            n += sx >= -0.5 && sx < c.w2 - 0.5 && sy >= -0.5 && sy < c.h2 - 0.5;
        }
    }
    return n;
}

TEST(PolygonRR, OverlapAreaIsTheAreaOfTheClippedOutline)
{
    std::mt19937 rng(23);
    for (int i = 0; i < 40; ++i) {
        const Pair c = RandomPair(rng);
        Image img1(c.w1, c.h1, 1), img2(c.w2, c.h2, 1);
        const float area = CPolygonRR::TwoImgsOverlapArea(&img2, &img1, &c.p);

        // Image 2's outline in image 1, clipped to image 1 by the polygon clipper.
        PAIR_WALIGN_RR_PRMS2 inv;
        CTransformWA::InvertAlignPrmsRR2(&c.p, &inv);
        gpc_polygon* frame = nullptr;
        gpc_polygon* outline = CPolygonRR::MapImgBoundsRR(c.w2, c.h2, c.w1, c.h1, inv.rcpF1, inv.angA, inv.angB,
                                                          inv.rcpF1 / inv.rcpF2, inv.angC, 0.0f, &frame);
        ASSERT_NE(outline, nullptr);
        gpc_polygon clipped{0, nullptr};
        CPolyClip::gpc_polygon_clip(GPC_INT, outline, frame, &clipped);
        const double clippedArea = ShoelaceArea(clipped);
        EXPECT_NEAR(area, clippedArea, 1e-3 * clippedArea + 0.5) << i;

        const double clipperArea = ClipperOverlapArea(c);
        if (clipperArea >= 0) {
            EXPECT_NEAR(area, clipperArea, 1e-4 * clipperArea + 1.0) << i;
        }

        // A count of the shared pixels differs by less than the boundary.
        const int count = CountSharedPixels(c);
        EXPECT_NEAR(area, count, 0.01 * (c.w1 + c.h1) * 2 + 4) << i;
        CPolyClip::gpc_free_polygon(&clipped);
        Free(outline);
        Free(frame);
    }
}

TEST(PolygonRR, MapperFillsExactlyTheOutlinePixels)
{
    std::mt19937 rng(31);
    for (int i = 0; i < 10; ++i) {
        Pair c = RandomPair(rng);
        c.w1 /= 2, c.h1 /= 2, c.w2 /= 2, c.h2 /= 2;  // keep it small
        Image src(c.w1, c.h1, 1);
        std::memset(src.GetData(), 200, src.GetDataSize());
        Image byOutline(c.w2, c.h2, 1), byFrame(c.w2, c.h2, 1);
        std::memset(byOutline.GetData(), 0, byOutline.GetDataSize());
        std::memset(byFrame.GetData(), 0, byFrame.GetDataSize());
        gpc_polygon* frame = nullptr;
        gpc_polygon* outline = Outline(c, &frame);
        ASSERT_NE(outline, nullptr);
        CPolyMapRR mapper;
        ASSERT_EQ(1, mapper.MapImgRegions(&src, &byOutline, outline, &c.p));
        ASSERT_EQ(1, mapper.MapImgRegions(&src, &byFrame, frame, &c.p));
        int differ = 0, filled = 0;
        for (size_t k = 0; k < byFrame.GetDataSize(); ++k) {
            differ += byFrame.GetData()[k] != byOutline.GetData()[k];
            filled += byFrame.GetData()[k] != 0;
        }
        // Only pixels whose centres lie on the outline itself may differ.
        EXPECT_LE(differ, 2) << i << " filled " << filled;
        Free(outline);
        Free(frame);
    }
}

TEST(PolygonRR, InvalidArgumentsGiveNoPolygonAndAnError)
{
    LogCapture log;
    EXPECT_EQ(nullptr, CPolygonRR::MapImgBoundsRR(0, 10, 10, 10, 0.001f, 0, 0, 1, 0, 0));
    EXPECT_EQ(nullptr, CPolygonRR::MapImgBoundsRR(10, 10, 10, 10, 0.0f, 0, 0, 1, 0, 0));
    EXPECT_EQ(nullptr, CPolygonRR::MapImgBoundsRR(10, 10, 10, 10, 0.001f, 0, 0, NAN, 0, 0));
    EXPECT_EQ(3, log.errorCount());
    Image img(10, 10, 1);
    EXPECT_EQ(0.0f, CPolygonRR::TwoImgsOverlapArea(&img, nullptr, nullptr));
}

// An image at rest on the sphere map lies centred on the map's middle
// column and equator, 2 atan(W r / 2) wide.
TEST(RectPtRS, OutlineOfAnImageAtRestIsCentredWithItsAngularWidth)
{
    const int samples = 6280, W = 640, H = 480;
    TRANSFORM_RS rs{};
    rs.rcpFocal = 1.0f / 1000;
    rs.scale = 1;
    const RECT rect{samples / 2 - 400, samples / 4 - 300, samples / 2 + 399, samples / 4 + 299};
    gpc_polygon* poly = CRectPtRS::PolygonImgBoxInRWM(W, H, 8, 8, &rs, &rect, samples);
    ASSERT_NE(poly, nullptr);
    ASSERT_EQ(poly->count, 1);
    ASSERT_EQ(poly->contours[0].count, 32);
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (int k = 0; k < poly->contours[0].count; ++k) {
        const POINT2& p = poly->contours[0].points[k];
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    const double width = 2 * std::atan(W * 0.001 / 2) * samples / (2 * kPi);
    EXPECT_NEAR(maxX - minX, width, 0.05);
    EXPECT_NEAR((minX + maxX) / 2, 400 - 0.5 * samples / (2 * kPi) * 0.001, 0.05);  // pixel-area edges at -0.5
    EXPECT_NEAR(maxY - minY, 2 * std::atan(H * 0.001 / 2) * samples / (2 * kPi), 0.05);
    Free(poly);
    LogCapture log;
    EXPECT_EQ(nullptr, CRectPtRS::PolygonImgBoxInRWM(W, H, 8, 8, nullptr, &rect, samples));
    EXPECT_TRUE(log.contains("ERROR CRectPtRS::PolygonImgBoxInRWM"));
}

}  // namespace
