#include "tour/tessiv/page_params.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "testkit/testkit.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/tests/saved_document.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using ImagePtr = RefPtr<Image>;

PublishSettings Settings(const char* pageName, int spin)
{
    PublishSettings s;
    s.pageName = pageName;
    s.dataFolder = "data_walk";
    s.pageWidth = 640;
    s.pageHeight = 480;
    s.spinSpeed = spin;
    return s;
}

std::string Line(const std::string& block, const std::string& start)
{
    const size_t a = block.find(start);
    if (a == std::string::npos) return "(no " + start + ")";
    return block.substr(a, block.find('\n', a) + 1 - a);
}

TEST(PageParams, DisplayTimes)
{
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 3000, 6000, 0, 0);
    const Vista& hall = *project.FindVista("C:\\pano\\hall.jpg");
    ASSERT_TRUE(hall.IsFullCircle());
    EXPECT_EQ(VistaDisplayTimeMs(project, hall, -20), 18000);
    EXPECT_EQ(VistaDisplayTimeMs(project, hall, 7), 360000 / 7);
    struct Case {
        int time;
        double sound;
        int expected;
    };
    const Case cases[] = {
        {30000, 40.0, 42000},  // 5 % of 40 s
        {10000, 20.0, 21500},  // at least 1.5 s more
        {30000, 20.0, 30000},  // a shorter sound changes nothing
        {30000, 30.0, 30000},
    };
    for (const Case& c : cases) EXPECT_EQ(StretchToSound(c.time, c.sound), c.expected) << c.sound;
}

TEST(PageParams, UnusableMapIsTimedAsAPhotograph)
{
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    project.AddVista(thumb.get(), "C:\\pano\\bad.jpg", 2, 3000, 1000, 0, 100, 0);  // no equator width
    project.SetPhotoSlideMovieTime(7, 9);
    LogCapture log;
    const Vista& bad = *project.FindVista("C:\\pano\\bad.jpg");
    if (!bad.IsFullCircle()) {
        EXPECT_EQ(VistaDisplayTimeMs(project, bad, 20), 7000);
        EXPECT_TRUE(log.contains("ERROR VistaDisplayTimeMs"));
    }
}

TEST(PageParams, OneVistaJavaBlock)
{
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    project.AddVista(thumb.get(), "C:\\pano\\hall way.jpg", 2, 6000, 3000, 6000, 0, 0);
    project.SetPageSize(640, 480);
    project.ComputeLayout();
    std::string block;
    TourPageSize size;
    ASSERT_TRUE(WriteTourPageParams(project, Settings("tour", 0), block, size, nullptr));
    EXPECT_EQ(Line(block, "var g_viewerName"), "var g_viewerName = \"viewer_\";\n");
    EXPECT_EQ(Line(block, "var g_spinSpeed"), "var g_spinSpeed = 1;\n");
    EXPECT_EQ(Line(block, "var g_vistaTimeMs"), "var g_vistaTimeMs = [360000];\n");
    EXPECT_EQ(Line(block, "var g_isVistaBench"), "var g_isVistaBench = false;\n");
    EXPECT_EQ(Line(block, "var g_fileThumbnails"), "var g_fileThumbnails = ['hall_way_thumb.jpg'];\n");
    const RECT page = project.GetLayoutBox(kPageBox);
    EXPECT_EQ(Line(block, "var g_page_box"),
              "var g_page_box = [" + std::to_string(page.left + 3) + ", " + std::to_string(page.top + 3) + ", " +
                  std::to_string(page.right) + ", " + std::to_string(page.bottom) + ", '#" +
                  ViewerColorHex6(project.GetPageBgColor()) + "'];\n");
    EXPECT_EQ(size.width, page.right);
    EXPECT_EQ(size.height, page.bottom);
    EXPECT_EQ(Line(block, "var g_layoutThumbnails"), "var g_layoutThumbnails = [48, 36, 8, 8, 8, 19, 3];\n");
    EXPECT_EQ(Line(block, "var g_photoSlideInitSize"), "(no var g_photoSlideInitSize)");
    EXPECT_EQ(Line(block, "var g_appletPrmFile"), "var g_appletPrmFile = \"QuorvaneTour_applet_prms\";\n");
}

// Runs `script` with node and returns what it prints.
std::string RunNode(const std::string& script, const std::string& dir)
{
    const std::string file = dir + "/script.js";
    std::ofstream(file, std::ios::binary) << script;
    return testkit::Run("node " + file + " 2>&1").output;
}

TEST(PageParams, JavaBlockParsesAndKeepsAwkwardText)
{
    if (!testkit::HasTool("node")) FAIL() << "node (Debian nodejs) is needed by this test";
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 3000, 6000, 0, 0);
    project.AddVista(thumb.get(), "C:\\photo\\it's.jpg", 1, 800, 600, 0, 0, 0);
    const std::string awkward = "O'Neil's \\ \"hall\"\nline two </script><b>";
    project.GetVista(0)->SetLabel(awkward.c_str());
    project.SetTitleText("Title's </script>");
    project.SetPageSize(640, 480);
    project.ComputeLayout();
    std::string block;
    TourPageSize size;
    ASSERT_TRUE(WriteTourPageParams(project, Settings("my walk.htm", -20), block, size, nullptr));
    EXPECT_EQ(block.find("</script>"), std::string::npos);

    testkit::TempDir dir;
    const std::string page = "<script>\n" + block + "</script>\n";
    // The page's script element holds the whole block: it must not close early.
    const size_t body = page.find("</script>");
    EXPECT_EQ(body, page.size() - 10);
    const std::string check = dir.file("block.js");
    std::ofstream(check, std::ios::binary) << block;
    EXPECT_EQ(testkit::Run("node --check " + check + " 2>&1").output, "");
    const std::string printed = RunNode(block + "\nconsole.log(JSON.stringify([g_vistaLabels, g_title_text[0], "
                                                "g_viewerName, g_isVistaBench, g_photoSlideMovieTime]));\n",
                                        dir.path().string());
    const std::string expected = RunNode("console.log(JSON.stringify([[" + std::string("decodeURIComponent('") +
                                             "O%27Neil%27s%20%5C%20%22hall%22%0Aline%20two%20%3C%2Fscript%3E%3Cb%3E"
                                             "'), ''], 'Title\\'s <\\/script>', 'viewer_my walk', true, [10, 10]]));\n",
                                         dir.path().string());
    EXPECT_EQ(printed, expected);
}

TEST(PageParams, FlashFormKeepsOnlyTheSharedPageLines)
{
    if (!testkit::HasTool("xmllint")) FAIL() << "xmllint (Debian libxml2-utils) is needed by this test";
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 3000, 6000, 0, 0);
    Vista* hall = project.FindVista("C:\\pano\\hall.jpg");
    project.SetVistaSound(hall, "C:\\sounds\\bird song.wav");
    project.SetSoundValue(hall->GetSoundId(), 40.0f);
    hall->SetLabel("Hall");
    project.SetPageSize(640, 480);
    project.ComputeLayout();
    PublishSettings settings = Settings("walk.htm", -20);
    settings.flashViewer = true;
    TourNorvik* doc = TourNorvik::CreateTourNorvik();
    ASSERT_NE(doc, nullptr);
    std::string block;
    TourPageSize size;
    EXPECT_TRUE(WriteTourPageParams(project, settings, block, size, doc));
    const SavedDocument saved(doc);
    ASSERT_TRUE(saved.WellFormed());
    auto xpath = [&](const std::string& e) { return saved.XPath(e); };
    // The page: the six shared lines only, in order.
    const char* shared[] = {"var g_numVista", "var g_tourFileFolder", "var g_bgSoundFile", "var g_title_text",
                            "var g_vistaSound", "var g_numHtmlSound"};
    size_t at = 0, lines = 0;
    for (const char* start : shared) {
        const size_t found = block.find(start, at);
        EXPECT_NE(found, std::string::npos) << start;
        if (found != std::string::npos) at = found;
    }
    for (char c : block) lines += c == '\n';
    EXPECT_EQ(lines, 6u) << block;
    // A WAV sound is named as the MP3 the publisher makes; it is not counted as an HTML sound.
    EXPECT_EQ(Line(block, "var g_vistaSound"), "var g_vistaSound = ['bird_song.mp3'];\n");
    EXPECT_EQ(Line(block, "var g_numHtmlSound"), "var g_numHtmlSound = 0;\n");
    EXPECT_EQ(xpath("string(//framework/viewerName)"), "viewer_walk");
    EXPECT_EQ(xpath("string(//framework/spinSpeed)"), "-20");
    EXPECT_EQ(xpath("string(//vistaTimeMs_list/vistaTimeMs[@id=0])"), "42000");  // 18000 stretched to the sound
    EXPECT_EQ(xpath("string(//vistaLabel_list/vistaLabel[@id=0])"), "Hall");
    EXPECT_EQ(xpath("string(//framework/autoHideBar/@padX)"), "120");
    EXPECT_EQ(xpath("string(//framework/tourHelpWin/@file)"), "QuorvaneTour_help_F");
    EXPECT_EQ(xpath("count(//framework/photoSlideInitSize)"), "0");
}

}  // namespace
