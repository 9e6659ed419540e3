// CPolySeg: joints of the intersection contours, accessors, ownership.
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_seg.h"
#include "geometry/polykit/tests/poly_test_support.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace polytest;

namespace {

// Exposes the reverse flag, as a deriving class (the seam blender's
// division line) sets it.
class ReversedSeg : public CPolySeg {
public:
    ReversedSeg() { m_bReverse = 1; }
};

std::set<std::pair<float, float>> JointPoints(CPolySeg& seg, int row)
{
    std::set<std::pair<float, float>> out;
    for (int col = 0; col < seg.GetIntPolyJts()->pLists[row].nJoints; ++col) {
        const POINT2* p = seg.GetOneIntJts(row, col);
        if (p) out.insert({p->x, p->y});
    }
    return out;
}

}  // namespace

TEST(PolySeg, OverlappingSquaresGiveTwoJointsAtTheCrossings)
{
    Poly a({{{2, 2}, {2, 50}, {50, 50}, {50, 2}}});
    Poly b({{{22, 22}, {22, 70}, {70, 70}, {70, 22}}});
    CPolySeg seg;
    ASSERT_TRUE(seg.TwoPolygonIntSegments(a.get(), b.get()));
    ASSERT_NE(seg.GetIntPolygon(), nullptr);
    ASSERT_EQ(seg.GetIntPolygon()->count, 1);
    ASSERT_EQ(seg.GetIntPolyJts()->nLists, 1);
    EXPECT_EQ(seg.GetIntPolyJts()->pLists[0].nJoints, 2);
    const std::set<std::pair<float, float>> want = {{22, 50}, {50, 22}};
    EXPECT_EQ(JointPoints(seg, 0), want);

    // Between the two joints the contour follows A on one side, B on the
    // other: each joint index names a vertex that belongs to neither.
    for (int col = 0; col < 2; ++col) {
        const int idx = seg.GetOneIntJtPolyNodeIndex(0, col);
        ASSERT_GE(idx, 0);
        ASSERT_LT(idx, seg.GetIntPolygon()->contours[0].count);
    }

    ReversedSeg rev;
    ASSERT_TRUE(rev.TwoPolygonIntSegments(a.get(), b.get()));
    EXPECT_EQ(rev.GetOneIntJtPolyNodeIndex(0, 0), seg.GetOneIntJtPolyNodeIndex(0, 1));
    EXPECT_EQ(rev.GetOneIntJtPolyNodeIndex(0, 1), seg.GetOneIntJtPolyNodeIndex(0, 0));
}

TEST(PolySeg, DisjointSquaresGiveNoPolygon)
{
    Poly a({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}});
    Poly b({{{5, 5}, {6, 5}, {6, 6}, {5, 6}}});
    CPolySeg seg;
    EXPECT_FALSE(seg.TwoPolygonIntSegments(a.get(), b.get()));
    EXPECT_EQ(seg.GetIntPolygon(), nullptr);
    EXPECT_EQ(seg.GetIntPolyJts(), nullptr);
    EXPECT_EQ(seg.GetOneIntJtPolyNodeIndex(0, 0), -1);
    EXPECT_EQ(seg.GetOneIntJts(0, 0), nullptr);
}

TEST(PolySeg, AccessorsCheckBothBounds)
{
    Poly a({{{2, 2}, {2, 50}, {50, 50}, {50, 2}}});
    Poly b({{{22, 22}, {22, 70}, {70, 70}, {70, 22}}});
    CPolySeg seg;
    ASSERT_TRUE(seg.TwoPolygonIntSegments(a.get(), b.get()));
    const std::pair<int, int> outside[] = {{0, 2}, {0, -1}, {1, 0}, {-1, 0}, {-5, -5}, {0, 1 << 30}};
    for (auto [row, col] : outside) {
        EXPECT_EQ(seg.GetOneIntJtPolyNodeIndex(row, col), -1) << row << "," << col;
        EXPECT_EQ(seg.GetOneIntJts(row, col), nullptr) << row << "," << col;
    }
}

// Copies own their polygon and table; a second intersection releases the
// first. ASan and LSan watch for double releases and leaks.
TEST(PolySeg, CopiesAreDeepAndRepeatedCallsRelease)
{
    Poly a({{{2, 2}, {2, 50}, {50, 50}, {50, 2}}});
    Poly b({{{22, 22}, {22, 70}, {70, 70}, {70, 22}}});
    Poly c({{{40, 0}, {60, 0}, {60, 60}, {40, 60}}});
    auto* first = new CPolySeg;
    ASSERT_TRUE(first->TwoPolygonIntSegments(a.get(), b.get()));
    CPolySeg copy(*first);
    CPolySeg assigned;
    assigned = *first;
    EXPECT_NE(copy.GetIntPolygon(), first->GetIntPolygon());
    EXPECT_NE(copy.GetIntPolyJts(), first->GetIntPolyJts());
    delete first;
    EXPECT_EQ(JointPoints(copy, 0), JointPoints(assigned, 0));
    EXPECT_EQ(copy.GetIntPolyJts()->pLists[0].nJoints, 2);

    EXPECT_TRUE(copy.TwoPolygonIntSegments(a.get(), c.get()));
    EXPECT_FALSE(copy.TwoPolygonIntSegments(b.get(), Poly({{{90, 90}, {95, 90}, {95, 95}}}).get()));
    EXPECT_EQ(copy.GetIntPolygon(), nullptr);
}

TEST(PolySeg, SelfTestRuns)
{
    LogCapture log;
    TestPolySeg();
    EXPECT_TRUE(log.contains("TestPolySeg:"));
    EXPECT_EQ(log.errorCount(), 0);
}
