// The main frame: the workers' and the tour maker's messages, closing, the
// update-command-UI states, the outside programs, web and help commands,
// logging, placement helpers and the status bar as drawn.
#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/matching/cam_info.h"
#include "app/shell/img_browser.h"
#include "app/shell/pellicot.h"
#include "app/pairview/image_pair_view.h"
#include "app/pairview/overlap_pair_view.h"
#include "app/views/image_pair_doc.h"
#include "app/views/image_view.h"
#include "app/views/bright_contrast_dlg.h"
#include "worldmap/world_map.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/tessiv_double.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/dialog.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <fstream>
#include <sstream>

namespace {

class MainFrameTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        TessivDouble::Record() = TessivRecord{};
        CMainFrame::SetTessivFactory(&TessivDouble::Create);
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        CMainFrame::SetTessivFactory(nullptr);
        AppTest::TearDown();
    }
    win::CommandState State(UINT id) { return win::QueryCommandState(&Main(), id); }
    void Command(UINT id) { Main().SendMessage(WM_COMMAND, id, 0); }
    std::string Pane59001() { return Main().GetStatusBar().GetPaneText(2); }
};

TEST_F(MainFrameTest, WorkerMessagesReachTheManager)
{
    Logger::setLogLevel(3);
    LogCapture log;
    Manager().SetWorkerActive(true);
    EXPECT_TRUE(Manager().IsBusy());
    Main().SendMessage(WM_CONTINUE_STITCHING, 0, 0);
    EXPECT_TRUE(log.contains("SuperManager::DoStitching()")) << log.text();
    EXPECT_FALSE(Manager().IsWorkerActive());
    Manager().SetWorkerActive(true);
    Main().SendMessage(WM_BLEND_FINISHED, 0, 0);
    EXPECT_TRUE(log.contains("SuperManager::FinishRemap()")) << log.text();
    EXPECT_FALSE(Manager().IsBusy());
    Logger::setLogLevel(1);
    EXPECT_EQ(Main().SendMessage(WM_DEBUG_REQUEST, 3, 0), 0);

    static const char text[] = "Loading #3 thumbnail /photos/a.jpg";
    Main().PostMessage(WM_STATUS_TEXT, reinterpret_cast<WPARAM>(text), 0);
    win::PumpUntil([] { return false; }, 0);
    EXPECT_EQ(Pane59001(), text);
    static const char empty[] = "";
    Main().SendMessage(WM_STATUS_TEXT, reinterpret_cast<WPARAM>(empty), 0);
    EXPECT_EQ(Pane59001(), "");
}

TEST_F(MainFrameTest, TheTourMakersMessages)
{
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    Main().SendMessage(WM_TOUR_MAKER, 1, 0);
    EXPECT_EQ(Manager().GetBrowserMode(), 2);
    ASSERT_NE(Manager().GetImageBrowser(), nullptr);
    EXPECT_TRUE(Manager().GetImageBrowser()->IsWindowVisible());
    EXPECT_EQ(Manager().GetImageBrowser()->GetImageType(), 1);
    Main().SendMessage(WM_TOUR_MAKER, 7, 0);  // ignored
    EXPECT_EQ(Manager().GetBrowserMode(), 2);
    EXPECT_NE(Main().GetTourMaker(false), nullptr);
    Main().SendMessage(WM_TOUR_MAKER, 2, 0);
    EXPECT_EQ(Manager().GetBrowserMode(), 0);
    EXPECT_FALSE(Manager().GetImageBrowser()->IsWindowVisible());
    EXPECT_EQ(Main().GetTourMaker(false), nullptr);
    EXPECT_EQ(TessivDouble::Record().closed, 1);
    // Without a tour maker, 2 only ends the picking.
    Main().SendMessage(WM_TOUR_MAKER, 1, 0);
    Main().SendMessage(WM_TOUR_MAKER, 2, 0);
    EXPECT_EQ(Manager().GetBrowserMode(), 0);
    EXPECT_EQ(TessivDouble::Record().closed, 1);
    EXPECT_EQ(TessivDouble::Record().opened, 1);
}

TEST_F(MainFrameTest, CancelAtCloseKeepsTheProgramAndTheTourMaker)
{
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    Manager().ModifyFlags(kFlagSaved, 0);
    Prompter().ExpectMessageBox("Do you want to save current project?", IDCANCEL);
    Main().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(Main().m_hWnd));
    EXPECT_NE(Main().GetTourMaker(false), nullptr);
    EXPECT_EQ(TessivDouble::Record().closed, 0);
    // A named project asks with its name; No closes without saving.
    Manager().SetProjectName("/photos/harbour.kzp");
    Manager().ModifyFlags(kFlagSaved, 0);
    Prompter().ExpectMessageBox("Do you want save change to current project file:\n   harbour.kzp", IDNO);
    const HWND main = Main().m_hWnd;
    Main().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_EQ(TessivDouble::Record().closed, 1);
    EXPECT_EQ(GetSuperManager(), nullptr);
    m_app->m_pMainWnd = nullptr;
}

UINT WaitForStop(void* p)
{
    auto* stop = static_cast<std::atomic<bool>*>(p);
    while (!*stop) ::Sleep(1);
    return 0;
}

TEST_F(MainFrameTest, ClosingWithAWorkerAsksAndJoinsIt)
{
    std::atomic<bool> stop{false};
    Manager().SetWorkerActive(true);
    ASSERT_NE(AfxBeginThread(WaitForStop, &stop), nullptr);
    Prompter().ExpectMessageBox("A stitching process is still running.\nStop it and exit?", IDNO);
    Main().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(Main().m_hWnd));
    EXPECT_TRUE(Manager().IsWorkerActive());
    EXPECT_FALSE(Manager().IsStopRequested());
    // Yes stops it: the worker sees the request and is joined before the close.
    Prompter().ExpectMessageBox("A stitching process is still running.\nStop it and exit?", IDYES);
    std::thread release([&] {
        ::Sleep(20);
        stop = true;
    });
    const HWND main = Main().m_hWnd;
    Main().SendMessage(WM_CLOSE, 0, 0);
    release.join();
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_EQ(win::RunningWorkerCount(), 0);
    m_app->m_pMainWnd = nullptr;
}

TEST_F(MainFrameTest, UpdateCommandStates)
{
    EXPECT_TRUE(State(32866).enabled);
    EXPECT_TRUE(State(32867).enabled);
    EXPECT_TRUE(State(32781).enabled);
    EXPECT_TRUE(State(32780).enabled);
    EXPECT_FALSE(State(32808).enabled);  // no panorama yet
    EXPECT_TRUE(State(33000).enabled);
    EXPECT_EQ(State(33000).check, 1);
    SetCurrentTool(33050, 33051);
    EXPECT_EQ(State(33000).check, 0);
    Command(33000);
    EXPECT_EQ(GetCurrentTool(), 33000);
    EXPECT_EQ(State(33000).check, 1);
    Manager().SetProjectName(nullptr);
    EXPECT_FALSE(State(32866).enabled);
    EXPECT_FALSE(State(32867).enabled);

    // The camera-information commands by record, image count, run-time
    // correction and merge state.
    struct Case {
        bool camInfo;
        bool runtime;
        int images;
        bool allMerged;
        bool save;      // 33179
        bool addFocal;  // 33171
    };
    const Case cases[] = {
        {false, false, 4, true, false, false}, {false, false, 5, true, true, false},
        {false, false, 5, false, false, false}, {false, true, 7, true, false, false},
        {false, true, 8, true, true, false},    {true, false, 4, true, false, false},
        {true, false, 5, true, false, true},    {true, false, 5, false, false, false},
        {true, true, 8, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.camInfo << c.runtime << " " << c.images << c.allMerged);
        Manager().CloseProject();
        ImageGroup* group = Manager().GetImageGroup(true);
        for (int i = 0; i < c.images; ++i) {
            auto* frame = new ImageFrame;
            if (c.allMerged || i > 0) frame->SetMerged();
            group->AppendImageFrame(frame);
        }
        Manager().SetCamInfo(c.camInfo ? std::make_unique<CamInfo>() : nullptr);
        Manager().GetStitchSettings()->runtimeDistortion = c.runtime ? 1 : 0;
        EXPECT_EQ(State(33179).enabled, c.save);
        EXPECT_EQ(State(33171).enabled, c.addFocal);
    }
}

TEST_F(MainFrameTest, OutsideProgramsAndWebPages)
{
    Prompter().ExpectMessageBox(std::string("Marrowick is not found. Please download from ") + MakerWebSite(), IDOK);
    Command(40016);
    Prompter().ExpectMessageBox("Cannot find Optarvo.exe: make sure proper installation!", IDOK);
    Command(33173);
    EXPECT_TRUE(win::ShellRequests().empty());
    // Present beside the program, they are opened.
    std::ofstream(ProgramDir() + "/Optarvo.exe") << "program";
    Command(33173);
    ASSERT_EQ(win::ShellRequests().size(), 1u);
    EXPECT_EQ(win::ShellRequests()[0].verb, "open");
    EXPECT_EQ(win::ShellRequests()[0].file, ProgramDir() + "\\Optarvo.exe");
    win::ClearShellRequests();

    const std::string site = MakerWebSite();
    struct Case {
        UINT command;
        std::string address;
    };
    const Case cases[] = {
        {32882, site + "/Downloads/Download.htm"},
        {32883, site + "/support/support.htm"},
        {32885, site},
        {32886, site + "/products/Product.htm"},
        {32884, site + "/products/Fendrake/Fendrake_tutorial.htm"},
    };
    for (const Case& c : cases) {
        win::ClearShellRequests();
        Command(c.command);
        ASSERT_EQ(win::ShellRequests().size(), 1u) << c.command;
        EXPECT_EQ(win::ShellRequests()[0].file, c.address);
        EXPECT_EQ(win::ShellRequests()[0].show, SW_SHOWNORMAL);
    }
}

TEST_F(MainFrameTest, HelpCommandsDoNothingAndTheLoaderTriesOnce)
{
    const UINT commands[] = {33121, 33118, 33114, 33124, 33125, 33115, 33116, 33119, 33120,
                             33117, 33122, 33123, 33126, 33156, 33157, 33108, 33175, 32778,
                             57667, 57669, 57670, 57671};
    for (int round = 0; round < 2; ++round)
        for (UINT id : commands) {
            Command(id);
            EXPECT_TRUE(win::ShellRequests().empty()) << id;
        }
    App().WinHelp(0x30003, HELP_CONTEXT);
    App().WinHelp(0x30003, HELP_CONTEXT);
    EXPECT_EQ(HtmlHelpLoadAttempts(), 1);
    EXPECT_EQ(HtmlHelpA(nullptr, "x.chm", HH_DISPLAY_TOPIC, 0), nullptr);
    EXPECT_EQ(HtmlHelpLoadAttempts(), 1);
}

TEST_F(MainFrameTest, TurnOnLoggingOpensTheLogFolderAndWritesTheBanner)
{
    const int level = Logger::getLogLevel();
    Prompter().ExpectMessageBoxPrefix("The stitching process will be saved in this log file:\n  ", IDOK);
    Command(33148);
    ASSERT_EQ(Prompter().MessageBoxes().size(), 1u);
    ASSERT_NE(Logger::getLogFileName(), nullptr);
    const std::string file = Logger::getLogFileName();
    const std::string folder = LogBase::getPath_log();
    EXPECT_EQ(folder.rfind(Home().file("appdata"), 0), 0u) << folder;
    EXPECT_NE(folder.find("Quorvane/log"), std::string::npos) << folder;
    EXPECT_EQ(file.rfind(folder, 0), 0u) << file;
    EXPECT_TRUE(std::filesystem::exists(file));
    const std::string text = Prompter().MessageBoxes()[0].text;
    EXPECT_EQ(text.rfind("The stitching process will be saved in this log file:\n  " + file + "\n", 0), 0u) << text;
    ASSERT_EQ(win::ShellRequests().size(), 1u);
    EXPECT_EQ(win::ShellRequests()[0].file, folder);
    EXPECT_EQ(Logger::getLogLevel(), 4);
    Logger::setLogOff();
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_NE(content.str().find("Fendrake version "), std::string::npos) << content.str();
    EXPECT_NE(content.str().find("1.8.0.0"), std::string::npos) << content.str();
    EXPECT_NE(content.str().find("To report a problem"), std::string::npos) << content.str();
    Logger::setLogLevel(level);
}

TEST_F(MainFrameTest, PlacementAndVersionHelpers)
{
    RECT free{};
    Main().GetFreeClientRect(&free);
    RECT client{};
    Main().GetClientRect(&client);
    EXPECT_EQ(free.top, client.top + 2 * GetSystemMetrics(SM_CYCAPTION) + 4);
    EXPECT_EQ(free.right, client.right - 4);
    EXPECT_GT(free.left, 4);  // the docked stitch bar is left free
    Main().MoveWindow(0, 0, 60, 50);
    Main().GetFreeClientRect(&free);
    EXPECT_EQ(free.right - free.left, 100);
    EXPECT_EQ(free.bottom - free.top, 100);

    std::string text;
    CMainFrame::MakeVersionText(text);
    EXPECT_EQ(text, "1.8.0.0");
    CMainFrame::MakeDumpName("Fendrake_st", text);
    EXPECT_EQ(text, "Fendrake_st_1.8.0.0_");
}

TEST_F(MainFrameTest, TheStatusBarAsDrawn)
{
    CStatusBar& bar = Main().GetStatusBar();
    ASSERT_EQ(bar.GetPaneCount(), 4);
    const int widths[] = {150, 200, 20};
    for (int i = 1; i <= 3; ++i) {
        UINT id = 0, style = 0;
        int width = 0;
        bar.GetPaneInfo(i, id, style, width);
        EXPECT_EQ(id, static_cast<UINT>(59000 + i - 1));
        EXPECT_EQ(width, widths[i - 1]);
    }
    Main().SetPaneText59001("Loading #12 thumbnail");
    win::PaintAll();
    Image* shot = win::CaptureWindow(bar.m_hWnd);
    ASSERT_NE(shot, nullptr);
    // Dark text pixels inside pane 59001 and none in the empty pane 59000.
    auto darkPixels = [&](const RECT& r) {
        int dark = 0;
        for (int y = std::max(0, static_cast<int>(r.top)); y < std::min(shot->GetHeight(), static_cast<int>(r.bottom)); ++y)
            for (int x = std::max(0, static_cast<int>(r.left)); x < std::min(shot->GetWidth(), static_cast<int>(r.right)); ++x) {
                const unsigned char* p = shot->GetData() + static_cast<size_t>(y) * shot->GetRowByte() + x * 3;
                if (p[0] < 80 && p[1] < 80 && p[2] < 80) ++dark;
            }
        return dark;
    };
    RECT pane1{}, pane2{}, pane3{};
    bar.GetItemRect(1, &pane1);
    bar.GetItemRect(2, &pane2);
    bar.GetItemRect(3, &pane3);
    EXPECT_NEAR(pane1.right - pane1.left, 150, 8);
    EXPECT_NEAR(pane2.right - pane2.left, 200, 8);
    EXPECT_NEAR(pane3.right - pane3.left, 20, 8);
    CRect inside1(pane1), inside2(pane2);
    inside1.DeflateRect(2, 2);
    inside2.DeflateRect(2, 2);
    EXPECT_GT(darkPixels(inside2), 20);
    EXPECT_EQ(darkPixels(inside1), 0);
    ReleaseImage(shot);
}

}  // namespace

namespace {

TEST_F(MainFrameTest, PageSetupIsKeptByTheManager)
{
    win::PageSetupAnswer answer;
    answer.ok = true;
    answer.paperSize = POINT{11690, 8270};
    answer.margins = RECT{500, 600, 700, 800};
    answer.minMargins = RECT{100, 100, 100, 100};
    Prompter().ExpectPageSetup(answer);
    EXPECT_EQ(Manager().GetPageSetup(), nullptr);
    Main().SendMessage(WM_COMMAND, 32775, 0);
    ASSERT_NE(Manager().GetPageSetup(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup()->paperSize.x, 11690);
    EXPECT_EQ(Manager().GetPageSetup()->margins.bottom, 800);
    EXPECT_EQ(App().m_paperSize.x, 11690);
    // The next dialog starts from the stored margins; Cancel keeps them.
    win::PageSetupAnswer cancel;
    cancel.ok = false;
    Prompter().ExpectPageSetup(cancel);
    Main().SendMessage(WM_COMMAND, 32775, 0);
    EXPECT_EQ(Manager().GetPageSetup()->margins.left, 500);
}

TEST_F(MainFrameTest, PanoramaAndPairWindows)
{
    // No map: nothing to show, and the answer is true.
    EXPECT_TRUE(Main().ShowPanoramaWindow(nullptr));
    auto* map = new WorldMap(64, 3);
    map->SetName("/panoramas/bay.jpg");
    EXPECT_FALSE(Main().ShowPanoramaWindow(map, 5));  // just created
    EXPECT_EQ(map->GetRefCount(), 3);  // the caller, the document, its view
    EXPECT_TRUE(Main().ShowPanoramaWindow(map));  // activated
    EXPECT_EQ(App().GetPanoramaTemplate()->GetDocuments().size(), 1u);
    EXPECT_EQ(map->GetRefCount(), 3);
    EXPECT_TRUE(Manager().HasPanorama());
    EXPECT_TRUE(State(32808).enabled);
    CDocument* doc = App().GetPanoramaTemplate()->GetDocuments().front();
    EXPECT_EQ(doc->GetTitle(), "panorama [preview] (100%)");  // a preview until the map is final
    doc->OnCloseDocument();
    EXPECT_EQ(map->GetRefCount(), 1);
    map->Release();

    // Pair windows: the marker method opens the marker view.
    ImageGroup* group = Manager().GetImageGroup(true);
    auto* a = new ImageFrame;
    auto* b = new ImageFrame;
    group->AppendImageFrame(a);
    group->AppendImageFrame(b);
    Manager().GetStitchSettings()->focalType = 1;
    Manager().OpenPairWindow(a, b, false, false);
    ASSERT_NE(Manager().GetPairWindow(), nullptr);
    EXPECT_NE(dynamic_cast<CImagePairView*>(Manager().GetPairWindow()), nullptr);
    EXPECT_NE(Manager().GetFlags() & kFlagMarkerMethod, 0u);
    EXPECT_NE(a->FindNeighbor(b), nullptr);
    // A known focal length without markers takes the overlap view.
    Manager().GetStitchSettings()->focalType = 2;
    Manager().SetPairMethod(false);
    ASSERT_NE(Manager().GetPairWindow(), nullptr);
    EXPECT_NE(dynamic_cast<COverlapPair*>(Manager().GetPairWindow()), nullptr);
    EXPECT_EQ(Manager().GetFlags() & kFlagMarkerMethod, 0u);
    auto* pair = dynamic_cast<CImagePairDoc*>(Manager().GetPairWindow()->GetDocument());
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->GetFrameA(), a);
    EXPECT_EQ(pair->GetFrameB(), b);
    // An overlay loop pair is shown swapped.
    Manager().OpenPairWindow(a, b, true, true);
    EXPECT_EQ(pair->GetFrameA(), b);
    EXPECT_EQ(App().GetOverlapTemplate()->GetDocuments().size(), 1u);
    Manager().ClosePairWindow(false);
    EXPECT_EQ(Manager().GetPairWindow(), nullptr);
    EXPECT_EQ(App().GetOverlapTemplate()->GetDocuments().size(), 0u);
}

TEST_F(MainFrameTest, AboutTutorialAndTheTray)
{
    Prompter().ExpectDialog(100, [](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(0xFFFF), "Quorvane Fendrake");
        d.SendMessage(WM_COMMAND, MAKEWPARAM(1229, BN_CLICKED), reinterpret_cast<LPARAM>(d.GetDlgItem(1229)->m_hWnd));
        d.EndDialog(IDOK);
    });
    Main().SendMessage(WM_COMMAND, ID_APP_ABOUT, 0);
    ASSERT_EQ(win::ShellRequests().size(), 1u);
    EXPECT_EQ(win::ShellRequests()[0].file, MakerWebSite());
    Main().SendMessage(WM_COMMAND, 33159, 0);
    ASSERT_EQ(win::ShellRequests().size(), 2u);
    EXPECT_EQ(win::ShellRequests()[1].file, Home().path().string() + "\\Skelwin\\Skelwin.htm");

    // The tray only minimises when closed, and Show Pellicot brings it back.
    Pellicot* tray = Manager().GetImageTray();
    ASSERT_NE(tray, nullptr);
    tray->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(tray->m_hWnd));
    EXPECT_TRUE(tray->IsIconic());
    Main().SendMessage(WM_COMMAND, 32780, 0);
    EXPECT_EQ(Manager().GetImageTray(), tray);
    EXPECT_FALSE(tray->IsIconic());
}

}  // namespace

namespace {

TEST_F(MainFrameTest, BrightnessDialogTogglesAndFollowsTheImageWindow)
{
    ASSERT_TRUE(App().OpenDocumentFile(TestData("daeyun-image-stitching/hill_2.JPG").c_str()));
    CDocument* doc = App().GetImageTemplate()->GetDocuments().front();
    auto* view = dynamic_cast<CImageView*>(doc->GetViews().front());
    ASSERT_NE(view, nullptr);
    Main().SendMessage(WM_COMMAND, 32842, 0);
    ASSERT_TRUE(Manager().IsBrightnessDialogOpen());
    EXPECT_EQ(Manager().GetBrightnessDialog()->GetDataViewer(), static_cast<DataViewer*>(view));
    // The window going away releases the dialog's target.
    view->GetParentFrame()->SendMessage(WM_CLOSE, 0, 0);
    ASSERT_TRUE(Manager().IsBrightnessDialogOpen());
    EXPECT_EQ(Manager().GetBrightnessDialog()->GetDataViewer(), nullptr);
    Main().SendMessage(WM_COMMAND, 32842, 0);
    EXPECT_FALSE(Manager().IsBrightnessDialogOpen());
}

TEST_F(MainFrameTest, AClosedPanoramaCanBeOpenedAgain)
{
    auto* map = new WorldMap(64, 3);
    map->SetName("/panoramas/bay.jpg");
    EXPECT_FALSE(Manager().AddWorldMapWindow(map));  // its window was just made
    EXPECT_TRUE(Manager().HasWorldMapNamed("/panoramas/bay.jpg"));
    EXPECT_EQ(map->GetRefCount(), 4);  // the caller, the list, the document, its view
    App().GetPanoramaTemplate()->GetDocuments().front()->OnCloseDocument();
    EXPECT_FALSE(Manager().HasWorldMapNamed("/panoramas/bay.jpg"));
    EXPECT_EQ(map->GetRefCount(), 1);
    map->Release();
}

TEST_F(MainFrameTest, SaveCommandsAskForANameAndReportACancel)
{
    // Untitled: Save and Save As both ask; the user cancels both.
    Prompter().ExpectFileDialog("Save Project", win::FileDialogAnswer{});
    Prompter().ExpectFileDialog("Save Project", win::FileDialogAnswer{});
    Logger::setLogLevel(3);
    LogCapture log;
    Main().SendMessage(WM_COMMAND, 32866, 0);
    Main().SendMessage(WM_COMMAND, 32867, 0);
    Logger::setLogLevel(1);
    const std::string text = log.text();
    const size_t save = text.find("Enter CFendrakeApp::OnFileSave()");
    const size_t saveAs = text.find("Enter CFendrakeApp::OnFileSaveAs()");
    ASSERT_NE(save, std::string::npos) << text;
    ASSERT_NE(saveAs, std::string::npos) << text;
    EXPECT_NE(text.find(" CFendrakeApp::OnFileSave(): save failed!!!", save), std::string::npos);
    EXPECT_NE(text.find(" CFendrakeApp::OnFileSave(): save failed!!!", saveAs), std::string::npos);
    EXPECT_NE(text.find("Leave CFendrakeApp::OnFileSaveAs()"), std::string::npos);
    EXPECT_EQ(App().m_pRecentFileList->GetCount(), 0);

    // A chosen name is saved and remembered.
    const std::string path = Home().file("named.kzp");
    win::FileDialogAnswer chosen;
    chosen.ok = true;
    chosen.paths = {path};
    Prompter().ExpectFileDialog("Save Project", chosen);
    Main().SendMessage(WM_COMMAND, 32867, 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    ASSERT_EQ(App().m_pRecentFileList->GetCount(), 1);
    EXPECT_EQ((*App().m_pRecentFileList)[0], path);
}

}  // namespace
