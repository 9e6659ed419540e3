// Region trees built on piecewise-constant images whose regions are known,
// and every structural invariant on random and real images, also after
// sorting a level.
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/tests/tree_test_support.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

using treetest::BorderPoints;
using treetest::Borders;
using treetest::BuiltTree;
using treetest::CharImage;
using treetest::CheckTree;

namespace {

int Corner(int w, int x, int y) { return y * (w + 1) + x; }

std::vector<Junction*> Junctions(CRegTree* t, int level)
{
    std::vector<Junction*> out;
    CRegTree::JunctionIterator it(t, level);
    for (Junction* j = *it; j; ++it, j = *it) out.push_back(j);
    return out;
}

CRegion* At(CRegTree* t, int x, int y, int level = 0)
{
    int w, h;
    t->GetDimension(w, h);
    return t->GetRegion(y * w + x, level);
}

// 10 x 10 blocks of 5 x 4 pixels, each with its own level: 100 known regions.
Image* BlockImage()
{
    return treetest::FloatImage(50, 40, 1, false, [](int x, int y, int) {
        const int block = (y / 4) * 10 + x / 5;
        return static_cast<float>((block * 37) % 100) * 2.5f;
    });
}

TEST(ConstructTree, LevelsFollowTheEvenSpacingOfRegionCounts)
{
    BuiltTree t(BlockImage(), 100, 10, 4);
    ASSERT_TRUE(t.built);
    ASSERT_EQ(t.tree->GetNumLevels(), 4);
    const int expected[4] = {100, 70, 40, 10};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(t.tree->GetLevel(k)->numRegions, expected[k]) << k;
    EXPECT_TRUE(CheckTree(*t.tree));
}

TEST(ConstructTree, FinestRegionsAreTheConstantBlocks)
{
    BuiltTree t(BlockImage(), 100, 10, 1);
    ASSERT_TRUE(t.built);
    ASSERT_EQ(t.tree->GetLevel(0)->numRegions, 100);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const CRegion* r = At(t.tree, x, y);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r, At(t.tree, (x / 5) * 5, (y / 4) * 4)) << x << "," << y;
            EXPECT_EQ(r->m_area, 20);
            // Values 0..247.5 stretched onto 0..255.
            const int block = (y / 4) * 10 + x / 5;
            EXPECT_NEAR(r->m_mean[0], ((block * 37) % 100) * 2.5f * 255.0f / 247.5f, 1e-3);
        }
    // One border per pair of side-by-side blocks, the pair on its two sides.
    std::set<std::pair<const CRegion*, const CRegion*>> pairs;
    for (BorderSegment* b : Borders(t.tree, 0)) pairs.insert(std::minmax<const CRegion*>(b->m_pRegion1, b->m_pRegion2));
    EXPECT_EQ(pairs.size(), 2u * 10 * 9);
    EXPECT_EQ(Borders(t.tree, 0).size(), 2u * 10 * 9);
    // Inner lattice crossings are four-way junctions.
    EXPECT_EQ(Junctions(t.tree, 0).size(), 9u * 9);
    for (Junction* j : Junctions(t.tree, 0)) EXPECT_EQ(j->GetNumbConnection(), 4);
    EXPECT_TRUE(CheckTree(*t.tree));
}

TEST(ConstructTree, TJunctionAndEdgeBorders)
{
    // A | B over A | C: one junction where the three meet.
    BuiltTree t(CharImage({"AAABBB", "AAABBB", "AAACCC", "AAACCC"}), 3, 3, 1);
    ASSERT_TRUE(t.built);
    ASSERT_EQ(Junctions(t.tree, 0).size(), 1u);
    Junction* j = Junctions(t.tree, 0)[0];
    EXPECT_EQ(j->m_pos, Corner(6, 3, 2));
    EXPECT_EQ(j->GetNumbConnection(), 3);
    const std::vector<BorderSegment*> borders = Borders(t.tree, 0);
    ASSERT_EQ(borders.size(), 3u);
    CRegion* a = At(t.tree, 0, 0);
    CRegion* b = At(t.tree, 5, 0);
    CRegion* c = At(t.tree, 5, 3);
    // From the top edge down to the junction: no first junction; the pixel
    // right of the crack is region 1.
    BorderSegment* ab = borders[0];
    EXPECT_EQ(ab->m_pJunction1, nullptr);
    EXPECT_EQ(ab->m_pJunction2, j);
    EXPECT_EQ(ab->m_pRegion1, b);
    EXPECT_EQ(ab->m_pRegion2, a);
    EXPECT_EQ(BorderPoints(ab), (std::vector<int>{Corner(6, 3, 0), Corner(6, 3, 1), Corner(6, 3, 2)}));
    for (BorderSegment* s : borders) {
        const std::set<const CRegion*> sides{s->m_pRegion1, s->m_pRegion2};
        if (sides == std::set<const CRegion*>{a, c}) {
            EXPECT_EQ(s->GetStorageLength(), 3);
        } else if (sides == std::set<const CRegion*>{b, c}) {
            // Met first at its inner corner (4, 2) and traced both ways, left
            // first: it runs from the junction to the right edge, the pixel
            // left of that first corner (below the crack) its region 1.
            EXPECT_EQ(s->m_pJunction1, j);
            EXPECT_EQ(s->m_pJunction2, nullptr);
            EXPECT_EQ(s->m_pRegion1, c);
            EXPECT_EQ(s->m_pRegion2, b);
            EXPECT_EQ(BorderPoints(s), (std::vector<int>{Corner(6, 3, 2), Corner(6, 4, 2), Corner(6, 5, 2),
                                                         Corner(6, 6, 2)}));
        }
    }
    EXPECT_EQ(a->m_numBorders, 2);
    EXPECT_EQ(b->m_numBorders, 2);
    EXPECT_TRUE(CheckTree(*t.tree));

    // Edge to edge: both junctions null.
    BuiltTree v(CharImage({"AAB", "AAB", "AAB"}), 2, 2, 1);
    ASSERT_TRUE(v.built);
    ASSERT_EQ(Borders(v.tree, 0).size(), 1u);
    BorderSegment* s = Borders(v.tree, 0)[0];
    EXPECT_EQ(s->m_pJunction1, nullptr);
    EXPECT_EQ(s->m_pJunction2, nullptr);
    EXPECT_EQ(s->GetStorageLength(), 4);
    EXPECT_TRUE(Junctions(v.tree, 0).empty());
}

TEST(ConstructTree, EnclosedRegionHasOneClosedBorderEndingAtItsFirstCorner)
{
    BuiltTree t(CharImage({"AAAAAA", "AABBAA", "ABBBAA", "AABBBA", "AAAAAA"}), 2, 2, 1);
    ASSERT_TRUE(t.built);
    const std::vector<BorderSegment*> borders = Borders(t.tree, 0);
    ASSERT_EQ(borders.size(), 1u);
    BorderSegment* loop = borders[0];
    EXPECT_EQ(loop->m_pJunction1, nullptr);
    EXPECT_EQ(loop->m_pJunction2, nullptr);
    EXPECT_TRUE(Junctions(t.tree, 0).empty());
    const std::vector<int> pts = BorderPoints(loop);
    // The perimeter of the B shape: 14 crack edges, 14 distinct corners.
    EXPECT_EQ(pts.size(), 14u);
    EXPECT_EQ(std::set<int>(pts.begin(), pts.end()).size(), 14u);
    // The loop's first corner in raster order is the B's top-left corner.
    EXPECT_EQ(pts.back(), Corner(6, 2, 1));
    const CRegion* b = At(t.tree, 2, 1);
    EXPECT_EQ(b->m_area, 8);
    EXPECT_EQ(b->m_numBorders, 1);
    EXPECT_TRUE(CheckTree(*t.tree));
}

TEST(ConstructTree, AdjacentJunctionCornersGiveATwoPointBorder)
{
    BuiltTree t(CharImage({"AABBB", "AABBB", "CCCDD", "CCCDD"}), 4, 4, 1);
    ASSERT_TRUE(t.built);
    ASSERT_EQ(Junctions(t.tree, 0).size(), 2u);
    BorderSegment* pair = nullptr;
    for (BorderSegment* b : Borders(t.tree, 0))
        if (b->GetStorageLength() == 2) pair = b;
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(BorderPoints(pair), (std::vector<int>{Corner(5, 2, 2), Corner(5, 3, 2)}));
    EXPECT_EQ(pair->m_pRegion1, At(t.tree, 2, 1));  // above the crack
    EXPECT_EQ(pair->m_pRegion2, At(t.tree, 2, 2));  // below
    ASSERT_NE(pair->m_pJunction1, nullptr);
    ASSERT_NE(pair->m_pJunction2, nullptr);
    EXPECT_EQ(pair->m_pJunction1->m_pos, Corner(5, 2, 2));
    EXPECT_EQ(pair->m_pJunction2->m_pos, Corner(5, 3, 2));
    EXPECT_TRUE(CheckTree(*t.tree));
}

TEST(ConstructTree, FlatImageBecomesOneRegionWithFiniteMeans)
{
    // One region, no border: every pixel still has its region.
    BuiltTree one(treetest::FloatImage(8, 6, 1, false, [](int, int, int) { return 42.0f; }), 1, 1, 2);
    ASSERT_TRUE(one.built);
    ASSERT_EQ(one.tree->GetLevel(0)->numRegions, 1);
    EXPECT_EQ(one.tree->GetLevel(1)->numRegions, 1);
    for (int p = 0; p < 48; ++p) ASSERT_NE(one.tree->GetRegion(p, 1), nullptr);
    const CRegion* r = one.tree->GetRegion(17, 0);
    EXPECT_EQ(r->m_area, 48);
    EXPECT_EQ(r->m_mean[0], 0.0f);  // no range to stretch: gain 0, not infinity
    EXPECT_TRUE(Borders(one.tree, 0).empty());
    EXPECT_TRUE(CheckTree(*one.tree));

    BuiltTree five(treetest::FloatImage(8, 6, 3, true, [](int, int, int) { return 7.0f; }), 5, 5, 1);
    ASSERT_TRUE(five.built);
    EXPECT_EQ(five.tree->GetLevel(0)->numRegions, 5);
    for (int i = 0; i < 5; ++i)
        for (float m : five.tree->GetLevel(0)->regions[i].m_mean) EXPECT_EQ(m, 0.0f);
    EXPECT_TRUE(CheckTree(*five.tree));
}

TEST(ConstructTree, SingleLevelAndUnmergedImages)
{
    // numLevels 1 builds level 0 only; a negative finest count asks for no merging.
    BuiltTree t(CharImage({"ABC", "DEF"}), -1, 0, 1);
    ASSERT_TRUE(t.built);
    EXPECT_EQ(t.tree->GetNumLevels(), 1);
    EXPECT_EQ(t.tree->GetLevel(0)->numRegions, 6);
    EXPECT_EQ(Junctions(t.tree, 0).size(), 2u);
    EXPECT_TRUE(CheckTree(*t.tree));
    // finestRegions 0 merges all the way down without hanging.
    BuiltTree all(CharImage({"ABC", "DEF"}), 0, 0, 2);
    ASSERT_TRUE(all.built);
    EXPECT_EQ(all.tree->GetLevel(0)->numRegions, 1);
    EXPECT_TRUE(CheckTree(*all.tree));
}

TEST(ConstructTree, RefusesImagesItCannotSegment)
{
    LogCapture log;
    struct Case {
        Image* image;
        int levels;
    };
    Image* twoChannels = treetest::FloatImage(4, 4, 2, false, [](int x, int, int) { return float(x); });
    Image* bytes = new Image(4, 4, 1);
    Image* fine = treetest::FloatImage(4, 4, 1, false, [](int x, int, int) { return float(x); });
    Image* fine2 = treetest::FloatImage(4, 4, 1, false, [](int x, int, int) { return float(x); });
    const Case cases[] = {{twoChannels, 2}, {bytes, 2}, {fine, 0}};
    for (const Case& c : cases) {
        CRegTree tree(c.image);
        ReleaseImage(c.image);
        log.clear();
        EXPECT_FALSE(tree.ConstructTree(0, 4, 2, c.levels));
        EXPECT_EQ(tree.GetNumLevels(), 0);
        EXPECT_TRUE(log.contains("ERROR CRegTree::ConstructTree"));
        // An empty tree answers lookups with null and iterates nothing.
        EXPECT_EQ(tree.GetRegion(0, 0), nullptr);
        EXPECT_EQ(tree.GetLevel(0), nullptr);
        CRegTree::RegIterator it(&tree, 0);
        EXPECT_EQ(*it, nullptr);
        CRegTree::BorderIterator bit(&tree, 0);
        EXPECT_EQ(*bit, nullptr);
    }
    CRegTree once(fine2);
    ReleaseImage(fine2);
    ASSERT_TRUE(once.ConstructTree(0, 3, 2, 2));
    EXPECT_FALSE(once.ConstructTree(0, 3, 2, 2));
    CRegTree none(nullptr);
    EXPECT_FALSE(none.ConstructTree(0, 3, 2, 2));
}

TEST(ConstructTree, MoreThan65536JunctionsKeepTheirOwnRecords)
{
    // Every pixel its own region: every inner corner a four-way junction,
    // 259 x 259 of them, past what a 16-bit junction number can tell apart.
    const int w = 260, h = 260;
    BuiltTree t(treetest::FloatImage(w, h, 1, false, [](int x, int y, int) { return float(y * 260 + x); }), -1, 0, 1);
    ASSERT_TRUE(t.built);
    const std::vector<Junction*> junctions = Junctions(t.tree, 0);
    ASSERT_EQ(junctions.size(), 259u * 259u);
    std::set<int> positions;
    for (Junction* j : junctions) {
        positions.insert(j->m_pos);
        ASSERT_EQ(j->GetNumbConnection(), 4);
        for (BorderSegment* b : j->m_pBorder) ASSERT_TRUE(b->m_pJunction1 == j || b->m_pJunction2 == j);
    }
    EXPECT_EQ(positions.size(), junctions.size());
    for (BorderSegment* b : Borders(t.tree, 0)) {
        const std::vector<int> pts = BorderPoints(b);
        if (b->m_pJunction1) {
            ASSERT_EQ(b->m_pJunction1->m_pos, pts.front());
        }
        if (b->m_pJunction2) {
            ASSERT_EQ(b->m_pJunction2->m_pos, pts.back());
        }
    }
}

TEST(CRegTree, LookupsAreRangeChecked)
{
    BuiltTree t(CharImage({"AB", "CD"}), 4, 2, 3);
    ASSERT_TRUE(t.built);
    LogCapture log;
    EXPECT_EQ(t.tree->GetRegion(-1, 0), nullptr);
    EXPECT_EQ(t.tree->GetRegion(4, 0), nullptr);
    EXPECT_EQ(t.tree->GetRegion(0, 3), nullptr);
    EXPECT_EQ(t.tree->GetRegion(0, -1), nullptr);
    EXPECT_EQ(t.tree->GetLevel(3), nullptr);
    EXPECT_EQ(t.tree->GetLevel(-1), nullptr);
    EXPECT_EQ(log.errorCount(), 6);
    EXPECT_NE(t.tree->GetRegion(3, 2), nullptr);
}

TEST(CRegTree, IteratorsClampTheLevel)
{
    BuiltTree t(BlockImage(), 100, 10, 3);
    ASSERT_TRUE(t.built);
    auto regions = [&](int level) {
        std::vector<CRegion*> out;
        CRegTree::RegIterator it(t.tree, level);
        for (CRegion* r = *it; r; ++it, r = *it) out.push_back(r);
        return out;
    };
    EXPECT_EQ(regions(99).size(), 10u);
    EXPECT_EQ(regions(99).front(), &t.tree->GetLevel(2)->regions[0]);
    EXPECT_EQ(regions(-5), regions(0));
    EXPECT_EQ(regions(0).size(), 100u);
    EXPECT_EQ(Borders(t.tree, 7), Borders(t.tree, 2));
    EXPECT_EQ(Junctions(t.tree, -3), Junctions(t.tree, 0));
    CRegTree::RegIterator it(t.tree, 2);
    ++it;
    it.Rewind();
    EXPECT_EQ(*it, &t.tree->GetLevel(2)->regions[0]);
}

struct RandomCase {
    int w, h, channels;
    uint32_t seed;
    int finest, coarsest, levels;
};

class TreeInvariants : public ::testing::TestWithParam<RandomCase> {};

TEST_P(TreeInvariants, HoldOnRandomImages)
{
    const RandomCase c = GetParam();
    BuiltTree t(treetest::RandomImage(c.w, c.h, c.channels, c.seed), c.finest, c.coarsest, c.levels);
    ASSERT_TRUE(t.built);
    EXPECT_EQ(t.tree->GetLevel(0)->numRegions, std::min(c.finest, c.w * c.h));
    EXPECT_TRUE(CheckTree(*t.tree));
}

INSTANTIATE_TEST_SUITE_P(Images, TreeInvariants,
                         ::testing::Values(RandomCase{40, 30, 1, 1, 120, 8, 4}, RandomCase{33, 27, 3, 2, 90, 3, 5},
                                           RandomCase{64, 48, 3, 3, 300, 20, 3}, RandomCase{7, 60, 1, 4, 50, 2, 6},
                                           RandomCase{1, 9, 1, 5, 4, 1, 2}));

TEST(TreeInvariants, HoldOnARealPhoto)
{
    Image* photo = treetest::PhotoWindow("huginsample-durlach/half/P1060369.JPG", 400, 300, 96, 72);
    ASSERT_NE(photo, nullptr) << "cannot read the test photo";
    BuiltTree t(photo, 150, 12, 4);
    ASSERT_TRUE(t.built);
    EXPECT_EQ(t.tree->GetLevel(0)->numRegions, 150);
    EXPECT_EQ(t.tree->GetLevel(3)->numRegions, 12);
    EXPECT_TRUE(CheckTree(*t.tree));
}

TEST(SortRegion, LargestFirstAndTheTreeStaysWhole)
{
    BuiltTree t(treetest::RandomImage(48, 36, 3, 11), 80, 6, 3);
    ASSERT_TRUE(t.built);
    for (int level : {0, 1, 2}) {
        CRegTree::Level* l = t.tree->GetLevel(level);
        const int n = l->numRegions;
        std::vector<int> areas;
        for (int i = 0; i < n; ++i) areas.push_back(l->regions[i].m_area);
        std::vector<int> ids;
        for (int i = 0; i < n; ++i) ids.push_back(l->regions[i].m_id);
        const int k = t.tree->SortRegion(level, 50);
        EXPECT_EQ(k, 50 * n / 100);
        std::vector<int> sorted = areas;
        std::sort(sorted.rbegin(), sorted.rend());
        for (int i = 0; i < k; ++i) EXPECT_EQ(l->regions[i].m_area, sorted[i]) << level << ":" << i;
        // Same records, only moved; the pixel map and every link follow.
        std::vector<int> after;
        for (int i = 0; i < n; ++i) after.push_back(l->regions[i].m_id);
        EXPECT_EQ(std::multiset<int>(ids.begin(), ids.end()), std::multiset<int>(after.begin(), after.end()));
        EXPECT_TRUE(CheckTree(*t.tree)) << "after sorting level " << level;
    }
}

TEST(SortRegion, EqualAreasKeepTheirOrderAndZeroPercentChangesNothing)
{
    // Blocks of 20 pixels except one of 40 (two blocks of one level).
    BuiltTree t(BlockImage(), 100, 100, 1);
    ASSERT_TRUE(t.built);
    CRegTree::Level* l = t.tree->GetLevel(0);
    std::vector<int> ids;
    for (int i = 0; i < l->numRegions; ++i) ids.push_back(l->regions[i].m_id);
    EXPECT_EQ(t.tree->SortRegion(0, 0), 0);
    for (int i = 0; i < l->numRegions; ++i) EXPECT_EQ(l->regions[i].m_id, ids[i]);
    EXPECT_EQ(t.tree->SortRegion(0, 30), 30);
    for (int i = 0; i < l->numRegions; ++i) EXPECT_EQ(l->regions[i].m_id, ids[i]);  // all equal: stable
    EXPECT_EQ(t.tree->SortRegion(5, 30), 0);
}

}  // namespace
