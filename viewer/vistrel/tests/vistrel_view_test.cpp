// The viewer's view driven headlessly through the runtime: posted mouse
// input and timer ticks on a manual clock, synthetic world maps (flat
// colour ramps with a grid) and the real test panorama.
#include "viewer/vistrel/tests/vistrel_test_support.h"

#include "platform/win/message_queue.h"
#include "platform/win/window_dc.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/engine/tests/engine_test_support.h"

#include <algorithm>
#include <cmath>

namespace {

using enginetest::ImagePtr;
using enginetest::MakeSyntheticMap;
using V = CVistrelView;
using vistreltest::WriteJpeg;

class VistrelViewTest : public VistrelTest {
protected:
    void SetUp() override
    {
        VistrelTest::SetUp();
        win::Clock::UseManual(true);
    }

    // Starts the program empty and shows `map` (the document takes it).
    void StartWith(enginetest::MapPtr map)
    {
        ASSERT_TRUE(Start());
        ASSERT_NE(View(), nullptr);
        ASSERT_TRUE(map);
        Doc()->worldMap = map.release();
        Doc()->UpdateAllViews(nullptr);
        win::PumpPendingMessages();
    }

    void Post(UINT message, int x, int y, UINT keys = 0)
    {
        View()->PostMessage(message, keys, MAKEPOINTLPARAM(x, y));
        win::PumpPendingMessages();
    }
    // A drag from (x0, y0) to (x1, y1) released there.
    void Drag(int x0, int y0, int x1, int y1, UINT keys = 0)
    {
        Post(WM_LBUTTONDOWN, x0, y0, MK_LBUTTON | keys);
        Post(WM_MOUSEMOVE, x1, y1, MK_LBUTTON | keys);
        Post(WM_LBUTTONUP, x1, y1, keys);
    }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            win::Clock::Advance(V::kTimerMs);
            win::PumpPendingMessages();
        }
    }
    bool Spinning() { return (View()->flags & V::kTimerOn) && win::MessageQueue::Get().HasTimer(View()->m_hWnd, 1); }
    POINT PanPoint() { return POINT{View()->destX + 5, View()->destY + 5}; }
    float Yaw() { return View()->viewParams->GetAngles()[0]; }
    void Command(UINT id) { Frame()->SendMessage(WM_COMMAND, id, 0); }
};

// A map of equator width w storing columns [column, column + width).
enginetest::MapPtr PartialMap(int w, int column, int width)
{
    return MakeSyntheticMap(w, true, column, width);
}

TEST_F(VistrelViewTest, UpdateMeasuresThePanoramaAndSizesTheWindowToIt)
{
    const struct {
        const char* name;
        int w, column, width;
        bool fullCircle;
        float maxH, maxV;  // degrees
    } cases[] = {
        {"whole sphere", 720, 0, 0, true, 100, 100},
        {"missing under half a percent", 720, 5, 717, true, 100, 100},
        {"missing a little more", 720, 5, 716, false, 100, 100},
        {"120 degrees", 720, 100, 240, false, 100, 100},
        {"60 degrees", 720, 100, 120, false, 60, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartWith(PartialMap(c.w, c.column, c.width));
        EXPECT_EQ((View()->flags & V::kFullCircle) != 0, c.fullCircle);
        EXPECT_NEAR(View()->maxHFov, c.maxH * 3.14159265f / 180, 1e-4);
        EXPECT_NEAR(View()->maxVFov, c.maxV * 3.14159265f / 180, 1e-4);
        EXPECT_EQ(View()->Mode(), V::kPanorama);
        // The first document asks for its data area (here all within the screen).
        const int width = c.width ? c.width : c.w;
        EXPECT_EQ(ClientSize().cx, width);
        EXPECT_EQ(ClientSize().cy, c.w / 2 + 1);
        EXPECT_EQ(View()->destX, 0);
        EXPECT_EQ(View()->srcW, width);
        TearDown();
        SetUp();
    }
}

TEST_F(VistrelViewTest, AWideFirstPanoramaIsCutToTheScreenAndShowsItsMiddle)
{
    StartWith(MakeSyntheticMap(2048, true));
    const int cx = GetSystemMetrics(SM_CXFULLSCREEN) - 20;
    const int cy = GetSystemMetrics(SM_CYFULLSCREEN) - GetSystemMetrics(SM_CYCAPTION) - 50;
    EXPECT_EQ(ClientSize().cx, std::min(2048, cx));
    EXPECT_EQ(ClientSize().cy, std::min(1025, cy));
    EXPECT_EQ(View()->srcW, ClientSize().cx);
    EXPECT_EQ(View()->srcX, (2048 - ClientSize().cx) / 2);
}

TEST_F(VistrelViewTest, ZoomCommandsTable)
{
    StartWith(MakeSyntheticMap(720, true));
    const struct {
        float from;
        UINT command;
        float to;
    } cases[] = {
        {0.11f, 32771, 0.1f}, {2.9f, 32781, 3.0f}, {1.0f, 32781, 1.2f},
        {1.2f, 32771, 1.0f},  {0.5f, 32773, 1.0f}, {3.0f, 32781, 3.0f},
    };
    for (const auto& c : cases) {
        View()->SetZoom(c.from, true);
        Command(c.command);
        EXPECT_FLOAT_EQ(View()->zoom, c.to) << c.from << " " << c.command;
    }
}

TEST_F(VistrelViewTest, ZoomKeepsTheCentreOfTheVisiblePartOrShrinksTheWindow)
{
    StartWith(MakeSyntheticMap(720, true));
    const SIZE before = ClientSize();  // 720 x 361
    View()->SetZoom(2.0f, true);
    EXPECT_EQ(View()->srcW, 360);
    EXPECT_EQ(View()->srcX, 180);  // the centre stays at column 360
    EXPECT_EQ(View()->destW, before.cx);
    // Zoom - does not keep the window: the frame shrinks to the picture.
    View()->SetZoom(1.0f, true);
    Command(32771);
    EXPECT_EQ(ClientSize().cx, static_cast<int>(720 / 1.2f));
    EXPECT_EQ(View()->destX, 0);
    EXPECT_EQ(View()->srcW, 720);
}

TEST_F(VistrelViewTest, PanSnapsToEightDirectionsWithTheirCursors)
{
    StartWith(MakeSyntheticMap(720, true));
    const struct {
        int dx, dy;
        int sx, sy;  // snapped vector
        UINT cursor;
    } cases[] = {
        {30, 10, 30, 0, 131},   {-30, 14, -30, 0, 132},  {4, -40, 0, -40, 133},   {-10, 30, 0, 30, 134},
        {-20, -24, -22, -22, 135}, {21, -20, 20, -20, 136}, {-30, 20, -25, 25, 137}, {20, 30, 25, 25, 138},
    };
    for (const auto& c : cases) {
        const POINT p = PanPoint();
        Post(WM_LBUTTONDOWN, p.x + 60, p.y + 60, MK_LBUTTON);
        Post(WM_MOUSEMOVE, p.x + 60 + c.dx, p.y + 60 + c.dy, MK_LBUTTON);
        EXPECT_EQ(View()->dragX - View()->dragStartX, c.sx) << c.dx << "," << c.dy;
        EXPECT_EQ(View()->dragY - View()->dragStartY, c.sy) << c.dx << "," << c.dy;
        bool resource = false;
        EXPECT_EQ(win::CursorId(View()->cursor, &resource), c.cursor);
        EXPECT_TRUE(resource);
        Post(WM_LBUTTONUP, p.x + 60, p.y + 60);  // back at the start: a click, the spin stops
        EXPECT_FALSE(Spinning());
    }
    // Inside 4 pixels nothing starts.
    Post(WM_LBUTTONDOWN, PanPoint().x + 60, PanPoint().y + 60, MK_LBUTTON);
    Post(WM_MOUSEMOVE, PanPoint().x + 64, PanPoint().y + 56, MK_LBUTTON);
    EXPECT_FALSE(Spinning());
    Post(WM_LBUTTONUP, PanPoint().x + 64, PanPoint().y + 56);
}

TEST_F(VistrelViewTest, HitZonesAndHoverCursors)
{
    StartWith(PartialMap(720, 100, 240));  // 240 x 361 picture
    View()->SetZoom(0.5f, true);           // 120 x 180 with margins
    const V& v = *View();
    const int cx = v.destX + v.destW / 2, cy = v.destY + v.destH / 2;
    const struct {
        int x, y, zone;
        UINT cursor;  // 0: the arrow
    } cases[] = {
        {cx, cy, V::kHitZoom, 139},
        {cx + v.destW / 8, cy, V::kHitZoom, 139},
        {cx + v.destW / 8 + 2, cy, V::kHitPan, 130},
        {v.destX, v.destY, V::kHitPan, 130},
        {v.destX - 1, cy, V::kHitOutside, 0},
        {cx, v.destY + v.destH, V::kHitOutside, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(View()->HitTest(POINT{c.x, c.y}), c.zone) << c.x << "," << c.y;
        Post(WM_MOUSEMOVE, c.x, c.y);
        bool resource = false;
        const UINT id = win::CursorId(View()->cursor, &resource);
        const UINT expected = c.cursor ? c.cursor : static_cast<UINT>(IDC_ARROW);
        EXPECT_EQ(id, expected);
        EXPECT_EQ(resource, c.cursor != 0);
    }
}

TEST_F(VistrelViewTest, ZoomDragScalesFromTheZoomAtItsStart)
{
    StartWith(MakeSyntheticMap(720, true));
    const int cx = View()->destX + View()->destW / 2, cy = View()->destY + View()->destH / 2;
    Post(WM_LBUTTONDOWN, cx, cy, MK_LBUTTON);
    Post(WM_MOUSEMOVE, cx + 100, cy, MK_LBUTTON);
    EXPECT_FLOAT_EQ(View()->zoom, 1.5f);
    EXPECT_EQ(win::CursorId(View()->cursor), 140u);
    Post(WM_MOUSEMOVE, cx + 1000, cy, MK_LBUTTON);
    EXPECT_FLOAT_EQ(View()->zoom, 3.0f);
    Post(WM_MOUSEMOVE, cx - 200, cy, MK_LBUTTON);
    EXPECT_FLOAT_EQ(View()->zoom, 0.5f);
    EXPECT_EQ(win::CursorId(View()->cursor), 141u);
    Post(WM_MOUSEMOVE, cx - 5000, cy, MK_LBUTTON);
    EXPECT_FLOAT_EQ(View()->zoom, 0.1f);
    Post(WM_LBUTTONUP, cx - 5000, cy);
    EXPECT_FALSE(Spinning());
    EXPECT_EQ(View()->flags & V::kZooming, 0u);
}

TEST_F(VistrelViewTest, ReleaseKeepsOrStopsTheSpinTable)
{
    const struct {
        const char* name;
        int endDx;      // where the button goes up, from the start
        UINT dragKeys;  // keys held while dragging
        UINT upKeys;    // keys held at release
        bool spinning;
    } cases[] = {
        {"drag over 5 px", 40, 0, 0, true},
        {"back to the start", 0, 0, 0, false},
        {"5 px is a click", 5, 0, 0, false},
        {"Shift during the drag latches", 0, MK_SHIFT, 0, true},
        {"Ctrl at release", 0, 0, MK_CONTROL, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartWith(MakeSyntheticMap(720, true));
        const POINT p = PanPoint();
        Post(WM_LBUTTONDOWN, p.x + 20, p.y + 20, MK_LBUTTON | c.dragKeys);
        Post(WM_MOUSEMOVE, p.x + 60, p.y + 20, MK_LBUTTON | c.dragKeys);
        ASSERT_TRUE(Spinning());
        Post(WM_LBUTTONUP, p.x + 20 + c.endDx, p.y + 20, c.upKeys);
        EXPECT_EQ(Spinning(), c.spinning);
        EXPECT_EQ(View()->flags & (V::kPanning | V::kShiftOrCtrl), 0u);
        EXPECT_EQ(View()->timerInterval, c.spinning ? 33 : 1000000000);
        if (c.spinning) {
            // A click anywhere on the picture stops it.
            Post(WM_LBUTTONDOWN, p.x + 30, p.y + 30, MK_LBUTTON);
            Post(WM_LBUTTONUP, p.x + 30, p.y + 30);
            EXPECT_FALSE(Spinning());
        }
        TearDown();
        SetUp();
    }
}

TEST_F(VistrelViewTest, FullCircleScrollingRestoresThePicturePixelExactly)
{
    StartWith(MakeSyntheticMap(720, true));
    ImagePtr before(View()->viewImage->Duplicate());
    V& v = *View();
    // Large steps (beyond the row) and small ones, then their opposites.
    for (int dx : {20, 17, 4000, -333}) {
        v.dragStartX = 0, v.dragStartY = 0, v.dragY = 0;
        v.dragX = dx;
        View()->SendMessage(WM_TIMER, 1, 0);
        v.dragX = -dx;
        View()->SendMessage(WM_TIMER, 1, 0);
        ASSERT_EQ(std::memcmp(before->GetData(), v.viewImage->GetData(), before->GetDataSize()), 0) << dx;
    }
    // One step moves the rows by truncate(dx / (zoom x 4)) pixels.
    v.dragX = 40;  // 10 pixels
    View()->SendMessage(WM_TIMER, 1, 0);
    const int rb = before->GetRowByte();
    for (int y : {0, 100, 360})
        for (int x : {0, 5, 709, 710, 719})
            ASSERT_EQ(std::memcmp(v.viewImage->GetData() + y * rb + x * 3,
                                  before->GetData() + y * rb + ((x + 10) % 720) * 3, 3),
                      0)
                << x << "," << y;
}

TEST_F(VistrelViewTest, RotateRowsMatchesABruteForceRotation)
{
    ImagePtr image(new Image());
    ASSERT_EQ(image->BmpInit(13, 3, 3), 0);
    for (size_t i = 0; i < image->GetDataSize(); ++i) image->GetData()[i] = static_cast<unsigned char>(i * 7);
    std::vector<uint8_t> scratch;
    for (int step : {0, 1, 6, 7, 12, 13, -1, -6, -7, 27, -40, 1000003, -1000003}) {
        ImagePtr copy(image->Duplicate());
        RotateRows(*copy, step, scratch);
        const int shift = ((step % 13) + 13) % 13;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 13; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(copy->GetData()[y * copy->GetRowByte() + x * 3 + k],
                              image->GetData()[y * image->GetRowByte() + ((x + shift) % 13) * 3 + k])
                        << step;
        EXPECT_LE(scratch.size(), 6u * 3);  // never more than half a row
    }
}

TEST_F(VistrelViewTest, VerticalScrollingStaysWithinTheImage)
{
    StartWith(MakeSyntheticMap(720, true));
    View()->SetZoom(2.0f, true);
    V& v = *View();
    const int h = v.viewImage->GetHeight();
    ASSERT_LT(v.srcH, h);
    for (int dy : {-400, 400}) {
        v.dragStartX = v.dragX = v.dragStartY = 0;
        v.dragY = dy;
        for (int i = 0; i < 40; ++i) {
            View()->SendMessage(WM_TIMER, 1, 0);
            ASSERT_GE(v.srcY, 0);
            ASSERT_LE(v.srcY, h - v.srcH);
        }
        EXPECT_EQ(v.srcY, dy < 0 ? 0 : h - v.srcH);
    }
}

TEST_F(VistrelViewTest, APartialPanoramaReversesAtItsEndsInBothModes)
{
    // 120 degrees stored, zoomed in so that it scrolls in panorama mode.
    StartWith(PartialMap(720, 100, 240));
    ASSERT_EQ(View()->flags & V::kFullCircle, 0u);
    View()->SetZoom(2.0f, true);
    const POINT p = PanPoint();
    Drag(p.x + 10, p.y + 10, p.x + 60, p.y + 10);
    ASSERT_TRUE(Spinning());
    V& v = *View();
    int reversals = 0, lastSign = 1, low = 1 << 30, high = -1;
    for (int i = 0; i < 60; ++i) {
        Tick();
        low = std::min(low, v.srcX), high = std::max(high, v.srcX);
        const int sign = v.dragX - v.dragStartX > 0 ? 1 : -1;
        reversals += sign != lastSign;
        lastSign = sign;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, v.viewImage->GetWidth() - v.srcW);
    EXPECT_GE(reversals, 2);

    // Perspective mode: the yaw runs between its clamps and turns back at each.
    Command(32775);
    ASSERT_EQ(View()->Mode(), V::kPerspective);
    Drag(PanPoint().x + 10, PanPoint().y + 10, PanPoint().x + 60, PanPoint().y + 10);
    ASSERT_TRUE(Spinning());
    const float yawMin = v.viewParams->yawClampMin, yawMax = v.viewParams->yawClampMax;
    ASSERT_LT(yawMin, yawMax);
    float lowest = 10, highest = -10;
    reversals = 0, lastSign = 1;
    for (int i = 0; i < 400; ++i) {
        Tick();
        lowest = std::min(lowest, Yaw()), highest = std::max(highest, Yaw());
        const int sign = v.dragX - v.dragStartX > 0 ? 1 : -1;
        reversals += sign != lastSign;
        lastSign = sign;
        ASSERT_GE(Yaw(), yawMin - 1e-5f);
        ASSERT_LE(Yaw(), yawMax + 1e-5f);
    }
    EXPECT_FLOAT_EQ(lowest, yawMin);
    EXPECT_FLOAT_EQ(highest, yawMax);
    EXPECT_GE(reversals, 2);
}

TEST_F(VistrelViewTest, ATickWhileAFrameIsDrawnDoesNothing)
{
    StartWith(MakeSyntheticMap(720, true));
    Command(32775);
    V& v = *View();
    v.dragStartX = v.dragStartY = v.dragY = 0;
    v.dragX = 40;
    const float yaw = Yaw();
    ImagePtr before(v.viewImage->Duplicate());
    v.flags |= V::kDrawing;
    View()->SendMessage(WM_TIMER, 1, 0);
    EXPECT_EQ(Yaw(), yaw);
    EXPECT_EQ(std::memcmp(before->GetData(), v.viewImage->GetData(), before->GetDataSize()), 0);
    v.flags &= ~V::kDrawing;
    View()->SendMessage(WM_TIMER, 1, 0);
    EXPECT_NEAR(Yaw(), yaw + 40 * 0.0005f, 1e-5f);
    EXPECT_NE(std::memcmp(before->GetData(), v.viewImage->GetData(), before->GetDataSize()), 0);
}

TEST_F(VistrelViewTest, CommandStatesFollowWhatIsShown)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* photo = testkit::MakePatternImage(90, 60, 3);
    const std::string plain = WriteJpeg(*photo, dir, "plain");
    ReleaseImage(photo);
    Image* strip = testkit::MakePatternImage(240, 40, 3);
    const std::string stripFile = vistreltest::WithDescriptor(WriteJpeg(*strip, dir, "s"), dir.file("strip.jpg"),
                                                              "mjr6", 400, 0, 0);
    ReleaseImage(strip);
    const std::string pano = vistreltest::WithDescriptor(plain, dir.file("pano.jpg"), "kqvz", 180, 0, 0);

    const struct {
        std::string path;
        uint32_t mode;
        bool panoramaEnabled, perspectiveEnabled, rotateEnabled;
    } cases[] = {
        {plain, V::kPanorama, true, false, true},
        {stripFile, V::kPerspective, false, true, false},
        // A panorama keeps the mode the strip left.
        {pano, V::kPerspective, true, true, false},
    };
    ASSERT_TRUE(Start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_NE(App().OpenDocumentFile(c.path.c_str()), nullptr);
        EXPECT_EQ(View()->Mode(), c.mode);
        const win::CommandState panorama = win::QueryCommandState(Frame(), 32774);
        const win::CommandState perspective = win::QueryCommandState(Frame(), 32775);
        EXPECT_EQ(panorama.enabled, c.panoramaEnabled);
        EXPECT_EQ(perspective.enabled, c.perspectiveEnabled);
        EXPECT_EQ(win::QueryCommandState(Frame(), 32785).enabled, c.rotateEnabled);
        EXPECT_EQ(panorama.check, c.mode == V::kPanorama ? 1 : 0);
        EXPECT_EQ(perspective.check, c.mode == V::kPerspective ? 1 : 0);
        // A refused mode change leaves the mode as it was.
        Command(c.mode == V::kPanorama ? 32775 : 32774);
        if (!(c.mode == V::kPanorama ? c.perspectiveEnabled : c.panoramaEnabled)) {
            EXPECT_EQ(View()->Mode(), c.mode);
        }
    }
    // Rotate turns the plain image a quarter to the left.
    ASSERT_NE(App().OpenDocumentFile(plain.c_str()), nullptr);
    Command(32785);
    EXPECT_EQ(View()->viewImage->GetWidth(), 60);
    EXPECT_EQ(View()->viewImage->GetHeight(), 90);
}

TEST_F(VistrelViewTest, MarginsAreErasedAndAGreyMapDrawsThroughTheGreyPalette)
{
    // A one-channel map drawn at zoom 1 inside a larger window.
    StartWith(MakeSyntheticMap(720, true, 0, 0, 0, 0, 1));
    View()->SetZoom(0.5f, true);
    View()->SetZoom(1.0f, true);  // keepWindow: back to 1 in the same window
    Frame()->SetWindowPos(nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
    win::PumpPendingMessages();
    V& v = *View();
    ASSERT_GT(v.destX, 0);
    ASSERT_GT(v.destY, 0);
    const BITMAPINFOHEADER& h = reinterpret_cast<const BITMAPINFO*>(v.bitmapInfo.data())->bmiHeader;
    EXPECT_EQ(v.bitmapInfo.size(), 40u + 256 * 4);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biPlanes, 1);
    View()->Invalidate(TRUE);
    win::PaintAll();
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biHeight, -v.viewImage->GetHeight());
    ImagePtr shown(win::CaptureWindow(v.m_hWnd));
    ASSERT_TRUE(shown);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    auto pixel = [&](int x, int y) { return shown->GetData() + y * shown->GetRowByte() + x * 3; };
    for (POINT m : {POINT{0, 0}, POINT{v.destX - 1, v.destY + 3}, POINT{v.destX + v.destW, v.destY},
                    POINT{v.destX + 2, v.destY + v.destH}}) {
        const unsigned char* p = pixel(m.x, m.y);
        EXPECT_EQ(p[0], GetBValue(face)) << m.x << "," << m.y;
        EXPECT_EQ(p[1], GetGValue(face));
        EXPECT_EQ(p[2], GetRValue(face));
    }
    // Inside, every channel carries the map's grey value.
    for (int y = 0; y < v.destH; y += 37)
        for (int x = 0; x < v.destW; x += 41) {
            const unsigned char grey = v.viewImage->GetData()[(v.srcY + y) * v.viewImage->GetRowByte() + v.srcX + x];
            const unsigned char* p = pixel(v.destX + x, v.destY + y);
            ASSERT_EQ(p[0], grey);
            ASSERT_EQ(p[1], grey);
            ASSERT_EQ(p[2], grey);
        }
}

TEST_F(VistrelViewTest, ShrinkingDrawsHalftoneAndResizingRelaysTheView)
{
    // A plain image of even size, so that each shown pixel covers 2 x 2.
    ASSERT_TRUE(Start());
    Doc()->image = testkit::MakePatternImage(720, 360, 3, IMG_LAYOUT_BITMAP);
    Doc()->UpdateAllViews(nullptr);
    View()->SetZoom(0.5f, true);  // 360 x 180 in the 720 x 360 window
    V* view = View();
    ASSERT_EQ(view->destW, 360);
    const V& v = *view;
    View()->Invalidate(TRUE);
    win::PaintAll();
    ImagePtr shown(win::CaptureWindow(v.m_hWnd));
    ASSERT_TRUE(shown);
    // Each shown pixel is the mean of the 2 x 2 source pixels it covers
    // (nearest sampling would show one of them: the grid lines tell).
    long boxed = 0, checked = 0;
    for (int y = 1; y < v.destH - 1; y += 3)
        for (int x = 1; x < v.destW - 1; x += 5) {
            const unsigned char* p = shown->GetData() + (v.destY + y) * shown->GetRowByte() + (v.destX + x) * 3;
            for (int k = 0; k < 3; ++k) {
                int sum = 0;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i)
                        sum += v.viewImage->GetData()[(2 * y + j) * v.viewImage->GetRowByte() + (2 * x + i) * 3 + k];
                boxed += std::abs(p[k] - sum / 4.0) <= 1.0 ? 1 : 0;
                ++checked;
            }
        }
    EXPECT_EQ(boxed, checked);
    TearDown();
    SetUp();

    // Perspective mode follows the client size when the user resizes.
    StartWith(MakeSyntheticMap(720, true));
    Command(32775);
    V& p = *View();
    const int before = p.srcW;
    CRect frame;
    Frame()->GetWindowRect(&frame);
    Frame()->SetWindowPos(nullptr, 0, 0, frame.Width() - 100, frame.Height() - 50, SWP_NOMOVE | SWP_NOZORDER);
    win::PumpPendingMessages();
    EXPECT_EQ(p.wantW, ClientSize().cx);
    EXPECT_EQ(p.srcW, std::min(before, ClientSize().cx));
    EXPECT_EQ(p.viewImage->GetWidth(), p.srcW);
    EXPECT_EQ(p.destX, (ClientSize().cx - p.srcW) / 2);
}

}  // namespace
