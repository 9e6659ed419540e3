#include "tour/tessiv/hotspot_params.h"

#include "imaging/image.h"
#include "tour/tessiv/tests/prompts.h"
#include "tour/tessiv/tests/saved_document.h"
#include "testkit/testkit.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using ImagePtr = RefPtr<Image>;

// A tour of three vistas on a 640 by 480 page; vista 0 gets the hot spots.
struct Tour {
    TourProject project{10};
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    ImagePtr picture = ImagePtr::adopt(new Image(6, 6, 3));
    Vista* hall = nullptr;
    Vista* garden = nullptr;
    Vista* door = nullptr;

    Tour()
    {
        project.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 1500, 6000, 0, 0);
        project.AddVista(thumb.get(), "C:\\pano\\garden.jpg", 2, 4000, 1000, 5000, 500, 200);
        project.AddVista(thumb.get(), "C:\\photo\\door.jpg", 4, 800, 600, 0, 0, 0);
        hall = project.GetVista(0);
        garden = project.GetVista(1);
        door = project.GetVista(2);
        project.SetPageSize(640, 480);
        project.ComputeLayout();
    }

    HotSpot* Add(bool dynamic, float x, float y, int icon, int flags)
    {
        HotSpot* h = hall->AddHotSpot();
        h->SetPosition(x, y);
        h->SetValue(icon);
        h->SetFlags(flags | (dynamic ? HotSpot::kDynamic : 0));
        return h;
    }
    void Label(HotSpot* h, const char* text)
    {
        TextStyle* s = h->GetLabelStyle(true);
        s->SetText(text);
        s->SetFace("Arial", 240, TextStyle::kBold);
        s->SetTextColor(0x0000FF);  // red
        s->SetBgColor(0xFF0000);    // blue
    }
    void Picture(HotSpot* h)
    {
        h->SetImage(picture.get());
        h->SetImageFile("C:\\art\\sign.jpg");
    }
};

HotSpotFrame Frame(const char* publishFolder, bool flash = false)
{
    HotSpotFrame f;
    f.vistaIndex = 0;
    f.imageWidth = 2000;
    f.imageHeight = 1000;
    f.publishFolder = publishFolder;
    f.tourBaseName = "walk";
    f.flash = flash;
    return f;
}

// Hot spots of every kind and action, built from the entry rules by hand.
struct Golden {
    Tour tour;
    std::string text;
    std::string preload;
    int dynamicEntries = 0;
    int staticEntries = 0;

    Golden()
    {
        const RECT viewer = tour.project.GetLayoutBox(kViewerBox);
        const int wv = viewer.right, hv = viewer.bottom;
        auto box = [](int x, int y, int hw) {
            return " x" + std::to_string(x - hw) + " y" + std::to_string(y - 10) + " a" + std::to_string(x + hw) +
                   " b" + std::to_string(y + 10) + "\n";
        };

        // Jump to the vista of index 2, icon 3.
        tour.Add(true, 0.5f, 0.5f, 3, HotSpot::kHasAction)->SetTargetVista(tour.door);
        text += "{hotspot0= x990 y490 a1010 b510\n\tu'QuorvaneTour:showNewVista(2)'\nTi'7'}\n";
        // Only an icon: dropped, its number goes to the next one.
        tour.Add(true, 0.3f, 0.3f, 5, 0);
        // Icon 11 with a text shown on both: 30 by 20; free text kept one group.
        HotSpot* h = tour.Add(true, 0.1f, 0.2f, 11,
                              HotSpot::kHasText | HotSpot::kTextOnMouseOver | HotSpot::kTextOnClick);
        tour.Label(h, "Door's }\nway");
        text += "{hotspot1=" + box(200, 200, 15) +
                "\tTT'Door's   way' TS'3' Tf'Arial' TB'true' TI'false' Ts'12' Tcff0000 Tbff Tt'80' Tw'100'\n"
                "Ti'0'}\n";
        // Icon 10 with a text that shows on neither: no text line, 20 by 20; and a picture.
        h = tour.Add(true, 0.25f, 0.75f, 10, HotSpot::kHasText | HotSpot::kShowsImage);
        h->GetLabelStyle(true)->SetText("silent");
        tour.Picture(h);
        const std::string image = "HspImg-" + std::string(5 - std::to_string(h->GetId()).size(), '0') +
                                  std::to_string(h->GetId()) + ".jpg";
        text += "{hotspot2=" + box(500, 750, 10) + "\tp i'" + image + "'\nTi'13'}\n";
        preload += image + ",";
        // A link on another drive with a picture: the entry stays without its action.
        h = tour.Add(true, 1.0f, 0.0f, 0, HotSpot::kHasAction | HotSpot::kLinksToText | HotSpot::kShowsImage);
        h->SetLinkText("D:\\files\\plan.pdf");
        tour.Picture(h);
        const std::string image2 = "HspImg-" + std::string(5 - std::to_string(h->GetId()).size(), '0') +
                                   std::to_string(h->GetId()) + ".jpg";
        text += "{hotspot3=" + box(2000, 0, 10) + "\tp i'" + image2 + "'\nTi'9'}\n";
        preload += image2 + ",";
        dynamicEntries = 4;

        // Static: a "www." address, no icon.
        h = tour.Add(false, 0.25f, 0.5f, 14, HotSpot::kHasAction | HotSpot::kLinksToText);
        h->SetLinkText("www.example.com/a?b=1");
        const int sx = static_cast<int>(wv * 0.25 + 0.5), sy = static_cast<int>(hv * 0.5 + 0.5);
        text += "{shotspot0=" + box(sx, sy, 10) + "\tu'http://www.example.com/a?b=1' t'QuorvaneTour_walk'\n}\n";
        // Static: a file on another drive only: the whole entry goes.
        h = tour.Add(false, 0.5f, 0.5f, 1, HotSpot::kHasAction | HotSpot::kLinksToText);
        h->SetLinkText("D:\\files\\x.pdf");
        // Static: a file beside the publish folder, made relative with "/".
        h = tour.Add(false, 0.0f, 1.0f, 2, HotSpot::kHasAction | HotSpot::kLinksToText);
        h->SetLinkText("C:\\docs\\guide book.pdf");
        text += "{shotspot1=" + box(0, hv, 10) + "\tu'../../docs/guide book.pdf' t'QuorvaneTour_walk'\nTi'3'}\n";
        // A jump whose target is not in the tour writes no action; with nothing else it goes.
        tour.Add(false, 0.5f, 0.5f, 4, HotSpot::kHasAction);
        staticEntries = 2;
    }
};

TEST(HotSpotParams, AppletEntriesOfEveryKindAndAction)
{
    Golden g;
    std::string groups = "before\n", preload;
    HotSpotDrops drops;
    WriteHotSpotEntries(g.tour.project, *g.tour.hall, Frame("C:\\tours\\walk"), groups, preload, drops);
    EXPECT_EQ(groups, "before\n" + g.text);
    EXPECT_EQ(preload, g.preload);
    EXPECT_EQ(drops.dynamicCount, 1);
    EXPECT_EQ(drops.staticCount, 1);

    Prompts prompts;
    prompts.get().ExpectMessageBox(
        "Warning: 1 dynamic and 1 static hotspot(s) will have URL action skipped in the tour, because the URL "
        "files are on drive(s) different from the tour publish folder.  See the manual Hotspot Editor section "
        "for detail.",
        IDOK);
    ShowDroppedActionWarning(drops);
}

TEST(HotSpotParams, WarningForms)
{
    const std::string tail = "hotspot(s) will have URL action skipped in the tour";
    EXPECT_EQ(DroppedActionWarning({}), "");
    EXPECT_EQ(DroppedActionWarning({2, 0}).rfind("Warning: 2 dynamic " + tail, 0), 0u);
    EXPECT_EQ(DroppedActionWarning({0, 3}).rfind("Warning: 3 static " + tail, 0), 0u);
    EXPECT_EQ(DroppedActionWarning({1, 1}).rfind("Warning: 1 dynamic and 1 static " + tail, 0), 0u);
    Prompts prompts;  // nothing dropped: no message box
    ShowDroppedActionWarning({});
}

TEST(HotSpotParams, LinkAddresses)
{
    struct Case {
        const char* publish;
        const char* link;
        const char* written;  // null: dropped
    };
    const Case cases[] = {
        {"/home/u/tours/walk", "/home/u/docs/a b.pdf", "../../docs/a b.pdf"},
        {"/home/u/tours/walk", "/home/u/tours/walk/in/here.htm", "in/here.htm"},
        {"/home/u/tours/walk", "D:\\x.pdf", nullptr},     // a drive no POSIX folder is on
        {"C:\\tours\\walk", "c:\\tours\\x.pdf", nullptr},  // letter case counts
        {"C:\\tours\\walk", "C:\\tours\\walk\\x.pdf", "x.pdf"},
        {"C:\\tours\\walk", "www.a.org", "http://www.a.org"},
        {"C:\\tours\\walk", "http://a.org/x\\y", "http://a.org/x\\y"},  // an address keeps its own text
        {"C:\\tours\\walk", "mailto:me@a.org", "mailto:me@a.org"},
        {"/srv/walk", "/top.htm", "/top.htm"},  // no folder to be relative from
    };
    for (const Case& c : cases) {
        Tour tour;
        tour.Add(false, 0.0f, 0.0f, 14, HotSpot::kHasAction | HotSpot::kLinksToText)->SetLinkText(c.link);
        std::string groups, preload;
        HotSpotDrops drops;
        WriteHotSpotEntries(tour.project, *tour.hall, Frame(c.publish), groups, preload, drops);
        if (c.written) {
            EXPECT_EQ(groups, std::string("{shotspot0= x-10 y-10 a10 b10\n\tu'") + c.written +
                                  "' t'QuorvaneTour_walk'\n}\n")
                << c.link;
            EXPECT_EQ(drops.staticCount, 0) << c.link;
        } else {
            EXPECT_EQ(groups, "") << c.link;
            EXPECT_EQ(drops.staticCount, 1) << c.link;
        }
    }
}

TEST(HotSpotParams, IconCodesAndViewerNames)
{
    const int codes[] = {9, 5, 3, 7, 4, 10, 6, 8, 12, 11, 13, 0, 1, 2};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(HotSpotIconCode(i), codes[i]) << i;
    EXPECT_EQ(HotSpotIconCode(14), -1);
    EXPECT_EQ(HotSpotIconCode(-1), -1);
    EXPECT_EQ(ViewerFileName("./data/a.jpg", true), "a.jpg");
    EXPECT_EQ(ViewerFileName("./data/a.jpg", false), "./data/a.jpg");
    EXPECT_EQ(ViewerFileName("data/a.jpg", true), "data/a.jpg");
    EXPECT_EQ(ViewerFileName(".a.jpg", true), ".a.jpg");
    EXPECT_EQ(BraceText("a}b\nc\rd'e"), "a b c d'e");
}

TEST(HotSpotParams, FlashEntriesMatchTheAppletEntries)
{
    if (!testkit::HasTool("xmllint")) FAIL() << "xmllint (Debian libxml2-utils) is needed by this test";
    Golden g;
    TourNorvik* doc = TourNorvik::CreateTourNorvik();
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->AddPano(0, 2, false));
    std::string preload;
    HotSpotDrops drops;
    EXPECT_TRUE(AddHotSpotEntries(g.tour.project, *g.tour.hall, Frame("C:\\tours\\walk", true), *doc, preload, drops));
    EXPECT_EQ(preload, g.preload);
    EXPECT_EQ(drops.dynamicCount, 1);
    EXPECT_EQ(drops.staticCount, 1);

    const SavedDocument saved(doc);
    ASSERT_TRUE(saved.WellFormed());

    // One element per applet entry, numbered without a gap or a repeat.
    const std::vector<std::pair<const char*, int>> kinds = {{"hotspot", g.dynamicEntries},
                                                            {"shotspot", g.staticEntries}};
    for (const auto& [name, count] : kinds) {
        const std::string all = std::string("//pano[@id=0]//") + name;
        EXPECT_EQ(saved.XPath("count(" + all + ")"), std::to_string(count)) << name;
        for (int e = 0; e < count; ++e) {
            EXPECT_EQ(saved.XPath("count(" + all + "[@id=" + std::to_string(e) + "])"), "1") << name << e;
        }
    }
    const std::string first = "//pano[@id=0]//hotspot[@id=0]";
    EXPECT_EQ(saved.XPath("string(" + first + "/@left)"), "990");
    EXPECT_EQ(saved.XPath("string(" + first + "/toVista)"), "2");
    EXPECT_EQ(saved.XPath("string(" + first + "/icon)"), "7");
    const std::string style = "//pano[@id=0]//hotspot[@id=1]/text";
    EXPECT_EQ(saved.XPath("string(" + style + "/@color)") + saved.XPath("string(" + style + "/@bgColor)"),
              "ff0000ff");  // the document writes "%x"
    EXPECT_EQ(saved.XPath("string(" + style + "/@text)").substr(0, 8), "Door's }");
    EXPECT_EQ(saved.XPath("string(//pano[@id=0]//shotspot[@id=0]/icon)"), "-1");
    EXPECT_EQ(saved.XPath("string(//pano[@id=0]//shotspot[@id=0]/toUrl/@win)"), "QuorvaneTour_walk_hs_link");
    EXPECT_EQ(saved.XPath("string(//pano[@id=0]//shotspot[@id=1]/toUrl)"), "../../docs/guide book.pdf");
}

}  // namespace
