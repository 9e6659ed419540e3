// Reference region selection: the grid layouts of every mode worked out by
// hand from the layout rules, the inside areas of boxes cut by a slanted
// edge against direct integration, the section rule, and the refusals
// (small overlaps, grids with no room, polygons without a contour).
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/ref_select.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A polygon of one contour that stays alive with its vertices.
struct Poly {
    std::vector<POINT2> v;
    gpc_vertex_list ring{};
    gpc_polygon poly{};
    explicit Poly(std::vector<POINT2> vertices) : v(std::move(vertices))
    {
        ring = gpc_vertex_list{static_cast<int32_t>(v.size()), v.data()};
        poly = gpc_polygon{1, &ring};
    }
};

Poly Rect(float x0, float y0, float x1, float y1) { return Poly({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}); }

struct Layout {
    const char* name;
    int mode;
    int width, height;
    float px0, py0, px1, py1;  // the overlap rectangle
    bool hasSearch;
    REGION search;
    int rangeX, rangeY;  // set before the layout
    // Expected:
    int x0, y0, dx, dy, nx, ny, wd, ht, minArea, outRangeX, outRangeY;
};

}  // namespace

TEST(RefSelect, LayoutTable)
{
    // Each row worked by hand from the rules; e.g. coarse, 400 x 300 whole
    // image: area 399*299 = 119301, step trunc(sqrt(119301/40)) = 54, box
    // 54, centres 54 .. 345 -> 6 columns of step 58, 54 .. 245 -> 4 rows of
    // step 63, box 58 x 63, min area 3654*70/100 = 2557, range trunc(58*1.1).
    const Layout cases[] = {
        {"coarse, whole image", -1, 400, 300, 0, 0, 399, 299, false, {}, 0, 0,
         54, 54, 58, 63, 6, 4, 58, 63, 2557, 63, 63},
        // refine 0: step 59, box trunc(59*1.2) = 70; union of the search box
        // and the polygon's box is 0..450 x 0..399.
        {"refine 0, search box", 0, 500, 400, 100, 50, 450, 350, true, {0, 0, 360, 399, 361, 400}, 17, 19,
         135, 85, 61, 76, 5, 4, 73, 91, 4650, 17, 19},
        // refine 1: step 45, box 47; centres 123 .. 403 (7, step 46), 73 ..
        // 327 (6, step 50); box trunc(46*1.05) x trunc(50*1.05).
        {"refine 1 keeps the caller's ranges", 1, 500, 400, 100, 50, 450, 350, true, {0, 0, 360, 399, 361, 400}, 9,
         8, 123, 73, 46, 50, 7, 6, 48, 52, 1747, 9, 8},
        // contour match: step 89 too coarse for five steps: 399/5 = 79 and
        // 299/5 = 59; columns 79 .. 321 (4, step 80), rows 59 .. 240 (4,
        // step 60); the box becomes the step; ranges 160 and 120 made odd.
        {"contour match", 2, 400, 300, 0, 0, 399, 299, false, {}, 0, 0,
         79, 59, 80, 60, 4, 4, 80, 60, 3360, 161, 121},
        // coarse, a low strip: rows 25 .. 67 fit only (67-25)/15 + 1 = 3
        // centres, spread evenly: step 21; box height raised to 25.
        {"three rows at least", -1, 400, 300, 0, 0, 399, 79, false, {}, 0, 0,
         28, 25, 28, 21, 13, 3, 28, 25, 490, 30, 30},
    };
    for (const Layout& c : cases) {
        Poly p = Rect(c.px0, c.py0, c.px1, c.py1);
        REGION search = c.search;
        CRefSelect sel;
        ASSERT_EQ(sel.InitPrms(c.width, c.height, &p.poly, c.hasSearch ? &search : nullptr), 1) << c.name;
        sel.SetAlignMode(c.mode);
        sel.SetCCRangeXY(c.rangeX, c.rangeY);
        ASSERT_EQ(sel.MainRefSelect(), 1) << c.name;
        EXPECT_EQ(sel.m_x0Tmpl, c.x0) << c.name;
        EXPECT_EQ(sel.m_y0Tmpl, c.y0) << c.name;
        EXPECT_EQ(sel.m_dxTmpl, c.dx) << c.name;
        EXPECT_EQ(sel.m_dyTmpl, c.dy) << c.name;
        EXPECT_EQ(sel.m_nxTmpl, c.nx) << c.name;
        EXPECT_EQ(sel.m_nyTmpl, c.ny) << c.name;
        EXPECT_EQ(sel.m_numTmpl, c.nx * c.ny) << c.name;
        EXPECT_EQ(sel.m_wdTmpl, c.wd) << c.name;
        EXPECT_EQ(sel.m_htTmpl, c.ht) << c.name;
        EXPECT_EQ(sel.m_minArea, c.minArea) << c.name;
        EXPECT_EQ(sel.m_rangeX, c.outRangeX) << c.name;
        EXPECT_EQ(sel.m_rangeY, c.outRangeY) << c.name;
        EXPECT_EQ(sel.m_pctArea, 70);
        POINT last = sel.GetTmplCtr(c.nx - 1, c.ny - 1);
        EXPECT_EQ(last.x, c.x0 + (c.nx - 1) * c.dx) << c.name;
        EXPECT_EQ(last.y, c.y0 + (c.ny - 1) * c.dy) << c.name;
        // Boxes wholly inside the rectangle qualify; check one.
        ASSERT_NE(sel.m_pBoxArea, nullptr);
        ASSERT_NE(sel.m_pSecRow, nullptr);
        ASSERT_NE(sel.m_pSecCol, nullptr);
    }
}

TEST(RefSelect, BoxAreasUnderASlantedEdge)
{
    // Triangle (0,0) (600,0) (0,450): inside where x/600 + y/450 <= 1.
    Poly tri({{0, 0}, {600, 0}, {0, 450}});
    CRefSelect sel(640, 480, &tri.poly, nullptr);
    sel.SetAlignMode(0);
    sel.SetCCRangeXY(10, 10);
    ASSERT_EQ(sel.MainRefSelect(), 1);
    int qualifying = 0, partial = 0;
    for (int iy = 0; iy < sel.m_nyTmpl; ++iy) {
        for (int ix = 0; ix < sel.m_nxTmpl; ++ix) {
            const POINT c = sel.GetTmplCtr(ix, iy);
            const double bx0 = c.x - sel.m_wdTmpl / 2, by0 = c.y - sel.m_htTmpl / 2;
            const double bx1 = bx0 + sel.m_wdTmpl - 1, by1 = by0 + sel.m_htTmpl - 1;
            // Area of the box (x0..x1, y0..y1, no +1) under the edge, by
            // integrating the covered height across the box.
            double area = 0.0;
            const int steps = 20000;
            const double h = (bx1 - bx0) / steps;
            for (int i = 0; i < steps; ++i) {
                const double x = bx0 + (i + 0.5) * h;
                const double top = std::clamp(450.0 * (1.0 - x / 600.0), 0.0, 450.0);
                const double lo = std::max(by0, 0.0);
                const double hi = std::min(by1, top);
                if (x >= 0.0 && hi > lo) area += (hi - lo) * h;
            }
            const int k = iy * sel.m_nxTmpl + ix;
            EXPECT_NEAR(sel.m_pBoxArea[k], area, 1.0) << ix << "," << iy;
            EXPECT_EQ(sel.Qualifies(k), sel.m_pBoxArea[k] >= sel.m_minArea);
            qualifying += sel.Qualifies(k);
            partial += area > 0.0 && area < (bx1 - bx0) * (by1 - by0) - 1.0;
        }
    }
    EXPECT_GT(qualifying, 3);
    EXPECT_GT(partial, 3);
    EXPECT_LT(qualifying, sel.m_numTmpl);
    // The sections follow the qualifying boxes.
    for (int iy = 0; iy < sel.m_nyTmpl; ++iy) {
        int first = -1, count = 0;
        for (int ix = 0; ix < sel.m_nxTmpl; ++ix)
            if (sel.Qualifies(iy * sel.m_nxTmpl + ix)) {
                if (first < 0) first = ix;
                ++count;
            }
        const TMPL_SECTION s = sel.m_pSecRow[iy];
        EXPECT_EQ(s.count, count);
        EXPECT_EQ(s.first, first);
        EXPECT_EQ(s.last, count ? first + count - 1 : -2);
        EXPECT_EQ(s.span, count ? count : -1);
    }
}

TEST(RefSelect, SectionsCountQualifyingBoxes)
{
    // Columns 2 and 5 of row 0 qualify: first 2, count 2, last 3, span 2.
    CRefSelect sel;
    sel.m_nxTmpl = 7;
    sel.m_nyTmpl = 2;
    sel.m_numTmpl = 14;
    sel.m_minArea = 10;
    sel.m_pBoxArea.reset(new int[14]{0, 0, 10, 5, 9, 50, 0, /* row 1 */ 0, 0, 0, 0, 0, 0, 0});
    sel.CalcSecRow();
    sel.CalcSecCol();
    const TMPL_SECTION r0 = sel.m_pSecRow[0], r1 = sel.m_pSecRow[1];
    EXPECT_EQ(r0.first, 2);
    EXPECT_EQ(r0.count, 2);
    EXPECT_EQ(r0.last, 3);
    EXPECT_EQ(r0.span, 2);
    EXPECT_EQ(r1.first, -1);
    EXPECT_EQ(r1.last, -2);
    EXPECT_EQ(r1.span, -1);
    EXPECT_EQ(r1.count, 0);
    const TMPL_SECTION c5 = sel.m_pSecCol[5], c3 = sel.m_pSecCol[3];
    EXPECT_EQ(c5.first, 0);
    EXPECT_EQ(c5.count, 1);
    EXPECT_EQ(c5.span, 1);
    EXPECT_EQ(c3.count, 0);
}

TEST(RefSelect, RefusalsLayNothingOut)
{
    struct Case {
        const char* name;
        std::vector<POINT2> v;
        int width, height;
    };
    const Case cases[] = {
        // 100 x 100: 9801 square pixels.
        {"area under 20000", {{0, 0}, {99, 0}, {99, 99}, {0, 99}}, 200, 200},
        // 9 wide: a step of 1 but no room between the first and last centre.
        {"nine pixels wide", {{0, 0}, {9, 0}, {9, 3000}, {0, 3000}}, 400, 3100},
        // 4 wide: a step of 0.
        {"four pixels wide", {{0, 0}, {4, 0}, {4, 6000}, {0, 6000}}, 400, 6100},
    };
    for (const Case& c : cases) {
        for (int mode : {-1, 0, 1, 2}) {
            Poly p(c.v);
            CRefSelect sel(c.width, c.height, &p.poly, nullptr);
            sel.SetAlignMode(mode);
            EXPECT_EQ(sel.MainRefSelect(), 0) << c.name << " mode " << mode;
            EXPECT_EQ(sel.m_pBoxArea, nullptr) << c.name;
            EXPECT_EQ(sel.m_pSecRow, nullptr) << c.name;
            EXPECT_EQ(sel.m_numTmpl, 0) << c.name;
        }
    }
    // Polygons without a contour are refused at once.
    LogCapture log;
    gpc_polygon empty{0, nullptr};
    CRefSelect sel;
    EXPECT_EQ(sel.InitPrms(100, 100, &empty, nullptr), 0);
    EXPECT_EQ(sel.MainRefSelect(), 0);
    EXPECT_EQ(sel.InitPrms(100, 100, nullptr, nullptr), 0);
    POINT2 two[2] = {{0, 0}, {5, 5}};
    gpc_vertex_list line{2, two};
    gpc_polygon degenerate{1, &line};
    EXPECT_EQ(sel.InitPrms(100, 100, &degenerate, nullptr), 0);
    EXPECT_TRUE(log.contains("ERROR CRefSelect::InitPrms"));
}

TEST(RefSelect, SecondRunReplacesTheFirst)
{
    Poly big = Rect(0, 0, 399, 299);
    Poly other = Rect(50, 0, 399, 299);
    CRefSelect sel(400, 300, &big.poly, nullptr);
    sel.SetAlignMode(-1);
    ASSERT_EQ(sel.MainRefSelect(), 1);
    const int first = sel.m_numTmpl;
    // InitPrms releases the arrays of the earlier run (the sanitizer build
    // reports a leak otherwise) and starts afresh.
    ASSERT_EQ(sel.InitPrms(400, 300, &other.poly, nullptr), 1);
    EXPECT_EQ(sel.m_pBoxArea, nullptr);
    EXPECT_EQ(sel.m_numTmpl, 0);
    EXPECT_EQ(sel.m_mode, 0);
    sel.SetAlignMode(-1);
    ASSERT_EQ(sel.MainRefSelect(), 1);
    ASSERT_EQ(sel.MainRefSelect(), 1);
    EXPECT_GT(first, 0);
    EXPECT_GT(sel.m_numTmpl, 0);
}

TEST(RefSelect, GoodSizeTable)
{
    struct Case {
        int n, pct, size;
    };
    for (Case c : {Case{64, 10, 64}, Case{65, 10, 64}, Case{70, 10, 64}, Case{100, 10, 96}, Case{120, 10, 128},
                   Case{200, 10, 192}, Case{33, 25, 32}, Case{97, 0, 128}, Case{96, 0, 96}}) {
        EXPECT_EQ(CCNCCMaps::GoodSize(c.n, c.pct), c.size) << c.n << " " << c.pct;
    }
}
