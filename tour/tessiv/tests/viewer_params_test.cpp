#include "tour/tessiv/viewer_params.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "testkit/testkit.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/tests/prompts.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using ImagePtr = RefPtr<Image>;

// The brace syntax read back independently: top-level simple groups as
// key/value pairs in order; nested groups ({name="...\n"}) with their own
// simple groups; hot-spot entries kept whole. Fails on anything else.
struct BraceFile {
    struct Group {
        std::string key;
        std::string value;
        std::vector<std::pair<std::string, std::string>> inner;  // nested groups only
        std::vector<std::string> entries;                        // hot-spot entries
    };
    std::vector<Group> groups;
    std::string error;

    explicit BraceFile(const std::string& text)
    {
        size_t at = 0;
        while (at < text.size() && error.empty()) {
            if (text[at] != '{') {
                error = "expected { at " + std::to_string(at);
                break;
            }
            const size_t eq = text.find('=', at);
            if (eq == std::string::npos) {
                error = "no = after " + std::to_string(at);
                break;
            }
            Group g;
            g.key = text.substr(at + 1, eq - at - 1);
            if (text.compare(eq + 1, 2, "\"\n") == 0) {
                size_t in = eq + 3;
                while (in < text.size() && text.compare(in, 3, "\"}\n") != 0) {
                    const size_t close = text.find("}\n", in);
                    if (text[in] != '{' || close == std::string::npos) {
                        error = "bad inner group at " + std::to_string(in);
                        return;
                    }
                    const std::string body = text.substr(in + 1, close - in - 1);
                    const size_t ieq = body.find('=');
                    if (body.find('\n') != std::string::npos || ieq == std::string::npos) {
                        g.entries.push_back(body);  // a hot-spot entry spans lines
                    } else {
                        g.inner.emplace_back(body.substr(0, ieq), body.substr(ieq + 1));
                    }
                    in = close + 2;
                }
                if (in >= text.size()) {
                    error = "unclosed group " + g.key;
                    return;
                }
                at = in + 3;
            } else if (g.key == "preload") {
                const size_t close = text.find("}\n", eq);
                if (close == std::string::npos) {
                    g.value = text.substr(eq + 1);
                    at = text.size();
                } else {
                    g.value = text.substr(eq + 1, close - eq - 1);
                    at = close + 2;
                }
            } else {
                const size_t close = text.find("}\n", eq);
                if (close == std::string::npos || text.find('\n', eq) < close) {
                    error = "bad simple group " + g.key;
                    return;
                }
                g.value = text.substr(eq + 1, close - eq - 1);
                at = close + 2;
            }
            groups.push_back(std::move(g));
        }
    }
    const Group* Find(const std::string& key) const
    {
        for (const Group& g : groups)
            if (g.key == key) return &g;
        return nullptr;
    }
    static std::string Inner(const Group& g, const std::string& key)
    {
        for (const auto& [k, v] : g.inner)
            if (k == key) return v;
        return "(missing " + key + ")";
    }
};

PublishSettings Settings(int w, int h)
{
    PublishSettings s;
    s.pageName = "walk.htm";
    s.publishFolder = "/srv/tours/walk";
    s.dataFolder = "data_walk";
    s.pageWidth = w;
    s.pageHeight = h;
    s.spinSpeed = -20;
    return s;
}

TEST(ViewerParams, TourLevelGroups)
{
    TourProject project(10);
    TourLibrary().ResetForNewTour();
    std::string text;
    ASSERT_TRUE(WriteViewerPrms(project, Settings(640, 480), text, nullptr));
    const std::string expected =
        "{numVista=0}\n{file=QuorvaneTour:0}\n{wait=deng.classs}\n{waittime=1000}\n{bar_x=195}\n{bar_y=402}\n"
        "{bar_width=250}\n{bar_height=10}\n{barcolor=900032}\n{bgcolor=ffffff}\n{cursor=CROSSHAIR}\n"
        "{quality=1}\n{mapStep=5}\n{vistaZoom=2}\n{vistaTransitionMs=1300}\n"
        "{vistaLegendFontName=MS Serif}\n{vistaLegendFontBold=false}\n{vistaLegendFontItalic=false}\n"
        "{vistaLegendFontSize=10}\n{vistaLegendTextColor=0}\n{vistaLegendBgColor=ffffff}\n"
        "{vistaLegendBgTransparency=80}\n"
        "{ghotspot0= x2 y0 a19 b479 u'QuorvaneTour:PanPc(-30,30)' s'E_RESIZE' n'Pan left 40%'}\n"
        "{ghotspot1= x620 y0 a637 b479 u'QuorvaneTour:PanPc(30,30)' s'W_RESIZE' n'Pan right 40%'}\n"
        "{ghotspot2= x0 y2 a639 b19 u'QuorvaneTour:TiltPc(20,30)' s'S_RESIZE' n'Pan down 40%'}\n"
        "{ghotspot3= x0 y460 a639 b477 u'QuorvaneTour:TiltPc(-20,30)' s'N_RESIZE' n'Pan up 40%'}\n"
        "{preload=";
    EXPECT_EQ(text, expected);

    // Label groups only with the label shown in the viewer; 300 by 200: d = 6.
    project.SetVistaLabelInViewer(2);
    project.GetViewerLabelStyle().SetFace("Arial}\nX", 300, TextStyle::kItalic);
    project.GetViewerLabelStyle().SetTextColor(0x0000FF);
    PublishSettings small = Settings(300, 200);
    small.edgePan = 0;
    text.clear();
    WriteViewerPrms(project, small, text, nullptr);
    const BraceFile file(text + "}\n");
    ASSERT_EQ(file.error, "");
    EXPECT_EQ(file.Find("bar_y")->value, "188");
    EXPECT_EQ(file.Find("bar_x")->value, "25");
    EXPECT_EQ(file.Find("vistaLabelFontName")->value, "Arial  X");
    EXPECT_EQ(file.Find("vistaLabelFontItalic")->value, "true");
    EXPECT_EQ(file.Find("vistaLabelFontSize")->value, "15");
    EXPECT_EQ(file.Find("vistaLabelTextColor")->value, "ff0000");
    EXPECT_NE(file.Find("vistaLabelDurationMs"), nullptr);
    EXPECT_EQ(file.Find("ghotspot0"), nullptr);
}

TEST(ViewerParams, PanoramaGeometry)
{
    struct Case {
        int w, h, P, X, Y;
        int P2, panRange, x0File, y0File, pheight;
        double tiltmin, tiltmax;
    };
    // Partial: q = 1000, tiltmax = -((600 - 1000) + 0.5) * 360 / 4000 = 35.955,
    // tiltmin = -(1399 - 1000) * 360 / 4000 = -35 (integers), m = 35.955,
    // pheight = trunc(1600 * 35.955 / 70.955 + 0.5) = 811, y0File = 600 - (1000 - 405) = 5, and
    // 811 >= 5 + 800 keeps pheight.
    const Case cases[] = {
        {4000, 2000, 4000, 0, 0, 4000, 360, 0, 0, 2000, -90.0, 90.0},   // full sphere
        {3998, 2100, 4000, 0, 0, 3998, 360, 0, 0, 2100, -90.0, 90.0},   // two pixels short: full
        {3000, 800, 4000, 500, 600, 4000, 270, 500, 5, 811, -35.0, 35.955},
    };
    for (const Case& c : cases) {
        const PanoramaGeometry g = ComputePanoramaGeometry(c.w, c.h, c.P, c.X, c.Y);
        EXPECT_EQ(g.equatorWidth, c.P2) << c.w;
        EXPECT_EQ(g.panRange, c.panRange) << c.w;
        EXPECT_EQ(g.x0File, c.x0File) << c.w;
        EXPECT_EQ(g.y0File, c.y0File) << c.w;
        EXPECT_EQ(g.pheight, c.pheight) << c.w;
        EXPECT_DOUBLE_EQ(g.tiltmin, c.tiltmin) << c.w;
        EXPECT_NEAR(g.tiltmax, c.tiltmax, 1e-9) << c.w;
    }
}

struct OneVistaTour {
    TourProject project{10};
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    OneVistaTour(int kind, int w, int h, int E, int X, int Y)
    {
        project.AddVista(thumb.get(), "/photos/hall one.jpg", kind, w, h, E, X, Y);
        project.SetPageSize(640, 480);
        project.ComputeLayout();
    }
    Vista& vista() { return *project.GetVista(0); }
};

VistaImageSet Set(int kind, int w, int h, int E, int X, int Y, int files)
{
    VistaImageSet set;
    set.kind = kind;
    set.width = w;
    set.height = h;
    set.equatorWidth = E;
    set.column = X;
    set.row = Y;
    set.files = TileTable(files);
    set.files.Add({0, 0, w, h}, "/srv/tours/walk/data_walk/hall_one.jpg", false);
    for (int k = 1; k < files; ++k) {
        set.files.Add({100 * k, 50 * k, 100, 50}, ("/srv/tours/walk/data_walk/hall_one_s" + std::to_string(k - 1) +
                                                   ".jpg").c_str(), false);
    }
    return set;
}

TEST(ViewerParams, FlatPictureOfKindFour)
{
    OneVistaTour tour(4, 800, 600, 0, 0, 0);
    std::string groups, first, other, images;
    int applet = 0;
    WriteVistaGroups(tour.project, Settings(640, 480), tour.vista(), 0, Set(4, 800, 600, 0, 0, 0, 1), true, applet,
                     groups, first, other, images, nullptr);
    EXPECT_EQ(applet, 1);
    const std::string expected =
        "{applet0=\"\n{code=PhotoEx.class}\n{vwidth=800}\n{vheight=600}\n{file=./data_walk/hall_one.jpg}\n"
        "{pan=0}\n{tilt=0}\n{rot=0}\n{fov=2.4}\n\"}\n"
        "{pano0=\"\n{inits=QuorvaneTour:startApplet(0)}\n{vistaType=2}\n{pwidth=1000}\n{pheight=500}\n"
        "{panmin=-1.2}\n{panmax=1.2}\n{tiltmin=-0.9}\n{tiltmax=0.9}\n{pan=0.2}\n{tilt=0.2}\n{fov=0.8}\n"
        "{fovmax=2.4}\n{fovmin=0.8}\n{animateTimeMs=10000}\n{vistaLabel= }\n{isShowVistaLabel0=false}\n\"}\n";
    EXPECT_EQ(groups, expected);
    // One file: the preload group is the name, a comma and its close.
    EXPECT_EQ("{preload=" + first + other, "{preload=./data_walk/hall_one.jpg,}\n");
}

TEST(ViewerParams, PanoramaGroupsReadBack)
{
    OneVistaTour tour(2, 4000, 2000, 4000, 0, 0);
    tour.vista().SetLabel("Hall } one");
    tour.vista().SetLabelStyleText("Legend\nline");
    tour.vista().SetInitialView(0.5f, 0.0f);
    tour.vista().SetVerticalPano(true);
    HotSpot* h = tour.vista().AddHotSpot();
    h->SetPosition(0.5f, 0.5f);
    h->SetValue(3);
    h->SetFlags(HotSpot::kDynamic | HotSpot::kHasAction);
    h->SetTargetVista(&tour.vista());
    std::string text, groups, first, other, images;
    WriteViewerPrms(tour.project, Settings(640, 480), text, nullptr);
    int applet = 0;
    WriteVistaGroups(tour.project, Settings(640, 480), tour.vista(), 0, Set(2, 4000, 2000, 4000, 0, 0, 4), true,
                     applet, groups, first, other, images, nullptr);
    EXPECT_EQ(applet, 0);
    EXPECT_EQ(first, "./data_walk/hall_one.jpg, ./data_walk/hall_one_s0.jpg, ");
    EXPECT_EQ(other, "./data_walk/hall_one_s1.jpg, ./data_walk/hall_one_s2.jpg}\n");
    const BraceFile file(text + first + other + groups);
    ASSERT_EQ(file.error, "");
    EXPECT_EQ(file.Find("preload")->value,
              "./data_walk/hall_one.jpg, ./data_walk/hall_one_s0.jpg, ./data_walk/hall_one_s1.jpg, "
              "./data_walk/hall_one_s2.jpg");
    const BraceFile::Group* pano = file.Find("pano0");
    ASSERT_NE(pano, nullptr);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"file", "./data_walk/hall_one.jpg"},
        {"x0File", "0"}, {"y0File", "0"}, {"wdFile", "4000"}, {"htFile", "2000"},
        {"pwidth", "4000"}, {"pheight", "2000"},
        {"roi0", "i'./data_walk/hall_one_s0.jpg' x100 y50"},
        {"roi1", "i'./data_walk/hall_one_s1.jpg' x200 y100"},
        {"roi2", "i'./data_walk/hall_one_s2.jpg' x300 y150"},
        {"panmin", "-180"}, {"panmax", "180"}, {"tiltmin", "-90.00"}, {"tiltmax", "90.00"},
        // pan: (trunc(1.5 * 0.5 * 4000) - 2000) * 360 / 4000 = 90; tilt: (1000 - 1000) -> 0.
        {"pan", "90"}, {"tilt", "0"},
    };
    ASSERT_GE(pano->inner.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(pano->inner[k], expected[k]) << k;
    EXPECT_EQ(BraceFile::Inner(*pano, "auto"), "-0.349066");  // -20 * 3.14159 / 180
    EXPECT_EQ(BraceFile::Inner(*pano, "fovmax"), "120.0");
    EXPECT_EQ(BraceFile::Inner(*pano, "isVPano"), "true");
    EXPECT_EQ(BraceFile::Inner(*pano, "panVPanoTop"), "180");
    EXPECT_EQ(BraceFile::Inner(*pano, "vistaLabel"), "Hall   one");
    EXPECT_EQ(BraceFile::Inner(*pano, "isShowVistaLabel0"), "false");
    EXPECT_EQ(BraceFile::Inner(*pano, "vistaLegend"), "Legend line");
    ASSERT_EQ(pano->entries.size(), 1u);
    EXPECT_EQ(pano->entries[0], "hotspot0= x1990 y990 a2010 b1010\n\tu'QuorvaneTour:showNewVista(0)'\nTi'7'");
}

TEST(ViewerParams, UnusableMapIsWrittenFlatWithAnError)
{
    OneVistaTour tour(2, 4000, 2000, 0, 0, 0);
    std::string groups, first, other, images;
    int applet = 0;
    LogCapture log;
    WriteVistaGroups(tour.project, Settings(640, 480), tour.vista(), 0, Set(2, 4000, 2000, 0, 0, 0, 2), false,
                     applet, groups, first, other, images, nullptr);
    EXPECT_EQ(groups.rfind("{applet0=\"\n", 0), 0u);
    EXPECT_TRUE(log.contains("ERROR WriteVistaPrms"));
    EXPECT_EQ(other, "./data_walk/hall_one_s0.jpg,");
}

TEST(ViewerParams, SaveWithoutVistasAndWithoutFolder)
{
    TourProject project(10);
    testkit::TempDir dir;
    PublishSettings s = Settings(640, 480);
    s.publishFolder = dir.path().string();
    std::filesystem::create_directories(dir.path() / s.dataFolder);
    ASSERT_TRUE(SaveAppletPrmFile(project, s));
    EXPECT_STREQ(g_appletPrmFile, "QuorvaneTour_applet_prms");
    std::ifstream in(dir.path() / "data_walk" / "QuorvaneTour_applet_prms", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.substr(text.size() - 9), "{preload=");  // only the last vista closes it

    s.dataFolder = "missing";
    Prompts prompts;
    prompts.get().ExpectMessageBox("Cannot save tour prm file!\nPlease close if opened & try again\n", IDOK);
    EXPECT_FALSE(SaveAppletPrmFile(project, s));
}

TEST(ViewerParams, WholeFileOrderAndPreload)
{
    TourProject project(10);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    ImagePtr picture = ImagePtr::adopt(new Image(6, 6, 3));
    project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 4000, 2000, 4000, 0, 0);
    project.AddVista(thumb.get(), "C:\\photo\\door.jpg", 4, 800, 600, 0, 0, 0);
    project.SetPageSize(640, 480);
    project.ComputeLayout();
    Vista* door = project.FindVista("C:\\photo\\door.jpg");
    HotSpot* h = door->AddHotSpot();
    h->SetFlags(HotSpot::kDynamic | HotSpot::kShowsImage);
    h->SetImage(picture.get());
    h->SetImageFile("C:\\art\\sign.jpg");
    std::string image;
    ASSERT_TRUE(h->GetExportFileName(image));

    testkit::TempDir dir;
    PublishSettings s = Settings(640, 480);
    s.publishFolder = dir.path().string();
    std::filesystem::create_directories(dir.path() / s.dataFolder);
    ASSERT_TRUE(SaveAppletPrmFile(project, s));
    std::ifstream in(dir.path() / "data_walk" / "QuorvaneTour_applet_prms", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const BraceFile file(text);
    ASSERT_EQ(file.error, "") << text;
    // Tour-level groups, the preload group, then the vista groups in tour order.
    std::vector<std::string> keys;
    for (const BraceFile::Group& g : file.groups) keys.push_back(g.key);
    const size_t preload = std::find(keys.begin(), keys.end(), "preload") - keys.begin();
    ASSERT_LT(preload, keys.size());
    EXPECT_EQ(keys[preload - 1], "ghotspot3");
    const int hallIndex = project.GetVistaIndex(project.FindVista("C:\\pano\\hall.jpg")->GetId());
    const int doorIndex = project.GetVistaIndex(door->GetId());
    std::vector<std::string> vistaGroups(keys.begin() + static_cast<long>(preload) + 1, keys.end());
    std::vector<std::string> expected;
    for (int i = 0; i < 2; ++i) {
        if (i == doorIndex) expected.push_back("applet0");
        expected.push_back("pano" + std::to_string(i));
    }
    EXPECT_EQ(vistaGroups, expected);
    EXPECT_EQ(file.Find("numVista")->value, "2");
    // First files of each vista, the hot-spot picture, then the other files.
    const std::string list = file.Find("preload")->value;
    const std::string first = hallIndex < doorIndex
                                  ? "./data_walk/hall_d33.jpg, ./data_walk/hall_s0.jpg, ./data_walk/door.jpg,"
                                  : "./data_walk/door.jpg,./data_walk/hall_d33.jpg, ./data_walk/hall_s0.jpg, ";
    EXPECT_EQ(list.rfind(first + image + ",", 0), 0u) << list;  // the picture as its entry names it
    const BraceFile::Group* doorPano = file.Find("pano" + std::to_string(doorIndex));
    ASSERT_NE(doorPano, nullptr);
    ASSERT_EQ(doorPano->entries.size(), 1u);
    EXPECT_NE(doorPano->entries[0].find("p i'" + image + "'"), std::string::npos);
}

}  // namespace
