// The configuration dialog played through the scripted prompter: what it
// shows from the profile (its own default period of 5), what OK writes with
// and without a handed-over panorama, Browse, Add to Album, the period's
// range, the help dialog and the about box from the system menu.
#include "viewer/drowsel/config_dialog.h"

#include "viewer/drowsel/album_files.h"
#include "viewer/drowsel/drowsel_resources.h"
#include "tests/drowsel_test_support.h"

#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/shell.h"
#include "platform/win/system_menu.h"
#include "platform/win/user_input.h"
#include "platform/win/window_system.h"

namespace {

using namespace drowseltest;
using namespace drowsel;

class ConfigDialogTest : public SaverTest {
protected:
    void SetUp() override
    {
        SaverTest::SetUp();
        RegisterResources();
    }
    std::string Config(const char* entry)
    {
        return win::Profile::Get().ReadString(kConfigSection, entry).value_or("<none>");
    }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItemText(static_cast<int>(id)); }
    static bool Enabled(CDialog& d, UINT id) { return d.GetDlgItem(static_cast<int>(id))->IsWindowEnabled(); }
    static CSliderCtrl* Slider(CDialog& d, UINT id) { return win::WindowAs<CSliderCtrl>(::GetDlgItem(d.m_hWnd, static_cast<int>(id))); }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(static_cast<int>(id))); }
    std::string HandOverFile() { return tmp.file("quorvanealbum.txt"); }
};

TEST_F(ConfigDialogTest, ShowsTheProfileWithItsOwnDefaultPeriod)
{
    SetConfig("ImageName", "/pics/album.txt");
    CDrowselConfigDlg dlg("");
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        EXPECT_EQ(Text(d, IDC_IMAGE_PATH), "/pics/album.txt");
        EXPECT_EQ(Text(d, IDC_PERIOD), "5");  // no "Period": the dialog shows 5
        EXPECT_EQ(Slider(d, IDC_SPEED)->GetPos(), 1);
        EXPECT_EQ(Slider(d, IDC_SPEED)->GetRangeMin(), -200);
        EXPECT_EQ(Slider(d, IDC_SPEED)->GetRangeMax(), 200);
        EXPECT_EQ(Slider(d, IDC_HEIGHT)->GetPos(), 70);
        EXPECT_EQ(Slider(d, IDC_HEIGHT)->GetRangeMin(), 50);
        EXPECT_EQ(Slider(d, IDC_HEIGHT)->GetRangeMax(), 90);
        EXPECT_EQ(Text(d, IDC_HEIGHT_VALUE), "70%");
        // An album: a period, nothing to add.
        EXPECT_TRUE(Enabled(d, IDC_PERIOD));
        EXPECT_FALSE(Enabled(d, IDC_ADD_TO_ALBUM));
        win::user::DragSliderTo(::GetDlgItem(d.m_hWnd, IDC_HEIGHT), 55);
        EXPECT_EQ(Text(d, IDC_HEIGHT_VALUE), "55%");
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(Config("Period"), "<none>");  // Cancel writes nothing
    EXPECT_EQ(Config("FieldOfView"), "<none>");
    // The saver itself reads a missing period as one minute.
    WriteText(pictures.file("a.jpg"), "x");
    CDrowselWnd wnd;
    wnd.LoadSaver("", 1024, 768);
    EXPECT_EQ(wnd.period, 1);
}

TEST_F(ConfigDialogTest, OkWritesEverythingWithoutAHandOver)
{
    CDrowselConfigDlg dlg("");
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        EXPECT_EQ(Text(d, IDC_IMAGE_PATH), "");
        EXPECT_FALSE(Enabled(d, IDC_ADD_TO_ALBUM));
        EXPECT_FALSE(Enabled(d, IDC_PERIOD));
        win::user::TypeText(::GetDlgItem(d.m_hWnd, IDC_IMAGE_PATH), "/pics/p.jpg");
        Slider(d, IDC_SPEED)->SetPos(-60);  // the arrow keys reach every position
        win::user::DragSliderTo(::GetDlgItem(d.m_hWnd, IDC_HEIGHT), 85);
        Click(d, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(Config("ImageName"), "/pics/p.jpg");
    EXPECT_EQ(Config("Speed"), "-60");
    EXPECT_EQ(Config("FieldOfView"), "85");
    EXPECT_EQ(Config("Period"), "5");
}

// With a handed-over panorama the picture stays the profile's, but the
// user's speed, height and period are kept.
TEST_F(ConfigDialogTest, HandOverKeepsTheSettingsButNotTheName)
{
    WriteText(HandOverFile(), "/pano/handed.jpg\n");
    SetConfig("ImageName", "/pics/album.txt");
    SetConfig("Speed", "10");
    SetConfig("FieldOfView", "60");
    SetConfig("Period", "3");
    CDrowselConfigDlg dlg(ReadHandOver());
    EXPECT_FALSE(dlg.mayWrite);
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        EXPECT_EQ(Text(d, IDC_IMAGE_PATH), "/pano/handed.jpg");
        EXPECT_TRUE(Enabled(d, IDC_ADD_TO_ALBUM));
        EXPECT_FALSE(Enabled(d, IDC_PERIOD));
        EXPECT_EQ(Slider(d, IDC_SPEED)->GetPos(), 10);
        Slider(d, IDC_SPEED)->SetPos(40);
        win::user::DragSliderTo(::GetDlgItem(d.m_hWnd, IDC_HEIGHT), 80);
        Click(d, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(Config("Speed"), "40");
    EXPECT_EQ(Config("FieldOfView"), "80");
    EXPECT_EQ(Config("Period"), "3");
    EXPECT_EQ(Config("ImageName"), "/pics/album.txt");
    EXPECT_EQ(ReadHandOver(), "/pano/handed.jpg");  // OK alone leaves the hand-over
    EXPECT_EQ(dlg.m_album, "/pics/album.txt");
}

TEST_F(ConfigDialogTest, BrowseEmptiesTheHandOver)
{
    WriteText(HandOverFile(), "/pano/handed.jpg\n");
    CDrowselConfigDlg dlg(ReadHandOver());
    win::FileDialogAnswer chosen;
    chosen.ok = true;
    chosen.paths = {"/pics/new.jpg"};
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        Click(d, IDC_BROWSE);
        EXPECT_EQ(Text(d, IDC_IMAGE_PATH), "/pics/new.jpg");
        EXPECT_TRUE(Enabled(d, IDC_ADD_TO_ALBUM));
        Click(d, IDOK);
    });
    prompter->ExpectFileDialog("Browse Drowsel Album File or Panorama File", chosen);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_EQ(prompter->FileDialogs().size(), 1u);
    EXPECT_EQ(prompter->FileDialogs()[0].filter,
              "Album/Panorama Files (*.txt,*tif,*jpg)|*.txt;*.tif;*.jpg|Album Files (*.txt)|*.txt|"
              "Panorama Files (*.tif, *.jpg)|*.tif;*.jpg|TIFF Image Files (*.tif)|*.tif|"
              "JPEG Image Files (*.jpg)|*.jpg||");
    EXPECT_EQ(ReadHandOver(), "");
    EXPECT_TRUE(std::filesystem::exists(HandOverFile()));
    EXPECT_EQ(std::filesystem::file_size(HandOverFile()), 0u);
    EXPECT_EQ(Config("ImageName"), "/pics/new.jpg");
}

TEST_F(ConfigDialogTest, AddToAlbumMovesThePictureToTheTop)
{
    const std::string album = pictures.file("mine.txt");
    WriteText(album, "/pics/a.jpg\n/pics/p.jpg\n/pics/b.jpg\n");
    SetConfig("ImageName", album);
    WriteText(HandOverFile(), "/pics/p.jpg\n");
    CDrowselConfigDlg dlg(ReadHandOver());
    win::FileDialogAnswer chosen;
    chosen.ok = true;
    chosen.paths = {album};
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        Click(d, IDC_ADD_TO_ALBUM);
        EXPECT_EQ(Text(d, IDC_IMAGE_PATH), album);
        EXPECT_FALSE(Enabled(d, IDC_ADD_TO_ALBUM));
        EXPECT_TRUE(Enabled(d, IDC_PERIOD));
        win::user::TypeText(::GetDlgItem(d.m_hWnd, IDC_PERIOD), "12");
        Click(d, IDOK);
    });
    prompter->ExpectFileDialog("Browse Drowsel Album File", chosen);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    const win::FileDialogRequest asked = prompter->FileDialogs().at(0);
    EXPECT_EQ(asked.filter, "Album File (*.txt)|*.txt||");
    EXPECT_EQ(asked.defaultExt, "txt");
    EXPECT_EQ(asked.fileName, album);  // starts at the current album
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadLines(album, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"/pics/p.jpg", "/pics/a.jpg", "/pics/b.jpg"}));
    EXPECT_EQ(ReadHandOver(), "");
    EXPECT_EQ(Config("ImageName"), album);
    EXPECT_EQ(Config("Period"), "12");
}

TEST_F(ConfigDialogTest, PeriodOutsideItsRangeKeepsTheDialogOpen)
{
    SetConfig("ImageName", "/pics/album.txt");
    CDrowselConfigDlg dlg("");
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        win::user::TypeText(::GetDlgItem(d.m_hWnd, IDC_PERIOD), "10001");
        Click(d, IDOK);
    });
    prompter->ExpectMessageBox(win::IntegerRangeMessage(1, 10000), IDOK);
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        win::user::TypeText(::GetDlgItem(d.m_hWnd, IDC_PERIOD), "10000");
        Click(d, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(Config("Period"), "10000");
}

TEST_F(ConfigDialogTest, HelpOnceAndAboutFromTheSystemMenu)
{
    CDrowselConfigDlg dlg("");
    prompter->ExpectDialog(IDD_CONFIG, [&](CDialog& d) {
        Click(d, IDC_HELP_BUTTON);
        CDrowselHelpDlg* help = dlg.HelpDialog();
        ASSERT_TRUE(help);
        EXPECT_EQ(help->GetWindowText(), "Drowsel Config Help");
        Click(d, IDC_HELP_BUTTON);
        EXPECT_EQ(dlg.HelpDialog(), help);  // the same one
        int helps = 0;
        for (HWND top : win::WindowSystem::Get().TopLevelWindows())
            if (CWnd::FromHandle(top)->GetWindowText() == "Drowsel Config Help") ++helps;
        EXPECT_EQ(helps, 1);
        CMenu* menu = GetSystemMenu(d.m_hWnd, FALSE);
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->GetMenuString(IDM_ABOUTBOX, MF_BYCOMMAND), "&About Saver...");
        EXPECT_TRUE(win::ChooseSystemCommand(d.m_hWnd, IDM_ABOUTBOX));
        Click(d, IDCANCEL);
    });
    prompter->ExpectDialog(IDD_ABOUTBOX, [&](CDialog& about) {
        EXPECT_EQ(about.GetWindowText(), "About Saver");
        Click(about, IDC_HOME_LINK);
        Click(about, IDOK);
    });
    win::ClearShellRequests();
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    const auto requests = win::ShellRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].verb, "open");
    EXPECT_EQ(requests[0].file, HomePage());
}

}  // namespace
