// The manager's QuickTime tour page through the live web page dialog, the
// crop toggle on the front panorama view, the chain's frame array and the
// e-mail dialog run as the user sees it.
#include "app/control/image_chain.h"
#include "app/panorama/quicktime_save_dlg.h"
#include "app/panorama/rect_map_view.h"
#include "app/publish/small_dialogs.h"
#include "app/publish/web_page_dlg.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/full_world_map.h"
#include "core/file_records.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/clipboard.h"
#include "platform/win/controls.h"
#include "platform/win/user_input.h"
#include "projectgraph/framegrp/image_frame.h"
#include "worldmap/world_map.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testkit::ReadText;

// A map whose every sample is stored, in a smooth pattern.
WorldMap* MakeMap(int width)
{
    return MakeFullWorldMap(width, 3, [&](int r, int i, int c) { return 40 + (i * 7 + r * 3 + c * 30) % 200; });
}

int WriteNothing(Image**, RECT*, QUORVANE_FileInfo*) { return 0; }

class PublishTourTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        fs::copy(FENDRAKE_WEBLINKS_DIR, fs::path(ProgramDir()) / "WebLinks");
        LogBase::SetAppDir0Override(ProgramDir());
        m_folder = Home().file("out");
        fs::create_directories(m_folder);
        CRectMapView::SetMovieWriter(&WriteNothing);
    }
    void TearDown() override
    {
        CRectMapView::SetMovieWriter(nullptr);
        LogBase::SetAppDir0Override("");
        AppAndMapsDown();
    }
    void AppAndMapsDown()
    {
        AppTest::TearDown();
        for (WorldMap* map : m_maps) map->Release();
        m_maps.clear();
    }
    CRectMapView* Open(int width)
    {
        WorldMap* map = MakeMap(width);
        m_maps.push_back(map);
        Main().ShowPanoramaWindow(map);
        return Main().FindRectMapView(map);
    }
    // The view saves a movie of its selection (the writer double writes
    // nothing and reports success): the path the view keeps.
    void SaveMovie(CRectMapView* view, const std::string& path)
    {
        const RECT selection{0, 0, 639, 300};
        view->SetSelectionRect(&selection);
        CQuickTimeSaveDlg dialog;
        dialog.SetSource(640, 301, 4000);
        dialog.SetFileName(path.c_str());
        view->SaveQuickTimeMovie(&dialog, true);
    }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItem(id)->GetWindowText(); }
    static bool Enabled(CDialog& d, UINT id) { return d.GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(id)); }

    std::string m_folder;
    std::vector<WorldMap*> m_maps;
};

TEST_F(PublishTourTest, QuickTimeTourAsksForAMovieFirst)
{
    CRectMapView* view = Open(4000);
    ASSERT_NE(view, nullptr);
    Prompter().ExpectMessageBox("Please save to QuickTime format file first.", IDOK);
    Manager().MakeQuickTimeTour(view);
    EXPECT_EQ(Prompter().MessageBoxes().size(), 1u);
    // A null view asks nothing.
    Manager().MakeQuickTimeTour(nullptr);
    EXPECT_EQ(Prompter().MessageBoxes().size(), 1u);
}

TEST_F(PublishTourTest, QuickTimeTourPageForTheSavedMovie)
{
    CRectMapView* view = Open(4000);
    ASSERT_NE(view, nullptr);
    const std::string movie = m_folder + "/hall tour.mov";
    SaveMovie(view, movie);
    ASSERT_EQ(view->GetSavePath(), movie);

    bool stepped = false;
    Prompter().ExpectDialog(CWebPageDlg::kTemplateId, [&](CDialog& d) {
        stepped = true;
        EXPECT_EQ(d.GetWindowText(), "Create Panoramic Web Page");
        EXPECT_EQ(Text(d, CWebPageDlg::kPanoramaEdit), movie);
        EXPECT_EQ(Text(d, CWebPageDlg::kHtmlEdit), m_folder + "/hall tour.htm");
        // A movie: the applet's and the viewer's settings are off.
        for (UINT id : {CWebPageDlg::kAppletRadio, CWebPageDlg::kActiveXRadio, CWebPageDlg::kWorldMapRadio,
                        CWebPageDlg::kPerspectiveRadio, CWebPageDlg::kAutoSpinCheck, CWebPageDlg::kSpeedEdit,
                        CWebPageDlg::kFovEdit})
            EXPECT_FALSE(Enabled(d, id)) << id;
        EXPECT_TRUE(Enabled(d, CWebPageDlg::kWidthEdit));
        win::user::TypeText(d.GetDlgItem(CWebPageDlg::kWidthEdit)->m_hWnd, "512");
        Click(d, IDOK);
    });
    Manager().MakeQuickTimeTour(view);
    ASSERT_TRUE(stepped);
    const std::string page = ReadText(m_folder + "/hall tour.htm");
    EXPECT_NE(page.find("SRC=\"file://" + movie + "\"\n"), std::string::npos) << page;
    EXPECT_NE(page.find("width=\"512\" height=\"300\"\n"), std::string::npos) << page;
    // No applet support files beside a movie page.
    EXPECT_FALSE(fs::exists(fs::path(m_folder) / "ptviewer.jar"));
}

TEST_F(PublishTourTest, CropToggleReachesOnlyTheFrontView)
{
    // No view: nothing happens.
    Manager().ToggleFrontViewCrop();
    CRectMapView* back = Open(2000);
    CRectMapView* front = Open(3000);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(front, nullptr);
    front->MoveToFront();
    ASSERT_EQ(CRectMapView::Views().GetData(0), static_cast<void*>(front));
    const RECT keep{4, 4, 40, 30};
    front->SetSelectionRect(&keep);
    back->SetSelectionRect(&keep);

    Manager().ToggleFrontViewCrop();
    EXPECT_NE(front->GetMode() & CRectMapView::cropped, 0);
    EXPECT_EQ(back->GetMode() & CRectMapView::cropped, 0);
    Manager().ToggleFrontViewCrop();
    EXPECT_EQ(front->GetMode() & CRectMapView::cropped, 0);

    back->MoveToFront();
    Manager().ToggleFrontViewCrop();
    EXPECT_NE(back->GetMode() & CRectMapView::cropped, 0);
    EXPECT_EQ(front->GetMode() & CRectMapView::cropped, 0);
}

TEST_F(PublishTourTest, FrameArrayInChainOrderWithTheLoopFlag)
{
    uint32_t count = 99;
    bool loop = true;
    EXPECT_EQ(Manager().GetFrameArray(&count, &loop), nullptr);
    EXPECT_EQ(count, 0u);
    for (int i = 0; i < 3; ++i) {
        auto* stamp = new Image(40, 30, 3);
        std::memset(stamp->GetData(), 60 + i, static_cast<size_t>(stamp->GetRowByte()) * 30);
        Manager().AddImageFrame(stamp, ("/p/" + std::to_string(i) + ".jpg").c_str(), nullptr);
    }
    ImageChain* chain = Manager().GetChain();
    ASSERT_NE(chain, nullptr);
    for (bool closed : {false, true}) {
        chain->SetLoop(closed);
        std::unique_ptr<ImageFrame*[]> frames(Manager().GetFrameArray(&count, &loop));
        ASSERT_NE(frames, nullptr);
        ASSERT_EQ(count, 3u);
        EXPECT_EQ(loop, closed);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(frames[i], chain->GetFrame(i));
            EXPECT_EQ(std::string(frames[i]->GetName()), "/p/" + std::to_string(i) + ".jpg");
        }
    }
}

TEST_F(PublishTourTest, EmailDialogRunModallyPutsTheTextOnTheClipboard)
{
    RegisterPublishDialogs();
    CEmailPanoramaDlg dialog("/photos/room.jpg", &Main());
    bool stepped = false;
    Prompter().ExpectDialog(CEmailPanoramaDlg::kTemplateId, [&](CDialog& d) {
        stepped = true;
        EXPECT_EQ(d.GetWindowText(), "E-mail Panorama");
        EXPECT_EQ(Text(d, CEmailPanoramaDlg::kPanoramaText), "/photos/room.jpg");
        EXPECT_EQ(Text(d, CEmailPanoramaDlg::kLocationText),
                  (fs::path(Home().file("appdata")) / "Quorvane" / "log").string());
        Click(d, CEmailPanoramaDlg::kPrepareButton);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_TRUE(stepped);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HGLOBAL block = GetClipboardData(CF_TEXT);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(block))), CEmailPanoramaDlg::InstructionText());
    GlobalUnlock(block);
    CloseClipboard();
}

}  // namespace
