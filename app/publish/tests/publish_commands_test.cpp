// The Publish menu's commands: the screen saver's hand-over file and tips
// note, and the e-mail instructions on the clipboard.
#include "app/matching/app_config.h"
#include "app/publish/small_dialogs.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/clipboard.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using testkit::ReadText;

class PublishTest : public AppTest {
protected:
    void TearDown() override
    {
        if (!m_saved) {
        } else if (m_oldTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        AppTest::TearDown();
    }
    void SetTemp(const std::string& folder)
    {
        if (!m_saved) {
            const char* t = std::getenv("TMPDIR");
            m_oldTmp = t ? t : "";
            m_saved = true;
        }
        fs::create_directories(folder);
        setenv("TMPDIR", folder.c_str(), 1);
    }
    std::string m_oldTmp;
    bool m_saved = false;
};

TEST_F(PublishTest, ScreenSaverHandOverOnlyInATempFolder)
{
    ASSERT_TRUE(Start());
    struct Case {
        const char* folder;  // below the test's home
        bool accepted;
    };
    const Case cases[] = {{"a/Temp/", true}, {"b/tmp/", true}, {"c/TMP/", true}, {"d/scratch/", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = Home().file(c.folder);
        SetTemp(folder + (folder.back() == '/' ? "" : "/"));
        win::ClearShellRequests();
        Manager().GetConfig()->screenSaverHint = 0;
        const std::string before = Manager().GetAlbumPath();
        if (!c.accepted)
            Prompter().ExpectMessageBox(
                "Can not access temporary directory.\nManually select panorama file to Drowsel screen saver.", IDOK);
        EXPECT_EQ(Manager().SetAsScreenSaverFile("/photos/room pano.jpg"), c.accepted);
        const fs::path album = fs::path(folder) / "quorvanealbum.txt";
        if (c.accepted) {
            EXPECT_EQ(ReadText(album), "/photos/room pano.jpg\n");
            EXPECT_EQ(Manager().GetAlbumPath(), album.string());
            auto requests = win::ShellRequests();
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].file, "\\Drowsel.exe");
            EXPECT_EQ(requests[0].parameters, "c");
        } else {
            EXPECT_FALSE(fs::exists(album));
            EXPECT_EQ(Manager().GetAlbumPath(), before);
            EXPECT_TRUE(win::ShellRequests().empty());
        }
    }
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(PublishTest, TipsNotePlacedAndTurnedOffForGood)
{
    ASSERT_TRUE(Start());
    SetTemp(Home().file("t/tmp/"));
    for (bool dontShow : {false, true}) {
        SCOPED_TRACE(dontShow);
        ASSERT_TRUE(Manager().SetAsScreenSaverFile("/photos/room.jpg"));
        CDialog* tip = Manager().GetScreenSaverTip();
        ASSERT_NE(tip, nullptr);
        RECT client{}, window{};
        tip->GetClientRect(&client);
        tip->GetWindowRect(&window);
        EXPECT_EQ(window.left, GetSystemMetrics(SM_CXSCREEN) - client.right - 10);
        EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2 - 10);
        tip->CheckDlgButton(CScreenSaverTipsDlg::kDontShowCheck, dontShow ? BST_CHECKED : BST_UNCHECKED);
        tip->SendMessage(WM_COMMAND, IDOK, 0);
        EXPECT_EQ(Manager().GetScreenSaverTip(), nullptr);
        EXPECT_EQ(Manager().GetConfig()->screenSaverHint, dontShow ? 0 : 1);
        EXPECT_EQ(Manager().GetConfig()->IsModified(), dontShow);
    }
    // Turned off: the next hand-over shows no note.
    ASSERT_TRUE(Manager().SetAsScreenSaverFile("/photos/room.jpg"));
    EXPECT_EQ(Manager().GetScreenSaverTip(), nullptr);
}

TEST_F(PublishTest, EmailInstructionsOnTheClipboardOnce)
{
    ASSERT_TRUE(Start());
    RegisterPublishDialogs();
    CEmailPanoramaDlg dialog("/photos/room.jpg");
    EXPECT_EQ(dialog.m_panoramaPath, "/photos/room.jpg");
    // The log folder under the application data is made and named.
    EXPECT_EQ(fs::path(dialog.m_location), fs::path(Home().file("appdata")) / "Quorvane" / "log");
    EXPECT_TRUE(fs::is_directory(fs::path(Home().file("appdata")) / "Quorvane"));

    const std::string& text = CEmailPanoramaDlg::InstructionText();
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 21u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find("\n   7) Click \"Preview\" to view your spinning kestova as your screen saver\n\n"),
              std::string::npos);

    const size_t blocksBefore = win::LiveGlobalCount();
    ASSERT_TRUE(dialog.PutInstructionsOnClipboard());
    ASSERT_TRUE(dialog.PutInstructionsOnClipboard());
    EXPECT_EQ(win::LiveGlobalCount(), blocksBefore + 1);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HGLOBAL block = GetClipboardData(CF_TEXT);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(block))), text);
    GlobalUnlock(block);
    CloseClipboard();
}

}  // namespace
