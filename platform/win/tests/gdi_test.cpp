#include "platform/win/gdi.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>
#include <utility>

namespace {

// A black 3-channel canvas owned by the test.
struct Canvas {
    explicit Canvas(int w = 40, int h = 30, int channels = 3) : image(new Image(w, h, channels)), dc(image) {}
    ~Canvas() { ReleaseImage(image); }
    Image* image;
    CDC dc;

    std::set<std::pair<int, int>> Lit() const
    {
        std::set<std::pair<int, int>> lit;
        for (int y = 0; y < image->GetHeight(); ++y)
            for (int x = 0; x < image->GetWidth(); ++x)
                if (dc.GetPixel(x, y) != 0) lit.insert({x, y});
        return lit;
    }
};

::testing::AssertionResult RequireFont()
{
    if (CDC::FindFontFile(false).empty())
        return ::testing::AssertionFailure() << "DejaVuSans.ttf not found: install fonts-dejavu-core";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Gdi, EveryRasterOperationCombinesPenAndPixelBitwise)
{
    using Fn = std::function<unsigned(unsigned p, unsigned d)>;
    const std::pair<int, Fn> table[] = {
        {R2_BLACK, [](unsigned, unsigned) { return 0u; }},
        {R2_NOTMERGEPEN, [](unsigned p, unsigned d) { return ~(p | d); }},
        {R2_MASKNOTPEN, [](unsigned p, unsigned d) { return ~p & d; }},
        {R2_NOTCOPYPEN, [](unsigned p, unsigned) { return ~p; }},
        {R2_MASKPENNOT, [](unsigned p, unsigned d) { return p & ~d; }},
        {R2_NOT, [](unsigned, unsigned d) { return ~d; }},
        {R2_XORPEN, [](unsigned p, unsigned d) { return p ^ d; }},
        {R2_NOTMASKPEN, [](unsigned p, unsigned d) { return ~(p & d); }},
        {R2_MASKPEN, [](unsigned p, unsigned d) { return p & d; }},
        {R2_NOTXORPEN, [](unsigned p, unsigned d) { return ~(p ^ d); }},
        {R2_NOP, [](unsigned, unsigned d) { return d; }},
        {R2_MERGENOTPEN, [](unsigned p, unsigned d) { return ~p | d; }},
        {R2_COPYPEN, [](unsigned p, unsigned) { return p; }},
        {R2_MERGEPENNOT, [](unsigned p, unsigned d) { return p | ~d; }},
        {R2_MERGEPEN, [](unsigned p, unsigned d) { return p | d; }},
        {R2_WHITE, [](unsigned, unsigned) { return 0xFFu; }},
    };
    const COLORREF pen = RGB(0x3C, 0xA5, 0x0F);
    const COLORREF dest = RGB(0x96, 0x5A, 0xF0);
    for (const auto& [mode, fn] : table) {
        Canvas c(4, 1);
        c.dc.SetPixel(1, 0, dest);
        CPen p(PS_SOLID, 1, pen);
        c.dc.SelectObject(&p);
        c.dc.SetROP2(mode);
        c.dc.MoveTo(1, 0);
        c.dc.LineTo(2, 0);  // exactly pixel (1, 0)
        const COLORREF got = c.dc.GetPixel(1, 0);
        const COLORREF want = RGB(fn(GetRValue(pen), GetRValue(dest)) & 0xFF, fn(GetGValue(pen), GetGValue(dest)) & 0xFF,
                                  fn(GetBValue(pen), GetBValue(dest)) & 0xFF);
        EXPECT_EQ(got, want) << "mode " << mode;
        EXPECT_EQ(c.dc.GetPixel(2, 0), 0u) << "end point must stay untouched, mode " << mode;
    }
}

TEST(Gdi, ColourBytesAreBlueGreenRedInTheImage)
{
    Canvas c(2, 1);
    c.dc.SetPixel(0, 0, RGB(10, 20, 30));
    const unsigned char* p = c.image->GetData();
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(c.dc.GetPixel(2, 0), CLR_INVALID);
    EXPECT_EQ(c.dc.SetPixel(-1, 0, 5), CLR_INVALID);
}

TEST(Gdi, LinesFollowTheExactLineWithinHalfAPixelAndSkipTheirEnd)
{
    const int cases[][4] = {{2, 3, 30, 11}, {30, 11, 2, 3}, {5, 25, 9, 1}, {0, 0, 20, 20}, {7, 7, 7, 20}, {3, 4, 3, 4}};
    for (const auto& k : cases) {
        Canvas c;
        CPen p(PS_SOLID, 1, RGB(255, 255, 255));
        c.dc.SelectObject(&p);
        c.dc.MoveTo(k[0], k[1]);
        c.dc.LineTo(k[2], k[3]);
        const auto lit = c.Lit();
        const int dx = std::abs(k[2] - k[0]), dy = std::abs(k[3] - k[1]);
        ASSERT_EQ(static_cast<int>(lit.size()), std::max(dx, dy)) << k[0] << "," << k[1];
        if (lit.empty()) continue;
        EXPECT_TRUE(lit.count({k[0], k[1]}));
        EXPECT_FALSE(lit.count({k[2], k[3]}));
        for (const auto& [x, y] : lit) {
            // Distance along the minor axis from the ideal line.
            const double off = dx >= dy ? std::abs(k[1] + double(x - k[0]) * (k[3] - k[1]) / (k[2] - k[0]) - y)
                                        : std::abs(k[0] + double(y - k[1]) * (k[2] - k[0]) / (k[3] - k[1]) - x);
            EXPECT_LE(off, 0.5 + 1e-9) << x << "," << y;
        }
        EXPECT_EQ(c.dc.GetCurrentPosition().x, k[2]);
    }
}

TEST(Gdi, CircleArcHasTheAskedRadiusAndTwoHalvesMakeTheWholeCircleOnce)
{
    const int cx = 20, cy = 15;
    for (int r : {1, 4, 9, 13}) {
        Canvas whole;
        CPen p(PS_SOLID, 1, RGB(255, 255, 255));
        whole.dc.SelectObject(&p);
        whole.dc.Arc(cx - r, cy - r, cx + r + 1, cy + r + 1, cx, cy - r, cx, cy - r);
        const auto lit = whole.Lit();
        for (const auto& [x, y] : lit) {
            const double d = std::hypot(x - cx, y - cy);
            EXPECT_NEAR(d, r, 0.75) << "r " << r << " at " << x << "," << y;
            // Symmetric under the eight symmetries of the square grid.
            const int u = x - cx, v = y - cy;
            for (auto [a, b] : {std::pair{-u, v}, {u, -v}, {v, u}, {-v, -u}})
                EXPECT_TRUE(lit.count({cx + a, cy + b})) << "r " << r;
        }
        EXPECT_TRUE(lit.count({cx - r, cy}) && lit.count({cx + r, cy}) && lit.count({cx, cy - r}) &&
                    lit.count({cx, cy + r}));

        // Two half arcs in inverting mode touch each pixel exactly once.
        Canvas halves;
        halves.dc.SetROP2(R2_NOT);
        halves.dc.Arc(cx - r, cy - r, cx + r + 1, cy + r + 1, cx, cy - r, cx, cy + r);
        halves.dc.Arc(cx - r, cy - r, cx + r + 1, cy + r + 1, cx, cy + r, cx, cy - r);
        EXPECT_EQ(halves.Lit(), lit) << "r " << r;
    }
}

TEST(Gdi, ArcRunsCounterClockwiseOnScreen)
{
    // From the ray to the right (east) to the ray upwards (north): the
    // upper-right quarter only.
    Canvas c;
    CPen p(PS_SOLID, 1, RGB(255, 255, 255));
    c.dc.SelectObject(&p);
    c.dc.Arc(10, 5, 31, 26, 30, 15, 20, 5);
    const auto lit = c.Lit();
    ASSERT_FALSE(lit.empty());
    for (const auto& [x, y] : lit) {
        EXPECT_GE(x, 20);
        EXPECT_LE(y, 15);
    }
    EXPECT_TRUE(lit.count({30, 15}));
    EXPECT_FALSE(lit.count({20, 5}));
}

TEST(Gdi, InvertingTwiceRestoresEveryPixel)
{
    Image* image = testkit::MakePatternImage(48, 40, 3);
    Image* before = image->Duplicate();
    {
        CDC dc(image);
        CPen dotted(PS_DOT, 1, RGB(128, 255, 128));
        CPen wide(PS_SOLID, 4, RGB(0, 0, 255));
        dc.SelectStockObject(NULL_BRUSH);
        auto figure = [&] {
            dc.SelectObject(&dotted);
            dc.MoveTo(1, 1);
            dc.LineTo(45, 30);
            dc.Arc(5, 5, 30, 30, 17, 5, 17, 30);
            dc.SelectObject(&wide);
            const POINT pts[] = {{3, 35}, {20, 10}, {40, 38}, {3, 35}};
            dc.Polyline(pts, 4);
            dc.Rectangle(10, 12, 35, 33);
            dc.Ellipse(2, 2, 46, 39);
        };
        dc.SetROP2(R2_NOT);
        figure();
        EXPECT_FALSE(testkit::SamePixels(*image, *before));
        figure();
    }
    EXPECT_TRUE(testkit::SamePixels(*image, *before));
    ReleaseImage(before);
    ReleaseImage(image);
}

TEST(Gdi, DottedPenAlternatesThreeOnThreeOffWithOpaqueGaps)
{
    for (int mode : {OPAQUE, TRANSPARENT}) {
        Canvas c(20, 1);
        CPen dot(PS_DOT, 1, RGB(255, 0, 0));
        c.dc.SelectObject(&dot);
        c.dc.SetBkColor(RGB(0, 0, 255));
        c.dc.SetBkMode(mode);
        c.dc.MoveTo(0, 0);
        c.dc.LineTo(13, 0);
        for (int x = 0; x < 13; ++x) {
            const bool on = (x / 3) % 2 == 0;
            const COLORREF want = on ? RGB(255, 0, 0) : mode == OPAQUE ? RGB(0, 0, 255) : 0;
            EXPECT_EQ(c.dc.GetPixel(x, 0), want) << "x " << x << " mode " << mode;
        }
        EXPECT_EQ(c.dc.GetPixel(13, 0), 0u);
    }
}

TEST(Gdi, WidePenCoversItsWidthAcrossTheLine)
{
    Canvas c;
    CPen wide(PS_SOLID, 3, RGB(255, 255, 255));
    c.dc.SelectObject(&wide);
    c.dc.MoveTo(5, 10);
    c.dc.LineTo(25, 10);
    for (int y = 8; y <= 12; ++y) EXPECT_EQ(c.dc.GetPixel(15, y) != 0, y >= 9 && y <= 11) << y;
}

TEST(Gdi, RectangleOutlinesWithThePenAndFillsInsideWithTheBrush)
{
    Canvas c;
    CPen p(PS_SOLID, 1, RGB(255, 0, 0));
    CBrush b(RGB(0, 255, 0));
    c.dc.SelectObject(&p);
    c.dc.SelectObject(&b);
    c.dc.Rectangle(5, 4, 15, 10);  // pixels 5..14 x 4..9
    for (int y = 2; y < 12; ++y)
        for (int x = 3; x < 17; ++x) {
            const bool inBox = x >= 5 && x <= 14 && y >= 4 && y <= 9;
            const bool border = inBox && (x == 5 || x == 14 || y == 4 || y == 9);
            const COLORREF want = border ? RGB(255, 0, 0) : inBox ? RGB(0, 255, 0) : 0;
            EXPECT_EQ(c.dc.GetPixel(x, y), want) << x << "," << y;
        }
}

TEST(Gdi, SelectObjectReturnsThePreviousPenAndStateSettersThePreviousValue)
{
    CDC dc;
    CPen* original = dc.GetCurrentPen();
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(original->GetColor(), 0u);
    CPen red(PS_SOLID, 1, RGB(255, 0, 0));
    CPen uncreated;
    EXPECT_EQ(dc.SelectObject(&red), original);
    EXPECT_EQ(dc.SelectObject(&uncreated), nullptr);
    EXPECT_EQ(dc.GetCurrentPen(), &red);
    EXPECT_EQ(dc.SelectObject(original), &red);
    EXPECT_EQ(dc.SetROP2(R2_NOT), R2_COPYPEN);
    EXPECT_EQ(dc.SetROP2(99), 0);
    EXPECT_EQ(dc.GetROP2(), R2_NOT);
    EXPECT_EQ(dc.SetBkMode(TRANSPARENT), OPAQUE);
    EXPECT_EQ(dc.SetTextColor(RGB(1, 2, 3)), 0u);
    EXPECT_EQ(dc.SetBkColor(0), 0xFFFFFFu);
    EXPECT_FALSE(red.CreatePen(PS_DOT, 1, 0)) << "a pen is made once";
}

TEST(Gdi, RecordingListsEveryCallWithItsArguments)
{
    CDC dc;  // no target: recording only
    dc.SetRecording(true);
    CPen pen(PS_DOT, 1, 0x8080FF);
    dc.SelectObject(&pen);
    dc.SetROP2(R2_NOT);
    dc.MoveTo(1, 2);
    dc.LineTo(3, 4);
    dc.Arc(0, 0, 10, 10, 5, 0, 5, 10);
    dc.SetTextColor(255);
    dc.SetBkMode(TRANSPARENT);
    dc.TextOut(7, 8, "12", 2);
    std::vector<std::string> got;
    for (const GdiCall& call : dc.GetRecordedCalls()) got.push_back(call.ToString());
    const std::vector<std::string> want = {
        "SelectObject(2,1,8421631,\"CPen\")", "SetROP2(6)", "MoveTo(1,2)", "LineTo(3,4)",
        "Arc(0,0,10,10,5,0,5,10)", "SetTextColor(255)", "SetBkMode(1)", "TextOut(7,8,\"12\")"};
    EXPECT_EQ(got, want);
    dc.ClearRecordedCalls();
    dc.SetRecording(false);
    dc.MoveTo(0, 0);
    EXPECT_TRUE(dc.GetRecordedCalls().empty());
}

TEST(Gdi, AttachRefusesImagesItCannotDrawInto)
{
    LogCapture log;
    Image* floats = new Image();
    floats->Create(4, 4, 1, IMG_FLOAT);
    CDC dc;
    EXPECT_FALSE(dc.Attach(floats));
    EXPECT_EQ(dc.GetTarget(), nullptr);
    EXPECT_FALSE(dc.Attach(nullptr));
    EXPECT_TRUE(log.contains("ERROR CDC::Attach()"));
    ReleaseImage(floats);
}

TEST(Gdi, ContextHoldsAReferenceToItsTarget)
{
    Image* image = new Image(4, 4, 3);
    {
        CDC dc(image);
        EXPECT_EQ(image->m_refCount, 2);
        ReleaseImage(image);  // the caller's reference goes; the context keeps the image alive
        EXPECT_EQ(dc.SetPixel(1, 1, RGB(9, 9, 9)), RGB(9, 9, 9));
    }
}

TEST(Gdi, GreyTargetsStoreTheGreyOfTheColour)
{
    Canvas c(4, 4, 1);
    EXPECT_EQ(c.dc.SetPixel(0, 0, RGB(255, 0, 0)), RGB(76, 76, 76));
    EXPECT_EQ(c.image->GetData()[0], 76);
    c.dc.SetROP2(R2_NOT);
    c.dc.MoveTo(0, 0);
    c.dc.LineTo(1, 0);
    EXPECT_EQ(c.image->GetData()[0], 255 - 76);
}

TEST(Gdi, TextIsDrawnInsideItsCellInTheTextColour)
{
    ASSERT_TRUE(RequireFont());
    Canvas c(60, 30);
    c.dc.SetTextColor(RGB(255, 0, 0));
    c.dc.SetBkMode(TRANSPARENT);
    c.dc.SetROP2(R2_NOT);  // text ignores the raster operation
    ASSERT_TRUE(c.dc.TextOut(10, 7, "18"));
    const SIZE extent = c.dc.GetTextExtent("18");
    EXPECT_EQ(extent.cy, 13);
    EXPECT_GT(extent.cx, 8);
    int full = 0;
    const auto lit = c.Lit();
    ASSERT_GT(lit.size(), 10u);
    for (const auto& [x, y] : lit) {
        EXPECT_TRUE(x >= 10 && x < 10 + extent.cx && y >= 7 && y < 7 + extent.cy) << x << "," << y;
        const COLORREF px = c.dc.GetPixel(x, y);
        EXPECT_EQ(GetGValue(px), 0);
        EXPECT_EQ(GetBValue(px), 0);
        if (px == RGB(255, 0, 0)) ++full;
    }
    EXPECT_GT(full, 4) << "the strokes of the digits are fully covered somewhere";
    // Ink reaches close to the cell's top-left: digits start within a few pixels.
    int minX = 99, minY = 99;
    for (const auto& [x, y] : lit) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
    }
    EXPECT_LE(minX, 12);
    EXPECT_LE(minY, 10);
}

TEST(Gdi, OpaqueTextFillsItsCellWithTheBackground)
{
    ASSERT_TRUE(RequireFont());
    Canvas c(60, 30);
    c.dc.SetTextColor(RGB(255, 0, 0));
    c.dc.SetBkColor(RGB(0, 0, 255));
    ASSERT_TRUE(c.dc.TextOut(5, 5, "7"));
    const SIZE extent = c.dc.GetTextExtent("7");
    EXPECT_EQ(c.dc.GetPixel(5, 5), RGB(0, 0, 255));
    EXPECT_EQ(c.dc.GetPixel(5 + extent.cx - 1, 5 + extent.cy - 1), RGB(0, 0, 255));
    EXPECT_EQ(c.dc.GetPixel(5 + extent.cx, 5), 0u);
    EXPECT_EQ(c.dc.GetPixel(5, 5 + extent.cy), 0u);
}

TEST(Gdi, MissingFontFailsCleanly)
{
    ::setenv("FENDRAKE_FONT_FILE", "/nonexistent/font.ttf", 1);
    {
        LogCapture log;
        Canvas c;
        EXPECT_FALSE(c.dc.TextOut(1, 1, "x"));
        EXPECT_TRUE(log.contains("ERROR CDC::TextOut()"));
        EXPECT_TRUE(c.Lit().empty());
    }
    ::unsetenv("FENDRAKE_FONT_FILE");
    if (RequireFont()) {
        Canvas c;
        EXPECT_TRUE(c.dc.TextOut(1, 1, "x")) << "the font is found again once the override is gone";
    }
}

TEST(Gdi, ViewportOriginShiftsDrawing)
{
    Canvas c;
    c.dc.SetViewportOrg(10, 5);
    c.dc.SetPixel(1, 1, RGB(1, 1, 1));
    EXPECT_EQ(c.image->GetData()[(6 * c.image->GetRowByte()) + 11 * 3], 1);
}

TEST(Gdi, HugeCoordinatesAreClippedNotWalked)
{
    Canvas c;
    CPen p(PS_SOLID, 2, RGB(255, 255, 255));
    c.dc.SelectObject(&p);
    c.dc.SetViewportOrg(INT32_MAX - 5, INT32_MIN + 5);  // sums beyond int stay defined
    c.dc.MoveTo(INT32_MIN, INT32_MIN);
    c.dc.LineTo(INT32_MAX, INT32_MAX);
    c.dc.SetViewportOrg(0, 0);
    c.dc.MoveTo(-2000000000, 15);
    c.dc.LineTo(2000000000, 15);
    c.dc.Arc(-2000000000, -2000000000, 2000000000, 2000000000, 0, 0, 0, 0);
    c.dc.Ellipse(-2000000000, -5, 2000000000, 40);
    c.dc.Rectangle(-2000000000, 3, 2000000000, 2000000000);
    // The horizontal line crosses the whole canvas on row 15.
    for (int x = 0; x < 40; ++x) EXPECT_NE(c.dc.GetPixel(x, 15), 0u) << x;
}
