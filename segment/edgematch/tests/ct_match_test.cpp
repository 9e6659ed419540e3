// Contour matching: the border distance map against a brute-force taxicab
// distance written here, and the template shift maps of a tree matched
// against itself, shifted, and against pairs that map nothing.
#include "segment/edgematch/ct_cc_maps.h"
#include "segment/edgematch/ct_dist_map.h"
#include "segment/edgematch/edgematch.h"
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/tests/tree_test_support.h"

#include "geometry/polykit/poly_clip.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

using treetest::BuiltTree;

namespace {

// Lattice points of the level's borders.
std::vector<int> Seeds(CRegTree* tree, int level)
{
    std::vector<int> seeds;
    CRegTree::BorderIterator it(tree, level);
    for (BorderSegment* b = *it; b; ++it, b = *it)
        for (int p : treetest::BorderPoints(b)) seeds.push_back(p);
    return seeds;
}

// Distance map reference: the lattice frame is 1; inside it, the smallest
// taxicab distance d to a border point, stored as d + 1 up to cap - 1 steps
// and 0 beyond. (The frame only pads the map: distances are to borders.)
std::vector<int> TaxicabReference(CRegTree* tree, int level, int cap)
{
    int w, h;
    tree->GetDimension(w, h);
    const int lw = w + 1, lh = h + 1;
    const std::vector<int> seeds = Seeds(tree, level);
    std::vector<int> out(static_cast<size_t>(lw) * lh);
    for (int y = 0; y < lh; ++y)
        for (int x = 0; x < lw; ++x) {
            int d = INT_MAX;
            for (int s : seeds) d = std::min(d, std::abs(s % lw - x) + std::abs(s / lw - y));
            const bool frame = x == 0 || y == 0 || x == lw - 1 || y == lh - 1;
            out[static_cast<size_t>(y) * lw + x] = frame ? 1 : d <= cap - 1 ? d + 1 : 0;
        }
    return out;
}

struct DistCase {
    int w, h, channels;
    uint32_t seed;
    int level, cap;
};

class DistanceMap : public ::testing::TestWithParam<DistCase> {};

TEST_P(DistanceMap, MatchesTheTaxicabReferenceWithItsCap)
{
    const DistCase c = GetParam();
    BuiltTree t(treetest::RandomImage(c.w, c.h, c.channels, c.seed), 40, 4, 3);
    ASSERT_TRUE(t.built);
    CCtDistMap map(t.tree);
    ASSERT_TRUE(map.Make(c.level, c.cap));
    ASSERT_EQ(map.GetWidth(), c.w + 1);
    ASSERT_EQ(map.GetHeight(), c.h + 1);
    const std::vector<int> ref = TaxicabReference(t.tree, t.tree->ClampLevel(c.level), c.cap);
    int mismatches = 0;
    for (int y = 0; y < map.GetHeight(); ++y)
        for (int x = 0; x < map.GetWidth(); ++x)
            if (map.At(x, y) != ref[static_cast<size_t>(y) * map.GetWidth() + x] && ++mismatches < 5)
                ADD_FAILURE() << "(" << x << ", " << y << "): " << map.At(x, y) << " instead of "
                              << ref[static_cast<size_t>(y) * map.GetWidth() + x];
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Trees, DistanceMap,
                         ::testing::Values(DistCase{40, 30, 1, 3, 0, 10}, DistCase{40, 30, 1, 3, 2, 10},
                                           DistCase{40, 30, 3, 4, 1, 1}, DistCase{52, 37, 3, 5, 0, 2},
                                           DistCase{33, 40, 1, 6, 9, 127}, DistCase{30, 30, 1, 7, -4, 4}));

TEST(DistanceMapCap, OneLeavesOnlyBordersAndTheFrame)
{
    BuiltTree t(treetest::CharImage({"AAAAAA", "AABBAA", "AABBAA", "AAAAAA"}), 2, 2, 1);
    ASSERT_TRUE(t.built);
    CCtDistMap map(t.tree);
    ASSERT_TRUE(map.Make(0, 1));
    // Lattice 7 x 5: frame, the B square's outline, and its inside (4, 2)... none.
    const std::vector<std::vector<int>> expected = {
        {1, 1, 1, 1, 1, 1, 1},
        {1, 0, 1, 1, 1, 0, 1},
        {1, 0, 1, 0, 1, 0, 1},
        {1, 0, 1, 1, 1, 0, 1},
        {1, 1, 1, 1, 1, 1, 1},
    };
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(map.At(x, y), expected[y][x]) << x << "," << y;
    LogCapture log;
    EXPECT_TRUE(map.Make(0, 500));  // kept to 127
    EXPECT_EQ(map.GetCap(), 127);
    EXPECT_EQ(log.errorCount(), 1);
    CRegTree empty(nullptr);
    CCtDistMap none(&empty);
    EXPECT_FALSE(none.Make(0, 5));
    EXPECT_EQ(none.GetMap(), nullptr);
}

// A 240 x 200 image whose region borders all lie well inside it (x 60..180,
// y 60..140), so that every shift window of a border point stays inside.
Image* Shapes()
{
    return treetest::FloatImage(240, 200, 1, false, [](int x, int y, int) {
        if (x >= 70 && x < 120 && y >= 65 && y < 110) return 200.0f;                        // rectangle
        if ((x - 150) * (x - 150) + (y - 100) * (y - 100) < 26 * 26) return 120.0f;         // disc
        if (x >= 90 && x < 170 && y >= 125 && y < 135) return 60.0f;                        // bar
        if (x >= 95 && x < 105 && y >= 110 && y < 125) return 160.0f;                        // stem
        return 20.0f;
    });
}

PAIR_WALIGN_RR_PRMS2 Pair(float rcpF, float angB, float angC)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = p.rcpF2 = rcpF;
    p.angB = angB;
    p.angC = angC;
    return p;
}

// Position of the smallest sum, rows 0 .. rangeY - 2 (the last row of a map
// is never reached: its rows stop before the upper bound).
void MinimumOf(const CtShiftMap& m, int* mx, int* my)
{
    float best = 0;
    *mx = *my = -1;
    for (int y = 0; y < m.rangeY - 1; ++y)
        for (int x = 0; x < m.rangeX; ++x)
            if (*mx < 0 || m.At(x, y) < best) {
                best = m.At(x, y);
                *mx = x;
                *my = y;
            }
}

TEST(CCtCCMaps, ATreeMatchedWithItselfHasEveryMinimumAtZeroShift)
{
    BuiltTree t(Shapes(), 5, 5, 1);
    ASSERT_TRUE(t.built);
    CCtDistMap dm(t.tree);
    ASSERT_TRUE(dm.Make(0, 10));
    CCtCCMaps maps;
    const PAIR_WALIGN_RR_PRMS2 nearIdentity = Pair(1.0f / 400, 0.0f, 1e-5f);
    ASSERT_TRUE(maps.Make(&dm, t.tree, -1, &nearIdentity));
    EXPECT_EQ(maps.m_levelTree2, 0);
    EXPECT_EQ(maps.m_farValue, 15);
    EXPECT_EQ(maps.m_rangeX % 2, 1);
    EXPECT_EQ(maps.m_hx, maps.m_rangeX / 2);
    ASSERT_GT(maps.m_numMap, 0);
    int checked = 0;
    for (int k = 0; k < maps.m_numTmpl; ++k) {
        const CtShiftMap* m = maps.GetMap(k);
        if (!m || m->hits == 0) continue;
        int mx, my;
        MinimumOf(*m, &mx, &my);
        EXPECT_EQ(m->At(maps.m_hx, maps.m_hy), m->At(mx, my)) << "template " << k;
        // Every point sits on a border of the first tree: 1 each at zero shift.
        EXPECT_EQ(m->At(maps.m_hx, maps.m_hy), static_cast<float>(m->hits)) << "template " << k;
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

TEST(CCtCCMaps, AShiftedSecondImageMovesTheMinimumByTheShift)
{
    BuiltTree t(Shapes(), 5, 5, 1);
    ASSERT_TRUE(t.built);
    CCtDistMap dm(t.tree);
    ASSERT_TRUE(dm.Make(0, 20));
    // A small pan: the second image's points land about 4 pixels off in the first.
    const PAIR_WALIGN_RR_PRMS2 pan = Pair(1.0f / 400, 0.01f, 0.0f);
    CCtCCMaps maps;
    ASSERT_TRUE(maps.Make(&dm, t.tree, 0, &pan));
    const POINT2 centre{0.0f, 0.0f};
    POINT2 moved;
    ASSERT_TRUE(CTransformWA::TransformPtRR2(&centre, &moved, maps.m_M));
    const int dx = static_cast<int>(std::lround(moved.x)), dy = static_cast<int>(std::lround(moved.y));
    ASSERT_GE(std::abs(dx) + std::abs(dy), 3);
    int checked = 0;
    for (int k = 0; k < maps.m_numTmpl; ++k) {
        const CtShiftMap* m = maps.GetMap(k);
        if (!m || m->hits < 20) continue;
        int mx, my;
        MinimumOf(*m, &mx, &my);
        // Points landed at p + d; the border is found again d back.
        EXPECT_NEAR(mx - maps.m_hx, -dx, 1) << "template " << k;
        EXPECT_NEAR(my - maps.m_hy, -dy, 1) << "template " << k;
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST(CCtCCMaps, SumsMaskAndFarValueFollowTheMappedPoints)
{
    BuiltTree t1(Shapes(), 5, 5, 1);
    BuiltTree t2(treetest::RandomImage(240, 200, 1, 9), 30, 30, 1);
    ASSERT_TRUE(t1.built && t2.built);
    CCtDistMap dm(t1.tree);
    ASSERT_TRUE(dm.Make(0, 3));
    const PAIR_WALIGN_RR_PRMS2 pair = Pair(1.0f / 350, 0.02f, 0.01f);
    CCtCCMaps maps;
    ASSERT_TRUE(maps.Make(&dm, t2.tree, 0, &pair));
    EXPECT_EQ(maps.m_farValue, 8);

    // The mapped border points of the second tree, recomputed here.
    const int lw2 = 241, cx2 = 241 / 2, cy2 = 201 / 2, cx1 = dm.GetWidth() / 2, cy1 = dm.GetHeight() / 2;
    const REGION& g = maps.m_rgnGrid;
    const REGION& b2 = maps.m_rgnBound2;
    std::vector<uint8_t> mask(static_cast<size_t>(dm.GetWidth()) * dm.GetHeight(), 0);
    std::vector<std::vector<std::pair<int, int>>> cell(maps.m_numTmpl);
    CRegTree::BorderIterator it(t2.tree, 0);
    for (BorderSegment* b = *it; b; ++it, b = *it)
        for (int p : treetest::BorderPoints(b)) {
            const int x = p % lw2, y = p / lw2;
            if (x < b2.x0 || x > b2.x1 || y < b2.y0 || y > b2.y1) continue;
            const POINT2 in{float(x - cx2), float(y - cy2)};
            POINT2 out;
            ASSERT_TRUE(CTransformWA::TransformPtRR2(&in, &out, maps.m_M));
            const int qx = static_cast<int>(out.x + cx1 + 0.5f), qy = static_cast<int>(out.y + cy1 + 0.5f);
            const bool inGrid = qx >= g.x0 && qx <= g.x1 && qy >= g.y0 && qy <= g.y1;
            if (qx >= 0 && qy >= 0 && qx < dm.GetWidth() && qy < dm.GetHeight())
                mask[static_cast<size_t>(qy) * dm.GetWidth() + qx] = inGrid ? 255 : 128;
            if (inGrid)
                cell[(qx - g.x0) / maps.m_dxTmpl + ((qy - g.y0) / maps.m_dyTmpl) * maps.m_nxTmpl].push_back({qx, qy});
        }
    ASSERT_NE(maps.GetHits(), nullptr);
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), maps.GetHits()));
    EXPECT_GT(std::count(mask.begin(), mask.end(), 128), 0);
    EXPECT_GT(std::count(mask.begin(), mask.end(), 255), 0);

    // A few sums of every map against the rule: distance value, cap + 5 where
    // it is 0; columns to the bound inclusive, rows short of it.
    int far = 0;
    for (int k = 0; k < maps.m_numTmpl; ++k) {
        const CtShiftMap* m = maps.GetMap(k);
        if (!m) continue;
        EXPECT_EQ(m->hits, static_cast<int>(cell[k].size())) << k;
        for (auto [sx, sy] : {std::pair{0, 0}, {maps.m_hx, maps.m_hy}, {3, 7}, {m->rangeX - 1, m->rangeY - 2}}) {
            double expect = 0;
            for (auto [qx, qy] : cell[k]) {
                const int x = qx - maps.m_hx + sx, y = qy - maps.m_hy + sy;
                if (x < 1 || x > dm.GetWidth() - 2 || y < 1 || y >= std::min(qy + maps.m_hy, dm.GetHeight() - 2)) continue;
                const int d = dm.At(x, y);
                expect += d ? d : 8;
                far += d == 0;
            }
            EXPECT_EQ(m->At(sx, sy), static_cast<float>(expect)) << k << " at " << sx << "," << sy;
        }
        for (int x = 0; x < m->rangeX; ++x) EXPECT_EQ(m->At(x, m->rangeY - 1), 0.0f);
    }
    EXPECT_GT(far, 0);
}

TEST(CCtCCMaps, PairsThatMapNothingPrepareNothing)
{
    BuiltTree t(Shapes(), 5, 5, 1);
    ASSERT_TRUE(t.built);
    CCtDistMap dm(t.tree);
    ASSERT_TRUE(dm.Make(0, 10));
    LogCapture log;
    struct Case {
        const char* what;
        PAIR_WALIGN_RR_PRMS2 pair;
    };
    const Case cases[] = {
        {"the second image behind the first", Pair(1.0f / 400, 3.1f, 0.0f)},
        {"no focal length", Pair(0.0f, 0.0f, 0.0f)},
    };
    // Behind the first image, the outline maps to a polygon without a contour.
    PAIR_WALIGN_RR_PRMS2 behind;
    CTransformWA::InvertAlignPrmsRR2(&cases[0].pair, &behind);
    gpc_polygon* none = CPolygonRR::MapImgBoundsRR(241, 201, 241, 201, behind.rcpF1, behind.angA, behind.angB,
                                                   behind.rcpF1 / behind.rcpF2, behind.angC, 0.0f);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->count, 0);
    CPolyClip::gpc_free_polygon(none);
    delete none;
    for (const Case& c : cases) {
        CCtCCMaps maps;
        EXPECT_FALSE(maps.Make(&dm, t.tree, 0, &c.pair)) << c.what;
        EXPECT_EQ(maps.m_numMap, 0) << c.what;
        EXPECT_EQ(maps.GetHits(), nullptr) << c.what;
        maps.Show(0, 0);  // draws nothing
    }
    CCtCCMaps maps;
    const PAIR_WALIGN_RR_PRMS2 identity = Pair(1.0f / 400, 0.0f, 0.0f);
    EXPECT_FALSE(maps.Make(nullptr, t.tree, 0, &identity));
    EXPECT_FALSE(maps.Make(&dm, nullptr, 0, &identity));
    EXPECT_FALSE(maps.Make(&dm, t.tree, 0, nullptr));

    // An overlap too small for templates: no maps, every point outside the grid.
    BuiltTree small(treetest::RandomImage(60, 50, 1, 2), 12, 12, 1);
    ASSERT_TRUE(small.built);
    CCtDistMap sdm(small.tree);
    ASSERT_TRUE(sdm.Make(0, 10));
    ASSERT_TRUE(maps.Make(&sdm, small.tree, 0, &identity));
    EXPECT_EQ(maps.m_numMap, 0);
    const uint8_t* hits = maps.GetHits();
    ASSERT_NE(hits, nullptr);
    const int n = sdm.GetWidth() * sdm.GetHeight();
    EXPECT_EQ(std::count(hits, hits + n, 255), 0);
    EXPECT_GT(std::count(hits, hits + n, 128), 0);
}

TEST(Drivers, ShowTheirMapsInTheDebugWindows)
{
    BuiltTree t1(Shapes(), 5, 3, 2);
    BuiltTree t2(Shapes(), 5, 3, 2);
    ASSERT_TRUE(t1.built && t2.built);
    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().c_str());
    SetDebugDispFlag(1);
    EXPECT_TRUE(TestCCtDistMap(t1.tree, 0, 10));
    // The frame shows as 1 of 0..11.
    const COLORREF frame = GetDebugWindowPixel(GetNameDebugWin0(), 0, 0);
    EXPECT_EQ(frame & 0xFF, 255u / 11);
    EXPECT_TRUE(TestCCtCCMaps(t1.tree, t2.tree, -1, 7));
    SetDebugDispFlag(0);
    EXPECT_FALSE(TestCCtDistMap(nullptr, 0, 10));
    EXPECT_FALSE(TestCCtCCMaps(t1.tree, nullptr, 0, 0));
}

}  // namespace
