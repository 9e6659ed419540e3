#include "viewkit/data_viewer_wnd.h"

#include "viewkit/tests/viewkit_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using viewkit_test::LoadPhoto;
using viewkit_test::MakeSurface;
using viewkit_test::TestView;

namespace {

RefPtr<Image> Pattern(int width, int height, int channels, unsigned short layout = IMG_LAYOUT_BITMAP)
{
    return RefPtr<Image>::adopt(testkit::MakePatternImage(width, height, channels, layout));
}

// What DrawBkground must put at surface pixel (x, y) of the view: the
// screen pixel nearest to the centre of that view pixel. Grey images show
// the grey on all three bytes.
void ExpectNearestDrawing(const Image& surface, const Image& screen, int offsetX, int offsetY, int viewW, int viewH)
{
    int wrong = 0;
    for (int y = 0; y < viewH; ++y) {
        const int sy = static_cast<int>(std::floor((y + 0.5) * screen.GetHeight() / viewH));
        for (int x = 0; x < viewW; ++x) {
            const int sx = static_cast<int>(std::floor((x + 0.5) * screen.GetWidth() / viewW));
            const unsigned char* s = screen.GetData() + static_cast<size_t>(screen.GetRowByte()) * sy +
                                     static_cast<size_t>(sx) * screen.GetChannels();
            const unsigned char* d = surface.GetData() + static_cast<size_t>(surface.GetRowByte()) * (y + offsetY) +
                                     static_cast<size_t>(x + offsetX) * 3;
            for (int c = 0; c < 3; ++c)
                if (d[c] != s[screen.GetChannels() == 1 ? 0 : c]) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace

TEST(DataViewerWnd, ChangeZoomSnapsClampsAndRefusesTheSameZoom)
{
    auto screen = Pattern(100, 50, 3);
    TestView view;
    view.SetScreen(screen.get());
    struct Case {
        float askX, askY, wantX, wantY;
        bool changed;
    };
    const Case cases[] = {
        {1.005f, 2.995f, 1.0f, 3.0f, true},
        {10.0f, 0.01f, 4.0f, 0.05f, true},
        {4.0f, 0.05f, 4.0f, 0.05f, false},  // unchanged
        {3.995f, 0.0f, 4.0f, 0.05f, false},
        {0.5f, 1.5f, 0.5f, 1.5f, true},
        {-2.0f, 1.009f, 0.05f, 1.0f, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(view.ChangeZoom(c.askX, c.askY), c.changed) << c.askX << ", " << c.askY;
        float x = 0, y = 0;
        view.GetCurrentZoom(x, y);
        EXPECT_FLOAT_EQ(x, c.wantX);
        EXPECT_FLOAT_EQ(y, c.wantY);
    }
    int w = 0, h = 0;
    view.GetViewSize(w, h);
    EXPECT_EQ(w, 5);   // 100 x 0.05
    EXPECT_EQ(h, 50);  // 50 x 1

    ASSERT_TRUE(view.ResetZoom());
    EXPECT_FALSE(view.ResetZoom());
    float expected = 1.0f;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(view.ZoomIn());
        expected *= 1.2f;
    }
    float x = 0, y = 0;
    view.GetCurrentZoom(x, y);
    EXPECT_NEAR(x, expected, 1e-5);
    EXPECT_NEAR(y, 2.48832f, 1e-5);
    view.GetViewSize(w, h);
    EXPECT_EQ(w, static_cast<int>(100 * x + 0.5f));
    EXPECT_EQ(h, static_cast<int>(50 * y + 0.5f));
    for (int i = 0; i < 40; ++i) view.ZoomIn();
    view.GetCurrentZoom(x, y);
    EXPECT_FLOAT_EQ(x, 4.0f);
    EXPECT_FALSE(view.ZoomIn());
    ASSERT_TRUE(view.ZoomOut());
    view.GetCurrentZoom(x, y);
    EXPECT_NEAR(x, 4.0f / 1.2f, 1e-5);
}

TEST(DataViewerWnd, UpdateViewSizeKeepsAWholeSelectionWholeAndScalesAPartialOne)
{
    auto screen = Pattern(200, 100, 1);
    TestView view;
    view.SetScreen(screen.get());
    const RECT* sel = view.GetWndSelRect();
    EXPECT_EQ(sel->right, 199);
    EXPECT_EQ(sel->bottom, 99);
    ASSERT_TRUE(view.ChangeZoom(2, 2));
    EXPECT_EQ(sel->left, 0);
    EXPECT_EQ(sel->right, 399);
    EXPECT_EQ(sel->bottom, 199);
    EXPECT_TRUE(view.IsDefaultSelection());

    const RECT data{10, 20, 49, 59};
    view.SetSelectionRect(&data);
    ASSERT_TRUE(view.ResetWndRect());  // the window selection follows: (20, 40, 98, 118)
    EXPECT_EQ(sel->right, 98);
    ASSERT_TRUE(view.ChangeZoom(0.5f, 1.5f));
    EXPECT_EQ(sel->left, 5);
    EXPECT_EQ(sel->top, 30);
    EXPECT_EQ(sel->right, 24);  // 49 x 0.5 truncated
    EXPECT_EQ(sel->bottom, 88);  // 59 x 1.5 truncated
    EXPECT_TRUE(view.ResetWndRect());
    EXPECT_EQ(sel->right, 24);
}

TEST(DataViewerWnd, FitModeSizesTheViewWithAndWithoutAspect)
{
    auto screen = Pattern(400, 200, 3);
    struct Case {
        bool aspect;
        int windowW, windowH;
        int viewW, viewH, offX, offY;
        float zoomX, zoomY;
    };
    const Case cases[] = {
        {false, 800, 300, 800, 300, 0, 0, 2.0f, 1.5f},
        {true, 800, 600, 800, 400, 0, 100, 2.0f, 2.0f},    // tall window: width limits
        {true, 1000, 300, 600, 300, 200, 0, 1.5f, 1.5f},   // wide window: height limits
        {true, 801, 600, 801, 400, 0, 100, 2.0025f, 2.0025f},
    };
    for (const Case& c : cases) {
        TestView view;
        view.SetScreen(screen.get());
        ASSERT_TRUE(view.SetZoomToFit(c.aspect));
        view.DVWupdateSize(c.windowW, c.windowH);
        int w = 0, h = 0, ox = 0, oy = 0;
        float zx = 0, zy = 0;
        view.GetViewSize(w, h);
        view.GetOffset(ox, oy);
        view.GetCurrentZoom(zx, zy);
        EXPECT_EQ(w, c.viewW) << c.windowW << " x " << c.windowH;
        EXPECT_EQ(h, c.viewH);
        EXPECT_EQ(ox, c.offX);
        EXPECT_EQ(oy, c.offY);
        EXPECT_FLOAT_EQ(zx, c.zoomX);
        EXPECT_FLOAT_EQ(zy, c.zoomY);
        EXPECT_FALSE(view.SetZoomToFit(c.aspect));  // a second call leaves fit mode
        EXPECT_EQ(view.GetStateFlags() & DataViewerWnd::kFitToWindow, 0);
    }
}

TEST(DataViewerWnd, OffsetsCentreASmallViewAndResetTheScrollPerAxis)
{
    auto screen = Pattern(100, 80, 3);
    TestView view;
    view.SetScreen(screen.get());
    view.DVWupdateScroll(CPoint(7, 9));
    // Wider window, shorter one: x centres (and drops the x scroll), y keeps 0.
    EXPECT_TRUE(view.DVWupdateSize(300, 50));
    int ox = 0, oy = 0;
    view.GetOffset(ox, oy);
    EXPECT_EQ(ox, 100);
    EXPECT_EQ(oy, 0);
    int x = 0, y = 0;
    CPoint p(100, 0);
    EXPECT_TRUE(view.ConvertToDVWpoint(p, x, y));
    EXPECT_EQ(x, 0);  // x scroll reset to 0
    EXPECT_EQ(y, 9);  // y scroll kept
    EXPECT_FALSE(view.DVWupdateSize(300, 50));
    // The window shrinks below the view: the offset goes back to 0.
    EXPECT_TRUE(view.DVWupdateSize(60, 50));
    view.GetOffset(ox, oy);
    EXPECT_EQ(ox, 0);
    RECT in{1, 2, 3, 4}, out{};
    view.DVWupdateScroll(CPoint(5, 6));
    view.ConvertoScreenRect(in, out);
    EXPECT_EQ(out.left, -4);
    EXPECT_EQ(out.bottom, -2);
    CPoint outside(200, 10);
    EXPECT_FALSE(view.ConvertToDVWpoint(outside, x, y));
}

TEST(DataViewerWnd, AFullPanoramaAtZoomFourKeepsItsSizesAndOffsets)
{
    // 10,000 x 5 pixels at zoom 4: a view of 40,000 pixels, past 16 bits.
    RefPtr<Image> screen = RefPtr<Image>::adopt(new Image(10000, 5, 1));
    TestView view;
    view.SetScreen(screen.get());
    ASSERT_TRUE(view.ChangeZoom(4, 4));
    int w = 0, h = 0;
    view.GetViewSize(w, h);
    EXPECT_EQ(w, 40000);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(view.GetWndSelRect()->right, 39999);
    EXPECT_TRUE(view.DVWupdateSize(50000, 100));
    int ox = 0, oy = 0;
    view.GetOffset(ox, oy);
    EXPECT_EQ(ox, 5000);
    EXPECT_EQ(oy, 40);
    int x = 0, y = 0;
    CPoint p(44000, 45);
    view.DVWupdateScroll(CPoint(0, 0));
    EXPECT_TRUE(view.ConvertToDVWpoint(p, x, y));
    EXPECT_EQ(x, 39000);
    view.InitMoveObj(1000, 5);
    int dx = 0, dy = 0;
    EXPECT_TRUE(view.IsInMovingObjState(39000, 7, dx, dy));
    EXPECT_EQ(dx, 38000);
    EXPECT_TRUE(view.EndMoveObj(dx, dy));
    EXPECT_EQ(dx, 38000);
    EXPECT_EQ(dy, 2);
}

TEST(DataViewerWnd, ACopySharesTheScreenImageWithACountedReference)
{
    RefPtr<Image> screen = Pattern(30, 20, 3);
    const int before = screen->m_refCount;
    auto* original = new TestView();
    original->SetScreen(screen.get());
    original->ChangeZoom(2, 2);
    const RECT data{2, 3, 10, 12};
    original->SetSelectionRect(&data);
    {
        TestView copy(*original);
        EXPECT_EQ(copy.GetScreen(), screen.get());
        EXPECT_EQ(screen->m_refCount, before + 2);
        EXPECT_EQ(copy.GetSelectionRect()->right, 10);
        float zx = 0, zy = 0;
        copy.GetCurrentZoom(zx, zy);
        EXPECT_FLOAT_EQ(zx, 2.0f);
        TestView assigned;
        assigned = copy;
        EXPECT_EQ(screen->m_refCount, before + 3);
        assigned = assigned;  // self-assignment keeps everything
        EXPECT_EQ(screen->m_refCount, before + 3);
    }
    delete original;
    EXPECT_EQ(screen->m_refCount, before);
}

TEST(DataViewerWnd, DrawBkgroundCentresASmallImageWithColouredBands)
{
    auto screen = Pattern(41, 23, 3);
    TestView view;
    view.SetScreen(screen.get());
    view.DVWupdateSize(101, 61);
    int ox = 0, oy = 0;
    view.GetOffset(ox, oy);
    ASSERT_EQ(ox, 30);
    ASSERT_EQ(oy, 19);
    RefPtr<Image> surface = RefPtr<Image>::adopt(MakeSurface(101, 61, 7));
    CDC dc(surface.get());
    const COLORREF band = RGB(10, 200, 30);
    view.DrawBkground(&dc, screen.get(), band);
    ExpectNearestDrawing(*surface, *screen, ox, oy, 41, 23);
    int inView = 0, banded = 0;
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 101; ++x) {
            const bool inside = x >= ox && x < ox + 41 && y >= oy && y < oy + 23;
            if (inside) {
                ++inView;
                continue;
            }
            const COLORREF c = dc.GetPixel(x, y);
            if (c == band) ++banded;
        }
    EXPECT_EQ(inView, 41 * 23);
    EXPECT_EQ(banded, 101 * 61 - 41 * 23);  // every pixel around the view, odd sizes included
}

TEST(DataViewerWnd, DrawBkgroundShrinksWithNearestSamplesAndPadsUnpaddedRows)
{
    struct Case {
        int width, height, channels;
        unsigned short layout;
        float zoom;
    };
    const Case cases[] = {
        {64, 48, 3, IMG_LAYOUT_BITMAP, 0.5f},
        {63, 47, 3, 0, 0.5f},   // odd width without BmpInit: rows of 189 bytes
        {37, 21, 1, 0, 1.0f},   // grey, 37-byte rows
        {50, 30, 1, IMG_LAYOUT_BITMAP, 2.0f},
    };
    for (const Case& c : cases) {
        auto screen = Pattern(c.width, c.height, c.channels, c.layout);
        TestView view;
        view.SetScreen(screen.get());
        view.ChangeZoom(c.zoom, c.zoom);
        int w = 0, h = 0;
        view.GetViewSize(w, h);
        RefPtr<Image> surface = RefPtr<Image>::adopt(MakeSurface(w, h));
        CDC dc(surface.get());
        dc.SetRecording(true);
        view.DrawBkground(&dc, screen.get(), RGB(0, 0, 0));
        bool colourOnColour = false;
        for (const GdiCall& call : dc.GetRecordedCalls())
            if (call.name == "SetStretchBltMode" && call.args.at(0) == COLORONCOLOR) colourOnColour = true;
        EXPECT_EQ(colourOnColour, c.zoom < 1.0f) << c.width;
        ExpectNearestDrawing(*surface, *screen, 0, 0, w, h);
    }
}

TEST(DataViewerWnd, DrawBkgroundWithoutAnImageFillsTheClipBox)
{
    TestView view;
    RefPtr<Image> surface = RefPtr<Image>::adopt(MakeSurface(20, 10, 3));
    CDC dc(surface.get());
    view.DrawBkground(&dc, nullptr, RGB(1, 2, 3));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(dc.GetPixel(x, y), RGB(1, 2, 3));
}

TEST(DataViewerWnd, PrintBkgBmpValueReadsTheZoomedPixelAndNothingOutside)
{
    auto screen = Pattern(20, 10, 3);
    TestView view;
    view.SetScreen(screen.get());
    view.ChangeZoom(2.0f, 0.5f);
    char text[DataViewerWnd::kPixelTextBytes];
    view.PrintBkgBmpValue(text, 9, 3);  // pixel (4, 6)
    const unsigned char* p = screen->GetData() + screen->GetRowByte() * 6 + 4 * 3;
    char want[64];
    std::snprintf(want, sizeof want, "(4,6)=%d %d %d", p[0], p[1], p[2]);
    EXPECT_STREQ(text, want);
    for (const POINT outside : {POINT{40, 0}, POINT{0, 5}, POINT{-1, 0}, POINT{39, 5}}) {
        std::strcpy(text, "stale");
        view.PrintBkgBmpValue(text, outside.x, outside.y);
        EXPECT_STREQ(text, "") << outside.x << ", " << outside.y;
    }
    auto grey = Pattern(5, 5, 1);
    TestView greyView;
    greyView.SetScreen(grey.get());
    greyView.PrintBkgBmpValue(text, 4, 4);
    std::snprintf(want, sizeof want, "(4,4)=%d", grey->GetData()[grey->GetRowByte() * 4 + 4]);
    EXPECT_STREQ(text, want);
}

// ---- Selection drag on a real photograph ------------------------------------------

class SelectionDrag : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("convert"));
        m_photo = RefPtr<Image>::adopt(LoadPhoto(m_dir, viewkit_test::kPhotoA, 160, 120));
        ASSERT_TRUE(m_photo);
        m_view.SetScreen(m_photo.get());
        m_view.ChangeZoom(2, 2);  // a 320 x 240 view
        m_view.DVWupdateSize(360, 260);  // offsets (20, 10)
        m_background = RefPtr<Image>::adopt(MakeSurface(360, 260));
        m_surface = RefPtr<Image>::adopt(MakeSurface(360, 260));
        CDC plain(m_background.get());
        m_view.DrawBkground(&plain, m_photo.get(), RGB(90, 90, 90));
        m_dc = std::make_unique<CDC>(m_surface.get());
        m_view.DrawBkground(m_dc.get(), m_photo.get(), RGB(90, 90, 90));
    }

    // Drags from `from` to `to` in steps as a view's mouse handlers do.
    void Drag(POINT from, POINT to)
    {
        m_view.InitWndRect(from.x, from.y);
        for (int i = 1; i <= 4; ++i)
            m_view.DragWndRect(from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4, m_dc.get());
        m_view.EndDragWndRect(to.x, to.y, m_dc.get());
    }

    testkit::TempDir m_dir;
    RefPtr<Image> m_photo;
    RefPtr<Image> m_background;
    RefPtr<Image> m_surface;
    std::unique_ptr<CDC> m_dc;
    TestView m_view;
};

TEST_F(SelectionDrag, ANewRectangleSetsTheSelectionAndItsErasureRestoresThePixels)
{
    Drag({40, 30}, {140, 110});
    ASSERT_TRUE(m_view.HasSelectionRect());
    const RECT sel = *m_view.GetWndSelRect();
    EXPECT_EQ(sel.left, 40);
    EXPECT_EQ(sel.top, 30);
    EXPECT_EQ(sel.right, 140);
    EXPECT_EQ(sel.bottom, 110);
    EXPECT_EQ(m_view.GetSelectionRect()->left, 20);
    EXPECT_EQ(m_view.GetSelectionRect()->bottom, 55);
    EXPECT_FALSE(viewkit_test::SameSurface(*m_surface, *m_background));  // the band shows
    // The band's corner is the inverse of the photograph under it.
    CDC plain(m_background.get());
    EXPECT_EQ(m_dc->GetPixel(40 + 20, 30 + 10), (~plain.GetPixel(40 + 20, 30 + 10)) & 0xFFFFFF);
    ASSERT_TRUE(m_view.RemoveSelectionRect(m_dc.get()));
    EXPECT_TRUE(viewkit_test::SameSurface(*m_surface, *m_background));
    EXPECT_TRUE(m_view.IsDefaultSelection());
    EXPECT_FALSE(m_view.RemoveSelectionRect(m_dc.get()));
}

TEST_F(SelectionDrag, HandleCodesFollowTheGridAroundTheSelection)
{
    Drag({100, 50}, {200, 150});
    ASSERT_TRUE(m_view.HasSelectionRect());
    struct Case {
        int x, y, code;
    };
    const Case cases[] = {
        {96, 46, 0},   {96, 100, 0},  {150, 154, 0}, {204, 100, 0},  // more than 3 outside
        {97, 47, 1},   {102, 53, 1},  {150, 50, 2},  {198, 52, 3},  {203, 47, 3},
        {100, 100, 4}, {103, 100, 5}, {150, 100, 5}, {196, 100, 5}, {197, 100, 6},
        {100, 147, 7}, {150, 153, 8}, {200, 150, 9}, {203, 153, 9},
    };
    for (const Case& c : cases) {
        RefPtr<Image> before = RefPtr<Image>::adopt(m_surface->Duplicate());
        const int code = m_view.InitWndRect(c.x, c.y);
        EXPECT_EQ(code, c.code) << c.x << ", " << c.y;
        if (code) m_view.EndDragWndRect(c.x, c.y, m_dc.get());  // no motion: the selection stays
        EXPECT_TRUE(viewkit_test::SameSurface(*m_surface, *before));
    }
    EXPECT_EQ(m_view.GetWndSelRect()->right, 200);
    m_view.RemoveSelectionRect(m_dc.get());
    EXPECT_EQ(m_view.InitWndRect(-50, 500), DataViewerWnd::kNewRectHandle);
}

TEST_F(SelectionDrag, HandleNineResizesAndHandleFiveStopsAtTheViewEdge)
{
    Drag({100, 50}, {200, 150});
    ASSERT_EQ(m_view.InitWndRect(200, 150), 9);
    m_view.DragWndRect(230, 170, m_dc.get());
    m_view.DragWndRect(250, 190, m_dc.get());
    m_view.EndDragWndRect(250, 190, m_dc.get());
    RECT sel = *m_view.GetWndSelRect();
    EXPECT_EQ(sel.right, 250);
    EXPECT_EQ(sel.bottom, 190);
    EXPECT_EQ(sel.left, 100);
    EXPECT_EQ(m_view.GetSelectionRect()->right, 125);
    EXPECT_EQ(m_view.GetSelectionRect()->bottom, 95);

    // Pushed far right and down: stops at the view's last column and row.
    ASSERT_EQ(m_view.InitWndRect(150, 100), 5);
    m_view.DragWndRect(400, 500, m_dc.get());
    m_view.DragWndRect(900, 900, m_dc.get());
    m_view.EndDragWndRect(900, 900, m_dc.get());
    sel = *m_view.GetWndSelRect();
    EXPECT_EQ(sel.right, 319);
    EXPECT_EQ(sel.bottom, 239);
    EXPECT_EQ(sel.right - sel.left, 150);
    EXPECT_EQ(sel.bottom - sel.top, 140);
    // And back against the top-left corner.
    ASSERT_EQ(m_view.InitWndRect(250, 200), 5);
    m_view.DragWndRect(-300, -300, m_dc.get());
    m_view.EndDragWndRect(-300, -300, m_dc.get());
    sel = *m_view.GetWndSelRect();
    EXPECT_EQ(sel.left, 0);
    EXPECT_EQ(sel.top, 0);
    EXPECT_EQ(sel.right, 150);
    ASSERT_TRUE(m_view.RemoveSelectionRect(m_dc.get()));
    EXPECT_TRUE(viewkit_test::SameSurface(*m_surface, *m_background));
}

TEST_F(SelectionDrag, AThinRectangleRemovesTheSelection)
{
    Drag({100, 50}, {200, 150});
    ASSERT_TRUE(m_view.RemoveSelectionRect(m_dc.get()));
    for (const POINT end : {POINT{104, 150}, POINT{200, 54}, POINT{100, 50}}) {
        Drag({100, 50}, end);
        EXPECT_FALSE(m_view.HasSelectionRect()) << end.x << ", " << end.y;
        EXPECT_TRUE(m_view.IsDefaultSelection());
        EXPECT_EQ(m_view.GetWndSelRect()->right, 319);
        EXPECT_TRUE(viewkit_test::SameSurface(*m_surface, *m_background));
    }
    Drag({100, 50}, {105, 56});  // 5 pixels each way is a selection
    EXPECT_TRUE(m_view.HasSelectionRect());
}

TEST(DataViewerWnd, MouseDragReportsMotionSinceTheLastAndTheFirstPoint)
{
    TestView view;
    view.MouseDown(10, 20);
    EXPECT_NE(view.GetStateFlags() & DataViewerWnd::kMouseDrag, 0);
    int x = 15, y = 18;
    view.MouseMove(x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, -2);
    x = 30;
    y = 40;
    view.MouseMove(x, y);
    EXPECT_EQ(x, 15);
    EXPECT_EQ(y, 22);
    int dx = 0, dy = 0;
    view.GetMouseMotion(dx, dy);
    EXPECT_EQ(dx, 20);
    EXPECT_EQ(dy, 20);
    view.MouseUp(30, 40);
    EXPECT_EQ(view.GetStateFlags() & DataViewerWnd::kMouseDrag, 0);
    // Outside the moving-object state nothing moves.
    EXPECT_FALSE(view.IsInMovingObjState(1, 1, dx, dy));
    EXPECT_FALSE(view.EndMoveObj(dx, dy));
    view.InitMoveObj(5, 5);
    EXPECT_EQ(view.GetStateFlags(), DataViewerWnd::kMovingObject);
    EXPECT_FALSE(view.IsInMovingObjState(5, 5, dx, dy));
    EXPECT_FALSE(view.EndMoveObj(dx, dy));
}

TEST(DataViewerWnd, ObjectRectanglesAreShiftedAndMovedWithoutTraces)
{
    auto screen = Pattern(100, 80, 3);
    TestView view;
    view.SetScreen(screen.get());
    view.DVWupdateSize(140, 100);  // offsets (20, 10)
    view.DVWupdateScroll(CPoint(4, 3));
    RefPtr<Image> surface = RefPtr<Image>::adopt(MakeSurface(140, 100));
    CDC dc(surface.get());
    view.DrawBkground(&dc, screen.get(), RGB(30, 30, 30));
    RefPtr<Image> plain = RefPtr<Image>::adopt(surface->Duplicate());
    RECT object{10, 10, 40, 30};
    view.DrawObjRect(object, &dc);
    EXPECT_EQ(object.left, 26);  // + offset - scroll
    EXPECT_EQ(object.top, 17);
    EXPECT_EQ(object.right, 56);
    EXPECT_FALSE(testkit::SamePixels(*surface, *plain));
    view.MoveObjRect(object, 5, -2, &dc);
    EXPECT_EQ(object.left, 31);
    EXPECT_EQ(object.top, 15);
    view.MoveObjRect(object, -5, 2, &dc);
    view.MoveObjRect(object, 0, 0, &dc);  // erased and drawn again in place
    EXPECT_FALSE(testkit::SamePixels(*surface, *plain));
    // Drawing it once more where it shows erases it: no traces of the moves.
    RECT shown{object.left - 16, object.top - 7, object.right - 16, object.bottom - 7};
    view.DrawObjRect(shown, &dc);
    EXPECT_EQ(shown.left, object.left);
    EXPECT_TRUE(testkit::SamePixels(*surface, *plain));
    // An empty rectangle draws nothing.
    RECT empty{5, 5, 5, 20};
    RefPtr<Image> before = RefPtr<Image>::adopt(surface->Duplicate());
    view.DrawObjRect(empty, &dc);
    EXPECT_TRUE(testkit::SamePixels(*surface, *before));
}
