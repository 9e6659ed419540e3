// The tour maker dialog on the headless window system: the interface the
// application drives (Open, AddVista, Close and the posted notifications),
// the working folder, the edits' rules, the page-file chooser before a
// publish, a whole publish from the dialog with Preview, Save
// Configuration into a folder that cannot take the file, and the colour
// buttons' and preview's pixels.
#include "tour/tessiv/tour_maker_dlg.h"

#include "platform/win/choose_dialogs.h"
#include "platform/win/data_exchange.h"
#include "platform/win/dynamic_library.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/mci/mci.h"
#include "tour/tessiv/publish.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_images.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"
#include "worldmap/codec_binding.h"

#include <gtest/gtest.h>

#include <cmath>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr UINT kNotifyMessage = WM_USER + 1000;

// The application's side: records the tour maker's notifications.
class MainFrame : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kNotifyMessage) {
            notes.push_back(static_cast<int>(wParam));
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    std::vector<int> notes;
};

class TourDialog : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        setenv("FENDRAKE_APPDATA", m_dir.file("appdata").c_str(), 1);
        ASSERT_TRUE(m_frame.CreateEx(0, nullptr, "Fendrake", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 1000, 700},
                                     nullptr, 0));
    }
    void TearDown() override
    {
        if (m_tessiv) m_tessiv->Close();
        unsetenv("FENDRAKE_APPDATA");
        WinTest::TearDown();
    }

    PTourMakerDlg& Open(const std::string& programDir)
    {
        m_tessiv = CreateTessiv();
        EXPECT_TRUE(m_tessiv->Open(programDir.c_str(), &m_frame, kNotifyMessage));
        return *dynamic_cast<PTourMakerDlg*>(m_tessiv);
    }
    PTourMakerDlg& Open() { return Open(m_dir.path().string()); }

    static void Pump()
    {
        MSG msg;
        while (::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessage(&msg);
        }
    }

    // Types into an edit and presses Enter there.
    static void Enter(PTourMakerDlg& d, UINT id, const std::string& text)
    {
        win::user::TypeText(d.GetDlgItem(id)->m_hWnd, text);
        win::user::PressKey(VK_RETURN);
        Pump();
    }

    static RefPtr<Image> Thumbnail(int grey)
    {
        RefPtr<Image> t = RefPtr<Image>::adopt(new Image(96, 48, 3));
        t->Fill(grey);
        return t;
    }

    static bool Enabled(PTourMakerDlg& d, UINT id) { return d.GetDlgItem(id)->IsWindowEnabled() != FALSE; }

    testkit::TempDir m_dir;
    MainFrame m_frame;
    ITessiv* m_tessiv = nullptr;
};

}  // namespace

TEST_F(TourDialog, InterfaceAndNotifications)
{
    PTourMakerDlg& d = Open();
    EXPECT_TRUE(d.IsWindowVisible());
    EXPECT_EQ(d.GetWorkingFolder(), m_dir.path().string());
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kPublish));

    RefPtr<Image> thumb = Thumbnail(100);
    d.AddVista(thumb.get(), "/pics/photo.jpg", TessivPanoramaValues{1, 800, 600, 0, 0, 0});
    EXPECT_EQ(d.GetProject()->GetVistaCount(), 0);  // only panoramas
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kPublish));
    d.AddVista(thumb.get(), "/pics/hall.jpg", TessivPanoramaValues{2, 4000, 2000, 4000, 0, 0});
    d.AddVista(thumb.get(), "/pics/yard.jpg", TessivPanoramaValues{2, 3000, 1500, 3000, 0, 0});
    ASSERT_EQ(d.GetProject()->GetVistaCount(), 1);  // the second replaces the first
    EXPECT_STREQ(d.GetProject()->GetVista(0)->GetFileName(), "/pics/yard.jpg");
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kPublish));
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kVistaFile), "File:  /pics/yard.jpg");
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kVistaSize), "Size: 3000x1500");

    // A long name: "~" and its last 50 characters.
    const std::string longName = "/" + std::string(59, 'a');
    ASSERT_EQ(longName.size(), 60u);
    d.AddVista(thumb.get(), longName.c_str(), TessivPanoramaValues{2, 3000, 1500, 3000, 0, 0});
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kVistaFile), "File: ~" + longName.substr(10));

    // Load asks for a panorama; Done and the close box finish, without
    // closing the window.
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kVistaLoad));
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kDone));
    d.SendMessage(WM_CLOSE);
    Pump();
    EXPECT_EQ(m_frame.notes, (std::vector<int>{1, 2, 2}));
    EXPECT_TRUE(d.GetSafeHwnd() != nullptr);
}

TEST_F(TourDialog, EditRules)
{
    PTourMakerDlg& d = Open();
    struct Case {
        UINT id;
        const char* typed;
        const char* shown;   // the edit afterwards
        UINT label;          // a label to look at, 0 none
        const char* labelText;
    };
    const Case cases[] = {
        {PTourMakerDlg::kPageWidth, "250", "300", 0, nullptr},
        {PTourMakerDlg::kPageWidth, "5000", "1200", 0, nullptr},
        {PTourMakerDlg::kSpinSpeed, "0", "1", PTourMakerDlg::kTurnTime, "360 seconds"},
        {PTourMakerDlg::kSpinSpeed, "-20", "-20", PTourMakerDlg::kTurnTime, "18 seconds"},
        {PTourMakerDlg::kSpinSpeed, "7", "7", PTourMakerDlg::kTurnTime, "51 seconds"},
    };
    for (const Case& c : cases) {
        Enter(d, c.id, c.typed);
        EXPECT_EQ(d.GetDlgItemText(c.id), c.shown) << c.typed;
        if (c.label) {
            EXPECT_EQ(d.GetDlgItemText(c.label), c.labelText) << c.typed;
        }
    }
    EXPECT_EQ(d.GetProject()->GetPageWidth(), 1200);
    EXPECT_EQ(d.GetProject()->GetSpinSpeed(), 7);

    // A height out of range is refused with the range message; the project
    // keeps its height.
    const int height = d.GetProject()->GetPageHeight();
    Prompter().ExpectMessageBox(win::IntegerRangeMessage(200, 1200), IDOK);
    Enter(d, PTourMakerDlg::kPageHeight, "150");
    EXPECT_EQ(d.GetProject()->GetPageHeight(), height);
    Enter(d, PTourMakerDlg::kPageHeight, "500");
    EXPECT_EQ(d.GetProject()->GetPageHeight(), 500);
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kSaveConfig));
}

TEST_F(TourDialog, WorkingFolder)
{
    // A program folder that cannot be written, and no configuration there:
    // the copy into the shared folder fails and the program folder stays.
    const std::string missing = m_dir.file("missing") + "/program";
    {
        PTourMakerDlg& d = Open(missing);
        EXPECT_EQ(d.GetWorkingFolder(), missing);
        m_tessiv->Close();
        m_tessiv = nullptr;
    }
    // With a configuration in the shared folder already, it is used.
    const fs::path shared = m_dir.path() / "appdata" / "Quorvane" / "stitcher";
    fs::create_directories(shared);
    std::ofstream(shared / "TessivConfig.bin") << "";
    PTourMakerDlg& d = Open(missing);
    EXPECT_EQ(fs::path(win::ToPosixPath(d.GetWorkingFolder())), shared);
}

TEST_F(TourDialog, SaveConfigurationFailureKeepsTheUnsavedState)
{
    // "TessivConfig.bin" is a folder: it cannot be written.
    fs::create_directories(m_dir.path() / "TessivConfig.bin");
    PTourMakerDlg& d = Open();
    Enter(d, PTourMakerDlg::kSpinSpeed, "9");
    ASSERT_TRUE(Enabled(d, PTourMakerDlg::kSaveConfig));
    Prompter().ExpectMessageBox("Cannot save configuration file:\n" + m_dir.path().string() + "\\TessivConfig.bin",
                                IDOK);
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSaveConfig));
    EXPECT_TRUE(d.GetProject()->HasUnsavedChanges());
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kSaveConfig));

    // Into a folder that takes it: saved, and read back by the next dialog.
    fs::remove_all(m_dir.path() / "TessivConfig.bin");
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSaveConfig));
    EXPECT_FALSE(d.GetProject()->HasUnsavedChanges());
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kSaveConfig));
    m_tessiv->Close();
    m_tessiv = nullptr;
    PTourMakerDlg& again = Open();
    EXPECT_EQ(again.GetProject()->GetSpinSpeed(), 9);
    EXPECT_EQ(again.GetDlgItemText(PTourMakerDlg::kSpinSpeed), "9");
}

TEST_F(TourDialog, PublishAsksForThePageFileThenPublishes)
{
    // The program folder holds the shipped templates; a real panorama.
    const fs::path program = m_dir.path() / "program";
    fs::create_directories(program);
    fs::copy(FENDRAKE_TOUR_TEMPLATES, program / "WebLinksTm", fs::copy_options::recursive);
    ReleaseIOModule();
    SetDllDirectoryA(fs::path(FENDRAKE_JPEGKIT_LIBRARY).parent_path().c_str());
    const std::string panorama = m_dir.file("hall.jpg");
    {
        RefPtr<Image> picture = RefPtr<Image>::adopt(new Image(800, 400, 3));
        picture->Fill(120);
        WMapRecord descriptor;
        descriptor.equatorWidth = 800;
        descriptor.mapType = 2;
        ASSERT_EQ(SaveTourImage(picture.get(), panorama.c_str(), &descriptor, 0), 0);
    }
    PTourMakerDlg& d = Open(program.string());
    RefPtr<Image> thumb = Thumbnail(90);
    d.AddVista(thumb.get(), panorama.c_str(), TessivPanoramaValues{2, 800, 400, 800, 0, 0});
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kPreview));

    const std::string out = m_dir.file("tours");
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {out + "/tour.htm"};
    Prompter().ExpectFileDialog("Create web htm File", answer);
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kPublish));
    Pump();
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kFolder), out);
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kPageName), "tour.htm");
    EXPECT_TRUE(d.IsPublished());
    EXPECT_TRUE(fs::exists(fs::path(out) / "tour.htm"));
    EXPECT_TRUE(fs::exists(fs::path(out) / "StitcherStarterPage_Flash_tour.htm"));
    EXPECT_TRUE(fs::exists(fs::path(out) / "data_tour" / "hall_thumb.jpg"));
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kPreview));
    EXPECT_FALSE(d.GetDlgItem(PTourMakerDlg::kProgress)->IsWindowVisible());
    EXPECT_TRUE(d.GetDlgItem(PTourMakerDlg::kPublish)->IsWindowVisible());

    win::ClearShellRequests();
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kPreview));
    const std::vector<win::ShellRequest> shell = win::ShellRequests();
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, out + "\\StitcherStarterPage_Flash_tour.htm");

    // A publish that fails leaves Preview as the last good publish left
    // it, and a fresh dialog's Preview stays off: the template is gone.
    fs::remove(program / "WebLinksTm" / "StitcherFlashWrapper.htm");
    m_tessiv->Close();
    m_tessiv = nullptr;
    PTourMakerDlg& second = Open(program.string());
    second.AddVista(thumb.get(), panorama.c_str(), TessivPanoramaValues{2, 800, 400, 800, 0, 0});
    Enter(second, PTourMakerDlg::kFolder, out);
    Enter(second, PTourMakerDlg::kPageName, "tour.htm");
    Prompter().ExpectMessageBox("Cannot open tour page template file!", IDOK);
    win::user::ClickControl(second.GetDlgItem(PTourMakerDlg::kPublish));
    EXPECT_FALSE(second.IsPublished());
    EXPECT_FALSE(Enabled(second, PTourMakerDlg::kPreview));
    ReleaseIOModule();
    SetDllDirectoryA(nullptr);
}

TEST_F(TourDialog, ColourButtonsAndPreviewPixels)
{
    PTourMakerDlg& d = Open();
    // A new tour's control bar has no colour: its button is disabled and
    // shows the button face.
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kBarColor));
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kNoColor));
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kBarColor));
    EXPECT_TRUE(d.GetProject()->GetControlBarColored());
    const COLORREF colours[3] = {0x00204080, 0x00F0E0D0, 0x00008000};
    for (int i = 0; i < 3; ++i) d.ApplyColor(i, colours[i]);
    win::PaintAll();
    const UINT ids[3] = {PTourMakerDlg::kTitleColor, PTourMakerDlg::kBarColor, PTourMakerDlg::kPageColor};
    for (int i = 0; i < 3; ++i) {
        RefPtr<Image> shot = RefPtr<Image>::adopt(win::CaptureWindow(d.GetDlgItem(ids[i])->m_hWnd));
        ASSERT_TRUE(shot);
        // A pixel inside the face, away from the caption.
        const uint8_t* p = shot->GetData() + 4 * shot->GetRowByte() + 3 * 4;
        EXPECT_EQ(RGB(p[2], p[1], p[0]), colours[i]) << i;
    }
    EXPECT_EQ(d.GetProject()->GetPageBgColor(), colours[2]);

    // A caption not starting with "." is written in the contrast colour.
    CColorButton& button = d.GetColorButton(0);
    button.SetWindowText("Aa");
    win::PaintAll();
    RefPtr<Image> shot = RefPtr<Image>::adopt(win::CaptureWindow(button.m_hWnd));
    ASSERT_TRUE(shot);
    const COLORREF contrast = ContrastColor(colours[0]);
    bool found = false;
    for (int y = 0; y < shot->GetHeight() && !found; ++y)
        for (int x = 0; x < shot->GetWidth() && !found; ++x) {
            const uint8_t* p = shot->GetData() + y * shot->GetRowByte() + 3 * x;
            found = RGB(p[2], p[1], p[0]) == contrast;
        }
    EXPECT_TRUE(found);

    // The preview without a vista: the viewer area in 0x808000, the control
    // bar band in the page colour (the bar has no colour of its own).
    d.GetProject()->SetControlBarColored(false);
    d.Invalidate();
    win::PaintAll();
    const PTourMakerDlg::PreviewBoxes b = d.ComputePreview();
    RefPtr<Image> whole = RefPtr<Image>::adopt(win::CaptureWindow(d.m_hWnd));
    ASSERT_TRUE(whole);
    auto at = [&](int x, int y) {
        const uint8_t* p = whole->GetData() + y * whole->GetRowByte() + 3 * x;
        return RGB(p[2], p[1], p[0]);
    };
    EXPECT_EQ(at(b.viewer.left + 3, b.viewer.top + 3), 0x808000u);
    EXPECT_EQ(at(b.controlBar.left + 3, b.controlBar.top + 3), colours[2]);
    // The page's proportions: 600 x 400 by default.
    const int w = b.viewer.right - b.viewer.left, h = b.viewer.bottom - b.viewer.top;
    EXPECT_NEAR(static_cast<double>(w) / h, 1.5, 0.02);
}

// The page layout's boxes drawn in the preview at its scale: each box's
// four corners carry its colour (within a pixel of where the page's layout
// puts them once scaled); a box the page does not show is not drawn.
TEST_F(TourDialog, PreviewOutlinesTheLayoutBoxes)
{
    PTourMakerDlg& d = Open();
    TourProject& p = *d.GetProject();
    struct Case {
        int width, height;
        bool title;
    };
    const Case cases[] = {{600, 400, true}, {1200, 300, true}, {300, 1200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        p.SetPageSize(c.width, c.height);
        p.SetTitleText("Harbour");
        p.SetTitleShown(c.title);
        p.SetStripEnabled(true);
        d.Invalidate();
        win::PaintAll();
        RefPtr<Image> shot = RefPtr<Image>::adopt(win::CaptureWindow(d.m_hWnd));
        ASSERT_TRUE(shot);
        auto at = [&](int x, int y) -> COLORREF {
            if (x < 0 || y < 0 || x >= shot->GetWidth() || y >= shot->GetHeight()) return 0xFFFFFFFF;
            const uint8_t* q = shot->GetData() + static_cast<size_t>(y) * shot->GetRowByte() + 3 * x;
            return RGB(q[2], q[1], q[0]);
        };
        auto near = [&](double x, double y, COLORREF colour) {
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (at(static_cast<int>(std::lround(x)) + dx, static_cast<int>(std::lround(y)) + dy) == colour)
                        return true;
            return false;
        };
        const PTourMakerDlg::PreviewBoxes b = d.ComputePreview();
        const double sx = static_cast<double>(b.viewer.right - b.viewer.left) / c.width;
        const double sy = static_cast<double>(b.viewer.bottom - b.viewer.top) / c.height;
        int drawn = 0;
        for (int k : {kStripBox, kTitleBox, kControlBox}) {
            SCOPED_TRACE(k);
            // Left, top, width, height of the page's own layout.
            const RECT box = p.GetLayoutBox(k);
            const COLORREF colour = PTourMakerDlg::kLayoutBoxColors[k];
            const bool shown = box.right > 0 && box.bottom > 0;
            if (k == kTitleBox) {
                EXPECT_EQ(shown, c.title);
            }
            if (!shown) {
                for (int y = b.viewer.top; y < b.viewer.bottom; ++y) {
                    for (int x = b.viewer.left; x < b.viewer.right; ++x) {
                        ASSERT_NE(at(x, y), colour);
                    }
                }
                continue;
            }
            ++drawn;
            const double left = b.viewer.left + box.left * sx, top = b.viewer.top + box.top * sy;
            const double right = b.viewer.left + (box.left + box.right) * sx - 1;
            const double bottom = b.viewer.top + (box.top + box.bottom) * sy - 1;
            EXPECT_TRUE(near(left, top, colour));
            EXPECT_TRUE(near(right, top, colour));
            EXPECT_TRUE(near(left, bottom, colour));
            EXPECT_TRUE(near(right, bottom, colour));
            // The outline only: the box's middle keeps the viewer's fill.
            EXPECT_EQ(at(static_cast<int>((left + right) / 2), static_cast<int>((top + bottom) / 2)), 0x808000u);
        }
        EXPECT_EQ(drawn, c.title ? 3 : 2);
    }
}

// The colour buttons and "Font..." open the choosers preset from the tour;
// what the user confirms goes to the buttons and the project, a cancel
// changes nothing.
TEST_F(TourDialog, ColourAndFontChoosers)
{
    PTourMakerDlg& d = Open();
    const COLORREF page = d.GetProject()->GetPageBgColor();
    Prompter().ExpectDialog(CColorDialog::kTemplateId, [&](CDialog& c) {
        // Preset with the button's colour.
        EXPECT_EQ(c.GetDlgItemText(CColorDialog::kRed), std::to_string(GetRValue(page)));
        EXPECT_EQ(c.GetDlgItemText(CColorDialog::kBlue), std::to_string(GetBValue(page)));
        win::user::TypeText(c.GetDlgItem(CColorDialog::kRed)->m_hWnd, "255");
        win::user::TypeText(c.GetDlgItem(CColorDialog::kGreen)->m_hWnd, "16");
        win::user::TypeText(c.GetDlgItem(CColorDialog::kBlue)->m_hWnd, "1");
        win::user::ClickControl(c.GetDlgItem(IDOK));
    });
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kPageColor));
    EXPECT_EQ(d.GetProject()->GetPageBgColor(), RGB(255, 16, 1));
    EXPECT_EQ(d.GetColorButton(2).GetColor(), RGB(255, 16, 1));
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kSaveConfig));

    Prompter().ExpectDialog(CColorDialog::kTemplateId, [&](CDialog& c) {
        win::user::TypeText(c.GetDlgItem(CColorDialog::kRed)->m_hWnd, "0");
        win::user::ClickControl(c.GetDlgItem(IDCANCEL));
    });
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kPageColor));
    EXPECT_EQ(d.GetProject()->GetPageBgColor(), RGB(255, 16, 1));

    // The font: size in points in the chooser, twentieths in the tour.
    d.GetProject()->SetTitleFont("Arial", 360, 2);  // 18 points, italic
    Prompter().ExpectDialog(CFontDialog::kTemplateId, [&](CDialog& f) {
        EXPECT_EQ(f.GetDlgItemText(CFontDialog::kFace), "Arial");
        EXPECT_EQ(f.GetDlgItemText(CFontDialog::kSize), "18");
        EXPECT_EQ(f.IsDlgButtonChecked(CFontDialog::kItalic), 1u);
        EXPECT_EQ(f.IsDlgButtonChecked(CFontDialog::kBold), 0u);
        win::user::TypeText(f.GetDlgItem(CFontDialog::kFace)->m_hWnd, "Verdana");
        win::user::TypeText(f.GetDlgItem(CFontDialog::kSize)->m_hWnd, "12.5");
        win::user::ClickControl(f.GetDlgItem(CFontDialog::kBold));
        win::user::ClickControl(f.GetDlgItem(IDOK));
    });
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kTitleFont));
    const TextStyle& title = d.GetProject()->GetTitle();
    EXPECT_STREQ(title.GetFaceName(), "Verdana");
    EXPECT_EQ(title.GetSize(), 250);
    EXPECT_TRUE(title.IsBold());
    EXPECT_TRUE(title.IsItalic());
}

// The tour sound: chosen in "Select Sound File", played and stopped, and a
// preview that fails shown as a message.
TEST_F(TourDialog, SoundControls)
{
    const bool wasSilent = mci::SetSilent(true);
    PTourMakerDlg& d = Open();
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kSoundName), "none");
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kSoundPlay));
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kSoundUse));

    const std::string sound = m_dir.file("wind.wav");
    std::ofstream(sound) << "RIFF";
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {sound};
    Prompter().ExpectFileDialog("Select Sound File", answer);
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSoundLoad));
    EXPECT_EQ(Prompter().FileDialogs().back().filter.rfind("Sound File (*.mid,*.wav,*.mp3,*.rmi,*.wma)", 0), 0u);
    EXPECT_STREQ(d.GetProject()->GetBgSoundPath(), sound.c_str());
    EXPECT_TRUE(d.GetProject()->GetUseSound());
    EXPECT_EQ(d.IsDlgButtonChecked(PTourMakerDlg::kSoundUse), 1u);
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kSoundPlay));

    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSoundPlay));
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kSoundPlay), "Stop");
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSoundPlay));
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kSoundPlay), "Play");

    // The file went away: the preview's code becomes a message.
    std::filesystem::remove(sound);
    Prompter().ExpectMessageBox("Cannot find sound file:\n" + sound, IDOK);
    win::user::ClickControl(d.GetDlgItem(PTourMakerDlg::kSoundPlay));
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kSoundPlay), "Play");
    mci::SetSilent(wasSilent);
}

// The strip tells the dialog: a new initial view is shown, and dragging
// the only vista out disables Publish.
TEST_F(TourDialog, StripNotifications)
{
    PTourMakerDlg& d = Open();
    RefPtr<Image> thumb = Thumbnail(100);
    d.AddVista(thumb.get(), "/pics/hall.jpg", TessivPanoramaValues{2, 4000, 2000, 4000, 0, 0});
    BenchWnd& strip = d.GetStrip();
    const RECT r = strip.GetItemRect(0);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    win::user::Drag(strip.m_hWnd, centre, POINT{centre.x + (r.right - r.left) / 4, centre.y});
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kInitialView), "(H,V) = (0.50, 0.00)");
    EXPECT_TRUE(Enabled(d, PTourMakerDlg::kPublish));
    win::user::Drag(strip.m_hWnd, POINT{r.left + 3, r.top + 3}, POINT{r.left + 3, -30});
    EXPECT_EQ(d.GetProject()->GetVistaCount(), 0);
    EXPECT_FALSE(Enabled(d, PTourMakerDlg::kPublish));
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kVistaFile), "File: ");
}

// The dialog on a virtual display: the X server shows what the headless
// surface holds after the same steps.
TEST_F(TourDialog, XvfbScreenMatchesTheHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("xwininfo"));
    PTourMakerDlg& d = Open();
    RefPtr<Image> thumb = Thumbnail(90);
    d.AddVista(thumb.get(), "/pics/hall.jpg", TessivPanoramaValues{2, 4000, 2000, 4000, 0, 0});
    win::PaintAll();
    RefPtr<Image> headless = RefPtr<Image>::adopt(win::CaptureWindow(d.m_hWnd));  // B, G, R
    ASSERT_TRUE(headless);
    POINT origin{0, 0};
    d.ClientToScreen(&origin);

    const std::string shots = m_dir.file("shots");
    fs::create_directories(shots);
    const std::string script = m_dir.file("run.sh");
    std::ofstream(script) << "export XDG_CONFIG_HOME='" << m_dir.file("config2") << "' XDG_DATA_HOME='"
                          << m_dir.file("data2") << "'\n"
                          << "'" << TESSIV_SHOW_PROGRAM << "' '" << m_dir.path().string() << "' &\n"
                          << "pid=$!\n"
                          << "i=0\n"
                          << "until xwininfo -root -tree | grep -q 'Fendrake'; do\n"
                          << "  sleep 0.2; i=$((i+1)); [ $i -lt 300 ] || { echo 'no window'; kill $pid; exit 3; }\n"
                          << "done\n"
                          << "for i in 1 2 3 4; do sleep 1; import -window root -depth 8 '" << shots
                          << "'/shot$i.ppm; done\n"
                          << "kill -0 $pid || { echo 'the program ended early'; exit 4; }\n"
                          << "kill $pid\n"
                          << "wait $pid\n"
                          << "exit 0\n";
    const testkit::CommandResult run =
        testkit::RunOnXvfb("1280x1024x24", script);
    ASSERT_EQ(run.status, 0) << run.output;
    const testkit::ScreenComparison shown = testkit::CompareScreenshots(*headless, origin.x, origin.y, shots, 4);
    ASSERT_GT(shown.seen, 0) << run.output;
    ASSERT_TRUE(shown.fits) << "a screenshot is smaller than the window placed on it";
    EXPECT_EQ(shown.differing, 0) << shown.differing << " of " << headless->GetWidth() * headless->GetHeight()
                                  << " pixels differ";
}

// Dragging the edges of the page outline (at its true size in the
// bottom-right corner) changes the page size within its limits.
TEST_F(TourDialog, PageEdgeDragging)
{
    PTourMakerDlg& d = Open();
    RECT client{};
    d.GetClientRect(&client);
    const int width = d.GetProject()->GetPageWidth(), height = d.GetProject()->GetPageHeight();
    const int top = client.bottom - height, left = client.right - width;
    struct Case {
        POINT from, to;
        int width, height;
    };
    const Case cases[] = {
        {{client.right - 5, top + 3}, {client.right - 5, top - 47}, width, height + 50},   // top edge up
        {{left - 2, client.bottom - 4}, {left - 102, client.bottom - 4}, width + 100, height + 50},  // left edge
        {{client.right - 5, top - 47}, {client.right - 5, top + 2000}, width + 100, 200},  // clamped
        {{client.right - 300, client.bottom - 200}, {0, 0}, width + 100, 200},              // not on an edge
    };
    for (const Case& c : cases) {
        win::user::Drag(d.m_hWnd, c.from, c.to);
        EXPECT_EQ(d.GetProject()->GetPageWidth(), c.width) << c.from.x << "," << c.from.y;
        EXPECT_EQ(d.GetProject()->GetPageHeight(), c.height) << c.from.x << "," << c.from.y;
    }
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kPageHeight), "200");
    EXPECT_EQ(d.GetDlgItemText(PTourMakerDlg::kPageWidth), std::to_string(width + 100));
}
