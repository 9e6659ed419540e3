// The segmenter against a slow greedy merger written here: after every step
// the partition, the border list with its lengths and the surviving node's
// weight and value must be those of merging the cheapest adjacent pair.
#include "platform/segkit/segkit.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

// One-value nodes {weight, value} and the squared-error cost and area-weighted
// merge, as the region tree gives them.
struct Node {
    float w;
    float v;
};

float Cost(SEG_INIT* rec, int a, int b)
{
    const Node* n = static_cast<const Node*>(rec->nodes);
    const float d = n[a].v - n[b].v;
    return d * d / (n[a].w + n[b].w);
}

void MergeRule(SEG_INIT* rec, int a, int b)
{
    Node* n = static_cast<Node*>(rec->nodes);
    const float wa = n[a].w, wb = n[b].w;
    n[a].v = (wa * n[b].v + wb * n[a].v) / (wa + wb);
    n[a].w = wa * wb / (wa + wb);
}

struct Grid {
    int rows, cols;
    std::vector<Node> nodes;
    SEG_DIM dims[2];
    SEG_INIT rec;

    Grid(int r, int c, const std::vector<float>& values) : rows(r), cols(c)
    {
        for (float v : values) nodes.push_back({1.0f, v});
        dims[0] = {rows, 1.0f};
        dims[1] = {cols, 1.0f};
        rec.numDims = 2;
        rec.dims = dims;
        rec.nodes = nodes.data();
        rec.cost = Cost;
        rec.merge = MergeRule;
    }
    ~Grid() { seg_cleanup(&rec); }
};

// Slow reference: labels per node, all adjacent pairs costed every step.
struct SlowMerger {
    int rows, cols;
    std::vector<int> label;  // canonical: the region's smallest node
    std::map<int, Node> node;

    SlowMerger(int r, int c, const std::vector<float>& values) : rows(r), cols(c), label(r * c)
    {
        for (int i = 0; i < r * c; ++i) {
            label[i] = i;
            node[i] = {1.0f, values[i]};
        }
    }
    // Adjacent region pairs (smaller label first) with their crack counts.
    std::map<std::pair<int, int>, int> Borders() const
    {
        std::map<std::pair<int, int>, int> out;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const int p = y * cols + x;
                for (int q : {x + 1 < cols ? p + 1 : -1, y + 1 < rows ? p + cols : -1}) {
                    if (q < 0 || label[p] == label[q]) continue;
                    ++out[{std::min(label[p], label[q]), std::max(label[p], label[q])}];
                }
            }
        return out;
    }
    bool Step()
    {
        float best = std::numeric_limits<float>::infinity();
        std::pair<int, int> pick{-1, -1};
        for (const auto& [pair, len] : Borders()) {
            Node a = node[pair.first], b = node[pair.second];
            const float d = a.v - b.v;
            const float c = d * d / (a.w + b.w);
            if (c < best) {
                best = c;
                pick = pair;
            }
        }
        if (pick.first < 0) return false;
        Node& a = node[pick.first];
        const Node b = node[pick.second];
        const float wa = a.w, wb = b.w;
        a.v = (wa * b.v + wb * a.v) / (wa + wb);
        a.w = wa * wb / (wa + wb);
        node.erase(pick.second);
        for (int& l : label)
            if (l == pick.second) l = pick.first;
        return true;
    }
};

std::vector<float> RandomValues(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    std::vector<float> v(n);
    for (float& x : v) x = u(rng);
    return v;
}

// The segmenter's partition in canonical labels (smallest node of each region).
std::vector<int> Partition(Grid& g)
{
    const int n = g.rows * g.cols;
    std::map<int, int> smallest;
    std::vector<int> root(n);
    for (int i = 0; i < n; ++i) {
        root[i] = seg_parent(&g.rec, i);
        if (!smallest.count(root[i])) smallest[root[i]] = i;
    }
    std::vector<int> out(n);
    for (int i = 0; i < n; ++i) out[i] = smallest[root[i]];
    return out;
}

struct Shape {
    int rows, cols;
};

class SegkitAgainstSlowMerger : public ::testing::TestWithParam<Shape> {};

TEST_P(SegkitAgainstSlowMerger, EveryStepMergesTheCheapestPair)
{
    const Shape shape = GetParam();
    const int n = shape.rows * shape.cols;
    const std::vector<float> values = RandomValues(n, 7u + static_cast<unsigned>(n));
    Grid g(shape.rows, shape.cols, values);
    SlowMerger ref(shape.rows, shape.cols, values);
    ASSERT_EQ(seg_init(&g.rec), 0);
    EXPECT_EQ(g.rec.numNodes, n);
    for (int step = 0;; ++step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(g.rec.numRegions, static_cast<int>(ref.node.size()));
        ASSERT_EQ(Partition(g), ref.label);

        const auto borders = ref.Borders();
        ASSERT_EQ(g.rec.numBorders, static_cast<int>(borders.size()));
        std::map<std::pair<int, int>, int> got;
        std::vector<int> canon = ref.label;
        for (int i = 0; i < g.rec.numBorders; ++i) {
            int a = -1, b = -1, len = 0;
            ASSERT_EQ(GetBorderInfo(&g.rec, i, &a, &b, &len), 1);
            EXPECT_LT(a, b);
            // Region numbers are members of their regions.
            const int ca = canon[a], cb = canon[b];
            got[{std::min(ca, cb), std::max(ca, cb)}] = len;
        }
        EXPECT_EQ(got, borders);
        int a = 0;
        EXPECT_EQ(GetBorderInfo(&g.rec, g.rec.numBorders, &a, &a, &a), 0);

        // The number's node describes its region: weight 1/area, the mean value.
        for (const auto& [label, node] : ref.node) {
            const int number = seg_parent(&g.rec, label);
            EXPECT_EQ(ref.label[number], label);
            EXPECT_FLOAT_EQ(g.nodes[number].v, node.v);
            EXPECT_FLOAT_EQ(g.nodes[number].w, node.w);
        }
        const bool refMerged = ref.Step();
        const int merged = seg_step(&g.rec);
        ASSERT_EQ(merged, refMerged ? 1 : 0);
        if (!merged) break;
    }
    EXPECT_EQ(g.rec.numRegions, 1);
    EXPECT_EQ(g.rec.numBorders, 0);
}

INSTANTIATE_TEST_SUITE_P(Grids, SegkitAgainstSlowMerger,
                         ::testing::Values(Shape{1, 1}, Shape{1, 17}, Shape{9, 1}, Shape{7, 11}, Shape{12, 12}));

TEST(Segkit, AreaWeightedMeansOfFlatPatchesAndExactMerges)
{
    // Two flat halves merge among themselves at no cost before they meet.
    const int rows = 6, cols = 8;
    std::vector<float> values(rows * cols);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) values[y * cols + x] = x < 3 ? 10.0f : 200.0f;
    Grid g(rows, cols, values);
    ASSERT_EQ(seg_init(&g.rec), 0);
    while (g.rec.numRegions > 2) ASSERT_EQ(seg_step(&g.rec), 1);
    ASSERT_EQ(g.rec.numBorders, 1);
    int a = 0, b = 0, len = 0;
    ASSERT_EQ(GetBorderInfo(&g.rec, 0, &a, &b, &len), 1);
    EXPECT_EQ(len, rows);
    const int left = seg_parent(&g.rec, 0), right = seg_parent(&g.rec, cols - 1);
    EXPECT_NE(left, right);
    EXPECT_FLOAT_EQ(1.0f / g.nodes[left].w, 18.0f);
    EXPECT_FLOAT_EQ(g.nodes[right].v, 200.0f);
    ASSERT_EQ(seg_step(&g.rec), 1);
    const int all = seg_parent(&g.rec, 0);
    EXPECT_NEAR(g.nodes[all].v, (18 * 10.0 + 30 * 200.0) / 48.0, 1e-3);
    EXPECT_EQ(seg_step(&g.rec), 0);
    EXPECT_EQ(g.rec.numRegions, 1);
}

TEST(Segkit, BadRecordsAndCallsFailWithErrorLines)
{
    LogCapture log;
    EXPECT_EQ(seg_init(nullptr), -1);
    Grid g(3, 3, std::vector<float>(9, 1.0f));
    g.dims[1].size = 0;
    EXPECT_EQ(seg_init(&g.rec), -1);
    EXPECT_EQ(g.rec.numRegions, 0);
    EXPECT_EQ(g.rec.state, nullptr);
    g.dims[1].size = 3;
    g.rec.cost = nullptr;
    EXPECT_EQ(seg_init(&g.rec), -1);
    g.rec.cost = Cost;
    EXPECT_EQ(seg_step(&g.rec), 0);  // no state: nothing to merge, no hang
    EXPECT_EQ(seg_parent(&g.rec, 0), -1);
    ASSERT_EQ(seg_init(&g.rec), 0);
    EXPECT_EQ(seg_parent(&g.rec, 9), -1);
    EXPECT_EQ(seg_parent(&g.rec, -1), -1);
    EXPECT_EQ(seg_parent(&g.rec, 8), 8);
    EXPECT_GE(log.errorCount(), 5);
    EXPECT_TRUE(log.contains("ERROR seg_parent"));
    // A second init starts over.
    ASSERT_EQ(seg_step(&g.rec), 1);
    ASSERT_EQ(seg_init(&g.rec), 0);
    EXPECT_EQ(g.rec.numRegions, 9);
    EXPECT_EQ(g.rec.numBorders, 12);
}

TEST(Segkit, ThreeDimensionalGridsUseAxisNeighbours)
{
    // 2 x 2 x 2 cube: 12 edges; it merges down to one region.
    std::vector<Node> nodes(8, Node{1.0f, 0.0f});
    for (int i = 0; i < 8; ++i) nodes[i].v = static_cast<float>(i * i);
    SEG_DIM dims[3] = {{2, 1.0f}, {2, 1.0f}, {2, 1.0f}};
    SEG_INIT rec;
    rec.numDims = 3;
    rec.dims = dims;
    rec.nodes = nodes.data();
    rec.cost = Cost;
    rec.merge = MergeRule;
    ASSERT_EQ(seg_init(&rec), 0);
    EXPECT_EQ(rec.numBorders, 12);
    int steps = 0;
    while (seg_step(&rec)) ++steps;
    EXPECT_EQ(steps, 7);
    EXPECT_EQ(rec.numRegions, 1);
    seg_cleanup(&rec);
    EXPECT_EQ(rec.state, nullptr);
}

}  // namespace
