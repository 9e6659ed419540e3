// The maker dialog and its preview pane in a running application: start,
// tile count on Enter, resolution text and slider, sky and ground, the
// background colour and picture, docking, the pane's drag maths and menu,
// "Make" and closing.
#include "app/mosaic/tests/mosaic_fixture.h"

#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "platform/imgcore/ps_map.h"
#include "platform/win/choose_dialogs.h"
#include "platform/win/user_input.h"

#include <cmath>
#include <string>

namespace {

class MosaicMakerTest : public MosaicTest {
protected:
    void SetUp() override
    {
        MosaicTest::SetUp();
        m_view = StartMosaic(1000);
        ASSERT_NE(m_view, nullptr);
        m_layout = m_view->GetMosaicLayout();
        ASSERT_NE(m_layout, nullptr);
        m_dialog = m_layout->GetMakerDialog();
        ASSERT_NE(m_dialog, nullptr);
        m_pane = m_dialog->GetPane();
        ASSERT_NE(m_pane, nullptr);
    }

    void Enter(const std::string& text)
    {
        CWnd* edit = m_dialog->GetDlgItem(CMosaicMakerDlg::kTileCount);
        win::user::TypeText(edit->m_hWnd, text);
        edit->SendMessage(WM_KEYDOWN, VK_RETURN, 0);
    }
    void Click(UINT id) { win::user::ClickControl(m_dialog->GetDlgItem(id)); }

    // Mouse messages to the pane (client pixels).
    void PaneMouse(UINT message, int x, int y)
    {
        m_pane->SendMessage(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                            MAKELPARAM(static_cast<uint16_t>(x), static_cast<uint16_t>(y)));
    }
    // A picture behind the mosaic, as "Open" gives it.
    void UsePicture()
    {
        Image* picture = testkit::MakePatternImage(300, 200, 3);
        m_pane->SetBackgroundImage(picture);
        ReleaseImage(picture);
    }

    CRectMapView* m_view = nullptr;
    MosaicLayout* m_layout = nullptr;
    CMosaicMakerDlg* m_dialog = nullptr;
    CMosaicPreviewPane* m_pane = nullptr;
};

TEST_F(MosaicMakerTest, StartLaysTheGridOnceAndShowsTheBaseImageInThePane)
{
    EXPECT_EQ(m_layout->GetDataWidth(), 1000);
    EXPECT_EQ(m_layout->GetResolutionPercent(), 30);
    EXPECT_EQ(m_layout->GetTileCount(), 6);
    EXPECT_EQ(m_layout->GetSkyRow(), m_layout->GetDataHeight() / 4);
    EXPECT_EQ(m_layout->GetView(), m_view);
    EXPECT_EQ(m_dialog->GetTileCount(), 6);
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kTileCount), "6");
    EXPECT_EQ(m_dialog->GetWindowText(), "Grivelle Maker");

    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    ASSERT_GT(w, 0);
    ASSERT_NE(m_pane->GetForeground(), nullptr);
    EXPECT_EQ(m_pane->GetForeground()->GetWidth(), w) << "the base image is made at the pane's width";
    EXPECT_NEAR(m_pane->GetForegroundScale(), static_cast<double>(w - 1) / w, 1e-9) << "zoomed to fit";

    // The command does nothing while a grid is shown.
    Command(m_view, CRectMapView::kMosaicCommand);
    EXPECT_EQ(m_view->GetMosaicLayout(), m_layout);
    EXPECT_EQ(m_layout->GetMakerDialog(), m_dialog);
}

TEST_F(MosaicMakerTest, SizeTextAndResolutionSlider)
{
    // A span of 2000 x 600 at 50 %.
    ASSERT_TRUE(m_layout->SetDataSize(2001, 900, false));
    ASSERT_TRUE(m_layout->SetTileCount(5));
    m_layout->SetRows(100, 700);
    m_layout->SetResolutionPercent(50);
    m_dialog->ShowResolution();
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kSizeText), "1000x300");
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kPercentText), "50%");

    auto* slider = dynamic_cast<CSliderCtrl*>(m_dialog->GetDlgItem(CMosaicMakerDlg::kResolution));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->GetPos(), 50);
    EXPECT_EQ(slider->GetRangeMin(), 10);
    EXPECT_EQ(slider->GetRangeMax(), 100);
    // Thumb tracking brings its position with the message.
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 80), reinterpret_cast<LPARAM>(slider->m_hWnd));
    EXPECT_EQ(m_layout->GetResolutionPercent(), 80);
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kSizeText), "1600x480");
    // The end of a drag reads the control.
    slider->SetPos(25);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->m_hWnd));
    EXPECT_EQ(m_layout->GetResolutionPercent(), 25);
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kPercentText), "25%");
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kSizeText), "500x150");
}

TEST_F(MosaicMakerTest, EnterRegridsAtOnceAndOnlyOnAChange)
{
    Enter("4");
    EXPECT_EQ(m_layout->GetTileCount(), 4);
    EXPECT_EQ(m_layout->GetBoundary(1), 250);

    // Enter without a change in the edit does nothing, even when the grid
    // was changed behind the dialog's back.
    ASSERT_TRUE(m_layout->SetTileCount(5));
    Enter("4");
    EXPECT_EQ(m_layout->GetTileCount(), 5);

    // A count that cannot fit is refused and the edit shows the grid's count.
    LogCapture log;
    Enter("0");
    EXPECT_EQ(m_layout->GetTileCount(), 5);
    EXPECT_TRUE(log.contains("ERROR MosaicLayout::SetTileCount")) << log.text();
    EXPECT_EQ(m_dialog->GetDlgItemText(CMosaicMakerDlg::kTileCount), "5");
    Enter("600");
    EXPECT_EQ(m_layout->GetTileCount(), 5);
}

TEST_F(MosaicMakerTest, SkyAndGroundTilesStartInTheMiddleColumnAndTheirHandlesWin)
{
    Click(CMosaicMakerDlg::kGround);
    EXPECT_TRUE(m_layout->IsGroundOn());
    EXPECT_EQ(m_layout->GetGroundTile(), 3) << "7 boundaries / 2";
    Click(CMosaicMakerDlg::kSky);
    EXPECT_TRUE(m_layout->IsSkyOn());
    EXPECT_EQ(m_layout->GetSkyTile(), 3);

    const int middle = (m_layout->GetBoundary(3) + m_layout->GetBoundary(4)) / 2;
    const int sky = m_layout->GetSkyRow(), ground = m_layout->GetGroundRow();
    EXPECT_EQ(m_layout->HitTest(middle, sky), MosaicLayout::kSkyHandle) << "the handle beats the sky line";
    EXPECT_EQ(m_layout->HitTest(middle + 10, sky - 6), MosaicLayout::kSkyHandle);
    EXPECT_EQ(m_layout->HitTest(middle + 11, sky - 1), MosaicLayout::kSkyLine);
    EXPECT_EQ(m_layout->HitTest(middle, ground + 2), MosaicLayout::kGroundHandle);
    EXPECT_EQ(m_layout->HitTest(middle, ground + 7), MosaicLayout::kNothing);

    // Turned off, the handle is gone; on again, the tile is remembered.
    Click(CMosaicMakerDlg::kSky);
    EXPECT_FALSE(m_layout->IsSkyOn());
    EXPECT_EQ(m_layout->HitTest(middle, sky - 5), MosaicLayout::kNothing);
    // Fewer tiles pull a tile index back inside.
    Enter("2");
    EXPECT_EQ(m_layout->GetGroundTile(), 1);
}

TEST_F(MosaicMakerTest, BackgroundColourShowsAroundTheForeground)
{
    Prompter().ExpectDialog(CColorDialog::kTemplateId, [](CDialog& c) {
        win::user::TypeText(c.GetDlgItem(CColorDialog::kRed)->m_hWnd, "10");
        win::user::TypeText(c.GetDlgItem(CColorDialog::kGreen)->m_hWnd, "20");
        win::user::TypeText(c.GetDlgItem(CColorDialog::kBlue)->m_hWnd, "30");
        win::user::ClickControl(c.GetDlgItem(IDOK));
    });
    Click(CMosaicMakerDlg::kSelect);
    EXPECT_EQ(m_dialog->GetBackgroundColour(), RGB(10, 20, 30));
    EXPECT_EQ(m_pane->GetBackgroundKind(), 1);
    Image* screen = m_pane->GetScreenImage();
    ASSERT_NE(screen, nullptr);
    // The foreground (fitted, centred vertically) keeps its pixels; the
    // band above it takes the colour (B, G, R in the image).
    const uint8_t* top = Pixel(screen, 5, 0);
    EXPECT_EQ(top[0], 30);
    EXPECT_EQ(top[1], 20);
    EXPECT_EQ(top[2], 10);
    const uint8_t* middle = Pixel(screen, 5, screen->GetHeight() / 2);
    EXPECT_EQ(middle[0], 255);
    EXPECT_EQ(middle[2], 1);
}

TEST_F(MosaicMakerTest, OpeningTheSamePictureAgainDoesNotReloadIt)
{
    const std::string path = testkit::TestData("libjpeg-turbo/testimgfst100.jpg").string();
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {path};
    Prompter().ExpectFileDialog("Find Image", answer).ExpectFileDialog("Find Image", answer);
    EXPECT_FALSE(m_dialog->GetDlgItem(CMosaicMakerDlg::kImageRadio)->IsWindowEnabled());
    Click(CMosaicMakerDlg::kOpen);
    Image* first = m_dialog->GetBackgroundImage();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(m_dialog->GetBackgroundPath(), path);
    EXPECT_TRUE(m_dialog->GetDlgItem(CMosaicMakerDlg::kImageRadio)->IsWindowEnabled());
    EXPECT_EQ(m_pane->GetBackgroundKind(), 0) << "the colour is still the chosen kind";
    const auto asked = Prompter().FileDialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].filter.find("Jpeg File (*.jpg)"), std::string::npos);
    EXPECT_EQ(asked[0].defaultExt, "jpg");

    Click(CMosaicMakerDlg::kOpen);
    EXPECT_EQ(m_dialog->GetBackgroundImage(), first) << "the same path is not loaded again";

    // The picture radio hands the picture to the pane.
    Click(CMosaicMakerDlg::kImageRadio);
    EXPECT_EQ(m_dialog->GetBackgroundKind(), 1);
    EXPECT_EQ(m_pane->GetBackgroundKind(), 2);
}

TEST_F(MosaicMakerTest, AGreyPhotographBecomesAColourPictureBehindTheMosaic)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    const std::string path = dir.file("grey.jpg");
    const auto run = testkit::Run("convert '" + testkit::TestData("libjpeg-turbo/testimgfst100.jpg").string() +
                                  "' -colorspace Gray -type Grayscale '" + path + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    Image* grey = nullptr;
    LoadImage(path.c_str(), &grey);
    ASSERT_NE(grey, nullptr);
    ASSERT_EQ(grey->GetChannels(), 1) << "the file must really be a one-channel JPEG";

    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {path};
    Prompter().ExpectFileDialog("Find Image", answer);
    Click(CMosaicMakerDlg::kOpen);
    Image* picture = m_dialog->GetBackgroundImage();
    ASSERT_NE(picture, nullptr) << "a grey picture is accepted";
    ASSERT_EQ(picture->GetChannels(), 3);
    ASSERT_EQ(picture->GetWidth(), grey->GetWidth());
    ASSERT_EQ(picture->GetHeight(), grey->GetHeight());
    int differing = 0;
    for (int y = 0; y < grey->GetHeight(); ++y)
        for (int x = 0; x < grey->GetWidth(); ++x) {
            const uint8_t g = grey->GetData()[static_cast<size_t>(y) * grey->GetRowByte() + x];
            const uint8_t* p = Pixel(picture, x, y);
            differing += p[0] != g || p[1] != g || p[2] != g;
        }
    EXPECT_EQ(differing, 0) << "every sample is the grey value";
    EXPECT_TRUE(m_dialog->GetDlgItem(CMosaicMakerDlg::kImageRadio)->IsWindowEnabled());

    // Chosen as the background, the pane shows it above the fitted foreground.
    Click(CMosaicMakerDlg::kImageRadio);
    ASSERT_EQ(m_pane->GetBackgroundKind(), 2);
    Image* screen = m_pane->GetScreenImage();
    ASSERT_NE(screen, nullptr);
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    ASSERT_GT((h - m_pane->GetForeground()->GetHeight()) / 2, 3);
    for (int x : {0, 17, 100, 200}) {
        const uint8_t g = grey->GetData()[2 * static_cast<size_t>(grey->GetRowByte()) + x];
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(screen, x, 2)[c], g) << x << "," << c;
    }
    ReleaseImage(grey);
}

TEST_F(MosaicMakerTest, DockingPlacesThePaneBesideTheDialog)
{
    RECT dialog{}, pane{};
    auto rects = [&] {
        m_dialog->GetWindowRect(&dialog);
        m_pane->GetWindowRect(&pane);
    };
    const int paneWidth = [&] { RECT r{}; m_pane->GetWindowRect(&r); return r.right - r.left; }();
    m_pane->OnMenuCommand(CMosaicPreviewPane::kDockLeft);
    rects();
    EXPECT_EQ(m_pane->GetDockSide(), 1);
    EXPECT_EQ(pane.right, dialog.left);
    EXPECT_EQ(pane.bottom, dialog.bottom);
    EXPECT_EQ(pane.right - pane.left, paneWidth) << "the pane keeps its size";

    m_pane->OnMenuCommand(CMosaicPreviewPane::kDockRight);
    rects();
    EXPECT_EQ(pane.left, dialog.right);
    EXPECT_EQ(pane.bottom, dialog.bottom);

    m_pane->OnMenuCommand(CMosaicPreviewPane::kDockBottom);
    rects();
    EXPECT_EQ(pane.top, dialog.bottom);
    EXPECT_EQ((pane.left + pane.right) / 2, (dialog.left + dialog.right) / 2);

    // Moving the dialog takes the pane along.
    m_dialog->SetWindowPos(nullptr, dialog.left + 37, dialog.top + 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    rects();
    EXPECT_EQ(pane.top, dialog.bottom);
    EXPECT_EQ((pane.left + pane.right) / 2, (dialog.left + dialog.right) / 2);
}

TEST_F(MosaicMakerTest, RotationNeedsAPressAwayFromTheCentre)
{
    UsePicture();
    m_pane->OnMenuCommand(CMosaicPreviewPane::kBackgroundRotate);
    ASSERT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kRotateBack);
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    const int cx = w / 2, cy = h / 2;
    PSMap* map = m_dialog->GetBackgroundMap();
    // 14 pixels (196) and 10, 9 (181) are inside the dead zone; 10, 10 (200) is not.
    for (auto offset : {std::pair{14, 0}, std::pair{10, 9}, std::pair{0, -14}}) {
        PaneMouse(WM_LBUTTONDOWN, cx + offset.first, cy + offset.second);
        EXPECT_FALSE(m_pane->IsDragging()) << offset.first << "," << offset.second;
        PaneMouse(WM_MOUSEMOVE, cx, cy + 60);
        PaneMouse(WM_LBUTTONUP, cx, cy + 60);
        EXPECT_TRUE(map->IsConstant());
    }
    // A quarter turn: from right of the centre to below it (sine 1).
    PaneMouse(WM_LBUTTONDOWN, cx + 10, cy + 10);
    EXPECT_TRUE(m_pane->IsDragging());
    PaneMouse(WM_LBUTTONUP, cx + 10, cy + 10);
    PaneMouse(WM_LBUTTONDOWN, cx + 50, cy);
    PaneMouse(WM_MOUSEMOVE, cx, cy + 50);
    EXPECT_NEAR(map->A(), 0.0, 1e-12);
    EXPECT_NEAR(map->C(), 1.0, 1e-12);
    double x = 0, y = 0;
    map->MapPoint(cx + 20, cy, &x, &y);
    EXPECT_NEAR(x, cx, 1e-9);
    EXPECT_NEAR(y, cy + 20, 1e-9);
    // Rebuilt from the copy at button-down: the opposite side is a half turn.
    PaneMouse(WM_MOUSEMOVE, cx - 50, cy);
    EXPECT_NEAR(map->A(), -1.0, 1e-12);
    EXPECT_NEAR(map->C(), 0.0, 1e-12);
    // A point within the dead zone during the drag changes nothing.
    PaneMouse(WM_MOUSEMOVE, cx + 3, cy + 3);
    EXPECT_NEAR(map->A(), -1.0, 1e-12);
    PaneMouse(WM_LBUTTONUP, cx - 50, cy);
    EXPECT_FALSE(m_pane->IsDragging());
}

TEST_F(MosaicMakerTest, ZoomDragsClampBetweenAFifthAndThreeTimes)
{
    UsePicture();
    m_pane->OnMenuCommand(CMosaicPreviewPane::kBackgroundZoom);
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    const int cx = w / 2, cy = h / 2;
    PSMap* map = m_dialog->GetBackgroundMap();
    PaneMouse(WM_LBUTTONDOWN, cx + 20, cy);
    ASSERT_TRUE(m_pane->IsDragging());
    const struct {
        int x, y;
        double scale;
    } moves[] = {{cx + 40, cy, 2.0}, {cx + 100, cy, 3.0}, {cx, cy + 150, 3.0}, {cx + 10, cy, 0.5}, {cx + 2, cy, 0.2},
                 {cx, cy, 0.2}};
    for (const auto& m : moves) {
        PaneMouse(WM_MOUSEMOVE, m.x, m.y);
        EXPECT_NEAR(map->A(), m.scale, 1e-6) << m.x << "," << m.y;
        EXPECT_NEAR(map->D(), m.scale, 1e-6);
        double x = 0, y = 0;
        map->MapPoint(cx, cy, &x, &y);
        EXPECT_NEAR(x, cx, 1e-9) << "the centre stays put";
    }
    PaneMouse(WM_LBUTTONUP, cx, cy);

    // The foreground never grows past the pane's width.
    m_pane->OnMenuCommand(CMosaicPreviewPane::kForegroundZoom);
    ASSERT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kZoomFore);
    PaneMouse(WM_LBUTTONDOWN, cx + 20, cy);
    PaneMouse(WM_MOUSEMOVE, cx + 60, cy);
    EXPECT_LE(m_pane->GetForegroundScale(), 1.0 + 1e-9);
    double left = 0;
    m_pane->GetForegroundMap()->MapPoint(0, 0, &left, nullptr);
    EXPECT_GE(left, -1e-9) << "and stays inside it";
    PaneMouse(WM_MOUSEMOVE, cx + 10, cy);
    EXPECT_NEAR(m_pane->GetForegroundScale(), 0.5 * (w - 1) / w, 1e-6);
    PaneMouse(WM_LBUTTONUP, cx + 10, cy);
}

TEST_F(MosaicMakerTest, ThePopupMenuFollowsTheModeAndTheBackground)
{
    Prompter().ExpectPopupMenu(CMosaicPreviewPane::kForegroundPan).ExpectPopupMenu(0);
    win::user::RightClick(m_pane->m_hWnd, POINT{20, 20});
    EXPECT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kPanFore);
    win::user::RightClick(m_pane->m_hWnd, POINT{20, 20});
    const auto menus = Prompter().PopupMenus();
    ASSERT_EQ(menus.size(), 2u);
    for (const win::PopupMenuItem& item : menus[1].items) {
        if (item.id >= CMosaicPreviewPane::kBackgroundPan && item.id <= CMosaicPreviewPane::kBackgroundRotate) {
            EXPECT_FALSE(item.enabled) << item.id << " without a picture";
        }
        if (item.id == CMosaicPreviewPane::kForegroundPan) {
            EXPECT_EQ(item.text, "Cancel Forground Pan");
        }
        if (item.id == CMosaicPreviewPane::kForegroundZoom) {
            EXPECT_EQ(item.text, "Forground zoom");
        }
    }
    // The same item again turns the mode off; background modes need a picture.
    m_pane->OnMenuCommand(CMosaicPreviewPane::kForegroundPan);
    EXPECT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kNone);
    m_pane->OnMenuCommand(CMosaicPreviewPane::kBackgroundPan);
    EXPECT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kNone);
    EXPECT_EQ(m_pane->CursorForMode(), static_cast<UINT>(IDC_ARROW));
    UsePicture();
    m_pane->OnMenuCommand(CMosaicPreviewPane::kBackgroundPan);
    EXPECT_EQ(m_pane->GetMode(), CMosaicPreviewPane::kPanBack);
    EXPECT_EQ(m_pane->CursorForMode(), static_cast<UINT>(IDC_SIZEALL));
}

TEST_F(MosaicMakerTest, ForegroundPanStaysInsideThePane)
{
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    m_pane->OnMenuCommand(CMosaicPreviewPane::kForegroundZoom);
    PaneMouse(WM_LBUTTONDOWN, w / 2 + 40, h / 2);
    PaneMouse(WM_MOUSEMOVE, w / 2 + 20, h / 2);  // half the size
    PaneMouse(WM_LBUTTONUP, w / 2 + 20, h / 2);
    m_pane->OnMenuCommand(CMosaicPreviewPane::kForegroundPan);
    PSMap* map = m_pane->GetForegroundMap();
    const int fw = m_pane->GetForeground()->GetWidth();
    for (int dx : {500, -500, 7}) {
        PaneMouse(WM_LBUTTONDOWN, 100, 50);
        PaneMouse(WM_MOUSEMOVE, 100 + dx, 60);
        PaneMouse(WM_LBUTTONUP, 100 + dx, 60);
        double left = 0, right = 0, top = 0;
        map->MapPoint(0, 0, &left, &top);
        map->MapPoint(fw - 1, 0, &right, nullptr);
        EXPECT_GE(left, -1e-9) << dx;
        EXPECT_LE(right, w + 1e-9) << dx;
    }
}

TEST_F(MosaicMakerTest, MakeOpensConsecutiveWindowsAndBlackRendersWithItsFirstByteRaised)
{
    char number[32] = {};
    Manager().FormatPanoramaNumber(number, sizeof number);
    const int first = std::stoi(number);
    Click(CMosaicMakerDlg::kMake);
    Click(CMosaicMakerDlg::kMake);
    CImageDoc* one = FindImageDoc(("Grivelle " + std::to_string(first)).c_str());
    CImageDoc* two = FindImageDoc(("Grivelle " + std::to_string(first + 1)).c_str());
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    Image* made = one->GetImage();
    ASSERT_NE(made, nullptr);
    Image* base = m_dialog->MakeBackground(0);
    ASSERT_NE(base, nullptr);
    const int W = static_cast<int>(base->GetWidth() / m_pane->GetForegroundScale());
    EXPECT_EQ(made->GetWidth(), W);
    EXPECT_EQ(made->GetHeight(), static_cast<int>(W / m_pane->GetAspect()));

    // A black background: the result's first byte is 1 wherever the base is not.
    m_pane->SetBackgroundColour(RGB(0, 0, 0));
    auto* output = new Image(made->GetWidth(), made->GetHeight(), 3);
    m_pane->RenderTo(output, base);
    int background = 0, foreground = 0;
    for (int y = 0; y < output->GetHeight(); ++y)
        for (int x = 0; x < output->GetWidth(); ++x) {
            const uint8_t* p = Pixel(output, x, y);
            ASSERT_NE(p[0], 0) << x << "," << y << " reads as no data";
            if (p[0] == 1) {
                ++background;
                ASSERT_EQ(p[1], 0);
                ASSERT_EQ(p[2], 0);
            } else {
                ++foreground;
            }
        }
    EXPECT_GT(background, 0);
    EXPECT_EQ(foreground, base->GetWidth() * base->GetHeight()) << "the whole base is copied 1:1";
    ReleaseImage(output);
    ReleaseImage(base);
}

TEST_F(MosaicMakerTest, AWiderPaneRemakesTheForegroundAndANarrowerOneShrinksIt)
{
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    const double drawn = m_pane->GetForegroundScale() * w;
    RECT r{};
    m_pane->GetWindowRect(&r);
    const int frameW = (r.right - r.left) - w, frameH = (r.bottom - r.top) - h;
    // Twice as wide or more: a new base image at the new width, drawn as before.
    m_pane->SetWindowPos(nullptr, 0, 0, 700 + frameW, h + frameH, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_EQ(m_pane->GetForeground()->GetWidth(), 700);
    // The map is zoomed by old width / new width: the picture keeps its drawn size.
    EXPECT_NEAR(m_pane->GetForegroundScale() * 700, drawn / (w - 1) * 699.0 * w / 700, 1e-6);
    ASSERT_NE(m_pane->GetScreenImage(), nullptr);
    EXPECT_EQ(m_pane->GetScreenImage()->GetWidth(), 700);
    // Narrower than the drawn foreground: it is zoomed to fit and kept inside.
    m_pane->SetWindowPos(nullptr, 0, 0, 200 + frameW, h + frameH, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(m_pane->GetForeground()->GetWidth(), 700) << "only a wider pane remakes it";
    EXPECT_LE(m_pane->GetForegroundScale(), 1.0 + 1e-9);
    double left = 0;
    m_pane->GetForegroundMap()->MapPoint(0, 0, &left, nullptr);
    EXPECT_GE(left, -1e-9);
    EXPECT_EQ(m_pane->GetScreenImage()->GetWidth(), 200);
}

TEST_F(MosaicMakerTest, APictureBackgroundFollowsItsMapOnScreenAndInTheRender)
{
    Image* picture = testkit::MakePatternImage(400, 300, 3);
    m_pane->SetBackgroundImage(picture);
    int w = 0, h = 0;
    m_pane->GetClientSize(w, h);
    Image* screen = m_pane->GetScreenImage();
    ASSERT_NE(screen, nullptr);
    // The band above the fitted foreground shows the picture where it lies.
    const int band = (h - m_pane->GetForeground()->GetHeight()) / 2;
    ASSERT_GT(band, 3);
    auto same = [](const uint8_t* a, const uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; };
    EXPECT_TRUE(same(Pixel(screen, 17, 2), Pixel(picture, 17, 2)));
    // A shifted (still unscaled) map places the picture by whole pixels.
    m_dialog->GetBackgroundMap()->Shift(5, 1);
    m_pane->Compose();
    for (int x : {5, 60, 200})
        EXPECT_TRUE(same(Pixel(screen, x, 2), Pixel(picture, x - 5, 1))) << x;

    // Rendering at twice the client size zooms the picture by two.
    Image* base = m_dialog->MakeBackground(0);
    auto* output = new Image(2 * w, 2 * h, 3);
    m_pane->RenderTo(output, base);
    PSMap expectedMap;
    expectedMap.Shift(5, 1);
    expectedMap.Zoom(2, 2);
    auto* expected = new Image(2 * w, 2 * h, 3);
    ASSERT_TRUE(expectedMap.MapImage(picture, expected));
    for (int x : {10, 11, 150, 401})
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(output, x, 3)[c], Pixel(expected, x, 3)[c]) << x;
    ReleaseImage(expected);
    ReleaseImage(output);
    ReleaseImage(base);
    ReleaseImage(picture);
}

TEST_F(MosaicMakerTest, DoneAndCancelRemoveTheGrid)
{
    Click(IDOK);
    EXPECT_EQ(m_view->GetMosaicLayout(), nullptr);
    Command(m_view, CRectMapView::kMosaicCommand);
    MosaicLayout* again = m_view->GetMosaicLayout();
    ASSERT_NE(again, nullptr);
    ASSERT_NE(again->GetMakerDialog(), nullptr);
    win::user::ClickControl(again->GetMakerDialog()->GetDlgItem(IDCANCEL));
    EXPECT_EQ(m_view->GetMosaicLayout(), nullptr);
}

}  // namespace
