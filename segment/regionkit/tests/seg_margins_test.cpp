// Segment margins on trees whose borders are known: which pixels the bands
// take, the frame, integer means, the minimum count, sons combined by their
// direction, and the limits of the record's fields.
#include "segment/regionkit/seg_margins.h"
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/tests/tree_test_support.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

using treetest::Borders;
using treetest::BuiltTree;
using treetest::CharImage;

namespace {

// An 8-bit image of 1 or 3 channels filled by f(x, y, c).
Image* Bytes(int w, int h, int channels, const std::function<int(int, int, int)>& f)
{
    Image* img = new Image(w, h, channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + x * channels + c] =
                    static_cast<unsigned char>(f(x, y, c));
    return img;
}

// Rows of `w` characters: `left` up to column `split`, then `right`.
std::vector<std::string> Split(int w, int h, int split, char left = 'A', char right = 'B')
{
    std::string row(w, right);
    for (int x = 0; x < split; ++x) row[x] = left;
    return std::vector<std::string>(h, row);
}

TEST(CalcAllSegMargins, BandsTakeDistancesOneToThreeOnBothSides)
{
    const int w = 20, h = 10;
    BuiltTree t(CharImage(Split(w, h, 10)), 2, 2, 1);
    ASSERT_TRUE(t.built);
    Image* img = Bytes(w, h, 3, [](int x, int y, int c) { return c == 0 ? 10 * x : c == 1 ? 10 * y : 200 - 10 * x; });
    ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 1, 3, 0, 0));
    ReleaseImage(img);
    const std::vector<BorderSegment*> b = Borders(t.tree, 0);
    ASSERT_EQ(b.size(), 1u);
    const COneSegMargins* m = b[0]->m_pMargins.get();
    ASSERT_NE(m, nullptr);
    // Traced down from the top edge: side 0 is the left. Rows 0 and 9 are
    // the frame; columns 8, 7, 6 and 11, 12, 13 are at distances 1 to 3.
    const int rows = h - 2;
    EXPECT_EQ(m->count[0], 3 * rows);
    EXPECT_EQ(m->count[1], 3 * rows);
    EXPECT_EQ(m->sum[0][0], rows * (80 + 70 + 60));
    EXPECT_EQ(m->sum[1][0], rows * (110 + 120 + 130));
    EXPECT_EQ(m->sum[0][1], 3 * 10 * (1 + 2 + 3 + 4 + 5 + 6 + 7 + 8));
    EXPECT_EQ(m->diff[0], 70 - 120);
    EXPECT_EQ(m->diff[1], 0);
    EXPECT_EQ(m->diff[2], 130 - 80);
}

TEST(CalcAllSegMargins, BandOffsetsAndDepths)
{
    const int w = 20, h = 6;
    BuiltTree t(CharImage(Split(w, h, 10)), 2, 2, 1);
    ASSERT_TRUE(t.built);
    // Each column's value is a bit of its own on the left (x = 9 - d has 1 << d).
    Image* img = Bytes(w, h, 1, [](int x, int, int) { return x < 10 && 9 - x <= 7 ? 1 << (9 - x) : 0; });
    struct Case {
        int a, b, mask;
    };
    const Case cases[] = {{1, 3, 0b1110}, {0, 1, 0b1}, {2, 2, 0b1100}, {0, 8, 0xFF}, {1, 0, 0}, {3, 1, 0b1000}};
    for (const Case& c : cases) {
        ASSERT_TRUE(CalcAllSegMargins(img, t.tree, c.a, c.b, 0, 0));
        const COneSegMargins* m = Borders(t.tree, 0)[0]->m_pMargins.get();
        EXPECT_EQ(m->sum[0][0], 4 * c.mask) << c.a << "," << c.b;
    }
    ReleaseImage(img);
}

TEST(CalcAllSegMargins, AFrameSideGetsNoBandAndNoDifference)
{
    // Row 0 is its own region: its border's upper side is all frame.
    std::vector<std::string> rows(8, std::string(12, 'B'));
    rows[0] = std::string(12, 'A');
    BuiltTree t(CharImage(rows), 2, 2, 1);
    ASSERT_TRUE(t.built);
    Image* img = Bytes(12, 8, 1, [](int, int y, int) { return y == 0 ? 250 : 20; });
    ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 1, 3, 0, 0));
    ReleaseImage(img);
    const COneSegMargins* m = Borders(t.tree, 0)[0]->m_pMargins.get();
    const int frameSide = m->count[0] == 0 ? 0 : 1;
    EXPECT_EQ(m->count[frameSide], 0);
    EXPECT_EQ(m->sum[frameSide][0], 0);
    EXPECT_EQ(m->count[1 - frameSide], 3 * 10);
    EXPECT_EQ(m->diff[0], 0);
}

TEST(CalcAllSegMargins, MeansAreIntegerDivisionsAndNeedFivePixelsASide)
{
    struct Case {
        int h;          // rows 1 .. h - 2 are counted, one column a side
        int leftExtra;  // added to the last left pixel (value 2 elsewhere)
        int rightExtra; // added to the last right pixel (value 1 elsewhere)
        int diff;
    };
    const Case cases[] = {
        {8, 1, 5, 1},  // 13 / 6 = 2 and 11 / 6 = 1: 1, where the exact 0.33 would give 0
        {8, 0, 0, 1},
        {7, 0, 0, 1},  // five a side: still measured
        {6, 0, 0, 0},  // four a side: no difference
    };
    for (const Case& c : cases) {
        const int w = 12;
        BuiltTree t(CharImage(Split(w, c.h, 6)), 2, 2, 1);
        ASSERT_TRUE(t.built);
        Image* img = Bytes(w, c.h, 1, [&](int x, int y, int) {
            const bool last = y == c.h - 2;
            return x < 6 ? 2 + (last ? c.leftExtra : 0) : 1 + (last ? c.rightExtra : 0);
        });
        ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 1, 1, 0, 0));
        ReleaseImage(img);
        const COneSegMargins* m = Borders(t.tree, 0)[0]->m_pMargins.get();
        EXPECT_EQ(m->count[0], c.h - 2);
        EXPECT_EQ(m->diff[0], c.diff) << "h " << c.h;
    }
}

TEST(CalcAllSegMargins, EquallyFarPixelsGoToTheEarlierSegment)
{
    // A | B | C with B five columns wide: its middle column is two away from
    // both borders and belongs to the first border found (the left one).
    const int w = 17, h = 7;
    std::vector<std::string> rows(h, "AAAAAABBBBBCCCCCC");
    BuiltTree t(CharImage(rows), 3, 3, 1);
    ASSERT_TRUE(t.built);
    Image* img = Bytes(w, h, 1, [](int, int, int) { return 1; });
    ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 1, 3, 0, 0));
    ReleaseImage(img);
    const std::vector<BorderSegment*> b = Borders(t.tree, 0);
    ASSERT_EQ(b.size(), 2u);
    const int rows5 = h - 2;
    // Border 1 (x = 6) takes columns 7 and 8 of B; border 2 (x = 11) only column 9.
    EXPECT_EQ(b[0]->m_pMargins->count[1], 2 * rows5);
    EXPECT_EQ(b[1]->m_pMargins->count[0], 1 * rows5);
}

// Left column split into P1 (top) and P2 (bottom), Q on the right: the two
// finer borders run opposite ways and become one coarser border.
struct TallSplit {
    static constexpr int kW = 30;
    int h;
    BuiltTree t;
    explicit TallSplit(int height)
        : h(height), t(treetest::FloatImage(kW, height, 1, false,
                                            [height](int x, int y, int) {
                                                return x >= 15 ? 50.0f : y < height / 2 ? 200.0f : 190.0f;
                                            }),
                       3, 2, 2)
    {
    }
    Image* Samples() const
    {
        const int half = h / 2;
        return Bytes(kW, h, 1, [half](int x, int y, int) { return x >= 15 ? 50 : y < half ? 200 : 190; });
    }
};

TEST(CalcAllSegMargins, CoarserBordersAddTheirSonsStraightOrCrosswise)
{
    // P1 on top, P2 bottom left, Q bottom right. P1 | Q runs east from the
    // junction, P2 | Q south from it; once P1 and P2 merge, the chain through
    // the junction runs one of them against its stored order.
    const int w = 30, h = 30;
    auto value = [](int x, int y) { return y < 15 ? 200 : x < 15 ? 190 : 50; };
    BuiltTree t(treetest::FloatImage(w, h, 1, false, [&](int x, int y, int) { return float(value(x, y)); }), 3, 2, 2);
    ASSERT_TRUE(t.built);
    Image* img = Bytes(w, h, 1, [&](int x, int y, int) { return value(x, y); });
    ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 1, 3, 0, 1));
    ReleaseImage(img);
    const std::vector<BorderSegment*> coarse = Borders(t.tree, 1);
    ASSERT_EQ(coarse.size(), 1u);
    BorderSegment* n = coarse[0];
    std::set<int> directions;
    int sons = 0;
    int64_t count[2] = {0, 0}, sum[2] = {0, 0};
    for (BorderSegment* son = n->m_pSon; son; son = son->m_pNext) {
        ++sons;
        directions.insert(son->m_forward);
        const int to0 = son->m_forward ? 0 : 1;
        count[to0] += son->m_pMargins->count[0];
        count[1 - to0] += son->m_pMargins->count[1];
        sum[to0] += son->m_pMargins->sum[0][0];
        sum[1 - to0] += son->m_pMargins->sum[1][0];
    }
    ASSERT_EQ(sons, 2);
    EXPECT_EQ(directions, (std::set<int>{0, 1}));  // one runs each way
    const COneSegMargins* m = n->m_pMargins.get();
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(m->count[s], count[s]);
        EXPECT_EQ(m->sum[s][0], sum[s]);
    }
    // Each side of the coarse border lies wholly in one region: all of Q's
    // band is 50, the other band is P1's 200 and P2's 190.
    const int q = m->sum[0][0] / m->count[0] < 100 ? 0 : 1;
    EXPECT_EQ(m->sum[q][0], 50 * m->count[q]);
    const int p = m->sum[1 - q][0] / m->count[1 - q];
    EXPECT_GE(p, 190);
    EXPECT_LE(p, 200);
    EXPECT_EQ(std::abs(m->diff[0]), p - 50);
}

TEST(CalcAllSegMargins, CountsSaturateWhileDifferencesStayExact)
{
    // 13 columns a side over 2998 rows: 38,974 band pixels a side on the
    // coarse border, more than a 16-bit count holds.
    TallSplit s(3000);
    ASSERT_TRUE(s.t.built);
    Image* img = s.Samples();
    ASSERT_TRUE(CalcAllSegMargins(img, s.t.tree, 1, 13, 0, 1));
    ReleaseImage(img);
    const COneSegMargins* m = Borders(s.t.tree, 1)[0]->m_pMargins.get();
    EXPECT_EQ(m->count[0], 32767);
    EXPECT_EQ(m->count[1], 32767);
    // The exact means (195 and 50), not the saturated counts, give the difference.
    EXPECT_EQ(std::abs(m->diff[0]), 145);
    const int left = m->sum[0][0] > m->sum[1][0] ? 0 : 1;
    EXPECT_GT(m->sum[left][0], int64_t{195} * 32767);
    EXPECT_GT(m->sum[1 - left][0], int64_t{50} * 32767);
}

TEST(CalcAllSegMargins, MoreThan32767SegmentsKeepTheirOwnSides)
{
    // Every pixel its own region: every crack a two-point border between
    // junctions, 2 x 130 x 129 of them. With a = 0, b = 1 a border takes
    // exactly the side pixels it reaches first.
    const int w = 130, h = 130;
    BuiltTree t(treetest::FloatImage(w, h, 1, false, [](int x, int y, int) { return float(y * 130 + x); }), -1, 0, 1);
    ASSERT_TRUE(t.built);
    Image* img = Bytes(w, h, 3, [](int x, int y, int c) { return (x * 7 + y * 13 + c * 5) % 251; });
    ASSERT_TRUE(CalcAllSegMargins(img, t.tree, 0, 1, 0, 0));
    const std::vector<BorderSegment*> b = Borders(t.tree, 0);
    ASSERT_GT(b.size(), 32767u);
    std::vector<char> claimed(static_cast<size_t>(w) * h, 0);
    auto sample = [&](int p, int c) { return img->GetData()[static_cast<size_t>(p / w) * img->GetRowByte() + (p % w) * 3 + c]; };
    for (size_t k = 0; k < b.size(); ++k) {
        const std::vector<int> pts = treetest::BorderPoints(b[k]);
        ASSERT_EQ(pts.size(), 2u);
        const int p = pts[0], q = pts[1], stride = w + 1;
        const int x = q % stride, y = q / stride;
        int sideA, sideB;  // the pixels right and left of the step
        if (q - p == 1) sideA = y * w + x - 1, sideB = (y - 1) * w + x - 1;
        else if (q - p == -1) sideA = (y - 1) * w + x, sideB = y * w + x;
        else if (q - p == stride) sideA = (y - 1) * w + x - 1, sideB = (y - 1) * w + x;
        else sideA = y * w + x, sideB = y * w + x - 1;
        int64_t expect[2][3] = {};
        int expectCount[2] = {0, 0};
        const int sides[2] = {sideA, sideB};
        for (int i = 0; i < 2; ++i) {
            const int px = sides[i] % w, py = sides[i] / w;
            if (px == 0 || py == 0 || px == w - 1 || py == h - 1 || claimed[sides[i]]) continue;
            claimed[sides[i]] = 1;
            const int side = i;  // side 0 right of the step
            ++expectCount[side];
            for (int c = 0; c < 3; ++c) expect[side][c] += sample(sides[i], c);
        }
        const COneSegMargins* m = b[k]->m_pMargins.get();
        ASSERT_NE(m, nullptr);
        for (int s = 0; s < 2; ++s) {
            ASSERT_EQ(m->count[s], expectCount[s]) << "border " << k;
            for (int c = 0; c < 3; ++c) ASSERT_EQ(m->sum[s][c], expect[s][c]) << "border " << k;
        }
    }
    ReleaseImage(img);
}

TEST(CalcAllSegMargins, LevelsAreClampedAndMeasuredOnce)
{
    TallSplit s(40);
    ASSERT_TRUE(s.t.built);
    Image* img = s.Samples();
    // d past the last level (or negative) ends at the last level; sons are
    // added once, so the coarse record holds exactly its sons' counts.
    for (int d : {-1, 1, 9}) {
        ASSERT_TRUE(CalcAllSegMargins(img, s.t.tree, 1, 3, 0, d));
        BorderSegment* n = Borders(s.t.tree, 1)[0];
        int sons = 0;
        for (BorderSegment* son = n->m_pSon; son; son = son->m_pNext)
            sons += son->m_pMargins->count[0] + son->m_pMargins->count[1];
        EXPECT_EQ(n->m_pMargins->count[0] + n->m_pMargins->count[1], sons) << d;
    }
    // c past the last level measures the last level from the pixels.
    ASSERT_TRUE(CalcAllSegMargins(img, s.t.tree, 1, 3, 7, -1));
    EXPECT_EQ(Borders(s.t.tree, 1)[0]->m_pMargins->count[0], 3 * 38);
    ReleaseImage(img);
}

TEST(SegMarginCalc, SonsWithoutRecordsAddNothing)
{
    TallSplit s(40);
    ASSERT_TRUE(s.t.built);
    for (BorderSegment* b : Borders(s.t.tree, 0)) b->m_pMargins.reset();
    Image* img = s.Samples();
    SegMarginCalc calc(img, s.t.tree);
    ASSERT_TRUE(calc.CheckInput());
    calc.CombineLevel(1);
    const COneSegMargins* m = Borders(s.t.tree, 1)[0]->m_pMargins.get();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->count[0], 0);
    EXPECT_EQ(m->count[1], 0);
    EXPECT_EQ(m->diff[0], 0);
    ReleaseImage(img);
}

TEST(CalcAllSegMargins, RefusesInputsItCannotMeasure)
{
    BuiltTree t(CharImage(Split(10, 6, 5)), 2, 2, 1);
    ASSERT_TRUE(t.built);
    Image* wrongSize = Bytes(9, 6, 1, [](int, int, int) { return 1; });
    Image* noChannels = new Image();
    noChannels->Create(10, 6, 0, IMG_UINT8);
    Image* words = new Image();
    words->Create(10, 6, 1, IMG_UINT16);
    LogCapture log;
    for (Image* img : {wrongSize, noChannels, words}) {
        EXPECT_FALSE(CalcAllSegMargins(img, t.tree, 1, 3, 0, -1));
        ReleaseImage(img);
    }
    EXPECT_FALSE(CalcAllSegMargins(nullptr, t.tree, 1, 3, 0, -1));
    Image* fine = Bytes(10, 6, 1, [](int, int, int) { return 1; });
    EXPECT_FALSE(CalcAllSegMargins(fine, nullptr, 1, 3, 0, -1));
    CRegTree empty(fine);
    EXPECT_FALSE(CalcAllSegMargins(fine, &empty, 1, 3, 0, -1));
    ReleaseImage(fine);
    EXPECT_EQ(log.errorCount(), 6);
    EXPECT_TRUE(log.contains("ERROR CalcAllSegMargins"));
}

TEST(ConstructTree, EndsByMeasuringMarginsFromTheMiddleLevelUp)
{
    BuiltTree t(treetest::RandomImage(40, 30, 3, 21), 60, 6, 4);
    ASSERT_TRUE(t.built);
    for (int level = 0; level < 4; ++level)
        for (BorderSegment* b : Borders(t.tree, level)) {
            if (level < 2) EXPECT_EQ(b->m_pMargins, nullptr) << level;
            else EXPECT_NE(b->m_pMargins, nullptr) << level;
        }
    // A float image is measured in its own samples, truncated.
    BuiltTree f(CharImage(Split(20, 10, 10), {{'A', 100.7f}, {'B', 30.2f}}), 2, 2, 1);
    ASSERT_TRUE(f.built);
    const COneSegMargins* m = Borders(f.tree, 0)[0]->m_pMargins.get();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sum[0][0], 100 * m->count[0]);
    EXPECT_EQ(m->diff[0], 70);
}

}  // namespace
