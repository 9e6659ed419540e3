// CPolyLineClip: parallels, the margin band and the side split.
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_line_clip.h"
#include "geometry/polykit/tests/poly_test_support.h"

#include <gtest/gtest.h>

using namespace polytest;

TEST(PolyLineClip, MakeParallelLine)
{
    POINT2 a{0, 0}, b{10, 0}, o1{-1, -1}, o2{-1, -1};
    ASSERT_TRUE(CPolyLineClip::MakeParallelLine(a, b, 2.0f, &o1, &o2));
    // The normal of (1, 0) is (0, -1).
    EXPECT_FLOAT_EQ(o1.x, 0);
    EXPECT_FLOAT_EQ(o1.y, -2);
    EXPECT_FLOAT_EQ(o2.x, 10);
    EXPECT_FLOAT_EQ(o2.y, -2);

    POINT2 c{1, 1}, d{1.3f, 1.4f};  // length 0.5
    EXPECT_FALSE(CPolyLineClip::MakeParallelLine(c, d, 2.0f, &o1, &o2));
    EXPECT_FLOAT_EQ(o1.y, -2);  // untouched
}

TEST(PolyLineClip, MarginRectangleCorners)
{
    POINT2 c[4];
    ASSERT_TRUE(CPolyLineClip::MarginRect(POINT2{0, 0}, POINT2{0, 10}, 1.0f, 3.0f, c));
    // u = (0, 1), n = (1, 0): the band runs from x = 1 to x = 4 and 2000
    // units past both ends.
    const POINT2 want[4] = {{1, -2000}, {1, 2010}, {4, 2010}, {4, -2000}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(c[i].x, want[i].x) << i;
        EXPECT_FLOAT_EQ(c[i].y, want[i].y) << i;
    }
    EXPECT_FALSE(CPolyLineClip::MarginRect(POINT2{0, 0}, POINT2{0, 0.5f}, 1.0f, 3.0f, c));
}

TEST(PolyLineClip, MarginBandOfASquare)
{
    Poly square({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
    // Vertical line x = 5 going down the page (+y): n = (1, 0).
    gpc_polygon* band = CPolyLineClip::PolygonLineMargin(square.get(), POINT2{5, 0}, POINT2{5, 10}, -1.0f, 3.0f);
    ASSERT_NE(band, nullptr);
    EXPECT_NEAR(EvenOddArea(ToContours(*band)), 30.0, 1e-3);  // x from 4 to 7
    CPolyClip::gpc_free_polygon(band);
    delete band;
    EXPECT_EQ(CPolyLineClip::PolygonLineMargin(square.get(), POINT2{5, 0}, POINT2{5, 10}, 20.0f, 3.0f), nullptr);
    EXPECT_EQ(CPolyLineClip::PolygonLineMargin(square.get(), POINT2{5, 0}, POINT2{5, 0.2f}, 0.0f, 3.0f), nullptr);
}

// The reference point's side of the line picks the band's offset: on the
// normal's side (cross product negative) the band starts at +m, otherwise
// at -m; both bands lie on the normal's side.
TEST(PolyLineClip, SplitSideFollowsTheReferencePoint)
{
    Poly square({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
    const POINT2 p1{5, 0}, p2{5, 10};
    struct Case {
        POINT2 ref;
        double area;
    };
    const Case cases[] = {
        {{8, 5}, 30.0},  // right of x = 5, the normal's side: band x >= 7
        {{2, 5}, 70.0},  // left: band x >= 3
    };
    for (const Case& c : cases) {
        gpc_polygon* part = CPolyLineClip::PolygonLineSplitPt(square.get(), p1, p2, &c.ref, false, 2.0f);
        ASSERT_NE(part, nullptr);
        EXPECT_NEAR(EvenOddArea(ToContours(*part)), c.area, 1e-3);
        CPolyClip::gpc_free_polygon(part);
        delete part;
    }
    // Without a reference point the origin decides: 0 (0 - 10) - 10 (0 - 5)
    // = 50 is not negative, as for a point on the left.
    gpc_polygon* origin = CPolyLineClip::PolygonLineSplitPt(square.get(), p1, p2, nullptr, true, 2.0f);
    ASSERT_NE(origin, nullptr);
    EXPECT_NEAR(EvenOddArea(ToContours(*origin)), 70.0, 1e-3);
    CPolyClip::gpc_free_polygon(origin);
    delete origin;
}
