// Markers and curves drawn through the device context, checked on the
// pixels of a real Image and, where the exact calls matter, on the recorded
// calls.
#include "imaging/image.h"
#include "platform/win/gdi.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using PixelSet = std::set<std::pair<int, int>>;

struct Canvas {
    explicit Canvas(int w = 80, int h = 60) : image(new Image(w, h, 3)), dc(image) { dc.SetBkMode(TRANSPARENT); }
    // A textured canvas, for the tests that invert and restore.
    explicit Canvas(Image* pattern) : image(pattern), dc(image) { dc.SetBkMode(TRANSPARENT); }
    ~Canvas() { ReleaseImage(image); }
    Image* image;
    CDC dc;

    std::map<std::pair<int, int>, COLORREF> Lit() const
    {
        std::map<std::pair<int, int>, COLORREF> lit;
        for (int y = 0; y < image->GetHeight(); ++y)
            for (int x = 0; x < image->GetWidth(); ++x)
                if (COLORREF c = dc.GetPixel(x, y)) lit[{x, y}] = c;
        return lit;
    }
    PixelSet LitSet() const
    {
        PixelSet s;
        for (const auto& [p, c] : Lit()) s.insert(p);
        return s;
    }
};

// The nine pixels of a marker cross at (sx, sy): two diagonals from
// (sx - 2, sy - 2) and (sx + 2, sy - 2), five pixels each, sharing the centre.
PixelSet Cross(int sx, int sy)
{
    PixelSet s;
    for (int d = -2; d <= 2; ++d) {
        s.insert({sx + d, sy + d});
        s.insert({sx - d, sy + d});
    }
    return s;
}

std::vector<std::string> Calls(const CDC& dc)
{
    std::vector<std::string> out;
    for (const GdiCall& c : dc.GetRecordedCalls()) out.push_back(c.ToString());
    return out;
}

::testing::AssertionResult RequireFont()
{
    if (CDC::FindFontFile(false).empty())
        return ::testing::AssertionFailure() << "DejaVuSans.ttf not found: install fonts-dejavu-core";
    return ::testing::AssertionSuccess();
}

Marker PlainMarkers(int kind)
{
    Marker m(kind);
    m.SetStatus(0);  // visible, no labels
    return m;
}

}  // namespace

// ------------------------------------------------------------------ markers

TEST(MarkerDrawing, CrossesLandOnTruncatedPointsInTheirColours)
{
    Canvas c;
    Marker m = PlainMarkers(0);
    m.SetShowMarkerErrorFlag(0);
    m.AppendMarker(10.7f, 5.2f);   // (3 + 1.5 * 10.7, 4 + 1.5 * 5.2) -> (19, 11)
    m.AppendMarker(20.2f, 12.9f);  // -> (33, 23), the active one
    m.Draw(&c.dc, 3, 4, 1.5f);
    const auto lit = c.Lit();
    PixelSet want = Cross(19, 11);
    for (auto p : Cross(33, 23)) want.insert(p);
    EXPECT_EQ(c.LitSet(), want);
    for (auto p : Cross(19, 11)) EXPECT_EQ(lit.at(p), 0x0000FFu) << "ordinary markers of kind 0 are red";
    for (auto p : Cross(33, 23)) EXPECT_EQ(lit.at(p), 0x00FF00u) << "the active one green";
}

TEST(MarkerDrawing, CrossCallsTruncateTowardsZero)
{
    CDC dc;
    dc.SetRecording(true);
    Marker m = PlainMarkers(1);
    m.SetShowMarkerErrorFlag(0);
    m.AppendMarker(-1.6f, 4.9f);  // trunc(-1.6) = -1, not -2
    m.Draw(&dc, 0, 0, 1.0f);
    const std::vector<std::string> want = {
        "SelectObject(0,1,65280,\"CPen\")",  // kind 1: green ordinary colour
        "SelectObject(0,1,255,\"CPen\")",    // the active record in red
        "MoveTo(-3,2)", "LineTo(2,7)", "MoveTo(1,2)", "LineTo(-4,7)",
    };
    std::vector<std::string> got = Calls(dc);
    ASSERT_GE(got.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 6), want);
    EXPECT_EQ(got.back().rfind("SelectObject(0,1,0,", 0), 0u) << "the context's own pen selected again: " << got.back();
}

TEST(MarkerDrawing, ErrorCircleRadiusFollowsTheErrorAndZoom)
{
    struct Case {
        float zoom, error;
        int radius;  // trunc(5 zoom ((e - 2) / 2 + 2) + 0.5); 0: no circle
    };
    const Case cases[] = {{1.0f, 3.0f, 13}, {0.5f, 4.0f, 8}, {2.0f, 2.5f, 23}, {1.0f, 7.0f, 23}, {1.0f, 2.0f, 0}};
    for (const Case& k : cases) {
        Canvas c;
        Marker m = PlainMarkers(2);  // kind 2: no cross, circles only
        m.SetShowMarkerErrorFlag(1);
        m.AppendMarker(0, 0);
        m.GetMarker()[0].error1 = k.error;
        m.Draw(&c.dc, 40, 30, k.zoom);
        const auto lit = c.Lit();
        if (k.radius == 0) {
            EXPECT_TRUE(lit.empty()) << "an error of 2 draws nothing";
            continue;
        }
        ASSERT_FALSE(lit.empty());
        for (const auto& [p, colour] : lit) {
            EXPECT_NEAR(std::hypot(p.first - 40, p.second - 30), k.radius, 0.75) << "e " << k.error;
            EXPECT_EQ(colour, 0x0000FFu) << "kind 2's active colour is red";
        }
        for (auto p : {std::pair{40 - k.radius, 30}, {40 + k.radius, 30}, {40, 30 - k.radius}, {40, 30 + k.radius}})
            EXPECT_TRUE(lit.count(p)) << "radius " << k.radius;
    }
}

TEST(MarkerDrawing, SecondErrorIsADottedCircleInLightColours)
{
    Canvas c(120, 60);
    Marker m = PlainMarkers(0);
    m.AppendMarker(30, 30);
    m.AppendMarker(90, 30);  // active
    m.GetMarker()[0].error2 = 4.0f;  // radius trunc(5 * 3 + 0.5) = 15
    m.GetMarker()[1].error2 = 4.0f;
    m.Draw(&c.dc, 0, 0, 1.0f);
    int ringOrdinary = 0, ringActive = 0;
    for (const auto& [p, colour] : c.Lit()) {
        const double d0 = std::hypot(p.first - 30, p.second - 30);
        const double d1 = std::hypot(p.first - 90, p.second - 30);
        if (std::abs(d0 - 15) < 1) {
            EXPECT_EQ(colour, 0x8080FFu) << "light red around ordinary markers";
            ++ringOrdinary;
        } else if (std::abs(d1 - 15) < 1) {
            EXPECT_EQ(colour, 0x80FF80u) << "light green around the active marker";
            ++ringActive;
        } else {
            EXPECT_TRUE(d0 < 4 || d1 < 4) << "only crosses and circles: " << p.first << "," << p.second;
        }
    }
    // A full ring of radius 15 has about 84 pixels; dots light about half.
    EXPECT_GT(ringOrdinary, 30);
    EXPECT_LT(ringOrdinary, 60);
    EXPECT_EQ(ringOrdinary, ringActive);
}

TEST(MarkerDrawing, ErrorDisplayFlagsChooseTheCircles)
{
    for (int flags = 0; flags < 4; ++flags) {
        CDC dc;
        dc.SetRecording(true);
        Marker m = PlainMarkers(2);
        m.SetShowMarkerErrorFlag(flags);
        m.AppendMarker(10, 10);
        m.GetMarker()[0].error1 = 3;
        m.GetMarker()[0].error2 = 3;
        m.Draw(&dc, 0, 0, 1);
        int arcs = 0;
        for (const GdiCall& call : dc.GetRecordedCalls()) arcs += call.name == "Arc";
        EXPECT_EQ(arcs, 2 * ((flags & 1) + ((flags >> 1) & 1))) << "flags " << flags;
    }
}


TEST(MarkerDrawing, CirclesOfFarAwayMarkersNeverOverflowTheirBox)
{
    // Positions and errors as a corrupt project may carry them: the circle's
    // box would pass the int range. Every Arc drawn must have a proper box
    // (left < right, top < bottom) holding its centre; circles that cannot
    // have one are not drawn. A marker in view still gets its circle.
    struct Case {
        float x, y, error;
        bool drawn;
    };
    const Case cases[] = {
        {2.1e9f, 10.0f, 1e9f, false}, {-2.1e9f, 10.0f, 1e9f, false}, {10.0f, 2.1e9f, 1e9f, false},
        {10.0f, -2.1e9f, 1e9f, false}, {20.0f, 20.0f, 1e9f, true},
        // Pinned at the edge of the int range, a small circle still has a box.
        {1e30f, -1e30f, 3.0f, true},
        {20.0f, 20.0f, 3.0f, true},
    };
    for (const Case& k : cases) {
        CDC dc;
        dc.SetRecording(true);
        Marker m = PlainMarkers(2);
        m.SetShowMarkerErrorFlag(3);
        m.AppendMarker(k.x, k.y);
        m.GetMarker()[0].error1 = k.error;
        m.GetMarker()[0].error2 = k.error;
        m.Draw(&dc, 0, 0, 1.0f);
        int arcs = 0;
        for (const GdiCall& call : dc.GetRecordedCalls()) {
            if (call.name != "Arc") continue;
            ++arcs;
            ASSERT_EQ(call.args.size(), 8u);
            EXPECT_LT(call.args[0], call.args[2]) << k.x << "," << k.y;
            EXPECT_LT(call.args[1], call.args[3]) << k.x << "," << k.y;
            EXPECT_TRUE(call.args[0] <= call.args[4] && call.args[4] < call.args[2]) << k.x << "," << k.y;
        }
        EXPECT_EQ(arcs, k.drawn ? 4 : 0) << k.x << "," << k.y << " error " << k.error;
    }
}
TEST(MarkerDrawing, InvertedActiveMarkerDrawnTwiceRestoresTheImage)
{
    Canvas c(testkit::MakePatternImage(60, 50, 3));
    Image* before = c.image->Duplicate();
    Marker m = PlainMarkers(0);
    m.AppendMarker(25, 20);
    m.GetMarker()[0].error1 = 5;
    m.GetMarker()[0].error2 = 3;
    c.dc.SetROP2(R2_XORPEN);
    c.dc.SetRecording(true);
    m.DrawMarker(&c.dc, 0, 0, 1.0f, 8);
    EXPECT_FALSE(testkit::SamePixels(*c.image, *before));
    EXPECT_EQ(c.dc.GetROP2(), R2_XORPEN) << "the previous raster operation comes back";
    const auto calls = Calls(c.dc);
    EXPECT_EQ(calls.front(), "SetROP2(6)");
    EXPECT_EQ(calls.back(), "SetROP2(7)");
    m.DrawMarker(&c.dc, 0, 0, 1.0f, 8);
    EXPECT_TRUE(testkit::SamePixels(*c.image, *before));
    ReleaseImage(before);
}

TEST(MarkerDrawing, MoveErasesTheMarkerAndDrawsItAtTheNewPlace)
{
    Canvas moved(testkit::MakePatternImage(70, 50, 3));
    Canvas fresh(testkit::MakePatternImage(70, 50, 3));
    Marker m = PlainMarkers(0);
    m.AppendMarker(10, 10);
    m.GetMarker()[0].error1 = 4;
    Marker target = m;
    m.DrawMarker(&moved.dc, 5, 5, 2.0f, 8);
    m.Move(6.5f, 3.25f, &moved.dc, 5, 5, 2.0f);
    target.SetCurrent(0)->x = 16.5f;
    target.GetMarker()[0].y = 13.25f;
    target.DrawMarker(&fresh.dc, 5, 5, 2.0f, 8);
    EXPECT_TRUE(testkit::SamePixels(*moved.image, *fresh.image));
    EXPECT_EQ(moved.dc.GetROP2(), R2_COPYPEN);

    m.MoveTo(30, 20, &moved.dc, 5, 5, 2.0f);
    float x = 0, y = 0;
    ASSERT_TRUE(m.GetCurrentMarker(x, y));
    EXPECT_EQ(x, 30.0f);
    EXPECT_EQ(y, 20.0f);
}

TEST(MarkerDrawing, HiddenSetsDrawAndMoveNothing)
{
    CDC dc;
    dc.SetRecording(true);
    Marker m = PlainMarkers(0);
    m.AppendMarker(10, 10);
    m.ToggleMarker(0);
    m.Draw(&dc, 0, 0, 1);
    m.DrawMarker(&dc, 0, 0, 1, 8);
    m.Move(5, 5, &dc, 0, 0, 1);
    m.MoveTo(50, 50, &dc, 0, 0, 1);
    EXPECT_TRUE(dc.GetRecordedCalls().empty());
    float x = 0, y = 0;
    ASSERT_TRUE(m.GetCurrentMarker(x, y));
    EXPECT_EQ(x, 10.0f);
    EXPECT_EQ(y, 10.0f);
}

TEST(MarkerDrawing, LabelsSitWithTheirTopLeftOnTheMarker)
{
    CDC dc;
    dc.SetRecording(true);
    Marker m(2);  // labels shown (the class default), no crosses
    m.AppendMarker(10, 10);
    m.AppendMarker(40.9f, 20);
    m.AppendMarker(5, 30);
    m.SetCurrent(1);
    m.Draw(&dc, 2, 3, 1.0f);
    std::vector<std::string> text;
    for (const GdiCall& call : dc.GetRecordedCalls())
        if (call.name == "TextOut" || call.name == "SetTextColor" || call.name == "SetBkMode")
            text.push_back(call.ToString());
    const std::vector<std::string> want = {"SetTextColor(65280)", "SetBkMode(1)", "TextOut(12,13,\"1\")",
                                           "TextOut(7,33,\"3\")", "SetTextColor(255)", "TextOut(42,23,\"2\")"};
    EXPECT_EQ(text, want);
}

TEST(MarkerDrawing, LabelInkFallsInsideTheLabelCell)
{
    ASSERT_TRUE(RequireFont());
    Canvas c(80, 50);
    Marker m(2);
    m.AppendMarker(10, 10);
    m.AppendMarker(50, 20);
    m.SetCurrent(0);
    m.Draw(&c.dc, 0, 0, 1.0f);
    const SIZE cell1 = c.dc.GetTextExtent("1");
    const SIZE cell2 = c.dc.GetTextExtent("2");
    int ink1 = 0, ink2 = 0;
    for (const auto& [p, colour] : c.Lit()) {
        const auto [x, y] = p;
        if (x >= 10 && x < 10 + cell1.cx && y >= 10 && y < 10 + cell1.cy) {
            EXPECT_EQ(colour & 0xFFFF00, 0u) << "label 1 belongs to the active marker: red for kind 2";
            ++ink1;
        } else if (x >= 50 && x < 50 + cell2.cx && y >= 20 && y < 20 + cell2.cy) {
            EXPECT_EQ(colour & 0xFF00FF, 0u) << "label 2 in kind 2's ordinary green";
            ++ink2;
        } else {
            ADD_FAILURE() << "ink outside both label cells at " << x << "," << y;
        }
    }
    EXPECT_GT(ink1, 3);
    EXPECT_GT(ink2, 3);
}

// ------------------------------------------------------------------- curves

TEST(CurveDrawing, PolylineRunsThroughThePointsAndClosesWhenAsked)
{
    for (bool closed : {false, true}) {
        Canvas c(40, 30);
        Curve curve;
        curve.ChangeColor(0x00FFFF);
        curve.SetStatus(Curve::kBoxesHidden);
        curve.AppendPoint(1, 1);
        curve.AppendPoint(10, 1);
        curve.AppendPoint(10, 7.9f);
        if (closed) curve.CloseCurve();
        curve.Draw(&c.dc, 2, 3, 2.0f);  // device (4, 5), (22, 5), (22, 18)
        PixelSet want;
        for (int x = 4; x < 22; ++x) want.insert({x, 5});
        for (int y = 5; y < 18; ++y) want.insert({22, y});
        const auto lit = c.Lit();
        for (const auto& [p, colour] : lit) EXPECT_EQ(colour, 0x00FFFFu);
        if (!closed) {
            EXPECT_EQ(c.LitSet(), want);
        } else {
            EXPECT_EQ(lit.size(), want.size() + 18) << "plus the closing segment of 18 steps";
            EXPECT_TRUE(lit.count({4, 5}) && lit.count({13, 12}));
        }
    }
}

TEST(CurveDrawing, PointBoxesAreSmallOrBigSquareOutlines)
{
    for (bool big : {false, true}) {
        Curve curve;
        curve.AppendPoint(10, 10);
        curve.SetHilight(big ? 2 : 0);
        curve.ChangeColor(0xFFFFFF);
        const int h = big ? 2 : 1;
        PixelSet want;
        for (int d = -h; d <= h; ++d) {
            want.insert({10 + d, 10 - h});
            want.insert({10 + d, 10 + h});
            want.insert({10 - h, 10 + d});
            want.insert({10 + h, 10 + d});
        }
        Canvas coloured(20, 20);
        curve.Draw(&coloured.dc, 0, 0, 1.0f);
        EXPECT_EQ(coloured.LitSet(), want) << (big ? "big" : "small");
    }
}

TEST(CurveDrawing, LabelIsTheIndexPlusOneAtTheFirstPoint)
{
    CDC dc;
    dc.SetRecording(true);
    Curve curve;
    curve.SetCvIndex(4);
    curve.ChangeColor(0x0000FF);
    curve.SetStatus(Curve::kLabel | Curve::kBoxesHidden);
    curve.AppendPoint(3.7f, 8.2f);
    curve.AppendPoint(30, 30);
    curve.Draw(&dc, 10, 20, 1.0f);
    const std::vector<std::string> want = {"SelectObject(0,1,255,\"CPen\")", "MoveTo(13,28)", "LineTo(40,50)",
                                           "SetTextColor(255)", "SetBkMode(1)", "TextOut(13,28,\"5\")"};
    auto got = Calls(dc);
    ASSERT_GE(got.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want);
}

TEST(CurveDrawing, InvertedCurveDrawnTwiceRestoresTheImage)
{
    Canvas c(testkit::MakePatternImage(50, 40, 3));
    Image* before = c.image->Duplicate();
    Curve curve;
    curve.SetStatus(Curve::kInvert | Curve::kClosed | Curve::kHighlight);
    for (auto [x, y] : {std::pair{3.f, 4.f}, {40.f, 6.f}, {25.f, 33.f}, {25.f, 33.f}}) curve.AppendPoint(x, y);
    curve.Draw(&c.dc, 0, 0, 1.0f);
    EXPECT_FALSE(testkit::SamePixels(*c.image, *before));
    EXPECT_EQ(c.dc.GetROP2(), R2_COPYPEN);
    curve.Draw(&c.dc, 0, 0, 1.0f);
    EXPECT_TRUE(testkit::SamePixels(*c.image, *before));
    ReleaseImage(before);
}

TEST(CurveDrawing, HighlightingInInvertModeTurnsSmallBoxesIntoBigOnes)
{
    auto make = [] {
        Curve curve;
        curve.SetStatus(Curve::kInvert);
        for (auto [x, y] : {std::pair{5.f, 5.f}, {30.f, 10.f}, {15.f, 30.f}}) curve.AppendPoint(x, y);
        return curve;
    };
    Canvas switched(testkit::MakePatternImage(40, 40, 3));
    Canvas direct(testkit::MakePatternImage(40, 40, 3));
    Curve a = make();
    a.Draw(&switched.dc, 0, 0, 1.0f);
    a.DrawNode(&switched.dc, 0, 0, 1.0f, true);
    EXPECT_TRUE(a.GetStatus() & Curve::kHighlight);
    Curve b = make();
    b.SetHilight(2);
    b.Draw(&direct.dc, 0, 0, 1.0f);
    EXPECT_TRUE(testkit::SamePixels(*switched.image, *direct.image));
}

TEST(CurveDrawing, MoveNodeErasesAndRedrawsTheSegmentsAndBox)
{
    auto make = [] {
        Curve curve;
        curve.SetStatus(Curve::kInvert | Curve::kBoxesHidden);
        curve.ChangeColor(0x00FF00);
        for (auto [x, y] : {std::pair{5.f, 5.f}, {20.f, 25.f}, {40.f, 8.f}}) curve.AppendPoint(x, y);
        curve.InsertNode(1, 1);
        return curve;
    };
    // What the editor shows while dragging: the lines and the big box of the
    // dragged node, all inverted.
    auto show = [](Curve& curve, CDC& dc) {
        curve.Draw(&dc, 0, 0, 1.0f);
        curve.DrawNode(1, &dc, 0, 0, 1.0f);
    };
    Canvas moved(testkit::MakePatternImage(50, 40, 3));
    Canvas fresh(testkit::MakePatternImage(50, 40, 3));
    Curve a = make();
    show(a, moved.dc);
    a.MoveNode(1, 28, 33, &moved.dc, 0, 0, 1.0f);
    Curve b = make();
    b.ChangeNode(1, 28, 33);
    show(b, fresh.dc);
    EXPECT_TRUE(testkit::SamePixels(*moved.image, *fresh.image));
    EXPECT_EQ(moved.dc.GetROP2(), R2_COPYPEN);
}

TEST(CurveDrawing, CurveSetDrawsItsCurvesUnlessHidden)
{
    Canvas all(40, 30);
    Canvas one(40, 30);
    TwoDCurves set;
    for (int i = 0; i < 3; ++i) {
        auto* c = new Curve;
        c->ChangeColor(0xFFFFFF);
        c->AppendPoint(2, 5.0f + 8 * i);
        c->AppendPoint(35, 5.0f + 8 * i);
        set.AppendCurve(c);
    }
    set.Draw(&all.dc, 0, 0, 1);
    for (int i = 0; i < 3; ++i) set.GetCurve(i)->Draw(&one.dc, 0, 0, 1);
    EXPECT_TRUE(testkit::SamePixels(*all.image, *one.image));
    EXPECT_FALSE(all.LitSet().empty());

    Canvas hidden(40, 30);
    set.SetLineVisibility(1);
    set.Draw(&hidden.dc, 0, 0, 1);
    EXPECT_TRUE(hidden.LitSet().empty());
}

TEST(CurveDrawing, HilightLineMovesTheBigBoxesToTheNewCurve)
{
    auto build = [](TwoDCurves& set) {
        for (int i = 0; i < 2; ++i) {
            auto* c = new Curve;
            c->SetStatus(Curve::kInvert);
            c->AppendPoint(5, 5.0f + 15 * i);
            c->AppendPoint(30, 8.0f + 15 * i);
            set.AppendCurve(c);
        }
    };
    Canvas switched(testkit::MakePatternImage(40, 40, 3));
    TwoDCurves a;
    build(a);
    a.SetActiveCurve(0, 0xFF, 0xFF);
    a.GetCurve(0)->SetHilight(2);
    a.Draw(&switched.dc, 0, 0, 1);
    a.HilightLine(1, &switched.dc, 0, 0, 1);
    EXPECT_EQ(a.GetActiveIndex(), 1);

    Canvas direct(testkit::MakePatternImage(40, 40, 3));
    TwoDCurves b;
    build(b);
    b.SetActiveCurve(1, 0xFF, 0xFF);
    b.GetCurve(1)->SetHilight(2);
    b.Draw(&direct.dc, 0, 0, 1);
    EXPECT_TRUE(testkit::SamePixels(*switched.image, *direct.image));
}
