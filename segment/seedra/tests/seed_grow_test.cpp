// The grower's maps against brute-force references written here: taxicab
// distance to the nearest seed cell, and the label of the first (lowest
// numbered) nearest seed.
#include "segment/seedra/int_queue.h"
#include "segment/seedra/rasterize_polyline.h"
#include "segment/seedra/seed_grow.h"

#include "geometry/polykit/poly_seg.h"
#include "geometry/polykit/poly_clip.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

struct Cell {
    int col, row;
};

// Reference maps over the interior of a cols x rows grid for seeds given as
// cells in seed order: distance = min taxicab distance; label = the lowest
// seed number among the nearest seeds, except that a seed's own cell shows
// the highest number of the seeds placed in it.
struct Reference {
    std::vector<int64_t> dist, label;
};

Reference BruteForce(int cols, int rows, const std::vector<Cell>& seeds)
{
    Reference ref;
    ref.dist.assign(static_cast<size_t>(cols * rows), 0);
    ref.label.assign(static_cast<size_t>(cols * rows), 0);
    for (int r = 1; r < rows - 1; ++r) {
        for (int c = 1; c < cols - 1; ++c) {
            int64_t best = INT64_MAX, label = 0;
            for (size_t s = 0; s < seeds.size(); ++s) {
                const int64_t d = std::abs(seeds[s].col - c) + std::abs(seeds[s].row - r);
                if (d < best) {
                    best = d;
                    label = static_cast<int64_t>(s) + 1;
                } else if (d == 0) {
                    label = static_cast<int64_t>(s) + 1;
                }
            }
            if (seeds.empty()) best = 0;
            ref.dist[static_cast<size_t>(r * cols + c)] = best;
            ref.label[static_cast<size_t>(r * cols + c)] = label;
        }
    }
    return ref;
}

// Seeds falling in the interior, in order, as the grower maps integer points.
std::vector<Cell> IntSeedCells(const std::vector<int>& xy, const REGION& area, int cw, int ch, int cols, int rows)
{
    std::vector<Cell> cells;
    for (size_t i = 0; i + 1 < xy.size(); i += 2) {
        const int c = (xy[i] - area.x0 + cw / 2) / cw;
        const int r = (xy[i + 1] - area.y0 + ch / 2) / ch;
        if (c > 0 && c < cols - 1 && r > 0 && r < rows - 1) cells.push_back(Cell{c, r});
    }
    return cells;
}

template <typename T>
void ExpectMaps(ISeedGrow<T>* g, const Reference& ref, bool labels, int64_t modulus)
{
    int cols = 0, rows = 0;
    g->GetGridSize(&cols, &rows);
    const T* dist = g->GetDistanceMap();
    const T* label = g->GetLabelMap();
    ASSERT_NE(dist, nullptr);
    if (labels)
        ASSERT_NE(label, nullptr);
    else
        EXPECT_EQ(label, nullptr);
    int wrongDist = 0, wrongLabel = 0;
    for (int i = 0; i < cols * rows; ++i) {
        const int64_t want = modulus ? ref.dist[static_cast<size_t>(i)] % modulus : ref.dist[static_cast<size_t>(i)];
        if (static_cast<int64_t>(dist[i]) != want) ++wrongDist;
        if (labels) {
            const int64_t lw = modulus ? ref.label[static_cast<size_t>(i)] % modulus : ref.label[static_cast<size_t>(i)];
            if (static_cast<int64_t>(label[i]) != lw) ++wrongLabel;
        }
    }
    EXPECT_EQ(wrongDist, 0);
    EXPECT_EQ(wrongLabel, 0);
}

}  // namespace

// Random integer seeds on random grids and cell sizes, all three builds;
// the 8-bit build keeps the low 8 bits of distances and labels.
TEST(SeedGrow, MapsMatchBruteForceForAllBuilds)
{
    std::mt19937 rng(3);
    std::unique_ptr<ISeedGrow8> g8(CreateSeedGrow8());
    std::unique_ptr<ISeedGrow16> g16(CreateSeedGrow16());
    std::unique_ptr<ISeedGrow32> g32(CreateSeedGrow32());
    for (int round = 0; round < 30; ++round) {
        const int cw = 1 + static_cast<int>(rng() % 4), ch = 1 + static_cast<int>(rng() % 4);
        const REGION area{static_cast<int>(rng() % 50) - 25, static_cast<int>(rng() % 50) - 25, 0, 0,
                          10 + static_cast<int>(rng() % 300), 10 + static_cast<int>(rng() % 300)};
        const int cols = area.width / cw, rows = area.height / ch;
        std::vector<int> xy;
        const int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            xy.push_back(area.x0 - 5 + static_cast<int>(rng() % static_cast<unsigned>(area.width + 10)));
            xy.push_back(area.y0 - 5 + static_cast<int>(rng() % static_cast<unsigned>(area.height + 10)));
        }
        const Reference ref = BruteForce(cols, rows, IntSeedCells(xy, area, cw, ch, cols, rows));
        SCOPED_TRACE("round " + std::to_string(round));
        const int accepted = static_cast<int>(IntSeedCells(xy, area, cw, ch, cols, rows).size());
        EXPECT_EQ(g8->GrowFromIntPoints(xy.data(), n, &area, cw, ch), accepted + 1);
        ExpectMaps(g8.get(), ref, true, 256);
        EXPECT_EQ(g16->GrowFromIntPoints(xy.data(), n, &area, cw, ch), accepted + 1);
        ExpectMaps(g16.get(), ref, true, 0);
        EXPECT_TRUE(g32->DistanceFromIntPoints(xy.data(), n, &area, cw, ch));
        ExpectMaps(g32.get(), ref, false, 0);
    }
}

// Label ties: the earlier seed wins a cell equidistant from two; two seeds in
// one cell leave the later label there and grow with the earlier one.
TEST(SeedGrow, LabelTieRules)
{
    std::unique_ptr<ISeedGrow32> g(CreateSeedGrow32());
    const REGION area{0, 0, 19, 9, 20, 10};
    const int xy[] = {2, 4, 6, 4, 12, 4, 12, 4};
    EXPECT_EQ(g->GrowFromIntPoints(xy, 4, &area, 1, 1), 5);
    const int32_t* label = g->GetLabelMap();
    EXPECT_EQ(label[4 * 20 + 4], 1);   // between seeds 1 and 2
    EXPECT_EQ(label[4 * 20 + 12], 4);  // the cell of seeds 3 and 4
    EXPECT_EQ(label[4 * 20 + 13], 3);  // grown from it with label 3
    EXPECT_EQ(label[3 * 20 + 12], 3);
    EXPECT_EQ(label[4 * 20 + 9], 2);   // equidistant from 2 and 3: seed 2
}

TEST(SeedGrow, EightBitLabelsWrap)
{
    std::unique_ptr<ISeedGrow8> g(CreateSeedGrow8());
    const REGION area{0, 0, 299, 3, 300, 4};
    std::vector<int> xy;
    for (int i = 0; i < 260; ++i) {
        xy.push_back(1 + i);
        xy.push_back(1);
    }
    EXPECT_EQ(g->GrowFromIntPoints(xy.data(), 260, &area, 1, 1), 261);
    EXPECT_EQ(g->GetLabelMap()[1 * 300 + 257], 1);  // label 257
    EXPECT_EQ(g->GetLabelMap()[1 * 300 + 256], 0);  // label 256
    EXPECT_EQ(g->GetLabelMap()[2 * 300 + 1], 1);
}

// With cell width 10 a float point at x0 rounds into column 1, an integer
// point at x0 divides into column 0 (the outer ring: dropped) and one at
// x0 + 5 into column 1.
TEST(SeedGrow, FloatAndIntegerCellMapping)
{
    std::unique_ptr<ISeedGrow32> g(CreateSeedGrow32());
    const REGION area{100, 200, 199, 299, 100, 100};
    const POINT2 atX0{100.0f, 250.0f};  // row (50 + 5) / 10 + 0.5 -> 6
    EXPECT_EQ(g->GrowFromPoints(&atX0, 1, &area, 10, 10), 2);
    EXPECT_EQ(g->GetLabelMap()[6 * 10 + 1], 1);
    EXPECT_EQ(g->GetDistanceMap()[6 * 10 + 2], 1);
    EXPECT_EQ(g->GetDistanceMap()[6 * 10 + 8], 7);

    const int atX0Int[] = {100, 250};
    EXPECT_EQ(g->GrowFromIntPoints(atX0Int, 1, &area, 10, 10), 1);
    const int atX5Int[] = {105, 250};  // row (50 + 5) / 10 -> 5
    EXPECT_EQ(g->GrowFromIntPoints(atX5Int, 1, &area, 10, 10), 2);
    EXPECT_EQ(g->GetLabelMap()[5 * 10 + 1], 1);
    EXPECT_EQ(g->GetDistanceMap()[5 * 10 + 1], 0);
    EXPECT_EQ(g->GetDistanceMap()[6 * 10 + 1], 1);
    int cw = 0, ch = 0, cols = 0, rows = 0;
    g->GetCellSize(&cw, &ch);
    g->GetGridSize(&cols, &rows);
    EXPECT_EQ(cw, 10);
    EXPECT_EQ(cols, 10);
    EXPECT_EQ(g->GetArea()->x0, 100);
}

TEST(SeedGrow, GridsWithoutInterior)
{
    std::unique_ptr<ISeedGrow16> g(CreateSeedGrow16());
    const int xy[] = {0, 0, 1, 1, 1, 0};
    for (REGION area : {REGION{0, 0, 1, 9, 2, 10}, REGION{0, 0, 9, 1, 10, 2}, REGION{0, 0, 0, 0, 0, 0}}) {
        EXPECT_EQ(g->GrowFromIntPoints(xy, 3, &area, 1, 1), 1);
        int cols = 0, rows = 0;
        g->GetGridSize(&cols, &rows);
        for (int i = 0; i < cols * rows; ++i) {
            EXPECT_EQ(g->GetLabelMap()[i], 0);
            EXPECT_EQ(g->GetDistanceMap()[i], 0);
        }
    }
}

// Polyline seeds: every chain point of the rasterised polyline is a seed of
// its own, so the label map numbers the chain; distances are taxicab.
TEST(SeedGrow, PolylineSeedsAreTheRasterChain)
{
    std::unique_ptr<ISeedGrow32> g(CreateSeedGrow32());
    const REGION area{0, 0, 59, 49, 60, 50};
    const POINT2 tri[3] = {{10, 10}, {40, 15}, {20, 35}};
    int* chain = nullptr;
    int count = 0;
    POINT2 ring[4] = {tri[0], tri[1], tri[2], tri[0]};
    RasterizePolyline(ring, 4, 1.0f, nullptr, &chain, &count);
    std::vector<int> xy(chain, chain + 2 * count);
    std::free(chain);
    const Reference ref = BruteForce(60, 50, IntSeedCells(xy, area, 1, 1, 60, 50));
    EXPECT_EQ(g->GrowFromPolyline(tri, 3, &area, 1, 1, true), count + 1);
    ExpectMaps(g.get(), ref, true, 0);
    EXPECT_TRUE(g->DistanceFromPolyline(tri, 3, &area, 1, 1, true));
    ExpectMaps(g.get(), ref, false, 0);
}

// Segment seeds lie on the intersection's contour; the distance map is the
// taxicab distance to them, and the two choices of pieces together cover the
// contour.
TEST(SeedGrow, SegmentSeedsFollowTheIntersectionContour)
{
    gpc_polygon a{0, nullptr}, b{0, nullptr};
    POINT2 pa[4] = {{2, 2}, {2, 60}, {60, 60}, {60, 2}};
    POINT2 pb[4] = {{22, 22}, {22, 90}, {90, 90}, {90, 22}};
    gpc_vertex_list la{4, pa}, lb{4, pb};
    CPolyClip::gpc_add_contour(&a, &la);
    CPolyClip::gpc_add_contour(&b, &lb);
    CPolySeg seg;
    ASSERT_TRUE(seg.TwoPolygonIntSegments(&a, &b));
    const REGION area{0, 0, 99, 99, 100, 100};
    std::unique_ptr<ISeedGrow32> g(CreateSeedGrow32());

    std::vector<Cell> both;
    for (bool fromFirst : {true, false}) {
        ASSERT_TRUE(g->DistanceFromSegments(&seg, fromFirst, &area, 1, 1));
        std::vector<Cell> zero;
        const int32_t* dist = g->GetDistanceMap();
        for (int r = 1; r < 99; ++r)
            for (int c = 1; c < 99; ++c)
                if (dist[r * 100 + c] == 0) zero.push_back(Cell{c, r});
        ASSERT_FALSE(zero.empty());
        for (const Cell& z : zero) {
            const bool onContour = ((z.col == 22 || z.col == 60) && z.row >= 22 && z.row <= 60) ||
                                   ((z.row == 22 || z.row == 60) && z.col >= 22 && z.col <= 60);
            EXPECT_TRUE(onContour) << z.col << "," << z.row;
        }
        ExpectMaps(g.get(), BruteForce(100, 100, zero), false, 0);
        both.insert(both.end(), zero.begin(), zero.end());
    }
    EXPECT_GE(both.size(), 4u * 38u);

    // A null area adds to the previous grid; the labels run from 1.
    const int next = g->GrowFromSegments(&seg, true, nullptr, 0, 0);
    EXPECT_GT(next, 1);
    ASSERT_NE(g->GetLabelMap(), nullptr);
    CPolyClip::gpc_free_polygon(&a);
    CPolyClip::gpc_free_polygon(&b);
}

// Unusable input is a result (0 or false and an error line), never a
// division by zero or a use of missing maps.
TEST(SeedGrow, UnusableInputIsRefused)
{
    std::unique_ptr<ISeedGrow8> g(CreateSeedGrow8());
    const REGION area{0, 0, 9, 9, 10, 10};
    const int xy[] = {5, 5};
    CPolySeg seg;
    LogCapture log;
    EXPECT_EQ(g->GrowFromSegments(&seg, true, nullptr, 1, 1), 0);  // fresh grower, no area
    EXPECT_EQ(g->GrowFromIntPoints(xy, 1, &area, 0, 1), 0);
    EXPECT_EQ(g->GrowFromIntPoints(xy, 1, &area, 1, -3), 0);
    EXPECT_FALSE(g->DistanceFromIntPoints(xy, 1, &area, -1, 1));
    EXPECT_EQ(g->GrowFromIntPoints(nullptr, 3, &area, 1, 1), 0);
    EXPECT_EQ(g->GrowFromIntPoints(xy, 1, nullptr, 1, 1), 0);
    const REGION negative{0, 0, -5, 9, -6, 10};
    EXPECT_FALSE(g->DistanceFromIntPoints(xy, 1, &negative, 1, 1));
    EXPECT_EQ(log.errorCount(), 7);
    EXPECT_EQ(g->GetDistanceMap(), nullptr);
}

TEST(IntQueue, GrowsWithoutLosingEntries)
{
    for (int capacity : {1, 2, 3, 7}) {
        CIntQueue q(capacity);
        std::vector<int> expected;
        int next = 0;
        // Interleaved pushes and pops wrap the ring before it grows.
        for (int round = 0; round < 50; ++round) {
            for (int k = 0; k < 3; ++k) {
                q.Push(next);
                expected.push_back(next++);
            }
            EXPECT_EQ(q.Pop(), expected.front());
            expected.erase(expected.begin());
        }
        EXPECT_EQ(q.Size(), static_cast<int>(expected.size()));
        for (int v : expected) EXPECT_EQ(q.Pop(), v);
        EXPECT_TRUE(q.Empty());
    }
}
