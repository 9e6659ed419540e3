// The web page dialog's pages: template filling, the applet block's numbers,
// the support files it copies and deletes, and the refusals.
#include "app/publish/web_page_dlg.h"

#include "platform/utilkit/log_base.h"
#include "platform/win/data_exchange.h"
#include "platform/win/shell.h"
#include "platform/win/user_input.h"
#include "testkit/testkit.h"
#include "platform/win/tests/win_test_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using testkit::ReadText;

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
}

// A program folder with the shipped templates and stand-in support files,
// and a panorama folder beside it.
class WebPageTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        m_root = fs::temp_directory_path() / ("webpage_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "program");
        fs::create_directories(m_root / "pano");
        fs::copy(FENDRAKE_WEBLINKS_DIR, m_root / "program" / "WebLinks");
        for (const char* name : {"wait.gif", "ptviewer.jar", "ptviewer.class"})
            WriteText(m_root / "program" / name, std::string("shipped ") + name);
        LogBase::SetAppDir0Override((m_root / "program").string());
    }
    void TearDown() override
    {
        LogBase::SetAppDir0Override("");
        fs::remove_all(m_root);
        WinTest::TearDown();
    }
    std::string Pano(const char* name) const { return (m_root / "pano" / name).string(); }
    // The dialog reads a descriptor with these values for any file.
    static void Describe(CWebPageDlg& dlg, int width, int height, int equatorWidth, int row)
    {
        dlg.SetMapInfoSource([=](const char*, int& w, int& h, int& eq, int& col, int& r, int& type) {
            w = width, h = height, eq = equatorWidth, col = 0, r = row, type = 0;
            return 2;
        });
    }
    fs::path m_root;
};

TEST(AppletGeometry, NumbersFromTheDescriptor)
{
    struct Case {
        const char* what;
        int width, height, equatorWidth, row;
        CWebPageDlg::GeometryResult result;
        int range, pheight, y, tiltTop, tiltBottom;
    };
    const Case cases[] = {
        {"full circle, symmetric", 4000, 1000, 4000, 500, CWebPageDlg::kGeometryOk, 360, 1000, 0, -45, 45},
        {"90 degrees is too small", 2000, 1000, 8000, 1500, CWebPageDlg::kTooSmall, 0, 0, 0, 0, 0},
        {"upper half only", 4000, 500, 4000, 0, CWebPageDlg::kGeometryOk, 360, 2000, 0, -90, -45},
        {"no equator", 4000, 1000, 0, 500, CWebPageDlg::kNotKestova, 0, 0, 0, 0, 0},
        {"equal tilts", 4000, 1, 4000, 0, CWebPageDlg::kNotKestova, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppletGeometry g;
        ASSERT_EQ(CWebPageDlg::ComputeAppletGeometry(c.width, c.height, c.equatorWidth, c.row, g), c.result);
        if (c.result != CWebPageDlg::kGeometryOk) continue;
        EXPECT_EQ(g.range, c.range);
        EXPECT_EQ(g.pheight, c.pheight);
        EXPECT_EQ(g.y, c.y);
        EXPECT_EQ(g.tiltTop, c.tiltTop);
        EXPECT_EQ(g.tiltBottom, c.tiltBottom);
    }
}

TEST(HtmlEscape, EntitiesForMarkup) { EXPECT_EQ(CWebPageDlg::HtmlEscape("A & B \"x\" <y>"), "A &amp; B &quot;x&quot; &lt;y&gt;"); }

TEST_F(WebPageTest, MarkersReplacedOnceAlternativesAndLongLinesKept)
{
    const std::string longLine = std::string(400, 'z') + "\n";
    WriteText(m_root / "program" / "WebLinks" / "WebPageSample.htm",
              "<p>\n#width_height first\n#width_htQT alternative\n#width_height again\n#FileName\n#FileQT\n"
              "#Unknown marker\n#Speed\n#Speed\n#ViewMode\n#My Web Page\n" +
                  longLine);
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    dlg.m_viewer = CWebPageDlg::kActiveX;
    dlg.m_width = 640, dlg.m_height = 480, dlg.m_speed = -7, dlg.m_viewMode = 1;
    dlg.m_title = "A & B \"x\"";
    std::string page = dlg.MakeWebPage(true);
    ASSERT_EQ(page, Pano("room.htm"));
    EXPECT_EQ(ReadText(page), "<p>\nwidth=\"640\" height=\"480\">\n#width_htQT alternative\n#width_height again\n"
                              "<PARAM NAME=\"FileName\" VALUE=\"" + Pano("room.jpg") + "\">\n#FileQT\n"
                              "#Unknown marker\n<PARAM NAME=\"Speed\" VALUE=\"-7\">\n#Speed\n"
                              "<PARAM NAME=\"ViewMode\" VALUE=\"1\">\nA &amp; B &quot;x&quot;\n" + longLine);
}

TEST_F(WebPageTest, AppletPageForAFullCircle)
{
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    Describe(dlg, 4000, 1000, 4000, 500);
    std::string page = dlg.MakeWebPage(true);
    ASSERT_FALSE(page.empty());
    const std::string text = ReadText(page);
    for (const char* expected :
         {"<APPLET archive=ptviewer.jar code=ptviewer.class width=400 height=300>\n", "<PARAM name=pwidth value=4000>\n",
          "<PARAM name=pheight value=1000>\n", "<PARAM name=roi0 value=\"i'room.jpg' x0 y0\">\n",
          "<PARAM name=panmin value=-180>\n", "<PARAM name=panmax value=180>\n", "<PARAM name=tiltmin value=-45>\n",
          "<PARAM name=tiltmax value=45>\n", "<PARAM name=fov value=70>\n", "<PARAM name=auto value=0.500000>\n",
          "<PARAM NAME=\"shotspot1\" VALUE=\" x380 y0 a399 b299 u'ptviewer:startAutoPan(0.5,0,1)' \">\n",
          "<PARAM NAME=\"shotspot3\" VALUE=\" x0 y280 a399 b299 u'ptviewer:startAutoPan(0,-3,1)' \">\n",
          "</APPLET>\n", "<title>\nMy Web Page Panorama\n</title>"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    EXPECT_EQ(text.find("#viewer"), std::string::npos);
    EXPECT_EQ(ReadText(m_root / "pano" / "ptviewer.jar"), "shipped ptviewer.jar");
}

TEST_F(WebPageTest, UnusableDescriptorsWriteNoAppletBlock)
{
    struct Case {
        int width, height, equatorWidth, row;
        const char* message;
    };
    const Case cases[] = {
        {4000, 1000, 0, 500, "The image is not in kestova format. Please check!"},
        {4000, 1, 4000, 0, "The image is not in kestova format. Please check!"},
        {2000, 1000, 8000, 1500, "The kestova range is too small (<100 degree). Please use ActiveX or QuickTime plugin!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CWebPageDlg dlg(Pano("room.jpg").c_str());
        Describe(dlg, c.width, c.height, c.equatorWidth, c.row);
        Prompter().ExpectMessageBox(c.message, IDOK);
        std::string page = dlg.MakeWebPage(true);
        ASSERT_FALSE(page.empty());
        EXPECT_EQ(ReadText(page).find("APPLET"), std::string::npos);
        EXPECT_FALSE(fs::exists(m_root / "pano" / "ptviewer.jar"));
    }
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(WebPageTest, AFileWithoutDescriptorIsRefused)
{
    WriteText(Pano("plain.jpg"), "not a picture");
    CWebPageDlg dlg(Pano("plain.jpg").c_str());
    Prompter().ExpectMessageBox("The image is not in kestova format. Please check!", IDOK);
    ASSERT_FALSE(dlg.MakeWebPage(true).empty());
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(WebPageTest, OnlyFilesThisDialogMadeAreDeleted)
{
    WriteText(m_root / "pano" / "ptviewer.jar", "user's own jar");
    WriteText(Pano("room.htm"), "user's page");
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    Describe(dlg, 4000, 1000, 4000, 500);
    ASSERT_EQ(dlg.MakeWebPage(true), Pano("room.htm"));
    EXPECT_NE(ReadText(Pano("room.htm")).find("<APPLET"), std::string::npos);
    EXPECT_EQ(ReadText(m_root / "pano" / "ptviewer.jar"), "user's own jar");
    EXPECT_TRUE(fs::exists(m_root / "pano" / "wait.gif"));

    dlg.DeleteAppletFiles(false);
    EXPECT_EQ(ReadText(m_root / "pano" / "ptviewer.jar"), "user's own jar");
    EXPECT_FALSE(fs::exists(m_root / "pano" / "wait.gif"));
    EXPECT_FALSE(fs::exists(m_root / "pano" / "ptviewer.class"));
    EXPECT_TRUE(fs::exists(Pano("room.htm")));
}

TEST_F(WebPageTest, QuickTimeMoviePage)
{
    CWebPageDlg dlg(Pano("room.mov").c_str());
    EXPECT_TRUE(dlg.CheckQuickTime());
    EXPECT_FALSE(dlg.m_panoramaMode);
    std::string page = dlg.MakeWebPage(true);
    ASSERT_EQ(page, Pano("room.htm"));
    EXPECT_EQ(dlg.m_viewer, CWebPageDlg::kQuickTime);
    const std::string text = ReadText(page);
    EXPECT_NE(text.find("SRC=\"file://" + Pano("room.mov") + "\"\nwidth=\"400\" height=\"300\"\n"), std::string::npos);
    EXPECT_EQ(text.find("#"), std::string::npos);
}

TEST_F(WebPageTest, AppletPreviewGoesBesideThePanorama)
{
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    Describe(dlg, 4000, 1000, 4000, 500);
    EXPECT_EQ(dlg.MakeWebPage(false), Pano("quorvaneWPS_applet.htm"));
}

TEST_F(WebPageTest, MissingTemplateAndUnwritablePageAreReported)
{
    {
        fs::remove(m_root / "program" / "WebLinks" / "WebPageSample.htm");
        CWebPageDlg dlg(Pano("room.jpg").c_str());
        dlg.m_viewer = CWebPageDlg::kActiveX;
        Prompter().ExpectMessageBox("Missing web page sample file.", IDOK);
        EXPECT_EQ(dlg.MakeWebPage(true), "");
    }
    {
        const std::string bad = (m_root / "missing" / "x.htm").string();
        CWebPageDlg dlg(Pano("room.mov").c_str());
        dlg.m_htmlName = bad;
        Prompter().ExpectMessageBox("Can not create Web file " + bad, IDOK);
        EXPECT_EQ(dlg.MakeWebPage(true), "");
    }
    EXPECT_TRUE(Prompter().Unused().empty());
}

// The dialog as the user meets it: its template, the initial state of its
// controls, the viewer and spin buttons, the range check, Preview and OK.
class WebPageLiveTest : public WebPageTest {
protected:
    void SetUp() override
    {
        WebPageTest::SetUp();
        CWebPageDlg::RegisterTemplate();
    }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItem(id)->GetWindowText(); }
    static bool Enabled(CDialog& d, UINT id) { return d.GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    static bool Checked(CDialog& d, UINT id) { return d.IsDlgButtonChecked(id) == BST_CHECKED; }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(id)); }
    static void Type(CDialog& d, UINT id, const std::string& text)
    {
        win::user::TypeText(d.GetDlgItem(id)->m_hWnd, text);
    }
};

TEST_F(WebPageLiveTest, InitialStateButtonsRangeCheckPreviewAndOk)
{
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    Describe(dlg, 4000, 1000, 4000, 500);
    win::ClearShellRequests();
    bool stepped = false;
    Prompter().ExpectDialog(CWebPageDlg::kTemplateId, [&](CDialog& d) {
        stepped = true;
        EXPECT_EQ(d.GetWindowText(), "Create Panoramic Web Page");
        EXPECT_EQ(Text(d, CWebPageDlg::kPanoramaEdit), Pano("room.jpg"));
        EXPECT_EQ(Text(d, CWebPageDlg::kHtmlEdit), Pano("room.htm"));
        EXPECT_EQ(Text(d, CWebPageDlg::kTitleEdit), "My Web Page Panorama");
        EXPECT_EQ(Text(d, CWebPageDlg::kWidthEdit), "400");
        EXPECT_EQ(Text(d, CWebPageDlg::kHeightEdit), "300");
        EXPECT_EQ(Text(d, CWebPageDlg::kFovEdit), "70");
        EXPECT_EQ(Text(d, CWebPageDlg::kSpeedEdit), "10");
        // The applet viewer: perspective only, both view-mode buttons off.
        EXPECT_TRUE(Checked(d, CWebPageDlg::kAutoSpinCheck));
        EXPECT_TRUE(Enabled(d, CWebPageDlg::kSpeedEdit));
        EXPECT_TRUE(Checked(d, CWebPageDlg::kAppletRadio));
        EXPECT_TRUE(Checked(d, CWebPageDlg::kPerspectiveRadio));
        EXPECT_FALSE(Enabled(d, CWebPageDlg::kWorldMapRadio));
        EXPECT_FALSE(Enabled(d, CWebPageDlg::kPerspectiveRadio));
        Click(d, CWebPageDlg::kActiveXRadio);
        EXPECT_TRUE(Enabled(d, CWebPageDlg::kWorldMapRadio));
        EXPECT_TRUE(Enabled(d, CWebPageDlg::kPerspectiveRadio));
        Click(d, CWebPageDlg::kAppletRadio);
        EXPECT_FALSE(Enabled(d, CWebPageDlg::kWorldMapRadio));
        Click(d, CWebPageDlg::kAutoSpinCheck);
        EXPECT_FALSE(Enabled(d, CWebPageDlg::kSpeedEdit));
        Click(d, CWebPageDlg::kAutoSpinCheck);
        EXPECT_TRUE(Enabled(d, CWebPageDlg::kSpeedEdit));

        // Out of range: the range message, the dialog stays, nothing written.
        Type(d, CWebPageDlg::kWidthEdit, "100");
        Click(d, IDOK);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_FALSE(fs::exists(Pano("room.htm")));

        Type(d, CWebPageDlg::kWidthEdit, "640");
        Type(d, CWebPageDlg::kTitleEdit, "Hall & Stairs");
        Click(d, CWebPageDlg::kPreviewButton);
        const auto shell = win::ShellRequests();
        ASSERT_EQ(shell.size(), 1u);
        EXPECT_EQ(shell[0].verb, "open");
        EXPECT_EQ(shell[0].file, Pano("quorvaneWPS_applet.htm"));
        EXPECT_NE(ReadText(Pano("quorvaneWPS_applet.htm")).find("width=640 height=300>"), std::string::npos);
        Click(d, IDOK);
    });
    Prompter().ExpectMessageBox(win::IntegerRangeMessage(160, 1024), IDOK);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_TRUE(stepped);
    const std::string page = ReadText(Pano("room.htm"));
    EXPECT_NE(page.find("<APPLET archive=ptviewer.jar code=ptviewer.class width=640 height=300>\n"), std::string::npos)
        << page;
    EXPECT_NE(page.find("<title>\nHall &amp; Stairs\n</title>"), std::string::npos) << page;
    EXPECT_EQ(ReadText(m_root / "pano" / "ptviewer.jar"), "shipped ptviewer.jar");
}

TEST_F(WebPageLiveTest, CancelRemovesOnlyWhatTheDialogCopied)
{
    WriteText(m_root / "pano" / "ptviewer.jar", "user's own jar");
    CWebPageDlg dlg(Pano("room.jpg").c_str());
    Describe(dlg, 4000, 1000, 4000, 500);
    Prompter().ExpectDialog(CWebPageDlg::kTemplateId, [&](CDialog& d) {
        Click(d, CWebPageDlg::kPreviewButton);
        EXPECT_TRUE(fs::exists(m_root / "pano" / "wait.gif"));
        EXPECT_TRUE(fs::exists(m_root / "pano" / "ptviewer.class"));
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(fs::exists(m_root / "pano" / "wait.gif"));
    EXPECT_FALSE(fs::exists(m_root / "pano" / "ptviewer.class"));
    EXPECT_EQ(ReadText(m_root / "pano" / "ptviewer.jar"), "user's own jar");
    EXPECT_FALSE(fs::exists(Pano("room.htm")));
}

TEST_F(WebPageLiveTest, WithoutAPageNameOkAsksForOne)
{
    CWebPageDlg dlg(nullptr);
    dlg.SetQuickTimeMode(false);
    Prompter().ExpectDialog(CWebPageDlg::kTemplateId, [&](CDialog& d) {
        EXPECT_EQ(Text(d, CWebPageDlg::kHtmlEdit), "");
        // Fixed to a movie: the browse button looks for ".mov" files.
        Click(d, CWebPageDlg::kBrowsePanorama);
        EXPECT_EQ(Text(d, CWebPageDlg::kPanoramaEdit), Pano("walk.mov"));
        EXPECT_FALSE(Enabled(d, CWebPageDlg::kAppletRadio));
        Click(d, IDOK);
        EXPECT_TRUE(d.IsWindowVisible());
        Click(d, CWebPageDlg::kBrowseHtml);
        EXPECT_EQ(Text(d, CWebPageDlg::kHtmlEdit), Pano("walk page.htm"));
        Click(d, IDOK);
    });
    Prompter().ExpectFileDialog("Browse QuickTime File", win::FileDialogAnswer{true, {Pano("walk.mov")}, 1});
    Prompter().ExpectMessageBox("Please select HTML file name.", IDOK);
    Prompter().ExpectFileDialog("Browsw htm File", win::FileDialogAnswer{true, {Pano("walk page.htm")}, 1});
    EXPECT_EQ(dlg.DoModal(), IDOK);
    const auto files = Prompter().FileDialogs();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].filter, "QuickTime file (*.mov)|*.mov||");
    EXPECT_EQ(files[1].filter, "Html file (*.htm)|*.htm||");
    EXPECT_NE(ReadText(Pano("walk page.htm")).find("SRC=\"file://" + Pano("walk.mov") + "\""), std::string::npos);
}

// The made pages as outside parsers read them: libxml2's HTML parser finds
// no error, and Chromium's document holds the applet's parameters and the
// title as text (no element made of it).
class WebPageOracleTest : public WebPageTest {
protected:
    static std::string Dom(const std::string& page)
    {
        const testkit::CommandResult r = testkit::Run("timeout 120 chromium --headless --no-sandbox --disable-gpu "
                                                      "--dump-dom 'file://" + page + "' 2>/dev/null");
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }
    static void ExpectCleanHtml(const std::string& page)
    {
        const testkit::CommandResult r = testkit::Run("xmllint --html --noout '" + page + "' 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "") << page;
    }
};

TEST_F(WebPageOracleTest, PagesParseAndLoadWithTheirValues)
{
    ASSERT_TRUE(testkit::RequireTool("xmllint"));
    ASSERT_TRUE(testkit::RequireTool("chromium"));
    const std::string hostile = "A & B \"x\" </title><b id=\"made\">bold</b>";
    {
        CWebPageDlg dlg(Pano("room.jpg").c_str());
        Describe(dlg, 4000, 1000, 4000, 500);
        dlg.m_title = hostile;
        dlg.m_speed = -4;
        const std::string page = dlg.MakeWebPage(true);
        ASSERT_FALSE(page.empty());
        ExpectCleanHtml(page);
        const std::string dom = Dom(page);
        for (const char* expected :
             {"<param name=\"pwidth\" value=\"4000\">", "<param name=\"pheight\" value=\"1000\">",
              "<param name=\"roi0\" value=\"i'room.jpg' x0 y0\">", "<param name=\"panmin\" value=\"-180\">",
              "<param name=\"panmax\" value=\"180\">", "<param name=\"tiltmin\" value=\"-45\">",
              "<param name=\"tiltmax\" value=\"45\">", "<param name=\"auto\" value=\"-0.200000\">",
              "<param name=\"shotspot3\" value=\" x0 y280 a399 b299 u'ptviewer:startAutoPan(0,-3,1)' \">",
              "<title>\nA &amp; B \"x\" &lt;/title&gt;&lt;b id=\"made\"&gt;bold&lt;/b&gt;\n</title>"})
            EXPECT_NE(dom.find(expected), std::string::npos) << expected << "\n" << dom;
        EXPECT_EQ(dom.find("<b id="), std::string::npos) << dom;
    }
    {
        CWebPageDlg dlg(Pano("hall.jpg").c_str());
        dlg.m_viewer = CWebPageDlg::kActiveX;
        dlg.m_viewMode = 0;
        dlg.m_speed = 7;
        const std::string page = dlg.MakeWebPage(true);
        ASSERT_FALSE(page.empty());
        ExpectCleanHtml(page);
        const std::string dom = Dom(page);
        for (const std::string& expected :
             {std::string("<param name=\"FileName\" value=\"") + Pano("hall.jpg") + "\">",
              std::string("<param name=\"Speed\" value=\"7\">"), std::string("<param name=\"ViewMode\" value=\"0\">"),
              std::string("width=\"400\" height=\"300\"")})
            EXPECT_NE(dom.find(expected), std::string::npos) << expected << "\n" << dom;
    }
    {
        CWebPageDlg dlg(Pano("walk & talk.mov").c_str());
        dlg.m_width = 512;
        const std::string page = dlg.MakeWebPage(true);
        ASSERT_FALSE(page.empty());
        ExpectCleanHtml(page);
        const std::string dom = Dom(page);
        EXPECT_NE(dom.find("src=\"file://" + Pano("walk &amp; talk.mov") + "\""), std::string::npos) << dom;
        EXPECT_NE(dom.find("width=\"512\" height=\"300\""), std::string::npos) << dom;
    }
}

}  // namespace
