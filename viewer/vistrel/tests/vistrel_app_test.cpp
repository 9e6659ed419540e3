// The viewer program's shell: start-up with its command line, the server
// registration, the folder list with next and previous, the File Open
// dialog, the help and about dialogs and the web links.
#include "viewer/vistrel/tests/vistrel_test_support.h"

#include "platform/win/message_queue.h"
#include "platform/win/registry_file.h"
#include "platform/win/shell.h"
#include "viewer/vistrel/vistrel_dialogs.h"

#include <filesystem>

namespace {

using V = CVistrelView;
using vistreltest::WithDescriptor;
using vistreltest::WriteJpeg;

class VistrelAppTest : public VistrelTest {
protected:
    // A small full-circle panorama (equator width 360).
    std::string Panorama(const std::string& path)
    {
        if (m_panorama.empty()) {
            Image* image = testkit::MakePatternImage(360, 181, 3);
            m_panorama = WriteJpeg(*image, m_dir, "base");
            ReleaseImage(image);
        }
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        return WithDescriptor(m_panorama, path, "kqvz", 360, 0, 0);
    }
    std::vector<std::string> FolderNames()
    {
        std::vector<std::string> names;
        for (int i = 0; i < App().FolderCount(); ++i) names.push_back(App().FolderFile(i));
        std::sort(names.begin(), names.end());
        return names;
    }
    int IndexOf(const std::string& name)
    {
        for (int i = 0; i < App().FolderCount(); ++i)
            if (name == App().FolderFile(i)) return i;
        return -1;
    }
    std::string Shown() { return std::filesystem::path(Doc()->GetPathName()).filename().string(); }

    testkit::TempDir m_dir;
    std::string m_panorama;
};

TEST_F(VistrelAppTest, CommandLineTable)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string pano = Panorama(m_dir.file("pano.jpg"));
    const struct {
        const char* name;
        std::vector<std::string> args;
        int startMode, spinSpeed;
        uint32_t viewMode;
    } cases[] = {
        {"perspective spinning", {pano, "-m", "p", "-s", "20"}, 1, 20, V::kPerspective},
        {"any other word", {pano, "-m", "x"}, 2, 0, V::kPanorama},
        {"a word beginning with p", {pano, "-m", "panorama"}, 1, 0, V::kPerspective},
        {"-s last", {pano, "-s"}, 0, 0, V::kPanorama},
        {"-m last", {pano, "-s", "7", "-m"}, 0, 7, V::kPanorama},
        {"atoi reading", {pano, "-q", "-s", "12abc"}, 0, 12, V::kPanorama},
        {"switch before the file", {"-m", "p", pano}, 0, 0, V::kPanorama},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        win::Clock::UseManual(true);
        ASSERT_TRUE(Start(c.args));
        ASSERT_NE(Frame(), nullptr);
        ASSERT_NE(View(), nullptr);
        ASSERT_NE(Doc(), nullptr);
        EXPECT_EQ(App().startMode, c.startMode);
        EXPECT_EQ(App().spinSpeed, c.spinSpeed);
        if (c.name == std::string("switch before the file")) {
            // The file is the first plain argument after the switch's word:
            // "p" is not a file, the program starts empty.
            EXPECT_EQ(Doc()->worldMap, nullptr);
        } else {
            ASSERT_NE(Doc()->worldMap, nullptr);
            EXPECT_EQ(View()->Mode(), c.viewMode);
            const bool spinning = c.spinSpeed != 0;
            EXPECT_EQ(win::MessageQueue::Get().HasTimer(View()->m_hWnd, 1), spinning);
            if (spinning) {
                EXPECT_EQ(View()->dragX - View()->dragStartX, c.spinSpeed);
                // Spinning from the first frame: a tick turns the view (or
                // scrolls the flat full circle by truncate(speed / 4) pixels).
                if (c.viewMode == V::kPerspective) {
                    ASSERT_NE(View()->viewParams, nullptr);
                    const float yaw = View()->viewParams->GetAngles()[0];
                    win::Clock::Advance(33);
                    win::PumpPendingMessages();
                    EXPECT_NEAR(View()->viewParams->GetAngles()[0], yaw + c.spinSpeed * 0.0005f, 1e-5f);
                } else {
                    Image* image = View()->viewImage;
                    std::vector<unsigned char> first(image->GetData(), image->GetData() + 3 * 360);
                    win::Clock::Advance(33);
                    win::PumpPendingMessages();
                    const int step = c.spinSpeed / 4;
                    EXPECT_EQ(std::memcmp(image->GetData(), first.data() + 3 * step, 3 * (360 - step)), 0);
                }
            }
        }
        TearDown();
        SetUp();
    }
}

TEST_F(VistrelAppTest, EmbeddingRegistersTheFactoryWithoutAWindow)
{
    for (const char* sw : {"/Embedding", "-Automation"}) {
        ASSERT_TRUE(Start({sw}));
        EXPECT_TRUE(App().embedded);
        EXPECT_EQ(App().m_pMainWnd, nullptr);
        std::string value;
        EXPECT_TRUE(win::RegistryFile::GetValue(std::string("CLSID\\") + CVistrelApp::kClsid, "ClassFactory", value));
        EXPECT_EQ(value, "single");
        TearDown();
        SetUp();
    }
    // A plain start registers the server and the shell file type.
    ASSERT_TRUE(Start());
    ASSERT_NE(Frame(), nullptr);
    std::string value;
    ASSERT_TRUE(win::RegistryFile::GetValue(".qxl", "", value));
    EXPECT_EQ(value, "Vistrel");
    ASSERT_TRUE(win::RegistryFile::GetValue("Vistrel\\shell\\open\\command", "", value));
    EXPECT_EQ(value, "\"" + Home().file("program/Vistrel") + "\" \"%1\"");
    ASSERT_TRUE(win::RegistryFile::GetValue(std::string("CLSID\\") + CVistrelApp::kClsid + "\\LocalServer32", "", value));
    // The in-place frame is a plain frame with its toolbar and drop target.
    auto* inPlace = static_cast<CInPlaceFrame*>(App().inPlaceFrameClass->CreateObject());
    ASSERT_TRUE(inPlace->Create(nullptr, "in place"));
    EXPECT_TRUE(inPlace->DropTargetRegistered());
    EXPECT_TRUE(inPlace->ToolBar().m_hWnd != nullptr);
    inPlace->DestroyWindow();
}

TEST_F(VistrelAppTest, AFailedOleStartShowsItsMessageAndStops)
{
    Prompter().ExpectMessageBox(
        "OLE initialization failed.  Make sure that the OLE libraries are the correct version.", IDOK);
    EXPECT_FALSE(Start({}, true));
    EXPECT_EQ(App().m_pMainWnd, nullptr);
}

TEST_F(VistrelAppTest, FolderListStepsAndWraps)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string folder = m_dir.file("photos");
    for (const char* name : {"a.jpg", "b.jpg", "c.JPG"}) Panorama(folder + "/" + name);
    std::ofstream(folder + "/notes.txt") << "x";
    std::filesystem::create_directories(folder + "/sub.jpg");  // a folder: never listed
    ASSERT_TRUE(Start({folder + "/b.jpg"}));
    // The extension matches without regard to case; names compare byte-wise.
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.JPG"}));
    EXPECT_EQ(App().folderPath, folder + "/");
    EXPECT_EQ(App().folderIndex, IndexOf("b.jpg"));
    EXPECT_TRUE(win::QueryCommandState(Frame(), 32796).enabled);
    // A second file of the same folder keeps list and index.
    List* list = App().folderFiles;
    ASSERT_NE(App().OpenDocumentFile((folder + "/c.JPG").c_str()), nullptr);
    EXPECT_EQ(App().folderFiles, list);
    EXPECT_EQ(App().folderIndex, IndexOf("b.jpg"));
    // Next and previous step from the index and wrap at the ends.
    const int count = App().FolderCount();
    Frame()->SendMessage(WM_COMMAND, 32796, 0);
    EXPECT_EQ(App().folderIndex, (IndexOf("b.jpg") + 1) % count);
    EXPECT_EQ(Shown(), App().FolderFile(App().folderIndex));
    App().folderIndex = count - 1;
    Frame()->SendMessage(WM_COMMAND, 32796, 0);
    EXPECT_EQ(App().folderIndex, 0);
    EXPECT_EQ(Shown(), App().FolderFile(0));
    Frame()->SendMessage(WM_COMMAND, 32797, 0);
    EXPECT_EQ(App().folderIndex, count - 1);
    EXPECT_EQ(Shown(), App().FolderFile(count - 1));

    // A name not in the list: index -1 and both commands disabled.
    const std::string other = m_dir.file("other");
    Panorama(other + "/a.jpg");
    App().OpenDocumentFile((other + "/zz.jpg").c_str());
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.jpg"}));
    EXPECT_EQ(App().folderIndex, -1);
    EXPECT_FALSE(win::QueryCommandState(Frame(), 32796).enabled);
    EXPECT_FALSE(win::QueryCommandState(Frame(), 32797).enabled);

    // A missing file without an extension lists every file of its folder
    // (folders left out), and is not among them.
    App().OpenDocumentFile((folder + "/noext").c_str());
    EXPECT_EQ(App().folderPath, folder + "/");
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.JPG", "notes.txt"}));
    EXPECT_EQ(App().folderIndex, -1);
}

TEST_F(VistrelAppTest, PatternsWithoutExtensionAndEmptyFolders)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string folder = m_dir.file("mixed");
    Panorama(folder + "/p.jpg");
    std::ofstream(folder + "/readme") << "x";
    std::ofstream(folder + "/list.txt") << "x";
    ASSERT_TRUE(Start());
    App().OpenDocumentFile((folder + "/readme").c_str());
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"list.txt", "p.jpg", "readme"}));
    EXPECT_EQ(App().folderIndex, IndexOf("readme"));

    // Only a folder matches: the empty list is dropped.
    const std::string empty = m_dir.file("empty");
    std::filesystem::create_directories(empty + "/d.jpg");
    App().OpenDocumentFile((empty + "/x.jpg").c_str());
    EXPECT_EQ(App().folderFiles, nullptr);
    EXPECT_EQ(App().folderIndex, -1);
    EXPECT_EQ(App().folderPath, empty + "/");
    // Nothing matches at all: nothing changes.
    const std::string none = m_dir.file("none");
    std::filesystem::create_directories(none);
    App().OpenDocumentFile((none + "/x.tif").c_str());
    EXPECT_EQ(App().folderPath, empty + "/");
    // Exit frees the list.
    App().OpenDocumentFile((folder + "/p.jpg").c_str());
    ASSERT_NE(App().folderFiles, nullptr);
    App().ExitInstance();
    EXPECT_EQ(App().folderFiles, nullptr);
}

TEST_F(VistrelAppTest, FileOpenDialogAsksAndRemembersTheFilter)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string pano = Panorama(m_dir.file("open/pano.jpg"));
    ASSERT_TRUE(Start());
    App().AddToRecentFileList(m_dir.file("recent.jpg").c_str());
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {pano};
    answer.filterIndex = 4;
    Prompter().ExpectFileDialog("Open Image File", answer);
    Frame()->SendMessage(WM_COMMAND, 57601, 0);
    const auto asked = Prompter().FileDialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].filterIndex, 1);
    EXPECT_EQ(asked[0].initialDir, m_dir.file("recent.jpg"));
    EXPECT_EQ(asked[0].filter,
              "Quorvane files (*.qxl,*.tif,*.jpg,*.bmp)|*.qxl;*.tif;*.jpg;*.bmp|Quorvane Files (*.qxl)|*.qxl|"
              "TIFF Files (*.tif)|*.tif|JPEG Files (*.jpg)|*.jpg|Bitmap Files (*.bmp)|*.bmp|All files(*.*)|*.*||");
    EXPECT_EQ(App().filterIndex, 4);
    EXPECT_NE(Doc()->worldMap, nullptr);
    EXPECT_EQ(App().folderPath, m_dir.file("open") + "/");
}

TEST_F(VistrelAppTest, HelpAboutAndWebLinks)
{
    ASSERT_TRUE(Start());
    Frame()->SendMessage(WM_COMMAND, 57670, 0);
    CVistrelHelpDlg* help = Frame()->helpDialog;
    ASSERT_NE(help, nullptr);
    Frame()->SendMessage(WM_COMMAND, 57670, 0);
    EXPECT_EQ(Frame()->helpDialog, help);  // one at a time
    char text[400];
    help->GetDlgItem(1002)->GetWindowText(text, sizeof(text));
    EXPECT_EQ(std::string(text),
              "Pan:\n    Put the cursor on image in an off-center area where it becomes a 4-headed\n    arrow. Click "
              "and drag. A longer dragging distance gives a faster speed.");
    help->DestroyWindow();
    EXPECT_EQ(Frame()->helpDialog, nullptr);

    win::ClearShellRequests();
    for (UINT id = 32791; id <= 32795; ++id) Frame()->SendMessage(WM_COMMAND, id, 0);
    Prompter().ExpectDialog(100, [](CDialog& about) {
        about.SendMessage(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
        about.EndDialog(IDOK);
    });
    Frame()->SendMessage(WM_COMMAND, 57664, 0);
    const auto requests = win::ShellRequests();
    ASSERT_EQ(requests.size(), 6u);
    const std::string root = VistrelSiteRoot();
    const char* pages[] = {"/WebLinks/help_FAQ.htm", "/Support/support.htm", "/news/news.htm",
                           "/WebLinks/web_tutorial.htm", "/index.htm", ""};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(requests[i].verb, "open");
        EXPECT_EQ(requests[i].file, root + pages[i]);
    }
}

TEST_F(VistrelAppTest, TheMainFrameHasItsToolbarStatusBarAndTitle)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string pano = Panorama(m_dir.file("frame/pano.jpg"));
    ASSERT_TRUE(Start({pano}));
    CMainFrame& frame = *Frame();
    ASSERT_NE(frame.ToolBar().m_hWnd, nullptr);
    EXPECT_TRUE(frame.ToolBar().GetBarStyle() & CBRS_TOP);
    EXPECT_GE(frame.ToolBar().CommandToIndex(32796), 0);
    EXPECT_GE(frame.ToolBar().CommandToIndex(32774), 0);
    const UINT panes[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(frame.StatusBar().GetItemID(i), panes[i]) << i;
    char title[200];
    frame.GetWindowText(title, sizeof(title));
    EXPECT_NE(std::string(title).find("pano.jpg"), std::string::npos) << title;
    EXPECT_NE(std::string(title).find("Quorvane Viewer"), std::string::npos) << title;
}

}  // namespace
