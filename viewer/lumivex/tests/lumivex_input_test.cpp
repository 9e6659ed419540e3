// The control's mouse, menu and timer driven through window messages on the
// manual clock: drag directions, zoom drags and steps, the latched spin,
// reduced frames while moving, turning back at the limits, the rolled rows
// of a full circle and the spin that Speed starts.
#include "viewer/lumivex/tests/lumivex_ctrl_support.h"

#include "viewer/engine/tests/engine_test_support.h"

#include <cmath>

namespace {

using ctrltest::MakeJpeg;
using enginetest::ImagePtr;

class LumivexInputTest : public LumivexCtrlTest {
protected:
    std::string Partial() { return MakeJpeg(m_dir, "partial.jpg", 800, 400, 2000, 100, 300); }
    std::string Full() { return MakeJpeg(m_dir, "full.jpg", 2048, 1025, 2048, 0, 0); }
    int DragX() { return m_ctrl->currentX - m_ctrl->startX; }
    int DragY() { return m_ctrl->currentY - m_ctrl->startY; }
    // Row y of the view image.
    std::vector<uint8_t> Row(int y)
    {
        const Image& v = *m_ctrl->viewImage;
        const uint8_t* p = v.GetData() + static_cast<size_t>(y) * static_cast<size_t>(v.GetRowByte());
        return std::vector<uint8_t>(p, p + static_cast<size_t>(v.GetWidth()) * 3);
    }
};

TEST_F(LumivexInputTest, PanDragSnapsToEightDirections)
{
    CLumivexCtrl& c = Show(Partial(), 300, 200);
    ASSERT_TRUE(c.loaded);
    const struct {
        int dx, dy;
        int x, y;  // the current point from the start
        UINT cursor;
        bool timer;
    } rows[] = {
        {10, 4, 10, 0, 131, true},   {-12, 0, -12, 0, 132, true}, {4, -10, 0, -10, 133, true},
        {0, 12, 0, 12, 134, true},   {-10, -6, -8, -8, 135, true}, {6, -10, 8, -8, 136, true},
        {-7, 9, -8, 8, 137, true},   {10, 6, 8, 8, 138, true},    {4, 4, 4, 4, 130, false},
        {-4, 3, -4, 3, 130, false},
    };
    for (const auto& r : rows) {
        const POINT p = PanPoint();
        Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
        ASSERT_TRUE(c.panning);
        Post(WM_MOUSEMOVE, p.x + r.dx, p.y + r.dy, MK_LBUTTON);
        EXPECT_EQ(DragX(), r.x) << r.dx << "," << r.dy;
        EXPECT_EQ(DragY(), r.y) << r.dx << "," << r.dy;
        EXPECT_EQ(CursorId(), r.cursor) << r.dx << "," << r.dy;
        EXPECT_EQ(c.timerRunning, r.timer) << r.dx << "," << r.dy;
        EXPECT_EQ(TimerSet(), r.timer) << r.dx << "," << r.dy;
        Post(WM_LBUTTONUP, p.x + r.dx, p.y + r.dy);
        EXPECT_FALSE(c.timerRunning);
        EXPECT_FALSE(TimerSet());
    }
}

TEST_F(LumivexInputTest, HitZonesAndTheirCursors)
{
    CLumivexCtrl& c = Show(MakeJpeg(m_dir, "small.jpg", 200, 100, 1000, 100, 100), 300, 200);
    ASSERT_EQ(c.destX, 50);
    const struct {
        int x, y, zone;
        UINT cursor;
    } rows[] = {{150, 100, 1, 139}, {125, 88, 1, 139}, {124, 100, 2, 130}, {175, 100, 2, 130},
                {55, 55, 2, 130},   {49, 100, 3, 0},    {150, 150, 3, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(c.HitTest(POINT{r.x, r.y}), r.zone) << r.x << "," << r.y;
        Post(WM_MOUSEMOVE, r.x, r.y);
        if (r.cursor) EXPECT_EQ(CursorId(), r.cursor) << r.x << "," << r.y;
        else EXPECT_EQ(GetCursor(), LoadStandardCursor(IDC_ARROW));
    }
    // A click outside the picture starts nothing.
    Post(WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
    EXPECT_FALSE(c.panning || c.zooming);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
}

TEST_F(LumivexInputTest, ZoomDragAndZoomSteps)
{
    CLumivexCtrl& c = Show(Partial(), 300, 200);
    const int cx = c.destX + c.destW / 2, cy = c.destY + c.destH / 2;
    const struct {
        int dx;
        float zoom;
        UINT cursor;
    } drags[] = {{100, 1.5f, 140}, {0, 1.0f, 140}, {-200, 0.5f, 141}, {600, 3.0f, 140}, {-4000, 0.1f, 141}};
    for (const auto& d : drags) {
        c.zoom = 1.0f;
        Post(WM_LBUTTONDOWN, cx, cy, MK_LBUTTON);
        ASSERT_TRUE(c.zooming);
        Post(WM_MOUSEMOVE, cx + d.dx, cy + 30, MK_LBUTTON);
        EXPECT_FLOAT_EQ(c.zoom, d.zoom) << d.dx;
        EXPECT_EQ(CursorId(), d.cursor) << d.dx;
        Post(WM_LBUTTONUP, cx + d.dx, cy);
        EXPECT_FALSE(c.zooming);
    }
    const struct {
        float from;
        UINT command;
        float to;
    } steps[] = {{2.5f, C::kCmdZoomIn, 3.0f},   {2.0f, C::kCmdZoomIn, 2.5f},    {0.11f, C::kCmdZoomOut, 0.1f},
                 {1.0f, C::kCmdZoomOut, 0.8f},  {0.3f, C::kCmdZoomDefault, 1.0f}};
    for (const auto& s : steps) {
        c.zoom = s.from;
        Command(s.command);
        EXPECT_FLOAT_EQ(c.zoom, s.to) << s.from;
    }
}

TEST_F(LumivexInputTest, RightClickShowsTheMenuWithTheModeMarked)
{
    CLumivexCtrl& c = Show(Full(), 300, 200);
    Prompter().ExpectPopupMenu(C::kCmdPerspective);
    Post(WM_RBUTTONDOWN, 20, 30);
    EXPECT_EQ(c.viewMode, C::kPerspectiveView);
    Prompter().ExpectPopupMenu(C::kCmdZoomIn);
    Post(WM_RBUTTONDOWN, 20, 30);
    EXPECT_FLOAT_EQ(c.zoom, 1.25f);
    const auto menus = Prompter().PopupMenus();
    ASSERT_EQ(menus.size(), 2u);
    POINT screen{20, 30};
    c.ClientToScreen(&screen);
    EXPECT_EQ(menus[0].screenPoint.x, screen.x);
    EXPECT_EQ(menus[0].screenPoint.y, screen.y);
    std::vector<std::string> texts;
    for (const auto& item : menus[0].items) texts.push_back(item.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Perspective View", "World-map View", "Zoom in 10%", "Zoom out 10%",
                                               "Zoom Default", "Help", "About Lumivex"}));
    EXPECT_FALSE(menus[0].items[0].checked);
    EXPECT_TRUE(menus[0].items[1].checked);
    EXPECT_TRUE(menus[1].items[0].checked);
    EXPECT_FALSE(menus[1].items[1].checked);
}

TEST_F(LumivexInputTest, CtrlReleaseKeepsSpinningUntilTheNextClick)
{
    CLumivexCtrl& c = Show(Full(), 300, 200);
    const POINT p = PanPoint();
    const struct {
        UINT moveKeys, upKeys;
        bool spins;
    } rows[] = {{MK_CONTROL, 0, true}, {MK_SHIFT, 0, true}, {0, MK_CONTROL, true}, {0, 0, false}};
    for (const auto& r : rows) {
        Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
        Post(WM_MOUSEMOVE, p.x + 40, p.y, MK_LBUTTON | r.moveKeys);
        Post(WM_LBUTTONUP, p.x + 40, p.y, r.upKeys);
        EXPECT_EQ(c.timerRunning, r.spins);
        EXPECT_EQ(TimerSet(), r.spins);
        if (r.spins) {
            const std::vector<uint8_t> before = Row(100);
            Tick();
            EXPECT_NE(Row(100), before);  // still turning
            EXPECT_FALSE(c.panning);
        }
        Post(WM_LBUTTONDOWN, 150, 100, MK_LBUTTON);  // the next click stops it
        EXPECT_FALSE(c.timerRunning);
        EXPECT_FALSE(TimerSet());
        Post(WM_LBUTTONUP, 150, 100);
    }
}

TEST_F(LumivexInputTest, LargeViewsRenderAtHalfSizeWhileMoving)
{
    const std::string full = Full();
    const struct {
        int w, h;
        int movingW, movingH;
    } rows[] = {{600, 400, 300, 200}, {500, 400, 500, 400}};  // 240,000 and 200,000 pixels
    for (const auto& r : rows) {
        CLumivexCtrl& c = Show(full, r.w, r.h, C::kPerspectiveView);
        ASSERT_EQ(c.viewImage->GetWidth(), r.w);
        const POINT p = PanPoint();
        Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
        Post(WM_MOUSEMOVE, p.x + 30, p.y, MK_LBUTTON);
        const float yaw = c.viewParams->GetAngles()[0];
        Tick(2);
        EXPECT_GT(c.viewParams->GetAngles()[0], yaw);
        EXPECT_EQ(c.viewImage->GetWidth(), r.movingW) << r.w;
        EXPECT_EQ(c.viewImage->GetHeight(), r.movingH) << r.w;
        EXPECT_TRUE(c.reduced);
        Post(WM_LBUTTONUP, p.x + 30, p.y);
        EXPECT_EQ(c.viewImage->GetWidth(), r.w);
        EXPECT_EQ(c.viewImage->GetHeight(), r.h);
        EXPECT_FALSE(c.reduced);
        // The full frame drawn after the release is the full-quality render
        // of the final angles.
        ImagePtr expected(new Image());
        ASSERT_EQ(expected->BmpInit(r.w, r.h, 3), 0);
        CViewFaceList faces;
        ASSERT_TRUE(faces.Init(c.worldMap, c.zoom, expected.get()));
        faces.Render(c.viewParams.get(), c.fov, c.viewParams->GetRoll(), true, false, true);
        EXPECT_EQ(0, std::memcmp(expected->GetData(), c.viewImage->GetData(),
                                 static_cast<size_t>(expected->GetRowByte()) * r.h));
        m_ctrl.reset();
        m_host.DestroyWindow();
    }
}

// A moving frame is enlarged by the control and shown one to one: the
// window must hold exactly what stretching the reduced frame itself onto it
// gives (the direct stretch is drawn again over it and must change nothing).
TEST_F(LumivexInputTest, MovingFramesShowTheStretchOfTheReducedFrame)
{
    const std::string full = Full();
    const struct {
        int w, h;
    } sizes[] = {{600, 400}, {603, 405}, {777, 555}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
        CLumivexCtrl& c = Show(full, size.w, size.h, C::kPerspectiveView);
        const POINT p = PanPoint();
        Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
        Post(WM_MOUSEMOVE, p.x + 30, p.y + 7, MK_LBUTTON);
        Tick(2);
        ASSERT_TRUE(c.reduced);
        ASSERT_LT(c.viewImage->GetWidth(), c.srcW);
        const ImagePtr shown(win::CaptureWindow(c.m_hWnd));
        ASSERT_TRUE(shown);
        {
            CClientDC dc(&c);
            dc.SetStretchBltMode(COLORONCOLOR);
            BITMAPINFOHEADER header{};
            header.biSize = sizeof(header);
            header.biWidth = c.viewImage->GetWidth();
            header.biHeight = -c.viewImage->GetHeight();
            header.biPlanes = 1;
            header.biBitCount = 24;
            header.biCompression = BI_RGB;
            StretchDIBits(dc.GetSafeHdc(), c.destX, c.destY, c.srcW, c.srcH, 0, 0, c.viewImage->GetWidth(),
                          c.viewImage->GetHeight(), c.viewImage->GetData(),
                          reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY);
        }
        const ImagePtr stretched(win::CaptureWindow(c.m_hWnd));
        ASSERT_TRUE(stretched);
        ASSERT_EQ(shown->GetDataSize(), stretched->GetDataSize());
        EXPECT_EQ(0, std::memcmp(shown->GetData(), stretched->GetData(), shown->GetDataSize()));
        // The frame really reached the window: its middle row is not blank.
        const unsigned char* middle =
            shown->GetData() + static_cast<size_t>(c.destY + c.srcH / 2) * shown->GetRowByte() + c.destX * 3;
        size_t lit = 0;
        for (int i = 0; i < c.srcW * 3; ++i) lit += middle[i] != 0;
        EXPECT_GT(lit, static_cast<size_t>(c.srcW));
        Post(WM_LBUTTONUP, p.x + 30, p.y + 7);
        m_ctrl.reset();
        m_host.DestroyWindow();
    }
}

// Moving frames rendered by the paint and put onto the window band by band
// as the engine finishes them: after every tick the window's pixels (the
// fourth bytes and everything around the control included) and the view
// image hold what rendering the frame first and stretching it after gives.
// Controls at an origin in their host, cut by the host's edges, of odd
// sizes, grey (left to the window's stretch), and hidden (no paint: the view
// image still gets the frame).
TEST_F(LumivexInputTest, MovingFramesDrawnWhileRenderingAreTheTwoPassFrames)
{
    const std::string full = Full();
    const std::string grey = MakeJpeg(m_dir, "grey.jpg", 2048, 1025, 2048, 0, 0, "-grayscale");
    ASSERT_FALSE(grey.empty());
    const struct {
        const char* name;
        const std::string& file;
        SIZE host;
        RECT place;
        bool hidden;
    } cases[] = {
        {"fills its host", full, {600, 400}, {0, 0, 600, 400}, false},
        {"odd size at an origin", full, {700, 500}, {31, 17, 634, 422}, false},
        {"cut by the host on every side", full, {520, 380}, {-45, -23, 605, 437}, false},
        {"grey", grey, {600, 400}, {0, 0, 600, 400}, false},
        {"hidden", full, {600, 400}, {0, 0, 600, 400}, true},
    };
    struct Shot {
        std::vector<unsigned char> surface, view;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Shot> shots[2];
        for (const bool whileRendering : {false, true}) {
            const RECT frame{40, 30, 40 + c.host.cx, 30 + c.host.cy};
            ASSERT_TRUE(m_host.CreateEx(0, nullptr, "host", WS_POPUP | WS_VISIBLE, frame, nullptr, 0));
            m_ctrl = std::make_unique<CLumivexCtrl>();
            ASSERT_TRUE(m_ctrl->CreateControl(&m_host, c.place, 1));
            CLumivexCtrl& ctrl = *m_ctrl;
            ctrl.drawWhileRendering = whileRendering;
            ctrl.LoadProperties(
                {{"_Version", "65536"}, {"FileName", c.file}, {"Speed", "0"}, {"ViewMode", "1"}});
            ctrl.Invalidate();
            win::PaintAll();
            win::PumpPendingMessages();
            ASSERT_TRUE(ctrl.loaded);
            const POINT p = PanPoint();
            Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
            Post(WM_MOUSEMOVE, p.x + 30, p.y + 7, MK_LBUTTON);
            if (c.hidden) ctrl.ShowWindow(SW_HIDE);
            for (int tick = 0; tick < 3; ++tick) {
                Tick();
                ASSERT_TRUE(ctrl.reduced);
                ASSERT_LT(ctrl.viewImage->GetWidth(), ctrl.srcW);
                ASSERT_EQ(ctrl.viewImage->GetChannels(), &c.file == &grey ? 1 : 3);
                win::SurfaceView surface;
                ASSERT_TRUE(win::WindowSurface(m_host.m_hWnd, surface));
                const Image& v = *ctrl.viewImage;
                shots[whileRendering].push_back(
                    Shot{std::vector<unsigned char>(surface.data, surface.data + size_t(surface.rowBytes) * surface.height),
                         std::vector<unsigned char>(v.GetData(), v.GetData() + v.GetDataSize())});
            }
            Post(WM_LBUTTONUP, p.x + 30, p.y + 7);
            m_ctrl.reset();
            m_host.DestroyWindow();
        }
        ASSERT_EQ(shots[0].size(), shots[1].size());
        for (size_t k = 0; k < shots[0].size(); ++k) {
            SCOPED_TRACE(testing::Message() << "tick " << k + 1);
            EXPECT_TRUE(shots[1][k].surface == shots[0][k].surface);
            EXPECT_TRUE(shots[1][k].view == shots[0][k].view);
        }
        // The frames really moved, on the window too where it shows them.
        EXPECT_NE(shots[1].front().view, shots[1].back().view);
        EXPECT_EQ(shots[1].front().surface == shots[1].back().surface, c.hidden);
    }
}

TEST_F(LumivexInputTest, WorldMapSpinTurnsBackAtTheEnds)
{
    CLumivexCtrl& c = Show(Partial(), 300, 200);
    ASSERT_FALSE(c.wrap);
    const POINT p = PanPoint();
    // A latched spin to the right, 40 pixels of drag: 10 source columns a tick.
    Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Post(WM_MOUSEMOVE, p.x + 40, p.y, MK_LBUTTON | MK_CONTROL);
    Post(WM_LBUTTONUP, p.x + 40, p.y);
    ASSERT_TRUE(c.timerRunning);
    c.srcX = 495;
    Tick();
    EXPECT_EQ(c.srcX, 500);  // the upper limit 800 - 300
    Tick();
    EXPECT_EQ(c.srcX, 490);  // turned back inward
    EXPECT_EQ(DragX(), -40);
    Tick();
    EXPECT_EQ(c.srcX, 480);
    c.srcX = 5;
    Tick();
    EXPECT_EQ(c.srcX, 0);
    Tick();
    EXPECT_EQ(c.srcX, 10);
    EXPECT_EQ(DragX(), 40);

    // While the button is held the picture stops at the end instead.
    Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Post(WM_MOUSEMOVE, p.x + 40, p.y, MK_LBUTTON);
    c.srcX = 500;
    Tick(2);
    EXPECT_EQ(c.srcX, 500);
    EXPECT_EQ(DragX(), 40);
    Post(WM_LBUTTONUP, p.x + 40, p.y);
}

TEST_F(LumivexInputTest, WorldMapVerticalSpinStopsAtRowOne)
{
    CLumivexCtrl& c = Show(Partial(), 300, 200);
    const POINT p = PanPoint();
    Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Post(WM_MOUSEMOVE, p.x, p.y + 40, MK_LBUTTON);  // down: the source rises by 10 rows a tick
    c.srcY = 15;
    Tick();
    EXPECT_EQ(c.srcY, 5);
    Tick();
    EXPECT_EQ(c.srcY, 1);
    Tick();
    EXPECT_EQ(c.srcY, 1);
    Post(WM_MOUSEMOVE, p.x, p.y - 40, MK_LBUTTON);  // up: the source goes down to 400 - 200
    c.srcY = 195;
    Tick();
    EXPECT_EQ(c.srcY, 200);
    Tick();
    EXPECT_EQ(c.srcY, 200);
    Post(WM_LBUTTONUP, p.x, p.y - 40);
}

TEST_F(LumivexInputTest, AFullCircleRollsItsRowsInstead)
{
    CLumivexCtrl& c = Show(Full(), 300, 200);
    ASSERT_TRUE(c.wrap);
    const std::vector<uint8_t> before = Row(50);
    const POINT p = PanPoint();
    Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Post(WM_MOUSEMOVE, p.x + 40, p.y, MK_LBUTTON);
    const int srcX = c.srcX;
    Tick();
    EXPECT_EQ(c.srcX, srcX);
    const std::vector<uint8_t> after = Row(50);
    // Moved left by 10 pixels: pixel x is the former pixel x + 10.
    const size_t n = before.size();
    for (size_t x : {size_t{0}, size_t{100}, n / 3 - 11})
        EXPECT_TRUE(std::equal(after.begin() + 3 * x, after.begin() + 3 * x + 3, before.begin() + 3 * (x + 10)));
    EXPECT_TRUE(std::equal(after.end() - 30, after.end(), before.begin()));
    Post(WM_LBUTTONUP, p.x + 40, p.y);
}

TEST_F(LumivexInputTest, PerspectiveSpinTurnsBackAtTheYawLimit)
{
    CLumivexCtrl& c = Show(MakeJpeg(m_dir, "narrow.jpg", 400, 200, 2000, 100, 400), 300, 200, C::kPerspectiveView);
    ASSERT_EQ(c.viewMode, C::kPerspectiveView);
    const POINT p = PanPoint();
    Post(WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    Post(WM_MOUSEMOVE, p.x + 100, p.y, MK_LBUTTON | MK_CONTROL);
    Post(WM_LBUTTONUP, p.x + 100, p.y);
    ASSERT_TRUE(c.timerRunning);
    bool turned = false;
    for (int i = 0; i < 400 && !turned; ++i) {
        Tick();
        turned = DragX() < 0;
    }
    ASSERT_TRUE(turned);
    const float yaw = c.viewParams->GetAngles()[0];
    Tick();
    EXPECT_LT(c.viewParams->GetAngles()[0], yaw);
}

TEST_F(LumivexInputTest, RollColumnsTable)
{
    ImagePtr image(ctrltest::MakePicture(37, 5));
    ASSERT_TRUE(image);
    const size_t bytes = static_cast<size_t>(image->GetRowByte()) * 5;
    const std::vector<uint8_t> original(image->GetData(), image->GetData() + bytes);
    auto pixel = [&](const std::vector<uint8_t>& data, int x, int y) {
        return std::vector<uint8_t>(data.begin() + y * image->GetRowByte() + 3 * x,
                                    data.begin() + y * image->GetRowByte() + 3 * x + 3);
    };
    const struct {
        int n;
        int shift;  // where former pixel 0 ends up
    } rows[] = {{1, 1}, {-1, 36}, {5, 5}, {-5, 32}, {36, 36}, {37, 0}, {-74, 0}, {40, 3}, {-1000000, 37 - 1000000 % 37}};
    for (const auto& r : rows) {
        std::memcpy(image->GetData(), original.data(), bytes);
        std::vector<uint8_t> buffer;
        RollImageColumns(*image, r.n, buffer);
        const std::vector<uint8_t> now(image->GetData(), image->GetData() + bytes);
        for (int y : {0, 4})
            for (int x : {0, 17, 36})
                EXPECT_EQ(pixel(now, (x + r.shift) % 37, y), pixel(original, x, y)) << r.n << " at " << x;
        EXPECT_LE(buffer.size(), static_cast<size_t>(std::abs(r.n) % 37) * 3) << r.n;
        RollImageColumns(*image, -r.n, buffer);
        EXPECT_EQ(0, std::memcmp(image->GetData(), original.data(), bytes)) << r.n;
    }
}

TEST_F(LumivexInputTest, SpeedSpinsFromTheFirstDrawing)
{
    CLumivexCtrl& c = Show(Full(), 300, 200, C::kWorldMapView, 5);
    ASSERT_TRUE(c.loaded);
    EXPECT_TRUE(c.timerRunning);
    EXPECT_TRUE(TimerSet());
    EXPECT_EQ(DragX(), 5);
    EXPECT_EQ(DragY(), 0);
    const std::vector<uint8_t> before = Row(10);
    Tick();
    const std::vector<uint8_t> after = Row(10);
    EXPECT_TRUE(std::equal(after.begin(), after.end() - 3, before.begin() + 3));  // one column a tick
    // Without Speed nothing turns.
    m_ctrl.reset();
    m_host.DestroyWindow();
    CLumivexCtrl& still = Show(Full(), 300, 200);
    EXPECT_FALSE(still.timerRunning);
    EXPECT_FALSE(TimerSet());
}

}  // namespace
