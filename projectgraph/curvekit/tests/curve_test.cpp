#include "projectgraph/curvekit/curve.h"

#include "imaging/image.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// The points (0, 0), (1, 0) ... (n - 1, 0) scaled by `step` along x.
Curve Line(int n, float step = 1.0f)
{
    Curve c;
    for (int i = 0; i < n; ++i) c.AppendPoint(step * i, 0);
    return c;
}

std::vector<int> Nodes(const Curve& c)
{
    return std::vector<int>(c.GetNodeList(), c.GetNodeList() + c.GetNumNode());
}

using PointList = std::vector<std::pair<float, float>>;

std::vector<std::pair<float, float>> Points(const Curve& c)
{
    std::vector<std::pair<float, float>> out;
    for (int i = 0; i < c.GetNumPoint(); ++i) out.emplace_back(c.GetPointList()[i].x, c.GetPointList()[i].y);
    return out;
}

}  // namespace

TEST(Curve, NewCurveIsEmptyVisibleOpenAndBlack)
{
    Curve c;
    EXPECT_EQ(c.GetNumPoint(), 0);
    EXPECT_EQ(c.GetNumNode(), 0);
    EXPECT_EQ(c.GetStatus(), 0);
    EXPECT_EQ(c.GetColor(), 0);
    EXPECT_EQ(c.GetCvIndex(), 0);
    EXPECT_EQ(c.GetPointList(), nullptr);
    float x = 1, y = 1;
    EXPECT_FALSE(c.GetNode(0, &x, &y));
    EXPECT_EQ(x + y, 0.0f);
}

TEST(Curve, AddNodePicksTheNearestPointOfTheFirstRunAndRefusesNearEndsAndRepeats)
{
    Curve c = Line(11);
    EXPECT_EQ(c.AddNode(5.4f, 0), 1);  // run 3..8, nearest 5
    EXPECT_EQ(Nodes(c), std::vector<int>({5}));
    EXPECT_EQ(c.AddNode(5.0f, 1.0f), -1) << "a second node on the same point";
    EXPECT_EQ(c.AddNode(1.2f, 0), -1) << "within the box of the first point";
    EXPECT_EQ(c.AddNode(9.0f, 0), -1) << "within the box of the last point";
    EXPECT_EQ(c.AddNode(5.0f, 4.0f), -1) << "outside every box";

    Curve wide = Line(11, 10.0f);
    EXPECT_EQ(wide.AddNode(50, 0), 1);
    EXPECT_EQ(wide.AddNode(20, 0), 1) << "below the existing node: goes first";
    EXPECT_EQ(wide.AddNode(80, 0), 3) << "after both";
    EXPECT_EQ(wide.AddNode(61, 2), 3) << "between 50 and 80";
    EXPECT_EQ(Nodes(wide), std::vector<int>({2, 5, 6, 8}));
    EXPECT_EQ(wide.AddNode(5, 0), -1) << "the end points are never nodes";
}

TEST(Curve, InsertNodeGrowsTheNodeArrayByFour)
{
    Curve c = Line(20, 10.0f);
    for (int i = 1; i <= 5; ++i) c.InsertNode(i, i);
    EXPECT_EQ(c.GetNumNode(), 5);
    EXPECT_EQ(c.GetNodeCapacity(), 8);
    c.InsertNode(1, 0);
    EXPECT_EQ(Nodes(c), std::vector<int>({0, 1, 2, 3, 4, 5}));
    c.InsertNode(9, 7);  // beyond the list: refused
    EXPECT_EQ(c.GetNumNode(), 6);
}

TEST(Curve, SplitSharesPointKAndDealsOutTheNodes)
{
    Curve c = Line(10, 10.0f);
    c.SetCvIndex(4);
    c.ChangeColor(0x123456);
    c.SetStatus(Curve::kLabel);
    for (int n : {2, 5, 7}) c.InsertNode(c.GetNumNode() + 1, n);
    EXPECT_EQ(c.Split(0), nullptr);
    EXPECT_EQ(c.Split(9), nullptr);
    EXPECT_EQ(c.Split(-3), nullptr);
    EXPECT_EQ(c.GetNumPoint(), 10);

    Curve* tail = c.Split(5);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(c.GetNumPoint(), 6);
    EXPECT_EQ(tail->GetNumPoint(), 5);
    EXPECT_EQ(c.GetPointList()[5].x, 50.0f);
    EXPECT_EQ(tail->GetPointList()[0].x, 50.0f);
    EXPECT_EQ(Nodes(c), std::vector<int>({2}));  // node 5 itself dropped
    EXPECT_EQ(Nodes(*tail), std::vector<int>({2}));  // 7 - 5
    EXPECT_EQ(c.GetNodeCapacity(), 1);
    EXPECT_EQ(tail->GetCvIndex(), 4);
    EXPECT_EQ(tail->GetColor(), 0x123456);
    EXPECT_EQ(tail->GetStatus(), Curve::kLabel);
    delete tail;
}

TEST(Curve, MergeOrdersPointsAndNodesForEachType)
{
    // This curve: points 0..4 (x = 0..4), node 1. Other: x = 100..102, node 1.
    struct Case {
        int type;
        std::vector<float> xs;
        std::vector<int> nodes;
    };
    const Case cases[] = {
        {0, {0, 1, 2, 3, 4, 100, 101, 102}, {1, 4, 5, 6}},
        {1, {4, 3, 2, 1, 0, 100, 101, 102}, {3, 4, 5, 6}},
        {2, {4, 3, 2, 1, 0, 102, 101, 100}, {3, 4, 5, 6}},
        {3, {0, 1, 2, 3, 4, 102, 101, 100}, {1, 4, 5, 6}},
    };
    for (const Case& k : cases) {
        Curve c = Line(5);
        c.InsertNode(1, 1);
        auto* other = new Curve;
        for (float x : {100.0f, 101.0f, 102.0f}) other->AppendPoint(x, 0);
        other->InsertNode(1, 1);
        ASSERT_TRUE(c.Merge(other, k.type));  // `other` is deleted by the merge
        std::vector<float> xs;
        for (auto [x, y] : Points(c)) xs.push_back(x);
        EXPECT_EQ(xs, k.xs) << "type " << k.type;
        EXPECT_EQ(Nodes(c), k.nodes) << "type " << k.type;
        EXPECT_EQ(c.GetPointCapacity(), 8);
        EXPECT_EQ(c.GetNodeCapacity(), 4);
    }
    Curve c = Line(3);
    Curve keep = Line(3);
    EXPECT_FALSE(c.Merge(&keep, 4)) << "an unknown type changes nothing and deletes nothing";
    EXPECT_FALSE(c.Merge(&c, 0));
    EXPECT_EQ(c.GetNumPoint(), 3);
}

TEST(Curve, MergeWithNodesOnBothSidesReversesThemInOrder)
{
    Curve c = Line(6);
    c.InsertNode(1, 1);
    c.InsertNode(2, 3);
    auto* other = new Curve;
    for (int i = 0; i < 5; ++i) other->AppendPoint(50.0f + i, 0);
    other->InsertNode(1, 1);
    other->InsertNode(2, 2);
    ASSERT_TRUE(c.Merge(other, 2));
    // This reversed: 6-1-3=2, 6-1-1=4; joints 5, 6; other reversed: 6+5-1-2=8, 6+5-1-1=9.
    EXPECT_EQ(Nodes(c), std::vector<int>({2, 4, 5, 6, 8, 9}));
}

TEST(Curve, RemoveNodeKeepsNodesOnTheirPoints)
{
    struct Case {
        int remove;
        std::vector<int> nodes;
    };
    // Points 0..9 with nodes on 2, 5, 8.
    const Case cases[] = {
        {5, {2, 7}},     // the node on the removed point goes, the later moves down
        {0, {1, 4, 7}},  // all move down
        {9, {2, 5}},     // node 8 became the last point: no longer a node
        {3, {2, 4, 7}},
    };
    for (const Case& k : cases) {
        Curve c = Line(10);
        for (int n : {2, 5, 8}) c.InsertNode(c.GetNumNode() + 1, n);
        ASSERT_TRUE(c.RemoveNode(k.remove));
        EXPECT_EQ(c.GetNumPoint(), 9);
        EXPECT_EQ(Nodes(c), k.nodes) << "remove " << k.remove;
        for (int n : Nodes(c)) EXPECT_TRUE(n > 0 && n < c.GetNumPoint() - 1);
    }
    Curve c = Line(3);
    EXPECT_FALSE(c.RemoveNode(3));
    EXPECT_FALSE(c.RemoveNode(-1));
}

TEST(Curve, RemovingPointsGivesMemoryBackAndEmptyCurvesGrowAgain)
{
    Curve c = Line(24);
    EXPECT_EQ(c.GetPointCapacity(), 24);
    while (c.GetNumPoint() > 16) c.RemoveNode(0);
    EXPECT_EQ(c.GetPointCapacity(), 24);
    c.RemoveNode(0);
    EXPECT_EQ(c.GetPointCapacity(), 19);
    while (c.GetNumPoint() > 0) c.RemoveNode(0);
    EXPECT_EQ(c.GetPointCapacity(), 4);
    // Count 0 with capacity left: the next growth replaces the array and the
    // old one is freed (the sanitizer build sees a leak otherwise).
    for (int i = 0; i < 9; ++i) c.AppendPoint(1, 1);
    EXPECT_EQ(c.GetPointCapacity(), 12);
}

TEST(Curve, InsertPointSplitsTheFirstSegmentItProjectsOntoAndRenumbersNodes)
{
    Curve c;
    for (auto [x, y] : {std::pair{0.f, 0.f}, {10.f, 0.f}, {20.f, 0.f}, {30.f, 0.f}}) c.AppendPoint(x, y);
    c.InsertNode(1, 1);
    c.InsertNode(2, 2);
    EXPECT_TRUE(c.InsertPoint(15, 1, 3));
    EXPECT_EQ(c.GetPointList()[2].x, 15.0f);
    EXPECT_EQ(Nodes(c), std::vector<int>({1, 3})) << "the node on (20, 0) follows it to index 3";
    EXPECT_FALSE(c.InsertPoint(16, 0.5f, 3)) << "within the tolerance of an end";
    EXPECT_FALSE(c.InsertPoint(5, 4, 3)) << "too far from the segment";
    EXPECT_FALSE(c.InsertPoint(-5, 0, 3)) << "projects onto no segment";
    EXPECT_EQ(c.GetNumPoint(), 5);

    Curve few;
    EXPECT_TRUE(few.InsertPoint(1, 2, 3));
    EXPECT_TRUE(few.InsertPoint(100, 2, 3));
    EXPECT_EQ(few.GetNumPoint(), 2);
}

TEST(Curve, InsertPointSkipsRepeatedPoints)
{
    // A repeated point (a segment of no length) before the real segment.
    Curve c;
    for (auto [x, y] : {std::pair{0.f, 0.f}, {0.f, 0.f}, {10.f, 0.f}}) c.AppendPoint(x, y);
    EXPECT_TRUE(c.InsertPoint(5, 1, 3));
    EXPECT_EQ(c.GetNumPoint(), 4);
    EXPECT_EQ(c.GetPointList()[2].x, 5.0f);
}

TEST(Curve, IsOnCurveTestsSegmentsTheClosingOneAndRepeatedPoints)
{
    // A square 0..20 with a repeated corner at index 2.
    Curve c;
    for (auto [x, y] : {std::pair{0.f, 0.f}, {20.f, 0.f}, {20.f, 20.f}, {20.f, 20.f}, {0.f, 20.f}}) c.AppendPoint(x, y);
    struct Case {
        float x, y;
        int open, closed;
    };
    const Case cases[] = {
        {10, 2, 0, 0},     // on the first segment
        {22, 10, 1, 1},    // beside the second
        {21, 21, 2, 2},    // near the repeated corner: its point answers
        {10, 19, 3, 3},    // the segment after the repeated point
        {1, 10, -1, 4},    // only on the closing segment
        {10, 10, -1, -1},  // inside, far from every side
        {0.5f, -2.5f, 0, 0},  // just outside the square near the first point
        {-1, 0, -1, -1},      // beyond the first point along the first side
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c.IsOnCurve(k.x, k.y), k.open) << k.x << "," << k.y;
        Curve closed = c;
        closed.CloseCurve();
        EXPECT_EQ(closed.IsOnCurve(k.x, k.y), k.closed) << k.x << "," << k.y;
    }
    // A curve of one repeated point answers by the distance to it.
    Curve dot;
    dot.AppendPoint(5, 5);
    dot.AppendPoint(5, 5);
    EXPECT_EQ(dot.IsOnCurve(7, 7), 0);
    EXPECT_EQ(dot.IsOnCurve(9, 5), -1);
    EXPECT_TRUE(dot.IsOnCurve(6, 5, 2));
    EXPECT_FALSE(dot.IsOnCurve(8, 5, 2));
}

TEST(Curve, IsOnCurveWithRadiusNeedsTheProjectionInsideTheSegment)
{
    Curve c = Line(2, 10.0f);
    EXPECT_TRUE(c.IsOnCurve(5, 1.9f, 2));
    EXPECT_FALSE(c.IsOnCurve(5, 2.0f, 2)) << "strictly below r";
    EXPECT_TRUE(c.IsOnCurve(0, 1, 2)) << "projection at the end is inside";
    EXPECT_FALSE(c.IsOnCurve(-0.5f, 0, 2));
}

TEST(Curve, PointHitTests)
{
    Curve c;
    for (auto [x, y] : {std::pair{0.f, 0.f}, {2.f, 0.f}, {4.f, 0.f}, {30.f, 0.f}, {60.f, 0.f}}) c.AppendPoint(x, y);
    c.InsertNode(1, 3);
    EXPECT_EQ(c.IsANode(3.5f, 3), 1) << "first point in the box";
    EXPECT_EQ(c.IsANode(3.5f, 3.1f), -1);
    EXPECT_EQ(c.IsANode(29, 0, 1), 3);
    EXPECT_EQ(c.IsANode(29, 0, 0.99f), -1);
    EXPECT_EQ(c.IsOnLine(3.5f, 0), 2) << "run 0..2, nearest 4";
    EXPECT_EQ(c.IsOnLine(1, 0), 0) << "tie between 0 and 2 goes to the first";
    EXPECT_EQ(c.IsOnLine(45, 0), -1);
    EXPECT_EQ(c.IsAnEndNode(1, 1), 0);
    EXPECT_EQ(c.IsAnEndNode(58, 2), 2) << "node count + 1";
    EXPECT_EQ(c.IsAnEndNode(30, 0), -1);
    Curve one;
    one.AppendPoint(0, 0);
    EXPECT_EQ(one.IsAnEndNode(0, 0), -1);
}

TEST(Curve, MakeClockWiseReversesOnlyTheWrongTurn)
{
    // Counter-clockwise on screen (rows grow downwards): s < 0.
    const std::vector<std::pair<float, float>> ccw = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    Curve c;
    for (auto [x, y] : ccw) c.AppendPoint(x, y);
    c.MakeClockWise(false);
    EXPECT_EQ(Points(c), ccw);
    c.MakeClockWise(true);
    EXPECT_EQ(Points(c), PointList({{10, 0}, {10, 10}, {0, 10}, {0, 0}}));
    c.MakeClockWise(true);
    EXPECT_EQ(Points(c)[0], std::make_pair(10.f, 0.f));
    c.MakeClockWise(false);
    EXPECT_EQ(Points(c), ccw);
}

TEST(Curve, RotateFollowsTheImageRotation)
{
    const int w = 7, h = 5;
    const float px = 1, py = 3;
    for (int angle : {90, -90, 180}) {
        Image image(w, h, 1);
        image.GetData()[static_cast<size_t>(py) * image.GetRowByte() + static_cast<size_t>(px)] = 255;
        ASSERT_EQ(image.Rotate(angle), 0);
        Curve c;
        c.AppendPoint(px, py);
        c.Rotate(angle, w, h);
        const int x = static_cast<int>(c.GetPointList()[0].x);
        const int y = static_cast<int>(c.GetPointList()[0].y);
        ASSERT_TRUE(x >= 0 && y >= 0 && x < image.GetWidth() && y < image.GetHeight()) << angle;
        EXPECT_EQ(image.GetData()[static_cast<size_t>(y) * image.GetRowByte() + x], 255) << "angle " << angle;
    }
    Curve c;
    c.AppendPoint(1.5f, 2.25f);
    c.AppendPoint(6, 0);
    c.Rotate(90, w, h);
    c.Rotate(-90, h, w);
    EXPECT_EQ(Points(c), PointList({{1.5f, 2.25f}, {6, 0}}));
    c.Rotate(45, w, h);
    EXPECT_EQ(Points(c)[0], std::make_pair(1.5f, 2.25f));
}

TEST(Curve, MotionPointsNameOnlyExistingNeighbours)
{
    Curve one;
    one.AppendPoint(1, 1);
    POINT2 dummy{};
    POINT2 *p = &dummy, *c = nullptr, *n = &dummy;
    one.GetMotionPoint(0, &p, &c, &n);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(c, one.GetPointList());
    EXPECT_EQ(n, nullptr);
    one.CloseCurve();
    one.GetMotionPoint(0, &p, &c, &n);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, nullptr);

    Curve three = Line(3);
    POINT2* base = three.GetPointList();
    three.GetMotionPoint(0, &p, &c, &n);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, base + 1);
    three.GetMotionPoint(2, &p, &c, &n);
    EXPECT_EQ(p, base + 1);
    EXPECT_EQ(n, nullptr);
    three.CloseCurve();
    three.GetMotionPoint(0, &p, &c, &n);
    EXPECT_EQ(p, base + 2);
    three.GetMotionPoint(2, &p, &c, &n);
    EXPECT_EQ(n, base);
    three.GetMotionPoint(3, &p, &c, &n);
    EXPECT_EQ(c, nullptr);
}

TEST(Curve, VisibilitySettersReportChanges)
{
    Curve c;
    EXPECT_EQ(c.SetLineVisibility(0), 0);
    EXPECT_EQ(c.SetLineVisibility(1), 1);
    EXPECT_EQ(c.GetStatus(), Curve::kHidden);
    EXPECT_EQ(c.SetLineVisibility(1), 0);
    EXPECT_EQ(c.SetMarkerVisibility(4), 1);
    EXPECT_EQ(c.SetMarkerVisibility(4), 0);
    EXPECT_EQ(c.GetStatus(), Curve::kHidden | Curve::kBoxesHidden);
    c.SetLineIndexVisibility(true);
    c.SetHilight(2);
    EXPECT_EQ(c.GetStatus(), 1 | 2 | 4 | 16);
    c.SetHilight(0);
    c.SetLineIndexVisibility(false);
    EXPECT_EQ(c.GetStatus(), 1 | 4);
}

TEST(Curve, ExchangeDataHandsTheOldArrayBack)
{
    Curve c = Line(3);
    auto* replacement = new POINT2[3]{{7, 7}, {8, 8}, {9, 9}};
    POINT2* old = c.ExchangeData(replacement);
    EXPECT_EQ(c.GetPointList(), replacement);
    EXPECT_EQ(old[2].x, 2.0f);
    delete[] old;
    // Only the count is known of the new array: appending must reallocate.
    c.AppendPoint(10, 10);
    EXPECT_EQ(c.GetNumPoint(), 4);
    EXPECT_EQ(c.GetPointList()[2].x, 9.0f);
}

TEST(Curve, CopiesAreDeep)
{
    Curve a = Line(5);
    a.InsertNode(1, 2);
    Curve b = a;
    b.ChangeNode(0, 99, 99);
    b.InsertNode(2, 3);
    EXPECT_EQ(a.GetPointList()[0].x, 0.0f);
    EXPECT_EQ(a.GetNumNode(), 1);
    EXPECT_EQ(b.GetNumNode(), 2);
}

TEST(Curve, HandingTheCurveItsOwnDataIsSafe)
{
    Curve c = Line(4);
    c.AppendPoints(4, c.GetPointList());
    EXPECT_EQ(Points(c), PointList({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(c.ExchangeData(c.GetPointList()), nullptr);
    EXPECT_EQ(c.GetNumPoint(), 8);
    c.InsertNode(1, 8);  // names no point
    c.InsertNode(1, -1);
    EXPECT_EQ(c.GetNumNode(), 0);
    c.InsertNode(1, 3);
    delete[] c.ExchangeData(nullptr);
    EXPECT_EQ(c.GetNumPoint(), 0);
    EXPECT_EQ(c.GetNumNode(), 0) << "no node outlives the points";
}
