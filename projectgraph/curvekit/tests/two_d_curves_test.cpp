#include "projectgraph/curvekit/two_d_curves.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A horizontal curve at row `y` from x0 with `n` points 10 apart.
Curve* Horizontal(float y, float x0 = 0, int n = 4)
{
    auto* c = new Curve;
    for (int i = 0; i < n; ++i) c->AppendPoint(x0 + 10.0f * i, y);
    return c;
}

// Five curves on rows 0, 100, ... 400; curve i's first point is (0, 100 i).
void FillFive(TwoDCurves& set)
{
    for (int i = 0; i < 5; ++i) set.AppendCurve(Horizontal(100.0f * i));
}

std::vector<float> Rows(const TwoDCurves& set)
{
    std::vector<float> rows;
    for (int i = 0; i < set.GetNumCurves(); ++i) rows.push_back(set.GetCurve(i)->GetPointList()[0].y);
    return rows;
}

}  // namespace

TEST(TwoDCurves, AppendNumbersCurvesByTheCounterAndGetCurveChecksItsRange)
{
    TwoDCurves set;
    EXPECT_EQ(set.GetActiveIndex(), -1);
    EXPECT_EQ(set.GetCurve(0), nullptr);
    FillFive(set);
    EXPECT_EQ(set.GetCapacity(), 8);
    EXPECT_EQ(set.GetCurve(0)->GetCvIndex(), 1);
    EXPECT_EQ(set.GetCurve(4)->GetCvIndex(), 5);
    set.DeleteCurve(0);
    set.AppendCurve(Horizontal(7));
    EXPECT_EQ(set.GetCurve(4)->GetCvIndex(), 6) << "indices are never reused";
    EXPECT_EQ(set.GetCurve(1)->GetCvIndex(), 3) << "curves keep their index";
    EXPECT_EQ(set.GetCurve(5), nullptr);
    EXPECT_EQ(set.GetCurve(-1), nullptr);
    EXPECT_EQ(set.GetMaxCurveLength(), 4);
    set.AppendCurve(Horizontal(9, 0, 11));
    EXPECT_EQ(set.GetMaxCurveLength(), 11);
}

TEST(TwoDCurves, DeleteCurvesMovesTheActiveIndex)
{
    struct Case {
        int start, end, active;
        int countAfter, activeAfter;
        std::vector<float> rows;
    };
    const Case cases[] = {
        {1, 3, 4, 3, 2, {0, 300, 400}},
        {0, 0, 2, 0, -1, {}},
        {1, 3, 2, 3, 0, {0, 300, 400}},   // inside the range: start - 1
        {0, 2, 1, 3, 0, {200, 300, 400}},  // inside, from 0: the first remaining
        {0, 5, 3, 0, -1, {}},
        {-4, 1, 0, 4, 0, {100, 200, 300, 400}},  // start raised to 0
        {3, 99, 1, 3, 1, {0, 100, 200}},        // end lowered to the count
        {2, 3, 1, 4, 1, {0, 100, 300, 400}},   // before the range: unchanged
        {3, 3, 4, 5, 4, {0, 100, 200, 300, 400}},
    };
    for (const Case& k : cases) {
        TwoDCurves set;
        FillFive(set);
        set.SetActiveCurve(k.active, 1, 2);
        set.DeleteCurves(k.start, k.end);
        EXPECT_EQ(set.GetNumCurves(), k.countAfter) << k.start << ".." << k.end;
        EXPECT_EQ(set.GetActiveIndex(), k.activeAfter) << k.start << ".." << k.end;
        EXPECT_EQ(Rows(set), k.rows) << k.start << ".." << k.end;
    }
}

TEST(TwoDCurves, DeleteCurveByIndexOrAddress)
{
    TwoDCurves set;
    FillFive(set);
    set.SetActiveCurve(3, 1, 2);
    set.DeleteCurve(1);
    EXPECT_EQ(set.GetActiveIndex(), 2);
    set.DeleteCurve(set.GetCurve(2));
    EXPECT_EQ(set.GetActiveIndex(), -1);
    EXPECT_EQ(Rows(set), std::vector<float>({0, 200, 400}));
    set.DeleteCurve(7);
    Curve stranger;
    set.DeleteCurve(&stranger);
    EXPECT_EQ(set.GetNumCurves(), 3);
}

TEST(TwoDCurves, Merge2LineChoosesTheTypeByTheEndsGiven)
{
    // Curve a: x 0..30 on row 0. Curve b: x 100..130 on row 50.
    struct Case {
        float xa, xb;
        std::vector<float> xs;
    };
    const Case cases[] = {
        {30, 100, {0, 10, 20, 30, 100, 110, 120, 130}},   // a's last to b's first: type 0
        {0, 100, {30, 20, 10, 0, 100, 110, 120, 130}},    // both first points: a reversed (type 1)
        {0, 130, {30, 20, 10, 0, 130, 120, 110, 100}},    // only a's first: both reversed (type 2)
        {30, 130, {0, 10, 20, 30, 130, 120, 110, 100}},   // neither first: b reversed (type 3)
    };
    for (const Case& k : cases) {
        TwoDCurves set;
        set.AppendCurve(Horizontal(0));
        set.AppendCurve(Horizontal(50, 100));
        set.AppendCurve(Horizontal(200));
        set.SetActiveCurve(2, 1, 2);
        const float yb = 50;
        set.Merge2Line(0, k.xa, 0, 1, k.xb, yb);
        ASSERT_EQ(set.GetNumCurves(), 2);
        EXPECT_EQ(set.GetActiveIndex(), 1) << "adjusted as by DeleteCurve";
        std::vector<float> xs;
        const Curve* merged = set.GetCurve(0);
        for (int i = 0; i < merged->GetNumPoint(); ++i) xs.push_back(merged->GetPointList()[i].x);
        EXPECT_EQ(xs, k.xs) << k.xa << " " << k.xb;
    }
}

TEST(TwoDCurves, Merge2LineRefusesSameCurveAndPointsAwayFromEnds)
{
    TwoDCurves set;
    set.AppendCurve(Horizontal(0));
    set.AppendCurve(Horizontal(50, 100));
    set.Merge2Line(0, 30, 0, 0, 0, 0);
    set.Merge2Line(0, 15, 0, 1, 100, 50);  // 15 is no end of curve 0
    set.Merge2Line(0, 30, 0, 1, 110, 50);  // 110 is no end of curve 1
    set.Merge2Line(0, 30, 0, 5, 100, 50);
    EXPECT_EQ(set.GetNumCurves(), 2);
    EXPECT_EQ(set.GetCurve(0)->GetNumPoint(), 4);
    // The later curve absorbing an earlier one.
    set.Merge2Line(1, 130, 50, 0, 0, 0);
    ASSERT_EQ(set.GetNumCurves(), 1);
    EXPECT_EQ(set.GetCurve(0)->GetPointList()[0].x, 100.0f);
    EXPECT_EQ(set.GetCurve(0)->GetNumPoint(), 8);
}

TEST(TwoDCurves, LineVisibilityModes)
{
    struct Case {
        char mode;
        bool startHidden;
        int result;
        bool endHidden;
    };
    const Case cases[] = {
        {0, false, 0, false}, {0, true, 1, false}, {1, false, 1, true}, {1, true, 0, true},
        {2, false, 1, true},  {2, true, 1, false}, {9, true, 0, true},
    };
    for (const Case& k : cases) {
        TwoDCurves set;
        if (k.startHidden) set.SetLineVisibility(1);
        EXPECT_EQ(set.SetLineVisibility(k.mode), k.result) << int(k.mode);
        EXPECT_EQ(set.IsDisplayCurve(), !k.endHidden) << int(k.mode);
    }
    TwoDCurves set;
    FillFive(set);
    set.SetLineVisibility(1);
    EXPECT_EQ(set.SetLineVisibility(3), 0) << "no curve was hidden";
    set.GetCurve(2)->SetLineVisibility(1);
    EXPECT_EQ(set.SetLineVisibility(3), 1);
    EXPECT_EQ(set.GetCurve(2)->GetStatus() & Curve::kHidden, 0);
}

TEST(TwoDCurves, MarkerVisibilityAndLabels)
{
    TwoDCurves set;
    FillFive(set);
    EXPECT_EQ(set.SetMarkerVisibility(0), 1) << "other modes change nothing and answer 1";
    EXPECT_EQ(set.GetFlags(), 0);
    EXPECT_EQ(set.SetMarkerVisibility(2), 1);
    EXPECT_EQ(set.GetFlags(), TwoDCurves::kBoxesHidden);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(set.GetCurve(i)->GetStatus() & Curve::kBoxesHidden);
    EXPECT_EQ(set.SetMarkerVisibility(2), 1);
    EXPECT_EQ(set.GetFlags(), 0);
    // Every curve already hides its boxes: flipping the set changes none.
    for (int i = 0; i < 5; ++i) set.GetCurve(i)->SetMarkerVisibility(4);
    EXPECT_EQ(set.SetMarkerVisibility(2), 0);
    EXPECT_EQ(set.GetFlags(), TwoDCurves::kBoxesHidden);

    EXPECT_TRUE(set.ToggleLineIndex(1));
    EXPECT_TRUE(set.GetLineIndexState());
    EXPECT_TRUE(set.GetCurve(3)->GetStatus() & Curve::kLabel);
    EXPECT_FALSE(set.ToggleLineIndex(2));
    EXPECT_TRUE(set.ToggleLineIndex(5));
    EXPECT_FALSE(set.ToggleLineIndex(static_cast<char>(-1)));
    EXPECT_FALSE(set.GetCurve(3)->GetStatus() & Curve::kLabel);
}

TEST(TwoDCurves, FindingSelectingAndEditingThroughTheActiveCurve)
{
    TwoDCurves set;
    FillFive(set);
    EXPECT_EQ(set.FindLine(21, 201, 2), 2);
    EXPECT_EQ(set.FindLine(25, 205, 2), -1);
    EXPECT_EQ(set.FindCurve(25, 301, 2), 3);
    EXPECT_EQ(set.FindALineEnd(31, 402), 4);
    EXPECT_EQ(set.FindALineEnd(15, 400), -1);

    EXPECT_EQ(set.SelectNode(10, 100, 0), -1);
    EXPECT_EQ(set.GetSelectedNodeID(), -1);
    EXPECT_EQ(set.FindAndSelectLine(19, 101, 2), 1);
    EXPECT_EQ(set.GetActiveIndex(), 1);
    EXPECT_EQ(set.GetSelectedNodeID(), 2);
    EXPECT_EQ(set.GetSelectedCurve(), set.GetCurve(1));

    // Drag the selected point by the whole offset since the selection.
    set.MoveNode(5, -5, nullptr, 0, 0, 1);
    set.MoveNode(6, -6, nullptr, 0, 0, 1);
    float x = 0, y = 0;
    set.GetCurve(1)->GetNode(2, &x, &y);
    EXPECT_EQ(x, 26.0f);
    EXPECT_EQ(y, 94.0f);
    set.UpdateSelectNode();
    set.MoveNode(1, 1, nullptr, 0, 0, 1);
    set.GetCurve(1)->GetNode(2, &x, &y);
    EXPECT_EQ(x, 27.0f);

    EXPECT_EQ(set.SelectNode(0, 99, 0), 0);
    EXPECT_EQ(set.SelectNode(500, 500, 0), -1);
    EXPECT_EQ(set.AddNode(10, 100), 1);
    EXPECT_EQ(set.IsOnLine(0, 100), 0);

    // Without an active curve the old selection stays.
    set.FindAndSelectLine(10, 400, 1);
    set.SetActiveCurve(-1, 0, 0);
    EXPECT_EQ(set.SelectNode(10, 400, 1), -1);
    EXPECT_EQ(set.GetSelectedNodeID(), 1);
    EXPECT_EQ(set.AddNode(10, 400), -1);
}

TEST(TwoDCurves, SetActiveCurveColoursTheCurves)
{
    TwoDCurves set;
    FillFive(set);
    set.SetActiveCurve(2, 0xFF, 0xFF00);
    EXPECT_EQ(set.GetActiveIndex(), 2);
    EXPECT_EQ(set.GetCurve(2)->GetColor(), 0xFF);
    EXPECT_EQ(set.GetCurve(0)->GetColor(), 0xFF00);
    set.SetActiveCurve(9, 0xFF, 0xFF00);
    EXPECT_EQ(set.GetActiveIndex(), -1);
    EXPECT_EQ(set.GetSelectedCurve(), nullptr);
}

TEST(TwoDCurves, SplitLineAppendsTheTail)
{
    TwoDCurves set;
    set.AppendCurve(Horizontal(0, 0, 6));
    set.SplitLine(2, nullptr, 0, 0, 1);
    EXPECT_EQ(set.GetNumCurves(), 1) << "no active curve: nothing";
    set.SetActiveCurve(0, 1, 1);
    set.SplitLine(2, nullptr, 0, 0, 1);
    ASSERT_EQ(set.GetNumCurves(), 2);
    EXPECT_EQ(set.GetCurve(0)->GetNumPoint(), 3);
    EXPECT_EQ(set.GetCurve(1)->GetNumPoint(), 4);
    EXPECT_EQ(set.GetCurve(1)->GetCvIndex(), 2);
    set.SplitLine(0, nullptr, 0, 0, 1);
    EXPECT_EQ(set.GetNumCurves(), 2);
}

TEST(TwoDCurves, RotateTurnsEveryCurve)
{
    TwoDCurves set;
    FillFive(set);
    set.Rotate(180, 31, 401);
    EXPECT_EQ(set.GetCurve(0)->GetPointList()[0].x, 30.0f);
    EXPECT_EQ(set.GetCurve(0)->GetPointList()[0].y, 400.0f);
    EXPECT_EQ(set.GetCurve(4)->GetPointList()[3].y, 0.0f);
}

TEST(TwoDCurves, ACurveIsHeldOnlyOnce)
{
    TwoDCurves set;
    Curve* c = Horizontal(0);
    set.AppendCurve(c);
    set.AppendCurve(c);
    set.AppendCurve(nullptr);
    EXPECT_EQ(set.GetNumCurves(), 1);
}
