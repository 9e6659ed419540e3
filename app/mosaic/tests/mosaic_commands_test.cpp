// The panorama view's own commands: the quarter-turn picture against
// ImageMagick, the enabling of the publishing commands, their hand-over to
// the manager, the grid dragged with the mouse, the refusal of an empty data
// area, and the preview pane's pixels over a real panorama.
#include "app/mosaic/tests/mosaic_fixture.h"

#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "platform/imgcore/ps_map.h"
#include "platform/win/cmd_target.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/win/window_dc.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

class MosaicCommandsTest : public MosaicTest {
protected:
    // A mouse message at a point of the view given in data pixels.
    static void Mouse(CRectMapView* view, UINT message, int x, int y)
    {
        int ox = 0, oy = 0;
        view->GetOffset(ox, oy);
        float zx = 1.0f, zy = 1.0f;
        view->GetCurrentZoom(zx, zy);
        const CPoint scroll = view->GetScrollPosition();
        const int cx = static_cast<int>(x * zx) + ox - scroll.x, cy = static_cast<int>(y * zy) + oy - scroll.y;
        view->SendMessage(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                          MAKELPARAM(static_cast<uint16_t>(cx), static_cast<uint16_t>(cy)));
    }
};

TEST_F(MosaicCommandsTest, QuarterTurnOfTheSelectionEqualsImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    CRectMapView* view = Open(MakeCodedMap(1000));
    ASSERT_NE(view, nullptr);
    Image* screen = view->GetScreen();
    ASSERT_NE(screen, nullptr);
    const RECT selection{100, 50, 399, 149};  // 300 x 100, corners included
    view->SetSelectionRect(&selection);
    ASSERT_EQ(view->GetSelectionRect()->right, 399);

    char number[32] = {};
    Manager().FormatPanoramaNumber(number, sizeof number);
    const std::string name = std::string("Rotated Image ") + number;
    Command(view, CRectMapView::kRotatedImageCommand);
    CImageDoc* doc = FindImageDoc(name.c_str());
    ASSERT_NE(doc, nullptr) << name;
    Image* turned = doc->GetImage();
    ASSERT_NE(turned, nullptr);
    ASSERT_EQ(turned->GetWidth(), 100);
    ASSERT_EQ(turned->GetHeight(), 300);
    // The top-left pixel is the selection's top-right pixel.
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(turned, 0, 0)[c], Pixel(screen, 399, 50)[c]);

    testkit::TempDir dir;
    auto* part = new Image(300, 100, 3);
    screen->CopyDataTo(100, 399, 50, 149, part, 0, 0);
    ASSERT_TRUE(testkit::WritePnm(*part, dir.file("selection.ppm")));
    ReleaseImage(part);
    const auto run = testkit::Run("convert '" + dir.file("selection.ppm") + "' -rotate -90 '" + dir.file("turned.ppm") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    Image* expected = testkit::ReadPnm(dir.file("turned.ppm"));
    ASSERT_NE(expected, nullptr);
    EXPECT_TRUE(testkit::SamePixels(*turned, *expected));
    ReleaseImage(expected);

    // The next one takes the next number.
    Command(view, CRectMapView::kRotatedImageCommand);
    EXPECT_NE(FindImageDoc((std::string("Rotated Image ") + std::to_string(std::stoi(number) + 1)).c_str()), nullptr);
}

TEST_F(MosaicCommandsTest, WebTourIsAlwaysEnabledTheOthersOnFinalMapsOnly)
{
    CRectMapView* view = Open(MakeCodedMap(400), false);
    ASSERT_NE(view, nullptr);
    for (bool final : {false, true}) {
        m_map->NotifyViewers(10008, final ? 1 : 0);
        for (UINT id : {32889u, 33138u, 32800u, 33113u, 33135u, 33111u}) {
            const win::CommandState state = win::QueryCommandState(view, id);
            ASSERT_TRUE(state.updateHandler) << id;
            EXPECT_EQ(state.enabled, final) << id;
        }
        for (UINT id : {33154u, 33134u, 59001u}) {
            const win::CommandState state = win::QueryCommandState(view, id);
            ASSERT_TRUE(state.updateHandler) << id;
            EXPECT_TRUE(state.enabled) << id;
        }
    }
}

TEST_F(MosaicCommandsTest, PublishingCommandsReachTheManagerWithThisView)
{
    CRectMapView* view = Open(MakeCodedMap(400));
    ASSERT_NE(view, nullptr);
    // An unsaved panorama: each of the manager's commands answers the same.
    size_t asked = 0;
    for (UINT id : {33113u, 33154u, 33134u, 33111u}) {
        Prompter().ExpectMessageBox("Please save panorama first.", IDOK);
        Command(view, id);
        EXPECT_EQ(Prompter().MessageBoxes().size(), ++asked) << id;
    }
    // The QuickTime tour page needs a movie this view has saved.
    Prompter().ExpectMessageBox("Please save to QuickTime format file first.", IDOK);
    Command(view, 33135);
    EXPECT_EQ(Prompter().MessageBoxes().size(), ++asked);
}

TEST_F(MosaicCommandsTest, ViewInViewerOpensThisPanoramasFileInTheViewerProgram)
{
    CRectMapView* view = Open(MakeCodedMap(400));
    ASSERT_NE(view, nullptr);
    // Headless, the shell only records what it was asked to start.
    win::ClearShellRequests();
    Prompter().ExpectMessageBox("Please first save panorama to .jpg or .tif file format.", IDOK);
    Command(view, 32800);
    EXPECT_EQ(Prompter().MessageBoxes().size(), 1u) << "an unsaved panorama is not shown";
    EXPECT_TRUE(win::ShellRequests().empty());

    const std::string viewer = win::ProgramPath(CFendrakeApp::GetProgramDir() + "\\Vistrel.exe");
    struct Case {
        const char* name;
        std::string file;
        std::string parameters;
    };
    const Case cases[] = {
        {"/saved/pano one.jpg", viewer, "\"/saved/pano one.jpg\""},
        {"/saved/pano.tif", viewer, "\"/saved/pano.tif\""},
        {"/saved/pano.mov", "/saved/pano.mov", ""},  // a movie goes to its own player
    };
    for (const Case& c : cases) {
        win::ClearShellRequests();
        m_map->SetName(c.name);
        Command(view, 32800);
        const auto asked = win::ShellRequests();
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_EQ(asked[0].verb, "open") << c.name;
        EXPECT_EQ(asked[0].file, c.file) << c.name;
        EXPECT_EQ(asked[0].parameters, c.parameters) << c.name;
        EXPECT_EQ(asked[0].show, SW_SHOWNORMAL) << c.name;
    }
    EXPECT_EQ(Prompter().MessageBoxes().size(), 1u) << "no further message";
}

TEST_F(MosaicCommandsTest, AnEmptyDataAreaMakesNoMosaic)
{
    CRectMapView* view = Open(MakeCodedMap(400));
    ASSERT_NE(view, nullptr);
    m_map->m_yEnd = m_map->m_yStart;
    LogCapture log;
    Command(view, CRectMapView::kMosaicCommand);
    EXPECT_EQ(view->GetMosaicLayout(), nullptr);
    EXPECT_TRUE(log.contains("ERROR MosaicLayout::SetDataSize")) << log.text();
}

TEST_F(MosaicCommandsTest, TheViewHandsItsMouseToTheGrid)
{
    CRectMapView* view = StartMosaic(1000);
    ASSERT_NE(view, nullptr);
    MosaicLayout* layout = view->GetMosaicLayout();
    ASSERT_NE(layout, nullptr);
    const int y = (layout->GetSkyRow() + layout->GetGroundRow()) / 2;
    // Boundary 3 dragged far right stops one pixel left of boundary 4.
    Mouse(view, WM_LBUTTONDOWN, 498, y);
    Mouse(view, WM_MOUSEMOVE, 700, y);
    Mouse(view, WM_MOUSEMOVE, 900, y);
    Mouse(view, WM_LBUTTONUP, 900, y);
    EXPECT_EQ(layout->GetBoundary(3), 663);
    EXPECT_EQ(layout->GetBoundary(4), 664);
    // The sky line dragged down stops above the ground line.
    const int ground = layout->GetGroundRow();
    Mouse(view, WM_LBUTTONDOWN, 250, layout->GetSkyRow());
    Mouse(view, WM_LBUTTONUP, 250, ground + 40);
    EXPECT_EQ(layout->GetSkyRow(), ground - 1);
    // A press on nothing drags nothing.
    Mouse(view, WM_LBUTTONDOWN, 80, y);
    Mouse(view, WM_LBUTTONUP, 300, y);
    EXPECT_EQ(layout->GetBoundary(0), 0);
    EXPECT_EQ(layout->GetBoundary(1), 166);
}

TEST_F(MosaicCommandsTest, TheViewDrawsTheGridUntilItIsRemoved)
{
    CRectMapView* view = StartMosaic(1000);
    ASSERT_NE(view, nullptr);
    MosaicLayout* layout = view->GetMosaicLayout();
    ASSERT_NE(layout, nullptr);
    const int sky = layout->GetSkyRow(), ground = layout->GetGroundRow();
    // Red pixels (B, G, R = 0, 0, 255) down the column of boundary 1; the
    // coded panorama never holds a sample of 255.
    auto redInColumn = [&]() {
        win::PaintAll();
        RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(view->m_hWnd));
        if (!shown) return -1;
        int ox = 0, oy = 0;
        view->GetOffset(ox, oy);
        float zx = 1.0f, zy = 1.0f;
        view->GetCurrentZoom(zx, zy);
        const CPoint scroll = view->GetScrollPosition();
        const int x = static_cast<int>(166 * zx) + ox - scroll.x;
        const int top = static_cast<int>(sky * zy) + oy - scroll.y + 1;
        const int bottom = static_cast<int>(ground * zy) + oy - scroll.y - 1;
        int red = 0;
        for (int y = std::max(0, top); y < std::min(bottom, shown->GetHeight()); ++y) {
            const uint8_t* p = Pixel(shown.get(), x, y);
            if (p[0] == 0 && p[1] == 0 && p[2] == 255) ++red;
        }
        return red;
    };
    EXPECT_GT(redInColumn(), 10);
    view->RemoveMosaicLayout();
    EXPECT_EQ(view->GetMosaicLayout(), nullptr);
    EXPECT_EQ(redInColumn(), 0) << "removing the grid repaints the view";
}

TEST_F(MosaicCommandsTest, PreviewPanePixelsOverARealPanorama)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    const std::string pano = dir.file("pano.ppm");
    const auto run = testkit::Run("convert '" +
                                  testkit::TestData("huginsample-durlach/durlach_saumarkt_equirect.jpg").string() +
                                  "' -resize 800x400! '" + pano + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    Image* image = testkit::ReadPnm(pano);
    ASSERT_NE(image, nullptr);
    auto* map = new WorldMap();
    ASSERT_TRUE(map->TransferFromImage(image, 800, 0, 0, 0));
    ReleaseImage(image);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    Command(view, CRectMapView::kMosaicCommand);
    MosaicLayout* layout = view->GetMosaicLayout();
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->GetDataWidth(), 800);
    EXPECT_EQ(layout->GetResolutionPercent(), 37);
    CMosaicMakerDlg* dialog = layout->GetMakerDialog();
    ASSERT_NE(dialog, nullptr);
    CMosaicPreviewPane* pane = dialog->GetPane();
    ASSERT_NE(pane, nullptr);
    pane->SetBackgroundColour(RGB(10, 200, 30));
    win::PaintAll();
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(pane->m_hWnd));  // B, G, R
    ASSERT_TRUE(shown);
    int w = 0, h = 0;
    pane->GetClientSize(w, h);
    ASSERT_EQ(shown->GetWidth(), w);
    ASSERT_EQ(shown->GetHeight(), h);

    // What the pane should show: the layout's base image at the pane's width
    // through the foreground map, the colour where it leaves no data.
    RefPtr<Image> base = RefPtr<Image>::adopt(layout->MakeBackground(w));
    ASSERT_TRUE(base);
    auto* expected = new Image(w, h, 3);
    ASSERT_TRUE(pane->GetForegroundMap()->MapImage(base.get(), expected));
    int foreground = 0, background = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* e = Pixel(expected, x, y);
            const uint8_t* s = Pixel(shown.get(), x, y);
            if (e[0] != 0) {
                ++foreground;
                for (int c = 0; c < 3; ++c) ASSERT_LE(std::abs(s[c] - e[c]), 1) << x << "," << y << " channel " << c;
            } else {
                ++background;
                ASSERT_EQ(s[0], 30) << x << "," << y;
                ASSERT_EQ(s[1], 200) << x << "," << y;
                ASSERT_EQ(s[2], 10) << x << "," << y;
            }
        }
    ReleaseImage(expected);
    // 800 x 400 at 37 % is 296 x 148, drawn 320 wide and 160 high, centred.
    EXPECT_EQ(base->GetHeight(), 160);
    EXPECT_EQ(foreground, w * 160);
    EXPECT_EQ(background, w * (h - 160));
    EXPECT_EQ(Pixel(shown.get(), 0, (h - 160) / 2)[0], 255) << "the foreground starts below the band";
    EXPECT_EQ(Pixel(shown.get(), 0, (h - 160) / 2 - 1)[1], 200);
    EXPECT_EQ(Pixel(shown.get(), w - 1, h / 2)[0], 128) << "the darker right third";
}

}  // namespace
