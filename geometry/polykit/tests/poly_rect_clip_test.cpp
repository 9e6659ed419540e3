// CPolygon, CPolyRectInt and CPolyRectClip, with the general clipper as the
// reference for the rectangle intersections.
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "geometry/polykit/poly_rect_clip.h"
#include "geometry/polykit/poly_rect_int.h"
#include "geometry/polykit/polygon.h"
#include "geometry/polykit/tests/poly_test_support.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

using namespace polytest;

namespace {

// Exact area of the intersection by slab integration of the inputs.
double ExactIntersectionArea(const Contour& polygon, const REGION2& r)
{
    const Contours rect = {{{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}}};
    return ExpectedArea(GPC_INT, {polygon}, rect);
}

REGION2 Rect(float left, float top, float right, float bottom)
{
    return REGION2{top, bottom, left, right, right - left, bottom - top};
}

}  // namespace

// Random convex polygons of 3 to 8 vertices in both orientations against
// random rectangles: the walk's area equals the general clipper's
// (gpc_polygon_clip on the same pair), Clipper's and the exact area, including
// intersections of more than 8 vertices (which once overran the result).
TEST(PolyRectInt, MatchesGeneralClipperOnRandomConvexPolygons)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> pos(10, 90), size(5, 60);
    int big = 0;
    for (int i = 0; i < 400; ++i) {
        Contour p = RandomPolygon(rng, Kind::Convex, 3 + i % 6)[0];
        if (i % 2) std::reverse(p.begin(), p.end());
        const float l = pos(rng), t = pos(rng);
        const REGION2 r = Rect(l, t, l + size(rng), t + size(rng));
        CPolygon in(p.data(), static_cast<int>(p.size()));
        std::unique_ptr<CPolygon> out(CPolyRectInt::MainPolyRectInt(in, &r));
        const double expected = ExactIntersectionArea(p, r);
        SCOPED_TRACE(Describe({p}) + " rect " + std::to_string(l) + "," + std::to_string(t));
        // The general clipper on the same pair agrees with the reference, so
        // the walk is checked against the clipper it stands in for.
        Poly subject({p}), box({{{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}}}), general;
        CPolyClip::gpc_polygon_clip(GPC_INT, subject.get(), box.get(), general.get());
        const double clipped = EvenOddArea(ToContours(*general));
        EXPECT_NEAR(clipped, expected, 1e-3 * std::max(expected, 1.0));
        const Contours box4 = {{{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}}};
        EXPECT_NEAR(std::fabs(ClipperArea(GPC_INT, {p}, box4)), expected, 1e-3 * std::max(expected, 1.0));
        if (!out) {
            EXPECT_NEAR(expected, 0.0, 1e-3);
            EXPECT_EQ(general->count, 0);
            continue;
        }
        EXPECT_NEAR(CPolyGeom::CalcArea(out->m_pPoints, out->m_nCount), clipped, 1e-3 * std::max(clipped, 1.0));
        big += out->m_nCount > 8;
        EXPECT_LE(out->m_nCount, static_cast<int>(p.size()) + 4);
        EXPECT_NEAR(CPolyGeom::CalcArea(out->m_pPoints, out->m_nCount), expected, 1e-3 * std::max(expected, 1.0));
    }
    EXPECT_GT(big, 0);
}

TEST(PolyRectInt, ContainmentAndDisjointCases)
{
    const REGION2 r = Rect(0, 0, 10, 10);
    std::vector<POINT2> inside = {{2, 2}, {8, 2}, {8, 8}, {2, 8}};
    std::unique_ptr<CPolygon> a(CPolyRectInt::MainPolyRectInt(CPolygon(inside.data(), 4), &r));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->m_nCount, 4);
    EXPECT_NE(a->m_pPoints, inside.data());  // an owned copy
    EXPECT_EQ(a->m_pPoints[2].x, 8.0f);

    std::vector<POINT2> around = {{-5, -5}, {15, -5}, {15, 15}, {-5, 15}};
    std::unique_ptr<CPolygon> b(CPolyRectInt::MainPolyRectInt(CPolygon(around.data(), 4), &r));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->m_nCount, 4);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(b->m_pPoints, 4), 100.0f);

    std::vector<POINT2> away = {{20, 20}, {30, 20}, {30, 30}, {20, 30}};
    EXPECT_EQ(CPolyRectInt::MainPolyRectInt(CPolygon(away.data(), 4), &r), nullptr);

    std::vector<POINT2> tri = {{2, 2}, {8, 2}, {5, 14}};
    std::unique_ptr<CPolygon> c(CPolyRectInt::MainPolyRectInt(CPolygon(tri.data(), 3), &r));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->m_nCount, 4);
}

TEST(PolyRectInt, RefusesNonConvexPolygons)
{
    const REGION2 r = Rect(0, 0, 10, 10);
    std::vector<POINT2> notch = {{-2, -2}, {12, -2}, {12, 12}, {5, 3}, {-2, 12}};
    std::vector<POINT2> star = {{5, -3}, {8, 13}, {-3, 3}, {13, 3}, {2, 13}};
    LogCapture log;
    EXPECT_EQ(CPolyRectInt::MainPolyRectInt(CPolygon(notch.data(), 5), &r), nullptr);
    EXPECT_EQ(CPolyRectInt::MainPolyRectInt(CPolygon(star.data(), 5), &r), nullptr);
    EXPECT_EQ(log.errorCount(), 2);
}

TEST(Polygon, PointLevelWithAVertexIsTestedByTheOtherEdges)
{
    const std::vector<POINT2> diamond = {{2, 0}, {4, 2}, {2, 4}, {0, 2}};
    struct Case {
        POINT2 pt;
        bool inside;
    };
    // At the height of the side vertices every edge ends there, so even the
    // centre sees no edge: the rule is strict on purpose (callers test
    // centres of cells, never vertex heights).
    const Case cases[] = {
        {{2, 2}, false},
        {{1, 2}, false},
        {{2, 2.5f}, true},
        {{2, 0.5f}, true},
        {{5, 1}, false},
        {{2, 4}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPolygon::IsPtInPolygon(c.pt, diamond.data(), 4), c.inside) << c.pt.x << "," << c.pt.y;
    const std::vector<POINT2> square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    // Level with the bottom vertices the point sees no edge at all.
    EXPECT_FALSE(CPolygon::IsPtInPolygon(POINT2{2, 0}, square.data(), 4));
    EXPECT_TRUE(CPolygon::IsPtInPolygon(POINT2{2, 1}, square.data(), 4));
}

// Copies own their arrays (no double release); RectToPolygon's new array is
// released with the polygon (no leak). ASan and LSan watch both.
TEST(Polygon, CopiesAndRectangleArraysAreOwned)
{
    std::vector<POINT2> pts = {{0, 0}, {1, 0}, {0, 1}};
    CPolygon borrowed(pts.data(), 3);
    CPolygon a(5);
    a = borrowed;
    EXPECT_NE(a.m_pPoints, pts.data());
    EXPECT_EQ(a.m_bBorrowed, 0);
    EXPECT_EQ(a.m_nCount, 3);
    {
        CPolygon b(a);
        CPolygon c;
        c = b;
        EXPECT_NE(c.m_pPoints, b.m_pPoints);
    }
    const REGION2 r = Rect(1, 2, 3, 4);
    a.RectToPolygon(&r);
    EXPECT_EQ(a.m_nCount, 4);
    EXPECT_EQ(a.m_bBorrowed, 0);
    EXPECT_EQ(a.m_pPoints[2].x, 3.0f);
    EXPECT_EQ(a.m_pPoints[2].y, 4.0f);
    borrowed.RectToPolygon(&r);  // the caller's array is left alone
    EXPECT_EQ(pts[1].x, 1.0f);
    std::unique_ptr<CPolygon> o(CPolygon::RectToPolygonO(&r));
    EXPECT_EQ(o->m_pPoints[3].x, 1.0f);
    EXPECT_EQ(o->m_pPoints[3].y, 4.0f);
    EXPECT_EQ(CPolygon().Copy(), nullptr);
}

TEST(PolyRectClip, PolygonIntGivesOneContourOrNull)
{
    Poly p({{{-5, -5}, {5, -5}, {5, 5}, {-5, 5}}, {{100, 100}, {101, 100}, {101, 101}}});
    REGION2 r = Rect(0, 0, 10, 10);
    gpc_polygon* out = CPolyRectClip::gpc_polygon_INT(p.get(), &r);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->count, 1);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(out->contours[0].points, out->contours[0].count), 25.0f);
    CPolyRectClip::gpc_free_polygon(out);
    delete out;
    REGION2 far = Rect(50, 50, 60, 60);
    EXPECT_EQ(CPolyRectClip::gpc_polygon_INT(p.get(), &far), nullptr);
}

TEST(PolyRectClip, UnitSquareTristrip)
{
    Poly square({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}});
    gpc_tristrip t{0, nullptr};
    CPolyRectClip::gpc_polygon_to_tristrip(square.get(), &t);
    ASSERT_EQ(t.count, 1);
    ASSERT_EQ(t.strips[0].count, 4);
    const POINT2 want[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t.strips[0].points[i].x, want[i].x);
        EXPECT_EQ(t.strips[0].points[i].y, want[i].y);
    }
    CPolyRectClip::gpc_free_tristrip(&t);
    EXPECT_EQ(t.count, 0);
    CPolyRectClip::gpc_polygon_to_tristrip(nullptr, &t);
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.strips, nullptr);
}

// Convex contours in either orientation: the one strip's triangles have the
// polygon's area and do not overlap (their absolute areas add up to it).
TEST(PolyRectClip, ConvexTristripCoversThePolygon)
{
    std::mt19937 rng(8);
    for (int i = 0; i < 200; ++i) {
        Contour c = RandomPolygon(rng, Kind::Convex, 3 + i % 7)[0];
        if (i % 2) std::reverse(c.begin(), c.end());
        Poly p({c});
        gpc_tristrip t{0, nullptr};
        CPolyRectClip::gpc_polygon_to_tristrip(p.get(), &t);
        ASSERT_EQ(t.count, 1);
        double area = 0;
        const gpc_vertex_list& s = t.strips[0];
        for (int k = 0; k + 2 < s.count; ++k) {
            const POINT2 &a = s.points[k], &b = s.points[k + 1], &d = s.points[k + 2];
            area += 0.5 * std::fabs((b.x - a.x) * (d.y - a.y) - (d.x - a.x) * (b.y - a.y));
        }
        const double expected = std::fabs(SignedArea(c));
        EXPECT_NEAR(area, expected, 1e-3 * expected) << Describe({c});
        // Ladders of the strip (the view engine's next step) keep its area.
        gpc_ladder ladder{0, nullptr};
        CPolyRectClip::gpc_tristrip_to_ladders(&t.strips[0], &ladder);
        EXPECT_GT(ladder.count, 0);
        CPolyRectClip::gpc_free_ladder(&ladder);
        CPolyRectClip::gpc_free_tristrip(&t);
    }
}
