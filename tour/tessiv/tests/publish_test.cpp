// The tour publisher: name rules, template processing, and whole publishes
// for both viewers into a temporary folder with the shipped templates. The
// published tree is compared with a golden listing; xmllint checks the
// Flash parameter file, ImageMagick's identify decodes the thumbnails and
// headless Chromium loads the pages and shows the globals they set.
#include "tour/tessiv/publish.h"

#include "platform/win/dynamic_library.h"
#include "core/logger.h"
#include "testkit/testkit.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/tests/prompts.h"
#include "tour/tessiv/tour_images.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/tour_sound.h"
#include "tour/tessiv/vista.h"
#include "worldmap/codec_binding.h"

#include <gtest/gtest.h>


#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ImagePtr = RefPtr<Image>;

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

using testkit::ReadText;

// Runs a template through ProcessTemplate with one block per marker pair,
// each writing "<n>\n".
std::string Process(const std::string& input, std::vector<TemplateBlock> blocks)
{
    testkit::TempDir dir;
    const fs::path in = dir.path() / "in.htm";
    const fs::path out = dir.path() / "out.htm";
    WriteText(in, input);
    FILE* i = std::fopen(in.c_str(), "r");
    FILE* o = std::fopen(out.c_str(), "w");
    EXPECT_TRUE(ProcessTemplate(i, o, blocks));
    std::fclose(i);
    std::fclose(o);
    return ReadText(out);
}

TemplateBlock Block(const char* start, size_t startCompare, const char* end, size_t endCompare, const char* text)
{
    const std::string t = text;
    return {start, startCompare, end, endCompare, [t](FILE* out) { return std::fputs(t.c_str(), out) >= 0; }};
}

}  // namespace

TEST(PublishNames, DataFolderAndPublishedNames)
{
    struct Case {
        const char* page;
        bool flash;
        const char* folder;
    };
    const Case cases[] = {
        {"tour.htm", true, "data_tour"},   {"tour.htm", false, "data_tour"}, {"a.b.htm", true, "data_a"},
        {".htm", true, "data_F"},          {".htm", false, "data_J"},        {"tour", true, "data_F"},
        {"tour", false, "data_J"},         {"t.htm", false, "data_t"},
    };
    for (const Case& c : cases) EXPECT_EQ(DataFolderName(c.page, c.flash), c.folder) << c.page;

    PublishSettings s;
    s.publishFolder = "c:\\tours";
    s.dataFolder = "data_tour";
    EXPECT_EQ(PublishedDataName(s, "c:\\pics\\my hall 2.jpg"), "my_hall_2.jpg");
    EXPECT_EQ(PublishedDataName(s, "/pics/a b/c d.wav"), "c_d.wav");
    EXPECT_EQ(PublishedDataUrl(s, "c:\\pics\\my hall.jpg"), "./data_tour/my_hall.jpg");
}

// Files of one name from different folders get distinct names in the data
// folder, and every writer uses the chosen name.
TEST(PublishNames, CollidingNamesAreMadeUnique)
{
    TourProject project(4);
    ImagePtr thumb = ImagePtr::adopt(new Image(32, 16, 3));
    ASSERT_GE(project.AddVista(thumb.get(), "/p/one/a b.jpg", 2, 800, 400, 800, 0, 0), 0);
    ASSERT_GE(project.AddVista(thumb.get(), "/p/two/a b.jpg", 2, 800, 400, 800, 0, 0), 0);
    project.SetBgSound("/s/one/a b.wav");
    project.SetVistaSound(project.GetVista(0), "/s/two/a b.wav");
    project.SetVistaSound(project.GetVista(1), "/s/three/A_B.mp3");

    PublishSettings s;
    s.project = &project;
    s.flashViewer = false;
    ChooseDataNames(s);
    EXPECT_EQ(PublishedDataName(s, "/p/one/a b.jpg"), "a_b.jpg");
    EXPECT_EQ(PublishedDataName(s, "/p/two/a b.jpg"), "a_b_2.jpg");
    EXPECT_EQ(PublishedDataName(s, "/s/one/a b.wav"), "a_b.wav");
    EXPECT_EQ(PublishedDataName(s, "/s/two/a b.wav"), "a_b_2.wav");
    EXPECT_EQ(PublishedDataName(s, "/s/three/A_B.mp3"), "A_B.mp3");

    // Under Flash the WAV sounds become "a_b.mp3" and "a_b_2.mp3": the MP3
    // of that name (in any case) moves on to the next free number.
    s.flashViewer = true;
    ChooseDataNames(s);
    EXPECT_EQ(PublishedDataName(s, "/s/one/a b.wav"), "a_b.wav");
    EXPECT_EQ(PublishedDataName(s, "/s/two/a b.wav"), "a_b_2.wav");
    EXPECT_EQ(PublishedDataName(s, "/s/three/A_B.mp3"), "A_B_3.mp3");
}

TEST(PublishNames, PageNamesWithFoldersAreRefused)
{
    const struct {
        const char* name;
        bool safe;
    } cases[] = {{"tour.htm", true}, {"my tour.html", true}, {"x/y.htm", false}, {"..\\t.htm", false},
                 {"..", false},      {"c:t.htm", false},     {"", false},        {"a..b.htm", false}};
    for (const auto& c : cases) EXPECT_EQ(IsSafePageName(c.name), c.safe) << c.name;

    // Refused before anything is deleted: the previous tour's data folder
    // and a file beside the publish folder stay.
    testkit::TempDir dir;
    const fs::path publish = dir.path() / "pub";
    WriteText(publish / "data_F" / "old.jpg", "old");
    WriteText(dir.path() / "t.htm", "victim");
    TourProject project(1);
    for (const char* name : {"..\\t.htm", "../t.htm", "x/y.htm", ".."}) {
        PublishSettings s;
        s.project = &project;
        s.publishFolder = publish.string();
        s.pageName = name;
        s.programFolder = dir.path().string();
        SetViewerFiles(s, true);
        std::vector<int> progress;
        LogCapture log;
        Prompts prompts;
        prompts.get().ExpectMessageBox(std::string("The tour page name may not hold a folder:\n") + name, IDOK);
        EXPECT_FALSE(RunPublish(s, [&](int p) { progress.push_back(p); })) << name;
        EXPECT_TRUE(progress.empty()) << name;
        EXPECT_EQ(log.errorCount(), 1) << name;
        EXPECT_TRUE(log.contains("ERROR RunPublish")) << name;
    }
    EXPECT_EQ(ReadText(publish / "data_F" / "old.jpg"), "old");
    EXPECT_EQ(ReadText(dir.path() / "t.htm"), "victim");
}

TEST(PublishTemplates, MarkerRules)
{
    const auto tour = [] { return Block("#tour_params", 12, "#tour_params_end", 16, "P\n"); };
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"no marker: copied whole", "a\nb\n#other\n", "a\nb\n#other\n"},
        {"block replaced", "a\n#tour_params\nold\n#tour_params_end\nb\n", "a\nP\nb\n"},
        {"start without end loses the rest", "a\n#tour_params\nb\nc\n", "a\nP\n"},
        {"second start copied", "#tour_params\n#tour_params_end\n#tour_params x\nz\n", "P\n#tour_params x\nz\n"},
        {"marker must begin the line", " #tour_params\na\n", " #tour_params\na\n"},
        {"an end line is never a start", "a\n#tour_params_end\nb\n", "a\nb\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Process(c.input, {tour()}), c.expected) << c.name;

    // The page-style markers are compared on 17 and 21 characters only.
    const std::string page = "<s>\n#tour_params\n#tour_params_end\n#page_style_paramX\nq\n#page_style_params_enX\n</s>\n";
    EXPECT_EQ(Process(page, {tour(), Block("#page_style_params", 17, "#page_style_params_end", 21, "S\n")}),
              "<s>\nP\nS\n</s>\n");

    // A writer that fails stops the output there.
    testkit::TempDir dir;
    WriteText(dir.path() / "in", "a\n#tour_params\nb\n#tour_params_end\nc\n");
    FILE* i = std::fopen((dir.path() / "in").c_str(), "r");
    FILE* o = std::fopen((dir.path() / "out").c_str(), "w");
    std::vector<TemplateBlock> failing = {{"#tour_params", 12, "#tour_params_end", 16, [](FILE*) { return false; }}};
    EXPECT_FALSE(ProcessTemplate(i, o, failing));
    std::fclose(i);
    std::fclose(o);
    EXPECT_EQ(ReadText(dir.path() / "out"), "a\n");
}

TEST(PublishTemplates, StarterParameters)
{
    PublishSettings s;
    s.pageName = "tour.htm";
    s.dataFolder = "data_tour";
    s.tourPageWidth = 640;
    s.tourPageHeight = 480;
    s.flashViewer = true;
    EXPECT_EQ(StarterParams(s), "var g_tourPageName = \"tour.htm\";\nvar g_tourPageWd = 646;\nvar g_tourPageHt = 486;\n"
                                "var g_tourFileFolderName = \"data_tour\";\n");
    s.flashViewer = false;
    EXPECT_EQ(StarterParams(s), "var g_tourPageName = \"tour.htm\";\nvar g_tourPageWd = 646;\nvar g_tourPageHt = 486;\n"
                                "var g_tourFileFolderName = \"data_tour\";\n"
                                "var g_mediaFolderName = \"QuorvaneTour_media_porcelain\";\n");
}

TEST(PublishMediaRules, HotSpotZoomFitsTheViewer)
{
    struct Case {
        float zoom;
        int width, height, boxWidth, boxHeight;
        float expected;
    };
    const Case cases[] = {
        {2.0f, 400, 100, 400, 400, 1.0f},   // twice the viewer width: half the zoom
        {1.0f, 100, 100, 400, 400, 1.0f},   // fits: unchanged
        {3.0f, 100, 200, 1000, 300, 1.5f},  // the height decides
        {1.0f, 0, 100, 400, 400, 1.0f},     // an empty box is left alone
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(FitHotSpotZoom(c.zoom, c.width, c.height, c.boxWidth, c.boxHeight), c.expected);
    EXPECT_EQ(SoundBitRate(0), 128);
    EXPECT_EQ(SoundBitRate(1), 80);
    EXPECT_EQ(SoundBitRate(2), 40);
}

// ---- Whole publishes ------------------------------------------------------------------------------

namespace {

const fs::path kTemplates = FENDRAKE_TOUR_TEMPLATES;  // the shipped "WebLinksTm"

class WholePublish : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("identify"));
        ASSERT_TRUE(testkit::RequireTool("xmllint"));
        ReleaseIOModule();
        SetDllDirectoryA(fs::path(FENDRAKE_JPEGKIT_LIBRARY).parent_path().c_str());
        // The program folder: a copy of the shipped templates that a test
        // may break.
        fs::create_directories(m_dir.path() / "program");
        fs::copy(kTemplates, m_dir.path() / "program" / "WebLinksTm", fs::copy_options::recursive);

        // A panorama with its descriptor, a thumbnail and a sound.
        m_panorama = (m_dir.path() / "pics" / "great hall.jpg").string();
        fs::create_directories(m_dir.path() / "pics");
        ImagePtr picture = ImagePtr::adopt(new Image(800, 400, 3));
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 800; ++x) {
                uint8_t* p = picture->GetData() + static_cast<size_t>(y) * picture->GetRowByte() + 3 * x;
                p[0] = static_cast<uint8_t>(x / 4);
                p[1] = static_cast<uint8_t>(y / 2);
                p[2] = 128;
            }
        WMapRecord descriptor;
        descriptor.equatorWidth = 800;
        descriptor.mapType = 2;
        ASSERT_EQ(SaveTourImage(picture.get(), m_panorama.c_str(), &descriptor, 0), 0);
        m_thumbnail = ImagePtr::adopt(new Image(96, 48, 3));
        m_thumbnail->Fill(90);
        m_sound = (m_dir.path() / "pics" / "wind.mp3").string();
        WriteText(m_sound, "ID3 sound");
    }
    void TearDown() override
    {
        ReleaseIOModule();
        SetDllDirectoryA(nullptr);
    }

    // A filled record as the dialog's Publish fills it.
    PublishSettings Settings(TourProject& project, bool flash)
    {
        PublishSettings s;
        s.tourTitle = "Hall";
        s.pageName = "tour.htm";
        s.publishFolder = (m_dir.path() / "out").string();
        s.pageWidth = 600;
        s.pageHeight = 400;
        s.fieldOfView = 60;
        s.spinSpeed = 6;
        s.quality = 1;
        s.programFolder = (m_dir.path() / "program").string();
        s.project = &project;
        s.backgroundSound = project.HasBgSound();
        SetViewerFiles(s, flash);
        return s;
    }

    void Fill(TourProject& project)
    {
        ASSERT_GE(project.AddVista(m_thumbnail.get(), m_panorama.c_str(), 2, 800, 400, 800, 0, 0), 0);
        project.SetBgSound(m_sound.c_str());
        project.ComputeLayout();
    }

    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        const fs::path root = m_dir.path() / "out";
        for (const auto& e : fs::recursive_directory_iterator(root))
            names.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
        std::sort(names.begin(), names.end());
        return names;
    }

    // The page as Chromium builds it after its scripts ran.
    static std::string Dom(const fs::path& page)
    {
        const testkit::CommandResult r = testkit::Run("timeout 120 chromium --headless --no-sandbox --disable-gpu "
                                                      "--dump-dom 'file://" + page.string() + "' 2>/dev/null");
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }

    testkit::TempDir m_dir;
    std::string m_panorama;
    std::string m_sound;
    ImagePtr m_thumbnail;
};

}  // namespace

TEST_F(WholePublish, FlashTour)
{
    ASSERT_TRUE(testkit::RequireTool("chromium"));
    TourProject project(1);
    Fill(project);
    PublishSettings s = Settings(project, true);
    std::vector<int> progress;
    {
        Prompts prompts;
        ASSERT_TRUE(RunPublish(s, [&](int p) { progress.push_back(p); }));
    }
    EXPECT_EQ(progress, (std::vector<int>{10, 20, 30, 50, 70, 80, 90, 100}));
    EXPECT_EQ(GetFlashTree(), nullptr);
    const std::vector<std::string> expected = {
        "ExpressInstall.swf",
        "QuorvaneTour.swf",
        "QuorvaneTour_Flash.js",
        "StitcherStarterPage_Flash_tour.htm",
        "data_tour/",
        "data_tour/QuorvaneTour_flash_prms.dat",
        // The vista: its preview and its three tiles.
        "data_tour/great_hall_d33.jpg",
        "data_tour/great_hall_s0.jpg",
        "data_tour/great_hall_s1.jpg",
        "data_tour/great_hall_s2.jpg",
        "data_tour/great_hall_thumb.jpg",
        "data_tour/wind.mp3",
        "tour.htm",
    };
    EXPECT_EQ(Listing(), expected);

    const fs::path out = m_dir.path() / "out";
    const testkit::CommandResult xml = testkit::Run("xmllint --noout '" + (out / "data_tour" / "QuorvaneTour_flash_prms.dat").string() + "' 2>&1");
    EXPECT_EQ(xml.status, 0) << xml.output;
    const testkit::CommandResult thumb =
        testkit::Run("identify -format '%m %wx%h' '" + (out / "data_tour" / "great_hall_thumb.jpg").string() + "'");
    EXPECT_EQ(thumb.status, 0);
    EXPECT_EQ(thumb.output, "JPEG 96x48");

    const std::string starter = Dom(out / "StitcherStarterPage_Flash_tour.htm");
    EXPECT_NE(starter.find("data-page=\"tour.htm\""), std::string::npos) << starter;
    EXPECT_NE(starter.find("data-folder=\"data_tour\""), std::string::npos) << starter;
    EXPECT_EQ(starter.find("data-media="), std::string::npos) << starter;
    EXPECT_EQ(starter.find("#starter_params"), std::string::npos) << starter;
    const std::string page = Dom(out / "tour.htm");
    EXPECT_NE(page.find("data-parameters=\"./data_tour/QuorvaneTour_flash_prms.dat\""), std::string::npos) << page;
    EXPECT_NE(page.find("data-vistas=\"1\""), std::string::npos) << page;
    EXPECT_NE(page.find("data-runtime=\"QuorvaneTour.swf\""), std::string::npos) << page;
}

TEST_F(WholePublish, JavaTour)
{
    ASSERT_TRUE(testkit::RequireTool("chromium"));
    TourProject project(1);
    Fill(project);
    PublishSettings s = Settings(project, false);
    // A file of the previous tour goes with the data folder.
    WriteText(m_dir.path() / "out" / "data_tour" / "stale.jpg", "old");
    std::vector<int> progress;
    {
        Prompts prompts;
        ASSERT_TRUE(RunPublish(s, [&](int p) { progress.push_back(p); }));
    }
    EXPECT_EQ(progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    const std::vector<std::string> expected = {
        "ExpressInstall.swf",
        "QuorvaneTour.jar",
        "QuorvaneTour_Flash.js",
        "QuorvaneTour_media_porcelain/",
        "QuorvaneTour_media_porcelain/QuorvaneTour.js",
        "QuorvaneTour_media_porcelain/readme.txt",
        "QuorvaneTour_media_porcelain/skin.css",
        "StitcherStarterPage_Java_tour.htm",
        "data_tour/",
        "data_tour/QuorvaneTour_applet_prms",
        // The vista: its preview and its three tiles.
        "data_tour/great_hall_d33.jpg",
        "data_tour/great_hall_s0.jpg",
        "data_tour/great_hall_s1.jpg",
        "data_tour/great_hall_s2.jpg",
        "data_tour/great_hall_thumb.jpg",
        "data_tour/wind.mp3",
        "tour.htm",
    };
    EXPECT_EQ(Listing(), expected);
    const fs::path out = m_dir.path() / "out";
    // Common media win over the skin's file of the same name.
    EXPECT_EQ(ReadText(out / "QuorvaneTour_media_porcelain" / "readme.txt"),
              ReadText(kTemplates / "QuorvaneTour_media" / "common" / "readme.txt"));

    const std::string starter = Dom(out / "StitcherStarterPage_Java_tour.htm");
    EXPECT_NE(starter.find("data-media=\"QuorvaneTour_media_porcelain\""), std::string::npos) << starter;
    const std::string page = Dom(out / "tour.htm");
    EXPECT_NE(page.find("data-parameters=\"QuorvaneTour_applet_prms\""), std::string::npos) << page;
    EXPECT_NE(page.find("data-vistas=\"1\""), std::string::npos) << page;
    // The skin's style file and the media script follow the page values.
    const std::string text = ReadText(out / "tour.htm");
    EXPECT_NE(text.find("var g_skinLineColor = \"#8a8a8a\";\n</script>\n<script type=\"text/javascript\" "
                        "src=\"./QuorvaneTour_media_porcelain/QuorvaneTour.js\"></script>"),
              std::string::npos)
        << text;
}

// A step that fails ends the sequence with its one message; the run reports
// failure, so the dialog leaves Preview disabled.
TEST_F(WholePublish, FailedStepsEndTheSequence)
{
    struct Case {
        const char* name;
        bool flash;
        std::function<void(WholePublish&)> breakIt;
        std::string message;
        std::vector<int> progress;
    };
    const fs::path root = m_dir.path() / "program" / "WebLinksTm";
    const Case cases[] = {
        {"missing tour template", true, [&](WholePublish&) { fs::remove(root / "StitcherFlashWrapper.htm"); },
         "Cannot open tour page template file!", {10, 20, 30, 100}},
        {"missing starter template", false,
         [&](WholePublish&) { fs::remove(root / "StitcherTemplateStarterPage_0.htm"); },
         "Cannot open starter page template file!", {10, 20, 30, 40, 50, 60, 70, 80, 100}},
        {"missing runtime", true, [&](WholePublish&) { fs::remove(root / "ExpressInstall.swf"); },
         "Cannot copy file:\n" + (m_dir.path() / "program").string() + "\\WebLinksTm\\ExpressInstall.swf",
         {10, 20, 30, 50, 70, 100}},
        {"missing skin style", false,
         [&](WholePublish&) { fs::remove(root / "QuorvaneTour_media" / "porcelain" / "porcelain.txt"); },
         "Cannot open file:\n" + (m_dir.path() / "program").string() +
             "\\WebLinksTm\\QuorvaneTour_media\\porcelain\\porcelain.txt",
         {10, 20, 30, 40, 50, 60, 70, 100}},
    };
    for (const Case& c : cases) {
        fs::remove_all(root);
        fs::copy(kTemplates, root, fs::copy_options::recursive);
        c.breakIt(*this);
        TourProject project(1);
        Fill(project);
        PublishSettings s = Settings(project, c.flash);
        std::vector<int> progress;
        Prompts prompts;
        prompts.get().ExpectMessageBox(c.message, IDOK);
        EXPECT_FALSE(RunPublish(s, [&](int p) { progress.push_back(p); })) << c.name;
        EXPECT_EQ(progress, c.progress) << c.name;
        EXPECT_EQ(GetFlashTree(), nullptr) << c.name;
    }
}

TEST_F(WholePublish, FailingConverterEndsTheMediaStep)
{
    const std::string wav = (m_dir.path() / "pics" / "wind.wav").string();
    WriteText(wav, "RIFF");
    SetSoundConverter("/bin/false");
    TourProject project(1);
    Fill(project);
    project.SetBgSound(wav.c_str());
    PublishSettings s = Settings(project, true);
    std::vector<int> progress;
    {
        Prompts prompts;
        prompts.get().ExpectMessageBox("Cannot copy file:\n" + wav + "\nPlease reload in Sound tab page and publish again.",
                                  IDOK);
        EXPECT_FALSE(RunPublish(s, [&](int p) { progress.push_back(p); }));
    }
    SetSoundConverter(nullptr);
    EXPECT_EQ(progress, (std::vector<int>{10, 20, 30, 50, 100}));
}

// The Flash viewer's WAV sounds are converted at the bit rate of the image
// quality; two sounds of one name from different folders both arrive.
TEST_F(WholePublish, SoundsConvertedAtTheQualityRate)
{
    const std::string script = m_dir.file("conv.sh");
    WriteText(script, "#!/bin/sh\nprintf '%s ' \"$@\" >> '" + m_dir.file("args.txt") +
                          "'\necho >> '" + m_dir.file("args.txt") + "'\nprintf 'mp3 of %s' \"$4\" > \"$5\"\n");
    fs::permissions(script, fs::perms::owner_all);
    const std::string first = (m_dir.path() / "a" / "wind.wav").string();
    const std::string second = (m_dir.path() / "b" / "wind.wav").string();
    WriteText(first, "RIFF a");
    WriteText(second, "RIFF b");
    SetSoundConverter(script.c_str());
    for (int quality : {0, 1, 2}) {
        fs::remove(m_dir.path() / "args.txt");
        TourProject project(1);
        ASSERT_GE(project.AddVista(m_thumbnail.get(), m_panorama.c_str(), 2, 800, 400, 800, 0, 0), 0);
        project.ComputeLayout();
        project.SetBgSound(first.c_str());
        project.SetVistaSound(project.GetVista(0), second.c_str());
        // The vista's sound has a length: the page names it.
        for (int k = 0; k < project.GetSoundCount(); ++k)
            if (project.GetSound(k)->path == second) project.SetSoundValue(project.GetSound(k)->id, 4.0f);
        PublishSettings s = Settings(project, true);
        s.quality = quality;
        Prompts prompts;
        ASSERT_TRUE(RunPublish(s, nullptr)) << quality;
        const fs::path data = m_dir.path() / "out" / "data_tour";
        EXPECT_EQ(ReadText(data / "wind.mp3"), "mp3 of " + first) << quality;
        EXPECT_EQ(ReadText(data / "wind_2.mp3"), "mp3 of " + second) << quality;
        const std::string rate = std::to_string(SoundBitRate(quality));
        const std::string args = ReadText(m_dir.path() / "args.txt");
        EXPECT_NE(args.find("-h -b " + rate + " " + first + " "), std::string::npos) << args;
        EXPECT_NE(args.find("-h -b " + rate + " " + second + " "), std::string::npos) << args;
        // The tour document names the converted files as they were written.
        const std::string xml = ReadText(data / "QuorvaneTour_flash_prms.dat");
        EXPECT_NE(xml.find(">wind.mp3<"), std::string::npos) << xml;
        EXPECT_NE(xml.find(">wind_2.mp3<"), std::string::npos) << xml;
        EXPECT_EQ(xml.find(".wav"), std::string::npos) << xml;
    }
    SetSoundConverter(nullptr);
}
