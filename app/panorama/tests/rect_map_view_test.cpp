// The panorama window: the rect-map view's screen bitmap, title, viewer
// events and cursor, and the outer view's toolbar, tool tips and frame
// fitting, driven through a started application and real windows.
#include "app/panorama/rect_map_view.h"

#include "app/tests/app_test_fixture.h"
#include "app/tests/presented_capture.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"
#include "testkit/testkit.h"
#include "viewkit/printing.h"
#include "worldmap/world_map.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

uint8_t Code(int row, int column, int channel)
{
    return static_cast<uint8_t>(1 + (row * 37 + column * 11 + channel * 101) % 251);
}

// A map storing every sample, filled with Code(); W = 160.
WorldMap* MakeCodedMap(int channels = 3, int width = 160)
{
    auto* map = new WorldMap(width, nullptr, 0, channels);
    for (int r = 0; r < map->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        if (!line || !line->m_line) continue;
        for (int i = line->m_first; i <= line->m_last; ++i)
            for (int c = 0; c < channels; ++c) line->m_line[(i - line->m_first) * channels + c] = Code(r, i, c);
    }
    return map;
}

// Data area: rows [y0, y1), columns from x0 to xEnd on the circle.
void SetArea(WorldMap* map, int x0, int xEnd, int y0, int y1)
{
    map->m_xStart = x0;
    map->m_xEnd = xEnd;
    map->m_yStart = y0;
    map->m_yEnd = y1;
}

const uint8_t* Pixel(const Image* image, int x, int y)
{
    return image->GetData() + static_cast<size_t>(y) * image->GetRowByte() +
           static_cast<size_t>(x) * image->GetChannels();
}

// The screen image against the map's strip, assembled column by column:
// screen column j is map column (x0 + j) mod W.
::testing::AssertionResult ShowsStrip(const Image* screen, WorldMap* map, int x0, int y0, int w, int h)
{
    if (!screen || screen->GetWidth() != w || screen->GetHeight() != h)
        return ::testing::AssertionFailure() << "screen is " << (screen ? screen->GetWidth() : -1) << "x"
                                             << (screen ? screen->GetHeight() : -1) << ", wanted " << w << "x" << h;
    const int W = map->GetWidth();
    for (int k = 0; k < h; ++k)
        for (int j = 0; j < w; ++j)
            for (int c = 0; c < map->GetChannels(); ++c) {
                const uint8_t want = map->GetDataPtr((x0 + j) % W, y0 + k)[c];
                if (Pixel(screen, j, k)[c] != want)
                    return ::testing::AssertionFailure() << "pixel " << j << "," << k << " channel " << c << " is "
                                                         << int(Pixel(screen, j, k)[c]) << ", map has " << int(want);
            }
    return ::testing::AssertionSuccess();
}

// Where a window capture differs from the top-left of the screen image.
std::string Differences(const Image* shot, const Image* screen)
{
    std::string out;
    int found = 0;
    for (int y = 0; y < shot->GetHeight() && found < 10; ++y)
        for (int x = 0; x < shot->GetWidth() && found < 10; ++x)
            if (std::memcmp(Pixel(shot, x, y), Pixel(screen, x, y), 3) != 0) {
                out += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
                ++found;
            }
    return out;
}

class PanoramaWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }

    // Opens the panorama window of `map` and answers its rect-map view.
    CRectMapView* Open(WorldMap* map)
    {
        Main().ShowPanoramaWindow(map);
        return Main().FindRectMapView(map);
    }

    size_t OpenPanoramaDocuments() { return App().GetPanoramaTemplate()->GetDocuments().size(); }
};

}  // namespace

// ---- Screen bitmap -------------------------------------------------------------------------

TEST_F(PanoramaWindowTest, ScreenBitmapIsOneStripFromTheFirstColumnOfTheDataArea)
{
    WorldMap* map = MakeCodedMap();
    ASSERT_EQ(map->GetHeight(), 81);
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    // W = 160, H = 81: columnShift = (80 - x0) - w / 2, equatorRow = 40 - y0,
    // gridStep = 160 * 45 / 720 = 10.
    struct Case {
        const char* name;
        int x0, xEnd, y0, y1;
        int w, h, columnShift, equatorRow;
    };
    const Case cases[] = {
        {"whole map", 0, 160, 0, 81, 160, 81, 0, 40},
        {"across the seam", 150, 30, 30, 50, 40, 20, -90, 10},
        {"inside", 20, 100, 35, 45, 80, 10, 20, 5},
        {"two columns round the seam", 159, 1, 40, 41, 2, 1, -80, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetArea(map, c.x0, c.xEnd, c.y0, c.y1);
        map->NotifyViewers(15, 0);
        EXPECT_TRUE(ShowsStrip(view->GetScreen(), map, c.x0, c.y0, c.w, c.h));
        EXPECT_EQ(view->GetColumnShift(), c.columnShift);
        EXPECT_EQ(view->GetEquatorRow(), c.equatorRow);
        EXPECT_EQ(view->GetGridStep(), 10);
    }
    map->Release();
}

TEST_F(PanoramaWindowTest, RulerOffsetIsClampedToThreeEighthsOfTheWidth)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 150, 30, 30, 50);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    struct Case {
        int x0, xEnd, offset, clamped;
    };
    const Case cases[] = {
        {150, 30, 100, 15},   // w 40: 3 * 40 / 8 = 15
        {150, 30, -100, -15},
        {150, 30, 7, 7},
        {150, 11, -8, -7},  // w 21: 63 / 8 rounds toward zero to 7
        {159, 1, 5, 0},     // w 2: no room at all
    };
    for (const Case& c : cases) {
        SetArea(map, c.x0, c.xEnd, 30, 50);
        view->SetRulerOffset(c.offset);
        map->NotifyViewers(15, 0);
        EXPECT_EQ(view->GetRulerOffset(), c.clamped) << c.offset;
    }
    map->Release();
}

TEST_F(PanoramaWindowTest, ScreenImageIsRebuiltInPlaceUntilItsSizeChanges)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 150, 30, 30, 50);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetBmpLayer()->GetCount(), 1);
    Image* screen = view->GetScreen();
    const int updates = view->GetScrollSizeUpdates();

    // Same size, new contents: redrawn, no new image, no new scroll sizes.
    map->GetDataPtr(155, 35)[0] = 7;
    view->SetRollOffset(12);
    map->NotifyViewers(15, 0);
    EXPECT_EQ(view->GetScreen(), screen);
    EXPECT_EQ(view->GetBmpLayer()->GetCount(), 1);
    EXPECT_EQ(view->GetScrollSizeUpdates(), updates);
    EXPECT_EQ(view->GetRollOffset(), 0);
    EXPECT_EQ(Pixel(view->GetScreen(), 5, 5)[0], 7);

    // A larger area: the same images resized, the scroll sizes recomputed.
    SetArea(map, 140, 40, 20, 60);
    map->NotifyViewers(15, 0);
    EXPECT_EQ(view->GetScreen(), screen);
    EXPECT_EQ(view->GetBmpLayer()->GetCount(), 1);
    EXPECT_EQ(view->GetScrollSizeUpdates(), updates + 1);
    EXPECT_TRUE(ShowsStrip(view->GetBmpLayer()->GetImage(0), map, 140, 20, 60, 40));
    EXPECT_TRUE(ShowsStrip(view->GetScreen(), map, 140, 20, 60, 40));
    EXPECT_EQ(view->GetTotalSize().cx, 60);
    EXPECT_EQ(view->GetTotalSize().cy, 40);
    map->Release();
}

TEST(RectMapViewScreen, ChannelCountDecidesBetweenANewScreenImageAndAResize)
{
    WorldMap* grey = MakeCodedMap(1);
    WorldMap* colour = MakeCodedMap(3);
    SetArea(grey, 10, 30, 10, 20);
    SetArea(colour, 10, 50, 10, 30);
    {
        CRectMapView view;
        EXPECT_TRUE(view.BuildScreenBitmap(grey));  // first build
        Image* first = view.GetScreen();
        EXPECT_EQ(first->GetChannels(), 1);
        EXPECT_FALSE(view.BuildScreenBitmap(grey));  // same size
        EXPECT_TRUE(view.BuildScreenBitmap(colour));  // larger, more channels: a new screen image
        EXPECT_NE(view.GetScreen(), first);
        EXPECT_EQ(view.GetScreen()->GetChannels(), 3);
        EXPECT_EQ(view.GetScreen()->GetWidth(), 40);
        EXPECT_EQ(view.GetBmpLayer()->GetImage(0)->GetWidth(), 40);
        EXPECT_EQ(view.GetBmpLayer()->GetCount(), 1);
    }
    {
        CRectMapView view;
        EXPECT_TRUE(view.BuildScreenBitmap(colour));
        EXPECT_TRUE(ShowsStrip(view.GetScreen(), colour, 10, 10, 40, 20));
        Image* first = view.GetScreen();
        EXPECT_TRUE(view.BuildScreenBitmap(grey));  // fewer channels: both resized
        EXPECT_EQ(view.GetScreen(), first);
        EXPECT_EQ(first->GetChannels(), 3);
        EXPECT_EQ(first->GetWidth(), 20);
        EXPECT_EQ(first->GetHeight(), 10);
        EXPECT_EQ(view.GetBmpLayer()->GetImage(0)->GetWidth(), 20);
        EXPECT_EQ(view.GetBmpLayer()->GetImage(0)->GetHeight(), 10);
        EXPECT_FALSE(view.BuildScreenBitmap(nullptr));
    }
    grey->Release();
    colour->Release();
}

// ---- Title -----------------------------------------------------------------------------------

TEST_F(PanoramaWindowTest, TitleFormats)
{
    const std::string longName = "/panoramas/" + std::string(289, 'n');
    struct Case {
        const char* name;
        bool final;
        float zoom;
        std::string title;
    };
    const Case cases[] = {
        {"/p/bay.jpg", false, 1.0f, "panorama [preview] (100%)"},
        {nullptr, true, 0.5f, "panorama (50%)"},
        {"/p/bay.jpg", true, 2.0f, "/p/bay.jpg [panorama 200%]"},
        {longName.c_str(), true, 1.0f, longName + " [panorama 100%]"},
    };
    for (const Case& c : cases) {
        WorldMap* map = MakeCodedMap();
        SetArea(map, 0, 160, 0, 81);
        if (c.name) map->SetName(c.name);
        CRectMapView* view = Open(map);
        ASSERT_NE(view, nullptr);
        view->ChangeZoom(c.zoom, c.zoom);
        map->NotifyViewers(10008, c.final ? 1 : 0);
        EXPECT_EQ(view->GetDocument()->GetTitle(), c.title);
        view->GetDocument()->OnCloseDocument();
        map->Release();
    }
}

TEST_F(PanoramaWindowTest, TitleQueryHonoursTheCapacityByte)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const std::string title = "panorama [preview] (100%)";
    ASSERT_EQ(view->GetDocument()->GetTitle(), title);
    struct Case {
        int capacity;
        std::string expected;
    };
    const Case cases[] = {
        {1, ""},
        {5, "pano"},
        {static_cast<int>(title.size()), title.substr(0, title.size() - 1)},
        {static_cast<int>(title.size()) + 1, title},
        {255, title},  // the brightness dialog's byte: read unsigned
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(300, 'x');
        buffer[1] = static_cast<char>(c.capacity);
        view->RectViewNotify(18, nullptr, reinterpret_cast<std::uintptr_t>(buffer.data()));
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.capacity;
        // The byte after the terminator is untouched (the capacity byte itself at index 1).
        const size_t next = c.expected.size() + 1;
        EXPECT_EQ(buffer[next], next == 1 ? static_cast<char>(c.capacity) : 'x') << "written past the terminator";
    }
    // Capacity 0: no room, nothing written.
    std::vector<char> buffer(8, 'x');
    buffer[1] = 0;
    view->RectViewNotify(18, nullptr, reinterpret_cast<std::uintptr_t>(buffer.data()));
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[2], 'x');
    map->Release();
}

// ---- Viewer events ------------------------------------------------------------------------------

TEST_F(PanoramaWindowTest, FullCircleFinalAndLevelingEvents)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);

    for (auto [value, on] : {std::pair{1, true}, std::pair{0, false}, std::pair{2, false}}) {
        map->NotifyViewers(10003, static_cast<std::uintptr_t>(value));
        EXPECT_EQ((view->GetMode() & CRectMapView::fullCircle) != 0, on) << value;
    }

    // Preview or final with the zoom rule: only a change to a preview shown
    // below 0.8 in both directions goes back to 100 %.
    struct Case {
        bool finalBefore;
        float zoom;
        int value;
        float zoomAfter;
        const char* title;
    };
    const Case cases[] = {
        {false, 0.5f, 1, 0.5f, "panorama (50%)"},
        {true, 0.5f, 0, 1.0f, "panorama [preview] (100%)"},
        {true, 0.9f, 0, 0.9f, "panorama [preview] (90%)"},
        {false, 0.5f, 0, 0.5f, "panorama [preview] (50%)"},
        {true, 0.5f, 2, 0.5f, "panorama (50%)"},
    };
    for (const Case& c : cases) {
        map->NotifyViewers(10008, c.finalBefore ? 1 : 0);
        view->ChangeZoom(c.zoom, c.zoom);
        view->SetModeBits(CRectMapView::rollTool | CRectMapView::levelTool, true);
        map->NotifyViewers(10008, static_cast<std::uintptr_t>(c.value));
        float x = 0, y = 0;
        view->GetCurrentZoom(x, y);
        EXPECT_FLOAT_EQ(x, c.zoomAfter) << c.title;
        EXPECT_FLOAT_EQ(y, c.zoomAfter) << c.title;
        EXPECT_EQ(view->IsFinal(), c.value != 0);
        EXPECT_EQ((view->GetMode() & (CRectMapView::rollTool | CRectMapView::levelTool)) != 0, c.value == 0);
        EXPECT_EQ(view->GetDocument()->GetTitle(), c.title);
    }

    // The leveling rotation: 1.0 and the three components, then reset.
    const float rotation[3] = {0.25f, -0.5f, 0.125f};
    view->SetLevelRotation(rotation);
    float out[4] = {9, 9, 9, 9};
    map->NotifyViewers(10006, reinterpret_cast<std::uintptr_t>(out));
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1.0f, 0.25f, -0.5f, 0.125f}));
    map->NotifyViewers(10007, 0);
    map->NotifyViewers(10006, reinterpret_cast<std::uintptr_t>(out));
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_FALSE(view->HasLevelRotation());
    map->Release();
}

TEST_F(PanoramaWindowTest, ColourChangeOnACroppedViewShowsTheWholePanoramaAgain)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 150, 30, 30, 50);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    RECT keep{4, 4, 9, 9};
    view->SetSelectionRect(&keep);
    view->RectViewNotify(10001, nullptr, 0);
    const uint16_t bits = CRectMapView::cropped | CRectMapView::cropByWindow;
    EXPECT_EQ(view->GetMode() & bits, bits);
    EXPECT_EQ(Pixel(view->GetScreen(), 0, 0)[0], 0);  // outside the selection
    EXPECT_EQ(Pixel(view->GetScreen(), 5, 5)[0], map->GetDataPtr(155, 35)[0]);

    // Gamma 1 on channel 0 is the neutral value already: a failure keeps the crop.
    view->RectViewNotify(2, nullptr, CRectMapView::FloatParam(1.0f));
    EXPECT_NE(view->GetMode() & CRectMapView::cropped, 0);
    // Contrast of channel 1: done, and the crop is undone.
    view->RectViewNotify(7, nullptr, CRectMapView::FloatParam(1.0f));
    view->RectViewNotify(7, nullptr, CRectMapView::FloatParam(1.4f));
    EXPECT_EQ(view->GetMode() & CRectMapView::cropped, 0);
    EXPECT_NE(Pixel(view->GetScreen(), 0, 0)[0], 0);
    // Back to neutral (event 14) shows the map exactly.
    view->RectViewNotify(14, nullptr, 0);
    EXPECT_TRUE(ShowsStrip(view->GetScreen(), map, 150, 30, 40, 20));

    // The crop toggle: crop, then undo by composing again.
    view->RectViewNotify(10001, nullptr, 0);
    EXPECT_EQ(Pixel(view->GetScreen(), 0, 0)[0], 0);
    view->RectViewNotify(10001, nullptr, 0);
    EXPECT_EQ(view->GetMode() & CRectMapView::cropped, 0);
    EXPECT_TRUE(ShowsStrip(view->GetScreen(), map, 150, 30, 40, 20));
    map->Release();
}

TEST_F(PanoramaWindowTest, OnlySucceededDisplayEventsInvalidateAndUnknownOnesChangeNothing)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 150, 30, 30, 50);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    win::PaintAll();
    auto invalid = [&] {
        RECT r{};
        return view->GetUpdateRect(&r) != FALSE;
    };
    ASSERT_FALSE(invalid());

    // Unknown numbers: no state, picture, title or paint changes.
    const std::vector<uint8_t> before(view->GetScreen()->GetData(),
                                      view->GetScreen()->GetData() + view->GetScreen()->GetDataSize());
    const uint16_t mode = view->GetMode();
    const uint8_t state = view->GetStateBits();
    const std::string title = view->GetDocument()->GetTitle();
    for (int event : {0, 16, 17, 21, 100, 10000, 10002, 10004, 10005, 10010, -1}) {
        map->NotifyViewers(event, 1);
        EXPECT_EQ(view->GetMode(), mode) << event;
        EXPECT_EQ(view->GetStateBits(), state) << event;
        EXPECT_EQ(view->GetDocument()->GetTitle(), title) << event;
        EXPECT_FALSE(invalid()) << event;
    }
    EXPECT_EQ(std::vector<uint8_t>(view->GetScreen()->GetData(),
                                   view->GetScreen()->GetData() + view->GetScreen()->GetDataSize()),
              before);

    // Transparency 0 is what the cell has: failed, not repainted.
    view->RectViewNotify(1, nullptr, 0);
    EXPECT_FALSE(invalid());
    // A change: repainted without erasing.
    view->RectViewNotify(1, nullptr, 128);
    EXPECT_TRUE(invalid());
    EXPECT_FALSE(win::WindowSystem::Get().Find(view->m_hWnd)->eraseBackground);
    map->Release();
}

TEST_F(PanoramaWindowTest, MapGoingAwayClosesTheWindowEvenWithALevelToolActive)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    view->GetParentView()->SetTool(CWorldMapView::kLevel);
    ASSERT_NE(view->GetMode() & CRectMapView::levelTool, 0);
    ASSERT_EQ(CRectMapView::Views().m_count, 1);
    map->NotifyViewers(19, 0);
    EXPECT_EQ(CRectMapView::Views().m_count, 0);
    EXPECT_EQ(OpenPanoramaDocuments(), 0u);
    EXPECT_EQ(map->GetRefCount(), 1);  // the view and the document let go
    map->Release();
}

TEST_F(PanoramaWindowTest, CursorPrecedence)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    auto id = [](HCURSOR cursor) { return cursor ? win::CursorId(cursor) : 0u; };
    // A fresh view shows its (empty) tool cursor: none.
    EXPECT_EQ(view->ChooseCursor(), nullptr);
    view->GetParentView()->SetTool(CWorldMapView::kPan);
    EXPECT_EQ(id(view->ChooseCursor()), CRectMapView::kPanCursor);
    view->SetModeBits(CRectMapView::perspectiveTool, true);
    EXPECT_EQ(id(view->ChooseCursor()), CRectMapView::kPerspectiveCursor);
    // A print layout decides alone: states 1 to 6.
    auto* layout = new CPrinting;
    view->SetPrintLayout(layout);
    EXPECT_EQ(view->ChooseCursor(), nullptr);  // state 0: default handling
    view->SetPrintLayout(nullptr);
    EXPECT_EQ(id(view->ChooseCursor()), CRectMapView::kPerspectiveCursor);
    map->Release();
}

// ---- The outer view ------------------------------------------------------------------------------

TEST_F(PanoramaWindowTest, ToolbarButtonsFollowTheMapAndReset)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    CWorldMapView* outer = view->GetParentView();
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(outer->GetToolBar(), nullptr);
    EXPECT_EQ(outer->GetToolBar()->GetButtonCount(), 4);
    struct State {
        bool enabled, checked;
    };
    auto state = [&](UINT id) {
        State s{};
        outer->GetToolState(id, s.enabled, s.checked);
        return s;
    };
    // Not a full circle: rolling disabled; a preview: level enabled.
    EXPECT_FALSE(state(CWorldMapView::kRolling).enabled);
    EXPECT_TRUE(state(CWorldMapView::kLevel).enabled);
    EXPECT_TRUE(state(CWorldMapView::kPan).checked);
    map->NotifyViewers(10003, 1);
    EXPECT_TRUE(state(CWorldMapView::kRolling).enabled);

    outer->SendMessage(WM_COMMAND, CWorldMapView::kRolling, 0);
    EXPECT_EQ(outer->GetCurrentTool(), CWorldMapView::kRolling);
    EXPECT_TRUE(state(CWorldMapView::kRolling).checked);
    EXPECT_FALSE(state(CWorldMapView::kPan).checked);
    EXPECT_NE(view->GetMode() & CRectMapView::rollTool, 0);
    outer->SetTool(CWorldMapView::kLevel);  // level clears rolling
    EXPECT_EQ(view->GetMode() & (CRectMapView::rollTool | CRectMapView::levelTool), CRectMapView::levelTool);

    // Reset leveling: pan checked, the others not, rotation gone, map redrawn.
    const float rotation[3] = {0.0f, 0.1f, 0.0f};
    view->SetLevelRotation(rotation);
    outer->SetTool(CWorldMapView::kResetLeveling);
    EXPECT_EQ(outer->GetCurrentTool(), CWorldMapView::kPan);
    EXPECT_TRUE(state(CWorldMapView::kPan).checked);
    EXPECT_FALSE(state(CWorldMapView::kRolling).checked);
    EXPECT_FALSE(state(CWorldMapView::kLevel).checked);
    EXPECT_FALSE(state(CWorldMapView::kResetLeveling).checked);
    EXPECT_EQ(view->GetMode() & (CRectMapView::rollTool | CRectMapView::levelTool), 0);
    EXPECT_FALSE(view->HasLevelRotation());
    CToolBar* bar = outer->GetToolBar();
    EXPECT_NE(bar->GetButtonStyle(bar->CommandToIndex(CWorldMapView::kPan)) & TBBS_CHECKED, 0u);
    EXPECT_EQ(bar->GetButtonStyle(bar->CommandToIndex(CWorldMapView::kLevel)) & TBBS_CHECKED, 0u);

    // A final map: level disabled.
    map->NotifyViewers(10008, 1);
    EXPECT_FALSE(state(CWorldMapView::kLevel).enabled);
    EXPECT_TRUE(state(CWorldMapView::kResetLeveling).enabled);
    map->Release();
}

TEST_F(PanoramaWindowTest, ToolTipsOfBothWidths)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    CWorldMapView* outer = view->GetParentView();
    const std::string tip(100, 't');
    win::Resources::App().AddString(40001, "Status text\n" + tip);
    win::Resources::App().AddString(40002, "");

    TOOLTIPTEXTA narrow{};
    narrow.hdr.idFrom = 40001;
    narrow.hdr.code = TTN_NEEDTEXTA;
    outer->SendMessage(WM_NOTIFY, 40001, reinterpret_cast<LPARAM>(&narrow));
    EXPECT_EQ(std::string(narrow.szText), tip.substr(0, 79));
    EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "Status text");

    TOOLTIPTEXTW wide{};
    wide.hdr.idFrom = CWorldMapView::kResetLeveling;
    wide.hdr.code = TTN_NEEDTEXTW;
    outer->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    EXPECT_EQ(std::u16string(wide.szText), u"Reset leveling");
    EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "Reset Level-panorama adjustment.");
    TOOLTIPTEXTW wideLong{};
    wideLong.hdr.idFrom = 40001;
    wideLong.hdr.code = TTN_NEEDTEXTW;
    outer->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wideLong));
    EXPECT_EQ(std::u16string(wideLong.szText), std::u16string(79, u't'));

    // The toolbar's own id lookup from its window handle.
    TOOLTIPTEXTA byWindow{};
    byWindow.hdr.idFrom = reinterpret_cast<UINT_PTR>(outer->GetToolBar()->m_hWnd);
    byWindow.hdr.code = TTN_NEEDTEXTA;
    byWindow.uFlags = TTF_IDISHWND;
    outer->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&byWindow));
    EXPECT_EQ(std::string(byWindow.szText), "");  // the bar's id has no string

    for (UINT id : {0u, 40002u}) {
        Main().SetMessageText("unchanged");
        TOOLTIPTEXTA none{};
        none.hdr.idFrom = id;
        none.hdr.code = TTN_NEEDTEXTA;
        outer->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&none));
        EXPECT_EQ(none.szText[0], '\0') << id;
        EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "unchanged") << id;
    }
    map->Release();
}

TEST_F(PanoramaWindowTest, FrameFitsThePictureWithinTheFreeArea)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 0, 160, 0, 81);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    CWorldMapView* outer = view->GetParentView();
    CFrameWnd* frame = outer->GetParentFrame();
    RECT free{};
    Main().GetFreeClientRect(&free);
    const int aw = free.right - free.left, ah = free.bottom - free.top;
    auto frameRect = [&] {
        RECT r{};
        frame->GetWindowRect(&r);
        frame->GetParent()->ScreenToClient(&r);
        return r;
    };
    auto childRect = [&] {
        RECT r{};
        view->GetWindowRect(&r);
        outer->ScreenToClient(&r);
        return r;
    };

    // A small preview: the frame's client area holds the toolbar and the
    // picture with an 8-pixel margin.
    RECT client{};
    frame->GetClientRect(&client);
    const CSize bar = outer->GetToolBar()->CalcFixedLayout(FALSE, FALSE);
    EXPECT_TRUE(outer->GetToolBar()->IsWindowVisible());
    EXPECT_EQ(childRect().left, bar.cx);
    EXPECT_EQ(client.right, bar.cx + 160 + 8);
    EXPECT_EQ(client.bottom, 81 + 8);

    // Final: no toolbar, the picture fills the client area.
    map->NotifyViewers(10008, 1);
    outer->FitFrameToView();
    outer->GetClientRect(&client);
    EXPECT_FALSE(outer->GetToolBar()->IsWindowVisible());
    const RECT child = childRect();
    EXPECT_EQ(child.left, 0);
    EXPECT_EQ(child.top, 0);
    EXPECT_EQ(child.right, client.right);
    EXPECT_EQ(child.bottom, client.bottom);

    // Sticking out at the bottom right: moved left and up just enough.
    frame->SetWindowPos(nullptr, aw - 50, ah - 40, 300, 200, SWP_NOZORDER);
    outer->FitFrameToView();
    RECT r = frameRect();
    EXPECT_EQ(r.right, aw);
    EXPECT_EQ(r.bottom, ah);
    EXPECT_GT(r.left, 0);

    map->Release();

    // Larger than the free area: exactly the free area, at 0, 0.
    WorldMap* wide = MakeCodedMap(3, 2 * aw);
    SetArea(wide, 0, 2 * aw, 0, wide->GetHeight());
    CRectMapView* big = Open(wide);
    ASSERT_NE(big, nullptr);
    big->GetParentFrame()->SetWindowPos(nullptr, 40, 30, 200, 100, SWP_NOZORDER);
    big->GetParentView()->FitFrameToView();
    big->GetParentFrame()->GetWindowRect(&r);
    big->GetParentFrame()->GetParent()->ScreenToClient(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right - r.left, aw);
    EXPECT_EQ(r.bottom - r.top, ah);
    wide->Release();
}

// ---- Real pixels ----------------------------------------------------------------------------------

// A real panorama, 2000 x 1001, opened from its picture the way an image
// window re-converts a photograph (a full circle), then shown with its data
// area starting 1500 columns in: the screen image is ImageMagick's roll of the
// picture, and the window shows the screen image pixel for pixel at zoom 1.
TEST_F(PanoramaWindowTest, RealPanoramaOnScreen)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ASSERT_TRUE(testkit::RequireTool("compare"));
    const auto source = testkit::TestData("pannellum/examplepano.jpg");
    ASSERT_TRUE(std::filesystem::exists(source)) << source;
    testkit::TempDir dir;
    const std::string pano = dir.file("pano.ppm");
    const std::string strip = dir.file("strip.ppm");
    auto run = testkit::Run("convert " + source.string() + " -resize 2000x1001! " + pano);
    ASSERT_EQ(run.status, 0) << run.output;
    run = testkit::Run("convert " + pano + " -roll -1500+0 -crop 1500x1001+0+0 +repage " + strip);
    ASSERT_EQ(run.status, 0) << run.output;
    // Every pixel of a photograph is data: the map stores a first sample
    // (blue) of 0 as 1, since 0 there means "no data", and the screen shows
    // those pixels in their colour.
    Image* expected = testkit::ReadPnm(strip);
    ASSERT_NE(expected, nullptr);
    int blueZero = 0;
    for (int y = 0; y < expected->GetHeight(); ++y)
        for (int x = 0; x < expected->GetWidth(); ++x) {
            uint8_t* p = const_cast<uint8_t*>(Pixel(expected, x, y));
            if (p[0] == 0) {
                p[0] = 1;
                ++blueZero;
            }
        }
    ASSERT_GT(blueZero, 0) << "the picture has no pixel that shows the rule";
    ASSERT_TRUE(testkit::WritePnm(*expected, strip));
    ReleaseImage(expected);
    Image* image = testkit::ReadPnm(pano);
    ASSERT_NE(image, nullptr);
    Manager().SetReconvertDialog([](int, int, float* angle, float* offset, bool* fullCircle) {
        *angle = 360.0f;
        *offset = 0.0f;
        *fullCircle = true;
        return true;
    });
    const int before = CRectMapView::Views().m_count;
    ASSERT_TRUE(Manager().ReconvertToPanorama(image));
    ReleaseImage(image);
    ASSERT_EQ(CRectMapView::Views().m_count, before + 1);
    CRectMapView* view = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0));
    ASSERT_NE(view, nullptr);
    WorldMap* map = view->GetWorldMap();
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->GetWidth(), 2000);
    SetArea(map, 1500, 1000, 0, map->GetHeight());
    map->NotifyViewers(15, 0);
    Image* screen = view->GetScreen();
    ASSERT_EQ(screen->GetWidth(), 1500);
    ASSERT_EQ(screen->GetHeight(), map->GetHeight());
    const std::string screenFile = dir.file("screen.ppm");
    ASSERT_TRUE(testkit::WritePnm(*screen, screenFile));
    run = testkit::Run("compare -metric AE " + screenFile + " " + strip + " null: 2>&1");
    EXPECT_EQ(run.output.substr(0, run.output.find_first_of(" \n")), "0") << run.output;

    // The window: its client area is the top-left of the screen image.
    win::PaintAll();
    Image* shot = win::CaptureWindow(view->m_hWnd);
    ASSERT_NE(shot, nullptr);
    const int w = shot->GetWidth(), h = shot->GetHeight();
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);
    ASSERT_LE(w, 1500);
    const std::string shotFile = dir.file("shot.ppm");
    const std::string part = dir.file("part.ppm");
    ASSERT_TRUE(testkit::WritePnm(*shot, shotFile));
    run = testkit::Run("convert " + screenFile + " -crop " + std::to_string(w) + "x" + std::to_string(h) +
                       "+0+0 +repage " + part);
    ASSERT_EQ(run.status, 0) << run.output;
    run = testkit::Run("compare -metric AE " + shotFile + " " + part + " null: 2>&1");
    EXPECT_EQ(run.output.substr(0, run.output.find_first_of(" \n")), "0") << run.output << Differences(shot, screen);
    ReleaseImage(shot);
}

// A window larger than the picture centres it when fitted: the offsets are
// half the spare room, and the picture is drawn there on the face colour.
TEST_F(PanoramaWindowTest, FittedViewCentresThePicture)
{
    WorldMap* map = MakeCodedMap();
    SetArea(map, 150, 30, 30, 50);  // 40 x 20
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    map->NotifyViewers(10008, 1);  // final: no toolbar beside the view
    view->GetParentFrame()->SetWindowPos(nullptr, 0, 0, 400, 300, SWP_NOZORDER);  // room for the larger view
    view->MoveWindow(0, 0, 120, 70, FALSE);
    RECT client{};
    view->GetClientRect(&client);
    view->UpdateScrollSizes(true);
    int ox = -1, oy = -1;
    view->GetOffset(ox, oy);
    EXPECT_EQ(ox, (client.right - 40) / 2);
    EXPECT_EQ(oy, (client.bottom - 20) / 2);
    ASSERT_GT(ox, 0);
    ASSERT_GT(oy, 0);

    view->Invalidate(TRUE);
    win::PaintAll();
    Image* shot = win::CaptureWindow(view->m_hWnd);
    ASSERT_NE(shot, nullptr);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const uint8_t faceBgr[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
    // The bands next to the picture on all four sides.
    for (auto [x, y] : {std::pair{ox - 1, oy + 10}, std::pair{ox + 40, oy + 10}, std::pair{ox + 10, oy - 1},
                        std::pair{ox + 10, oy + 20}})
        EXPECT_EQ(std::memcmp(Pixel(shot, x, y), faceBgr, 3), 0) << x << "," << y;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(std::memcmp(Pixel(shot, ox + x, oy + y), Pixel(view->GetScreen(), x, y), 3), 0) << x << "," << y;
    ReleaseImage(shot);

    view->UpdateScrollSizes(false);  // not fitted: the picture starts at the corner
    view->GetOffset(ox, oy);
    EXPECT_EQ(ox, 0);
    EXPECT_EQ(oy, 0);
    map->Release();
}

// Run by the next test inside its own Xvfb: the panorama window of the real
// panorama shown through the X11 presenter, captured from the X server and
// compared with the headless surface over the panorama view.
TEST_F(PanoramaWindowTest, DISABLED_ShownOnTheDisplay)
{
    const char* shot = std::getenv("FENDRAKE_PANORAMA_SHOT");
    ASSERT_NE(shot, nullptr);
    testkit::TempDir dir;
    const std::string pano = dir.file("pano.ppm");
    const auto run = testkit::Run("convert " + testkit::TestData("pannellum/examplepano.jpg").string() +
                                  " -resize 1000x501! " + pano);
    ASSERT_EQ(run.status, 0) << run.output;
    Image* image = testkit::ReadPnm(pano);
    ASSERT_NE(image, nullptr);
    auto* map = new WorldMap();
    ASSERT_TRUE(map->TransferFromImage(image, 1000, 0, 0, 0));
    ReleaseImage(image);
    SetArea(map, 700, 600, 0, map->GetHeight());
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    PresentedCapture shown;
    ASSERT_TRUE(CapturePresented(Main().m_hWnd, shot, shown));
    const RefPtr<Image>& screen = shown.screen;    // R, G, B
    const RefPtr<Image>& surface = shown.surface;  // B, G, R
    RECT area{};
    view->GetWindowRect(&area);
    Main().ScreenToClient(&area);
    ASSERT_GT(area.right - area.left, 100);
    long differing = 0;
    for (int y = std::max(0, static_cast<int>(area.top)); y < std::min(static_cast<int>(area.bottom), surface->GetHeight()); ++y)
        for (int x = std::max(0, static_cast<int>(area.left)); x < std::min(static_cast<int>(area.right), surface->GetWidth()); ++x) {
            const uint8_t* a = Pixel(screen.get(), x, y);
            const uint8_t* b = Pixel(surface.get(), x, y);
            differing += (a[0] != b[2] || a[1] != b[1] || a[2] != b[0]) ? 1 : 0;
        }
    EXPECT_EQ(differing, 0);
    win::X11Presenter::Stop();
    map->Release();
}

TEST_F(PanoramaWindowTest, OnAVirtualDisplayThePanoramaShowsItsHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("convert"));
    const std::string shot = Home().file("panorama.ppm");
    const auto run = testkit::Run("FENDRAKE_PANORAMA_SHOT='" + shot +
                                  "' xvfb-run -a -s '-screen 0 1920x1200x24 -nolisten tcp' /proc/" +
                                  std::to_string(getpid()) +
                                  "/exe --gtest_also_run_disabled_tests "
                                  "--gtest_filter=PanoramaWindowTest.DISABLED_ShownOnTheDisplay 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
    RefPtr<Image> screen = RefPtr<Image>::adopt(testkit::ReadPnm(shot));
    EXPECT_TRUE(screen) << "no screenshot was taken";
}
