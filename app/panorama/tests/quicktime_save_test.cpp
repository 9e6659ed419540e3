// The QuickTime save dialog (source angles, field of view, viewer size,
// zoom ratio, its buttons) and the panorama view's movie save: the width
// brought to whole 32-pixel strips, the widened selection, the pictures that
// hold no movie, and the saved path.
#include "app/panorama/quicktime_save_dlg.h"
#include "app/panorama/rect_map_view.h"

#include "app/tests/app_test_fixture.h"
#include "app/tests/full_world_map.h"
#include "core/file_records.h"
#include "imaging/image.h"
#include "platform/win/controls.h"
#include "platform/win/shell.h"
#include "platform/win/user_input.h"
#include "worldmap/world_map.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(QuickTimeSaveDlgSource, AnglesFieldOfViewAndViewerSize)
{
    struct Case {
        int width, height, equator;
        float widthDegrees, heightDegrees;
        uint32_t fov, viewerWidth, viewerHeight;
        const char* zoom;
    } cases[] = {
        {3600, 900, 3600, 360, 90, 90, 800, 600, " 0.9"},   // 900 wide clamped to 800
        {1000, 200, 3600, 100, 20, 20, 200, 150, " 3.6"},   // 20 + 3 -> 20
        {700, 700, 3600, 70, 70, 70, 700, 530, " 5.1"},     // 525 -> 530
        {2000, 1000, 2000, 360, 180, 90, 500, 380, " 1.0"}, // 180 degrees high: FOV 90
        {1000, 40, 3600, 100, 4, 10, 200, 150, " 7.2"},     // 4 + 3 -> 5, held at 10
        {1000, 10, 3600, 100, 1, 10, 200, 150, " 7.2"},     // under 2 degrees: 0, held at 10
        {1200, 300, 4000, 108, 27, 30, 330, 250, " 3.3"},   // 333 -> 330, 247 -> 250
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        CQuickTimeSaveDlg dialog;
        dialog.SetSource(c.width, c.height, c.equator);
        EXPECT_FLOAT_EQ(dialog.GetWidthDegrees(), c.widthDegrees);
        EXPECT_FLOAT_EQ(dialog.GetHeightDegrees(), c.heightDegrees);
        EXPECT_EQ(dialog.GetFieldOfView(), c.fov);
        uint32_t w = 0, h = 0;
        dialog.GetViewerSize(&w, &h);
        EXPECT_EQ(w, c.viewerWidth);
        EXPECT_EQ(h, c.viewerHeight);
        EXPECT_EQ(dialog.ZoomRatioText(), c.zoom);
        EXPECT_TRUE(dialog.SourceKnown());
    }
    // No equator: the angles are unknown, the defaults stay.
    for (int equator : {0, -5}) {
        CQuickTimeSaveDlg dialog;
        dialog.SetSource(1000, 200, equator);
        EXPECT_FALSE(dialog.SourceKnown());
        EXPECT_EQ(dialog.GetWidthDegrees(), 0.0f);
        EXPECT_EQ(dialog.GetFieldOfView(), 45u);
    }
}

// A map storing every sample (smooth pattern).
std::vector<WorldMap*> g_maps;
WorldMap* MakeMap(int width)
{
    WorldMap* map =
        MakeFullWorldMap(width, 3, [&](int r, int i, int c) { return 40 + (i * 7 + r * 3 + c * 30) % 200; });
    g_maps.push_back(map);
    return map;
}

// What the movie writer double was handed.
struct MovieCall {
    int imageWidth = 0, imageHeight = 0;
    RECT rect{};
    bool screenImage = false;
    std::string path;
    MovieSettings settings;
    std::vector<uint8_t> firstRow;  // the rect's top row, as handed over
};
std::vector<MovieCall> g_calls;
Image* g_screen = nullptr;
int g_result = 0;

int RecordMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    MovieCall call;
    call.imageWidth = images[0]->GetWidth();
    call.imageHeight = images[0]->GetHeight();
    call.rect = *rect;
    call.screenImage = images[0] == g_screen;
    const Image* image = images[0];
    if (rect->top >= 0 && rect->top < image->GetHeight() && rect->left >= 0 && rect->right < image->GetWidth()) {
        const uint8_t* row = image->GetData() + static_cast<size_t>(rect->top) * image->GetRowByte();
        call.firstRow.assign(row + static_cast<size_t>(rect->left) * 3, row + static_cast<size_t>(rect->right + 1) * 3);
    }
    call.path = info->path;
    call.settings = *static_cast<MovieSettings*>(info->extra);
    EXPECT_EQ(images[1], nullptr);
    g_calls.push_back(call);
    return g_result;
}

class MovieSaveTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        CRectMapView::SetMovieWriter(&RecordMovie);
        g_calls.clear();
        g_result = 0;
        m_folder = Home().file("out");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override
    {
        CRectMapView::SetMovieWriter(nullptr);
        for (WorldMap* map : g_maps) map->Release();
        g_maps.clear();
        AppTest::TearDown();
    }
    CRectMapView* Open(WorldMap* map)
    {
        Main().ShowPanoramaWindow(map);
        CRectMapView* view = Main().FindRectMapView(map);
        g_screen = view ? view->GetScreen() : nullptr;
        return view;
    }
    std::string m_folder;
};

TEST_F(MovieSaveTest, WidthComesToWholeStripsOrIsWidened)
{
    struct Case {
        const char* name;
        int mapWidth;
        RECT selection;
        float zoom;  // 0: true size
        bool screenImage;
        RECT rect;          // handed to the writer
        int width, height;  // of the picture handed over
    } cases[] = {
        // Screen size at zoom 0.5: n = (int)((right - left) x 0.5) + 1.
        {"n 47 -> one strip", 4000, {1000, 100, 1092, 192}, 0.5f, false, {0, 0, 31, 31}, 32, 32},
        {"n 48 -> two strips", 4000, {1000, 100, 1094, 194}, 0.5f, false, {0, 0, 63, 63}, 64, 64},
        {"n 10 -> still one strip", 4000, {1000, 100, 1018, 118}, 0.5f, false, {0, 0, 31, 31}, 32, 32},
        // True size.
        {"640 wide: as it is", 4000, {200, 10, 839, 90}, 0, true, {200, 10, 839, 90}, 4000, 2001},
        {"screen too narrow: scaled to 96", 100, {0, 0, 99, 50}, 0, false, {0, 0, 95, 48}, 96, 49},
        {"widened by 8 around", 4000, {1000, 10, 1999, 90}, 0, true, {996, 10, 2003, 90}, 4000, 2001},
        {"widened, clamped at column 0", 4000, {2, 10, 1001, 90}, 0, true, {0, 10, 1007, 90}, 4000, 2001},
        {"widened, clamped at the last column", 4000, {3000, 10, 3999, 90}, 0, true, {2992, 10, 3999, 90}, 4000,
         2001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_calls.clear();
        WorldMap* map = MakeMap(c.mapWidth);
        CRectMapView* view = Open(map);
        ASSERT_NE(view, nullptr);
        if (c.zoom > 0) view->ChangeZoom(c.zoom, c.zoom);
        float zx = 0, zy = 0;
        view->GetCurrentZoom(zx, zy);
        if (c.zoom > 0) {
            ASSERT_EQ(zx, c.zoom);
        }
        view->SetSelectionRect(&c.selection);
        CQuickTimeSaveDlg dialog;
        const std::string path = m_folder + "/m.mov";
        dialog.SetFileName(path.c_str());
        dialog.SetSource(c.selection.right - c.selection.left + 1, c.selection.bottom - c.selection.top + 1,
                         c.mapWidth);
        view->SaveQuickTimeMovie(&dialog, c.zoom == 0);
        ASSERT_EQ(g_calls.size(), 1u);
        const MovieCall& call = g_calls[0];
        EXPECT_EQ(call.screenImage, c.screenImage);
        EXPECT_EQ(call.rect.left, c.rect.left);
        EXPECT_EQ(call.rect.top, c.rect.top);
        EXPECT_EQ(call.rect.right, c.rect.right);
        EXPECT_EQ(call.rect.bottom, c.rect.bottom);
        EXPECT_EQ(call.imageWidth, c.width);
        EXPECT_EQ(call.imageHeight, c.height);
        EXPECT_EQ(call.path, path);
        EXPECT_EQ(view->GetSavePath(), path);
    }
}

// Widening a cropped view takes the columns beyond the crop from the whole
// panorama (not the zeros of the crop), and the view is cropped again after.
TEST_F(MovieSaveTest, WideningACroppedViewTakesTheWholePanoramaAndCropsAgain)
{
    WorldMap* map = MakeMap(4000);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const RECT selection{1000, 10, 1999, 90};
    const RECT widened{996, 10, 2003, 90};
    auto rowBytes = [&](const RECT& r) {
        const Image* screen = view->GetScreen();
        const uint8_t* row = screen->GetData() + static_cast<size_t>(r.top) * screen->GetRowByte();
        return std::vector<uint8_t>(row + static_cast<size_t>(r.left) * 3, row + static_cast<size_t>(r.right + 1) * 3);
    };
    const std::vector<uint8_t> whole = rowBytes(widened);
    view->SetSelectionRect(&selection);
    view->SendMessage(WM_COMMAND, CRectMapView::kCropCommand, 0);
    ASSERT_NE(view->GetMode() & CRectMapView::cropped, 0);
    const std::vector<uint8_t> croppedRow = rowBytes(widened);
    ASSERT_EQ(croppedRow[0], 0);  // column 996 lies outside the crop
    ASSERT_NE(croppedRow, whole);

    CQuickTimeSaveDlg dialog;
    const std::string path = m_folder + "/cropped.mov";
    dialog.SetFileName(path.c_str());
    dialog.SetSource(1000, 81, 4000);
    view->SaveQuickTimeMovie(&dialog, true);
    ASSERT_EQ(g_calls.size(), 1u);
    const MovieCall& call = g_calls[0];
    EXPECT_EQ(call.rect.left, widened.left);
    EXPECT_EQ(call.rect.right, widened.right);
    EXPECT_EQ(call.firstRow, whole);
    EXPECT_EQ(view->GetSavePath(), path);
    // Cropped again, as before the save.
    EXPECT_NE(view->GetMode() & CRectMapView::cropped, 0);
    EXPECT_EQ(rowBytes(widened), croppedRow);
    const RECT* kept = view->GetSelectionRect();
    EXPECT_EQ(kept->left, selection.left);
    EXPECT_EQ(kept->right, selection.right);
}

TEST_F(MovieSaveTest, PicturesWithoutAStripSaveNothingAndSay)
{
    struct Case {
        int mapWidth;
        RECT selection;
        float zoom;  // 0: true size
    } cases[] = {
        {4000, {500, 10, 500, 90}, 0},     // one column
        {4000, {500, 10, 500, 90}, 0.5f},  // one column, screen size
        {16, {0, 0, 15, 8}, 0.05f},        // 16 x 0.05 shows no sample of the equator
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mapWidth);
        CRectMapView* view = Open(MakeMap(c.mapWidth));
        ASSERT_NE(view, nullptr);
        if (c.zoom > 0) view->ChangeZoom(c.zoom, c.zoom);
        float zx = 0, zy = 0;
        view->GetCurrentZoom(zx, zy);
        if (c.zoom > 0) {
            ASSERT_EQ(zx, c.zoom);
        }
        view->SetSelectionRect(&c.selection);
        CQuickTimeSaveDlg dialog;
        dialog.SetFileName((m_folder + "/none.mov").c_str());
        Prompter().ExpectMessageBox("Error saving image: saveState=-1\n", IDOK);
        view->SaveQuickTimeMovie(&dialog, c.zoom == 0);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_EQ(view->GetSavePath(), "");
    }
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(MovieSaveTest, OnlyAWrittenMovieBecomesTheSavePath)
{
    WorldMap* map = MakeMap(4000);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const RECT selection{0, 0, 639, 300};
    view->SetSelectionRect(&selection);
    CQuickTimeSaveDlg dialog;
    dialog.SetSource(640, 301, 4000);
    dialog.SetFileName((m_folder + "/first.mov").c_str());
    view->SaveQuickTimeMovie(&dialog, true);
    EXPECT_EQ(view->GetSavePath(), m_folder + "/first.mov");
    ASSERT_NE(Manager().GetPanoramaFileName(), nullptr);
    EXPECT_EQ(std::string(Manager().GetPanoramaFileName()), m_folder + "/first.mov");
    g_result = 1;
    dialog.SetFileName((m_folder + "/second.mov").c_str());
    view->SaveQuickTimeMovie(&dialog, true);
    EXPECT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(view->GetSavePath(), m_folder + "/first.mov");
    EXPECT_EQ(std::string(Manager().GetPanoramaFileName()), m_folder + "/first.mov");
    // The settings reach the writer as the dialog holds them.
    const MovieSettings& s = g_calls[1].settings;
    EXPECT_EQ(s.fieldOfView, 30);  // 301 rows of 57.6 degrees over 640: 27 + 3
    EXPECT_FLOAT_EQ(s.widthDegrees, 57.6f);
    EXPECT_EQ(s.codecCode, 0);
    EXPECT_EQ(s.qualityCode, 2);
    EXPECT_EQ(s.hotSpotCount, 0);
}

TEST_F(MovieSaveTest, TheSaveCommandOpensTheDialogWhoseButtonsWork)
{
    WorldMap* map = MakeMap(3600);  // 3600 x 1801
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const RECT selection{0, 450, 3599, 1349};  // 3600 x 900
    view->SetSelectionRect(&selection);
    const std::string path = m_folder + "/tour.mov";
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {path};
    Prompter().ExpectFileDialog("Save Panorama Image", answer);
    win::ClearShellRequests();
    Prompter().ExpectDialog(CQuickTimeSaveDlg::kTemplateId, [&](CDialog& d) {
        EXPECT_EQ(d.GetWindowText(), "Save QuickTime File");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kFileNameEdit)->GetWindowText(), path);
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kSourceWidthText)->GetWindowText(), "3600 (360)");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kSourceHeightText)->GetWindowText(), "900 (90)");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kFieldOfViewEdit)->GetWindowText(), "90");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kViewerWidthEdit)->GetWindowText(), "800");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kViewerHeightEdit)->GetWindowText(), "600");
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kZoomRatioText)->GetWindowText(), " 0.9");
        auto* codec = static_cast<CComboBox*>(d.GetDlgItem(CQuickTimeSaveDlg::kCodecCombo));
        auto* quality = static_cast<CComboBox*>(d.GetDlgItem(CQuickTimeSaveDlg::kQualityCombo));
        ASSERT_EQ(codec->GetCount(), 3);
        ASSERT_EQ(quality->GetCount(), 5);
        std::string text;
        quality->GetLBText(4, text);
        EXPECT_EQ(text, "Low");
        EXPECT_EQ(codec->GetCurSel(), 0);
        EXPECT_EQ(quality->GetCurSel(), 2);
        EXPECT_FALSE(d.GetDlgItem(CQuickTimeSaveDlg::kViewMovieButton)->IsWindowEnabled());
        EXPECT_TRUE(d.GetDlgItem(CQuickTimeSaveDlg::kSaveButton)->IsWindowEnabled());
        // A narrower view: Enter shows the new ratio and keeps the dialog open.
        win::user::TypeText(d.GetDlgItem(CQuickTimeSaveDlg::kFieldOfViewEdit)->m_hWnd, "60");
        win::user::TypeText(d.GetDlgItem(CQuickTimeSaveDlg::kViewerWidthEdit)->m_hWnd, "400");
        win::user::ClickControl(d.GetDlgItem(IDOK));
        EXPECT_EQ(d.GetDlgItem(CQuickTimeSaveDlg::kZoomRatioText)->GetWindowText(), " 0.7");
        codec->SetCurSel(2);
        quality->SetCurSel(1);
        win::user::ClickControl(d.GetDlgItem(CQuickTimeSaveDlg::kSaveButton));
        EXPECT_TRUE(d.GetDlgItem(CQuickTimeSaveDlg::kViewMovieButton)->IsWindowEnabled());
        win::user::ClickControl(d.GetDlgItem(CQuickTimeSaveDlg::kViewMovieButton));
    });
    Prompter().ExpectDialog(CQuickTimeSaveDlg::kTemplateId, [&](CDialog& d) {
        win::user::ClickControl(d.GetDlgItem(IDCANCEL));
    });
    view->OnFileSaveRWMAs();
    ASSERT_EQ(g_calls.size(), 1u);
    const MovieSettings& s = g_calls[0].settings;
    EXPECT_EQ(s.fieldOfView, 60);
    EXPECT_EQ(s.viewerWidth, 400);
    EXPECT_EQ(s.viewerHeight, 600);
    EXPECT_EQ(s.codecCode, 2);
    EXPECT_EQ(s.qualityCode, 1);
    EXPECT_FLOAT_EQ(s.widthDegrees, 360.0f);
    EXPECT_EQ(g_calls[0].rect.right - g_calls[0].rect.left + 1, 3616);  // no room to widen: scaled to 113 strips
    const auto shell = win::ShellRequests();
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, path);
    EXPECT_EQ(shell[0].show, SW_SHOWNORMAL);
    EXPECT_TRUE(Prompter().Unused().empty());
}

}  // namespace
