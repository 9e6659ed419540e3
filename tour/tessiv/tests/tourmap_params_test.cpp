#include "tour/tessiv/tourmap_params.h"

#include "imaging/image.h"
#include "testkit/testkit.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/tests/prompts.h"
#include "tour/tessiv/tests/saved_document.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using ImagePtr = RefPtr<Image>;

// Three vistas (a full panorama, a partial one, a photograph) and three
// maps, of which the first has no picture.
struct MapTour {
    TourProject project{10};
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    ImagePtr picture = ImagePtr::adopt(new Image(16, 16, 3));
    PublishSettings settings;
    Vista* hall = nullptr;
    Vista* garden = nullptr;
    Vista* door = nullptr;

    // The compass group of `vista` on the written map j.
    std::string Compass(const Vista* vista, int j) const
    {
        return "{compass" + std::to_string(project.GetVistaIndex(vista->GetId()) + 3 * j) + "=";
    }

    MapTour()
    {
        project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 3000, 6000, 0, 0);
        project.AddVista(thumb.get(), "/pano/garden.part.jpg", 2, 3000, 1000, 6000, 500, 200);
        project.AddVista(thumb.get(), "C:\\photo\\door.jpg", 1, 800, 600, 0, 0, 0);
        hall = project.FindVista("C:\\pano\\hall.jpg");
        garden = project.FindVista("/pano/garden.part.jpg");
        door = project.FindVista("C:\\photo\\door.jpg");
        door->SetLabel("Front door");
        TourMapSettings& maps = project.GetTourMap();
        for (const char* file : {"C:\\plans\\gone.png", "C:\\plans\\ground floor.png", "/plans/upper.png"}) {
            TourMap* map = maps.GetMap(maps.AddMap());
            map->SetImage(picture.get());
            map->SetImageFile(file);
        }
        maps.GetMap(0)->SetImage(nullptr);  // its picture went: not written
        maps.GetMap(1)->SetLabel("Ground");
        TourMap* upper = maps.GetMap(2);
        upper->AddCompass(hall, 10.7f, 20.2f, 0.5f, 0.0f);
        upper->AddCompass(garden, 30.0f, 40.0f, 0.0f, 0.0f);
        upper->AddCompass(door, 50.0f, 60.0f, 0.0f, 0.0f);
        upper->FindCompass(door)->hidden = 1;  // not placed: written invalid
        maps.SetScanBeamLength(0);
        maps.SetShownFlag(true);
        settings.dataFolder = "data_walk";
        settings.pageWidth = 640;
        settings.pageHeight = 480;
    }
};

std::string Between(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t a = text.find(from);
    if (a == std::string::npos) return "(no " + from + ")";
    const size_t b = text.find(to, a + from.size());
    return text.substr(a, b == std::string::npos ? std::string::npos : b + to.size() - a);
}

TEST(TourMapParams, MapsAndCompassNumbering)
{
    MapTour tour;
    std::string text;
    ASSERT_TRUE(WriteTourMapPrms(tour.project, tour.settings, text));
    // The map picture is named as the publisher copies it: blanks made "_".
    EXPECT_EQ(text.rfind("{numMap=2}\n{map0=\"\n{mapImage=data_walk/ground_floor.png}\n{mapLabel=Ground}\n\"}\n"
                         "{map1=\"\n{mapImage=data_walk/upper.png}\n{mapLabel=}\n\"}\n{mapBgColor=",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("{scanBeamLen=10000}\n"), std::string::npos);
    EXPECT_NE(text.find("{numVista=3}\n{vista0=0}\n{fov0=60.3}\n{compass0=\"\n"), std::string::npos);
    // Map 0 has no compasses: its three groups are the invalid form with the display names.
    EXPECT_EQ(Between(text, tour.Compass(tour.hall, 0), "\"}\n"),
              tour.Compass(tour.hall, 0) + "\"\n{isValid=0}\n{type=0}\n{x=0}\n{y=0}\n{a0=0.0}\n{uView0=0.0}\n"
              "{panmin=0.0}\n{panmax=0.0}\n{label=hall}\n\"}\n");
    EXPECT_NE(Between(text, tour.Compass(tour.garden, 0), "\"}\n").find("{label=garden.part}"), std::string::npos);
    EXPECT_NE(Between(text, tour.Compass(tour.door, 0), "\"}\n").find("{label=Front door}"), std::string::npos);
    // Map 1 holds compasses 3..5: c = v + j * numVista.
    EXPECT_EQ(Between(text, tour.Compass(tour.hall, 1), "\"}\n"),
              tour.Compass(tour.hall, 1) + "\"\n{isValid=1}\n{type=2}\n{x=10}\n{y=20}\n{a0=28.647890}\n"
              "{uView0=0.000000}\n{panmin=-180.000000}\n{panmax=180.000000}\n{label=hall}\n\"}\n");
    // Partial panorama: 3000 of 6000 pixels is 180 degrees.
    EXPECT_NE(Between(text, tour.Compass(tour.garden, 1), "\"}\n").find("{panmin=-90.000000}\n{panmax=90.000000}\n"),
              std::string::npos);
    EXPECT_NE(Between(text, tour.Compass(tour.door, 1), "\"}\n").find("{isValid=0}"), std::string::npos);
    EXPECT_EQ(text.find("{compass6="), std::string::npos);
}

TEST(TourMapParams, FlashFormIsListEight)
{
    if (!testkit::HasTool("xmllint")) FAIL() << "xmllint (Debian libxml2-utils) is needed by this test";
    MapTour tour;
    TourNorvik* doc = TourNorvik::CreateTourNorvik();
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(AddTourMapPrms(tour.project, *doc));
    const SavedDocument saved(doc);
    ASSERT_TRUE(saved.WellFormed());
    auto xpath = [&](const std::string& e) { return saved.XPath(e); };
    EXPECT_EQ(xpath("string(//tourmap/numMap)"), "2");
    EXPECT_EQ(xpath("string(//tourmap/scanBeamLen)"), "10000");
    EXPECT_EQ(xpath("string(//tourmap//map[@id=0]/mapImage)"), "ground floor.png");
    EXPECT_EQ(xpath("string(//tourmap//map[@id=1]/mapImage)"), "upper.png");
    EXPECT_EQ(xpath("count(//tourmap//map[@id=0]//compass)"), "3");
    EXPECT_EQ(xpath("count(//tourmap//map[@id=1]//compass[@isValid=1])"), "2");
    const std::string doorId = std::to_string(tour.project.GetVistaIndex(tour.door->GetId()));
    EXPECT_EQ(xpath("string(//tourmap//map[@id=1]//compass[@id=" + doorId + "]/label)"), "Front door");
}

TEST(TourMapParams, SaveOnlyWhenShown)
{
    MapTour tour;
    testkit::TempDir dir;
    tour.settings.publishFolder = dir.path().string();
    std::filesystem::create_directories(dir.path() / "data_walk");
    const auto file = dir.path() / "data_walk" / "QuorvaneTourMap_prms";
    tour.project.GetTourMap().SetShownFlag(false);
    EXPECT_TRUE(SaveTourMapPrmFile(tour.project, tour.settings));
    EXPECT_FALSE(std::filesystem::exists(file));
    tour.project.GetTourMap().SetShownFlag(true);
    EXPECT_TRUE(SaveTourMapPrmFile(tour.project, tour.settings));
    std::string expected;
    WriteTourMapPrms(tour.project, tour.settings, expected);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), expected);

    tour.settings.dataFolder = "missing";
    Prompts prompts;
    prompts.get().ExpectMessageBox("Cannot save tour map file!\nPlease close if opened & try again\n", IDOK);
    EXPECT_FALSE(SaveTourMapPrmFile(tour.project, tour.settings));
}

}  // namespace
