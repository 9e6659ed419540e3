// CPolyGeom: area, bounding box, line spans, transforms, copies, boxes.
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "geometry/polykit/tests/poly_test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

using namespace polytest;

TEST(PolyGeom, AreaInBothOrientations)
{
    const std::vector<POINT2> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const std::vector<POINT2> reversed = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    const std::vector<POINT2> tri = {{0, 0}, {4, 0}, {0, 3}};
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(square.data(), 4), 1.0f);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(reversed.data(), 4), 1.0f);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(tri.data(), 3), 6.0f);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(tri.data(), 0), 0.0f);
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(tri.data(), -2), 0.0f);
}

// World-map pixel coordinates of wide panoramas lie beyond +-10000; the box
// starts from the first vertex, so it is exact there too. The empty array
// keeps the historic values.
TEST(PolyGeom, BoundingBoxBeyondTenThousand)
{
    const std::vector<POINT2> far = {{12000, -20000}, {15000, -11000}, {13000, -15000}};
    REGION2 box{};
    EXPECT_EQ(CPolyGeom::CalcBoundBox(far.data(), 3, &box), 1);
    EXPECT_FLOAT_EQ(box.left, 12000);
    EXPECT_FLOAT_EQ(box.right, 15000);
    EXPECT_FLOAT_EQ(box.top, -20000);
    EXPECT_FLOAT_EQ(box.bottom, -11000);
    EXPECT_FLOAT_EQ(box.width, 3000);
    EXPECT_FLOAT_EQ(box.height, 9000);

    EXPECT_EQ(CPolyGeom::CalcBoundBox(far.data(), 0, &box), 1);
    EXPECT_FLOAT_EQ(box.left, 10000);
    EXPECT_FLOAT_EQ(box.top, 10000);
    EXPECT_FLOAT_EQ(box.right, -10000);
    EXPECT_FLOAT_EQ(box.bottom, -10000);
    EXPECT_FLOAT_EQ(box.width, -20000);
}

TEST(PolyGeom, LineSpansUseHalfOpenVertexRule)
{
    const std::vector<POINT2> diamond = {{2, 0}, {4, 2}, {2, 4}, {0, 2}};
    struct Case {
        bool horizontal;
        float at;
        bool hit;
        float lo, hi;
    };
    const Case cases[] = {
        {true, 1, true, 1, 3},
        {true, 0, true, 2, 2},  // bottom vertex: both edges start there
        {true, 4, false, FLT_MAX, -FLT_MAX},  // top vertex: both edges end there
        {true, 9, false, FLT_MAX, -FLT_MAX},
        {false, 3, true, 1, 3},
        {false, 0, true, 2, 2},
        {false, 4, false, FLT_MAX, -FLT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.horizontal ? "H " : "V ") + std::to_string(c.at));
        float range[2] = {0, 0};
        const bool hit = c.horizontal ? CPolyGeom::RangePolygonLineH(diamond.data(), 4, c.at, range)
                                      : CPolyGeom::RangePolygonLineV(diamond.data(), 4, c.at, range);
        EXPECT_EQ(hit, c.hit);
        EXPECT_FLOAT_EQ(range[0], c.lo);
        EXPECT_FLOAT_EQ(range[1], c.hi);
    }
}

TEST(PolyGeom, ZoomAndShiftInPlace)
{
    std::vector<POINT2> p = {{1, 2}, {3, -4}};
    const POINT2 centre{1, 1};
    CPolyGeom::ZoomXYPolygon(p.data(), p.data(), 2, 2.0f, 3.0f, &centre);
    EXPECT_FLOAT_EQ(p[0].x, 1);
    EXPECT_FLOAT_EQ(p[0].y, 4);
    EXPECT_FLOAT_EQ(p[1].x, 5);
    EXPECT_FLOAT_EQ(p[1].y, -14);
    CPolyGeom::ZoomXYPolygon(p.data(), p.data(), 2, 0.5f, 0.5f, nullptr);
    EXPECT_FLOAT_EQ(p[1].x, 2.5f);
    const POINT2 by{10, 20};
    CPolyGeom::ShiftPolygon(p.data(), p.data(), 2, &by);
    EXPECT_FLOAT_EQ(p[0].x, 10.5f);
    EXPECT_FLOAT_EQ(p[0].y, 22);
    CPolyGeom::ShiftZoomPolygon(p.data(), p.data(), 2, &by, 2.0f);
    EXPECT_FLOAT_EQ(p[0].x, 31);
    EXPECT_FLOAT_EQ(p[0].y, 64);
}

TEST(PolyGeom, CopyPolygonIsDeep)
{
    Poly src({{{0, 0}, {1, 0}, {0, 1}}, {{5, 5}, {6, 5}, {6, 6}, {5, 6}}});
    gpc_polygon* copy = CPolyGeom::CopyPolygon(src.get());
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->count, 2);
    EXPECT_NE(copy->contours[1].points, src->contours[1].points);
    EXPECT_EQ(copy->contours[1].points[2].x, 6.0f);
    CPolyClip::gpc_free_polygon(copy);
    delete copy;
}

TEST(PolyGeom, IntPolygonBox)
{
    Poly square({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
    const REGION inside{2, 3, 6, 8, 5, 6};
    gpc_polygon* part = CPolyGeom::IntPolygonBox(square.get(), &inside);
    ASSERT_NE(part, nullptr);
    ASSERT_EQ(part->count, 1);
    // The box covers x0..x1 and y0..y1 exactly, without the pixel +1.
    EXPECT_FLOAT_EQ(CPolyGeom::CalcArea(part->contours[0].points, part->contours[0].count), 4.0f * 5.0f);
    CPolyClip::gpc_free_polygon(part);
    delete part;

    const REGION miss{20, 20, 30, 30, 11, 11};
    gpc_polygon* none = CPolyGeom::IntPolygonBox(square.get(), &miss);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->count, 0);
    EXPECT_EQ(none->contours, nullptr);
    delete none;
}

TEST(PolyGeom, Region2ToRegionTruncates)
{
    struct Case {
        REGION2 in;
        REGION out;
    };
    const Case cases[] = {
        {{1.2f, 7.8f, 2.9f, 5.9f, 0, 0}, {2, 1, 5, 7, 4, 7}},
        {{-0.5f, 0.5f, -0.5f, 3.0f, 0, 0}, {0, 0, 3, 0, 4, 1}},
        {{4.0f, 4.0f, 9.0f, 9.0f, 0, 0}, {9, 4, 9, 4, 1, 1}},  // zero width: one pixel
        {{-3.7f, -1.2f, -7.9f, -2.1f, 0, 0}, {-7, -3, -2, -1, 6, 3}},
    };
    for (const Case& c : cases) {
        REGION r{};
        CPolyGeom::Region2ToRegion(&c.in, &r);
        EXPECT_EQ(r.x0, c.out.x0);
        EXPECT_EQ(r.y0, c.out.y0);
        EXPECT_EQ(r.x1, c.out.x1);
        EXPECT_EQ(r.y1, c.out.y1);
        EXPECT_EQ(r.width, c.out.width);
        EXPECT_EQ(r.height, c.out.height);
    }
}
