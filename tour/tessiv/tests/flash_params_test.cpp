#include "tour/tessiv/flash_params.h"

#include "imaging/image.h"
#include "testkit/testkit.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/tests/saved_document.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using ImagePtr = RefPtr<Image>;

class FlashDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testkit::HasTool("xmllint")) FAIL() << "xmllint (Debian libxml2-utils) is needed by this test";
        project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 4000, 2000, 4000, 0, 0);
        project.AddVista(thumb.get(), "C:\\photo\\door.jpg", 4, 800, 600, 0, 0, 0);
        project.SetPageSize(640, 480);
        project.ComputeLayout();
        hall = project.FindVista("C:\\pano\\hall.jpg");
        hall->SetLabel("Hall");
        settings.pageName = "walk.htm";
        settings.publishFolder = "/srv/walk";
        settings.dataFolder = "data_walk";
        settings.flashViewer = true;
    }
    // Fills a document, saves it and checks it is well-formed XML.
    void Fill()
    {
        TourNorvik* doc = TourNorvik::CreateTourNorvik();
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(FillFlashViewerPrms(project, settings, *doc));
        saved = std::make_unique<SavedDocument>(doc);
        EXPECT_TRUE(saved->WellFormed());
    }
    std::string XPath(const std::string& e) const { return saved ? saved->XPath(e) : "(not saved)"; }
    std::string Pano(const Vista* vista) const
    {
        return "//pano[@id=" + std::to_string(project.GetVistaIndex(vista->GetId())) + "]";
    }

    TourProject project{10};
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    PublishSettings settings;
    Vista* hall = nullptr;
    std::unique_ptr<SavedDocument> saved;
};

TEST_F(FlashDocument, ViewerPanosPreloadAndMovie)
{
    Fill();
    EXPECT_EQ(XPath("string(//viewer/numVista)"), "2");
    EXPECT_EQ(XPath("string(//viewer/bar_y)"), "402");
    EXPECT_EQ(XPath("string(//viewer/hotspotIconTransparency)"), "40");
    EXPECT_EQ(XPath("count(//viewer/vistaZoom)"), "0");      // applet file only
    EXPECT_EQ(XPath("count(//viewer/vistaLabelFontName)"), "0");  // labels off in the viewer
    EXPECT_EQ(XPath("count(//viewer/vistaLegendFontName)"), "1");
    // The panorama: full sphere values, its label and no hfov.
    const std::string hallPano = Pano(hall);
    EXPECT_EQ(XPath("string(" + hallPano + "/@vistaType)"), "0");
    EXPECT_EQ(XPath("string(" + hallPano + "/panmin)"), "-180");
    EXPECT_EQ(XPath("string(" + hallPano + "/pwidth)"), "4008");  // published at the next multiple of 12
    EXPECT_EQ(XPath("string(" + hallPano + "/vistaLabel)"), "Hall");
    EXPECT_EQ(XPath("string(" + hallPano + "/isShowVistaLabel0)"), "false");
    // Kind 4: type 2, no hfov, the fixed offsets.
    const std::string doorPano = Pano(project.FindVista("C:\\photo\\door.jpg"));
    EXPECT_EQ(XPath("string(" + doorPano + "/@vistaType)"), "2");
    EXPECT_EQ(XPath("count(" + doorPano + "/hfov)"), "0");
    EXPECT_EQ(XPath("count(" + doorPano + "/zoom)"), "1");
    EXPECT_EQ(XPath("count(" + doorPano + "/vistaLabel)"), "1");
    // The preload list names files without their folders: first files of each vista, then the others.
    const std::string preload = XPath("string(//viewer/preload)");
    EXPECT_EQ(preload.find("./"), std::string::npos) << preload;
    EXPECT_EQ(preload.rfind("hall_d33.jpg, hall_s0.jpg, door.jpg,hall_s1.jpg, hall_s2.jpg", 0), 0u) << preload;
    EXPECT_EQ(XPath("count(//viewer/firstMovie)"), "1");
}

TEST_F(FlashDocument, LabelStyleElementsWhenShownAndMovieText)
{
    project.SetVistaLabelInViewer(1);
    project.SetStoredFlagC(true);
    Fill();
    EXPECT_EQ(XPath("count(//viewer/vistaLabelFontName)"), "1");
    EXPECT_EQ(XPath("count(//viewer/vistaLabelDurationMs)"), "1");
    EXPECT_EQ(XPath("string(" + Pano(hall) + "/isShowVistaLabel0)"), "true");
    EXPECT_EQ(XPath("string(//viewer/firstMovie/@textDurationMs)"), "8000");
}

TEST_F(FlashDocument, OnePanoramaPreloadEndsWithItsLastName)
{
    ASSERT_TRUE(project.RemoveVista(project.GetVistaIndex(project.FindVista("C:\\photo\\door.jpg")->GetId())));
    Fill();
    const std::string preload = XPath("string(//viewer/preload)");
    ASSERT_FALSE(preload.empty());
    EXPECT_EQ(preload.rfind("hall_d33.jpg, hall_s0.jpg, hall_s1.jpg, ", 0), 0u) << preload;
    EXPECT_EQ(preload.substr(preload.size() - 4), ".jpg") << preload;
}

}  // namespace
