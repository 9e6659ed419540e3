// The tour tree: documents built through the operations compared with the
// text they must print, every failure leaving the document as it was, the
// hot spot position forms, and every written document read back by libxml2.
#include "tour/norvik/tour_norvik.h"

#include "testkit/testkit.h"
#include "tour/norvik/norvik.h"
#include "tour/norvik/tests/norvik_test_support.h"
#include "tour/norvik/xml_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace {

using norvik_test::ReadBytes;
using norvik_test::WellFormedFile;
using norvik_test::WellFormedText;
using norvik_test::XPathString;

const char* const kSkeleton =
    "<?xml version=\"1.0\" ?>\n"
    "<QuorvaneTour>\n"
    "    <framework>\n"
    "        <vistaTimeMs_list />\n"
    "        <vistaLabel_list />\n"
    "        <fileThumbnail_list />\n"
    "        <vistaSound_list />\n"
    "    </framework>\n"
    "    <viewer>\n"
    "        <pano_list />\n"
    "    </viewer>\n"
    "    <tourmap>\n"
    "        <map_list />\n"
    "    </tourmap>\n"
    "</QuorvaneTour>\n";

// A tree that is deleted through its own function.
struct Tree {
    Tree() : tree(TourNorvik::CreateTourNorvik()) {}
    ~Tree() { tree = TourNorvik::DeleteTourNorvik(tree); }
    TourNorvik* operator->() const { return tree; }

    // The document's text through slots 27 and 28.
    std::string Text() const
    {
        char* text = tree->GetXmlText(dir.file("scratch.xml").c_str());
        EXPECT_NE(text, nullptr);
        std::string copy = text ? text : "";
        tree->FreeXmlText(text);
        return copy;
    }

    TourNorvik* tree;
    testkit::TempDir dir;
};

TEST(TourNorvik, NewTreePrintsTheSkeleton)
{
    Tree t;
    ASSERT_NE(t.tree, nullptr);
    EXPECT_EQ(t.Text(), kSkeleton);
    EXPECT_TRUE(WellFormedText(t.Text()));
}

TEST(TourNorvik, DeleteAcceptsNullAndReturnsNull)
{
    EXPECT_EQ(TourNorvik::DeleteTourNorvik(nullptr), nullptr);
    TourNorvik* tree = TourNorvik::CreateTourNorvik();
    tree = TourNorvik::DeleteTourNorvik(tree);
    EXPECT_EQ(tree, nullptr);
}

// A small tour as the Flash publish fills it: framework values, a panorama
// with a region, a dynamic hot spot with its text, jump, link and icon, a
// static hot spot, a flat vista, a map with a compass and the first movie.
TEST(TourNorvik, BuiltTourPrintsExactly)
{
    Tree t;
    const HotspotRange range{320, 240, 321, 241};
    EXPECT_TRUE(t->AddListText(kTourListFramework, "viewerName", "viewer_tour"));
    EXPECT_TRUE(t->AddListInt(kTourListFramework, "numVista", 2));
    EXPECT_TRUE(t->AddListIntWithId(kTourListVistaTimes, "vistaTimeMs", 18000, 0));
    EXPECT_TRUE(t->AddListTextWithId(kTourListVistaLabels, "vistaLabel", "Hall & <Stairs>", 0));
    EXPECT_TRUE(t->AddListHex(kTourListTourMap, "mapBgColor", 0xa0b0c0));
    EXPECT_TRUE(t->AddListColors(kTourListFramework, "buttonBgColor", 0x102030, 0xff, 0, 0xabcdef));
    EXPECT_TRUE(t->AddListBox(kTourListFramework, "page_box", 3, 3, 800, 600, 0x123456, -1));
    EXPECT_TRUE(t->AddListBox(kTourListFramework, "title_box", -1, 0, 640, 40, -1, -1));
    EXPECT_TRUE(t->AddListInt(kTourListFramework, "autoHideBar", 1));
    EXPECT_TRUE(t->SetChildAttributeInt(kTourListFramework, "autoHideBar", "padX", 120));
    EXPECT_TRUE(t->SetChildAttribute(kTourListFramework, "tourHelpWin", "file", "QuorvaneTour_help_F"));
    EXPECT_TRUE(t->SetChildAttributeInt(kTourListFramework, "tourHelpWin", "width", 470));
    EXPECT_TRUE(t->AddPano(0, 0, true));
    EXPECT_TRUE(t->AddPanoText(0, "file", "./data_F/hall_s0.jpg"));
    EXPECT_TRUE(t->AddPanoInt(0, "pwidth", 6000));
    EXPECT_TRUE(t->AddPanoFloat(0, "tiltmin", -45.5f));
    EXPECT_TRUE(t->AddRoi(0, 0, "./data_F/hall_s1.jpg", 1024, 0));
    EXPECT_TRUE(t->AddHotspot(0, kHotspotDynamic, 0, 990, 490, 1010, 510, &range, 640, 480));
    EXPECT_TRUE(t->AddHotspotTextStyle(0, kHotspotDynamic, 0, "Go \"up\"", 1, "MS Serif", "true", "false", 8,
                                       0xffffff, 0, 80, 0));
    EXPECT_TRUE(t->AddHotspotInt(0, kHotspotDynamic, 0, "toVista", 1));
    EXPECT_TRUE(t->AddHotspotUrl(0, kHotspotDynamic, 0, "QuorvaneTour_tour_hs_link", "http://x.org/?a=1&b=2"));
    EXPECT_TRUE(t->AddHotspotInt(0, kHotspotDynamic, 0, "icon", 7));
    EXPECT_TRUE(t->AddHotspot(0, kHotspotStatic, 0, 10, 20, 30, 40, &range, 640, 480));
    EXPECT_TRUE(t->AddHotspotText(0, kHotspotStatic, 0, "image", "./data_F/HspImg-00003.jpg"));
    EXPECT_TRUE(t->AddPano(1, 1, false));
    EXPECT_TRUE(t->AddMap(0, -3, 0, 0));
    EXPECT_TRUE(t->AddMapText(0, "mapImage", "plan.jpg"));
    EXPECT_TRUE(t->AddCompass(0, 0, 1, 2, 100, 200));
    EXPECT_TRUE(t->AddCompassFloat(0, 0, "a0", 90.0f));
    EXPECT_TRUE(t->AddCompassText(0, 0, "label", "Hall"));
    EXPECT_TRUE(t->AddFirstMovie(1, 1, 1, 1, 1, 8000, "Playing tour movie.", 0, "Arial", "false", "false", 28,
                                 0xFFFFFF, 0, 60, 400));

    const std::string expected =
        "<?xml version=\"1.0\" ?>\n"
        "<QuorvaneTour>\n"
        "    <framework>\n"
        "        <vistaTimeMs_list>\n"
        "            <vistaTimeMs id=\"0\">18000</vistaTimeMs>\n"
        "        </vistaTimeMs_list>\n"
        "        <vistaLabel_list>\n"
        "            <vistaLabel id=\"0\">Hall &amp; &lt;Stairs&gt;</vistaLabel>\n"
        "        </vistaLabel_list>\n"
        "        <fileThumbnail_list />\n"
        "        <vistaSound_list />\n"
        "        <viewerName>viewer_tour</viewerName>\n"
        "        <numVista>2</numVista>\n"
        "        <buttonBgColor off=\"102030\" over=\"0000ff\" click=\"000000\" active=\"abcdef\" />\n"
        "        <page_box left=\"3\" top=\"3\" width=\"800\" height=\"600\" color=\"123456\" />\n"
        "        <title_box top=\"0\" width=\"640\" height=\"40\" />\n"
        "        <autoHideBar padX=\"120\">1</autoHideBar>\n"
        "        <tourHelpWin file=\"QuorvaneTour_help_F\" width=\"470\" />\n"
        "    </framework>\n"
        "    <viewer>\n"
        "        <pano_list>\n"
        "            <pano id=\"0\" vistaType=\"0\" flatView=\"1\">\n"
        "                <file>hall_s0.jpg</file>\n"
        "                <pwidth>6000</pwidth>\n"
        "                <tiltmin>-45.500000</tiltmin>\n"
        "                <roi_list>\n"
        "                    <roi id=\"0\" file=\"hall_s1.jpg\" x=\"1024\" y=\"0\" />\n"
        "                </roi_list>\n"
        "                <hotspot_list>\n"
        "                    <hotspot id=\"0\" left=\"990\" top=\"490\" right=\"1010\" bottom=\"510\">\n"
        "                        <text text='Go &quot;up&quot;' showType=\"1\" font=\"MS Serif\" bold=\"true\""
        " italic=\"false\" size=\"8\" color=\"ffffff\" bgColor=\"0\" transparency=\"80\" width=\"0\" />\n"
        "                        <toVista>1</toVista>\n"
        "                        <toUrl win=\"QuorvaneTour_tour_hs_link\">http://x.org/?a=1&amp;b=2</toUrl>\n"
        "                        <icon>7</icon>\n"
        "                    </hotspot>\n"
        "                </hotspot_list>\n"
        "                <shotspot_list>\n"
        "                    <shotspot id=\"0\" x=\"s20\" y=\"s30\" w=\"21\" h=\"21\">\n"
        "                        <image>HspImg-00003.jpg</image>\n"
        "                    </shotspot>\n"
        "                </shotspot_list>\n"
        "            </pano>\n"
        "            <pano id=\"1\" vistaType=\"1\" flatView=\"0\" />\n"
        "        </pano_list>\n"
        "        <firstMovie hotspot=\"1\" vistaBench=\"1\" tourMap=\"1\" controlBar=\"1\" fullScreen=\"1\""
        " textDurationMs=\"8000\">\n"
        "            <text text=\"Playing tour movie.\" showType=\"0\" font=\"Arial\" bold=\"false\""
        " italic=\"false\" size=\"28\" color=\"ffffff\" bgColor=\"0\" transparency=\"60\" width=\"400\" />\n"
        "        </firstMovie>\n"
        "    </viewer>\n"
        "    <tourmap>\n"
        "        <map_list>\n"
        "            <map id=\"0\" zoom0=\"-3\" x0c=\"0\" y0c=\"0\">\n"
        "                <mapImage>plan.jpg</mapImage>\n"
        "                <compass_list>\n"
        "                    <compass id=\"0\" isValid=\"1\" type=\"2\" x=\"100\" y=\"200\">\n"
        "                        <a0>90.000000</a0>\n"
        "                        <label>Hall</label>\n"
        "                    </compass>\n"
        "                </compass_list>\n"
        "            </map>\n"
        "        </map_list>\n"
        "        <mapBgColor>a0b0c0</mapBgColor>\n"
        "    </tourmap>\n"
        "</QuorvaneTour>\n";
    const std::string text = t.Text();
    EXPECT_EQ(text, expected);

    // What libxml2 reads from the same text.
    const std::string path = t.dir.file("tour.xml");
    ASSERT_TRUE(t->SaveToFile(path.c_str()));
    EXPECT_EQ(ReadBytes(path), text);
    EXPECT_TRUE(WellFormedFile(path));
    EXPECT_EQ(XPathString(path, "//vistaLabel[@id=0]"), "Hall & <Stairs>");
    EXPECT_EQ(XPathString(path, "//hotspot[@id=0]/text/@text"), "Go \"up\"");
    EXPECT_EQ(XPathString(path, "//hotspot[@id=0]/toUrl"), "http://x.org/?a=1&b=2");
}

TEST(TourNorvik, EveryListIndexNamesItsElementAndOthersFail)
{
    const char* const parents[kTourListCount] = {
        "QuorvaneTour", "framework", "vistaTimeMs_list", "vistaLabel_list", "fileThumbnail_list",
        "vistaSound_list", "viewer", "pano_list", "tourmap", "map_list",
    };
    Tree t;
    for (TourListIndex list = 0; list < kTourListCount; ++list) {
        const std::string name = "probe" + std::to_string(list);
        ASSERT_TRUE(t->AddListInt(list, name.c_str(), list)) << list;
    }
    Norvik parsed(t.Text().c_str());
    for (TourListIndex list = 0; list < kTourListCount; ++list) {
        const std::string name = "probe" + std::to_string(list);
        TiXmlElement* probe = parsed.SelectElement(("//" + name).c_str());
        ASSERT_NE(probe, nullptr) << list;
        EXPECT_EQ(probe->Parent()->ValueStr(), parents[list]) << list;
        EXPECT_EQ(probe->Parent()->LastChild(), probe) << list;
        EXPECT_STREQ(probe->GetText(), std::to_string(list).c_str());
    }
    const std::string before = t.Text();
    for (TourListIndex bad : {-1, kTourListCount, 1000}) {
        EXPECT_FALSE(t->AddListText(bad, "x", "y"));
        EXPECT_FALSE(t->AddListInt(bad, "x", 1));
        EXPECT_FALSE(t->AddListHex(bad, "x", 1));
        EXPECT_FALSE(t->AddListTextWithId(bad, "x", "y", 1));
        EXPECT_FALSE(t->AddListIntWithId(bad, "x", 1, 1));
        EXPECT_FALSE(t->AddListColors(bad, "x", 1, 2, 3, 4));
        EXPECT_FALSE(t->AddListBox(bad, "x", 1, 2, 3, 4, 5, 6));
        EXPECT_FALSE(t->SetChildAttribute(bad, "x", "a", "v"));
        EXPECT_FALSE(t->SetChildAttributeInt(bad, "x", "a", 1));
    }
    EXPECT_EQ(t.Text(), before);
}

TEST(TourNorvik, OperationsWithoutTheirParentFailAndChangeNothing)
{
    Tree t;
    const HotspotRange range{0, 0, 1, 1};
    ASSERT_TRUE(t->AddPano(4, 0, true));
    ASSERT_TRUE(t->AddHotspot(4, kHotspotDynamic, 1, 0, 0, 9, 9, nullptr, 100, 100));
    ASSERT_TRUE(t->AddMap(2, 0, 0, 0));
    ASSERT_TRUE(t->AddCompass(2, 5, 1, 2, 3, 4));
    const std::string before = t.Text();

    const std::pair<const char*, std::function<bool()>> calls[] = {
        {"pano text, no pano 3", [&] { return t->AddPanoText(3, "file", "a.jpg"); }},
        {"pano int", [&] { return t->AddPanoInt(3, "n", 1); }},
        {"pano float", [&] { return t->AddPanoFloat(3, "f", 1.0f); }},
        {"roi", [&] { return t->AddRoi(3, 0, "a.jpg", 0, 0); }},
        {"hot spot in missing pano", [&] { return t->AddHotspot(3, kHotspotDynamic, 0, 0, 0, 1, 1, &range, 9, 9); }},
        {"hot spot of kind 3", [&] { return t->AddHotspot(4, 3, 0, 0, 0, 1, 1, &range, 9, 9); }},
        {"hot spot of kind -1", [&] { return t->AddHotspot(4, -1, 0, 0, 0, 1, 1, &range, 9, 9); }},
        {"shotspot without range", [&] { return t->AddHotspot(4, kHotspotStatic, 0, 0, 0, 1, 1, nullptr, 9, 9); }},
        {"text of missing hot spot id", [&] { return t->AddHotspotText(4, kHotspotDynamic, 2, "image", "x"); }},
        {"text of hot spot of another kind", [&] { return t->AddHotspotText(4, kHotspotStatic, 1, "image", "x"); }},
        {"hot spot int", [&] { return t->AddHotspotInt(4, kHotspotGlobal, 1, "icon", 1); }},
        {"hot spot url", [&] { return t->AddHotspotUrl(5, kHotspotDynamic, 1, "w", "u"); }},
        {"hot spot style", [&] {
             return t->AddHotspotTextStyle(4, kHotspotDynamic, 9, "t", 1, "f", "true", "false", 1, 2, 3, 4, 5);
         }},
        {"map text", [&] { return t->AddMapText(1, "mapImage", "x"); }},
        {"compass in missing map", [&] { return t->AddCompass(1, 0, 1, 2, 3, 4); }},
        {"compass text", [&] { return t->AddCompassText(2, 6, "label", "x"); }},
        {"compass float of missing map", [&] { return t->AddCompassFloat(1, 5, "a0", 1.0f); }},
        {"element name with a blank", [&] { return t->AddListText(kTourListFramework, "bad name", "x"); }},
        {"element name null", [&] { return t->AddListText(kTourListFramework, nullptr, "x"); }},
        {"element name with a quote", [&] { return t->AddPanoText(4, "a\"b", "x"); }},
        {"attribute name with a blank", [&] { return t->SetChildAttribute(kTourListFramework, "ok", "a b", "v"); }},
        {"child name empty", [&] { return t->SetChildAttributeInt(kTourListFramework, "", "a", 1); }},
    };
    for (const auto& [label, call] : calls) EXPECT_FALSE(call()) << label;
    EXPECT_EQ(t.Text(), before);
}

TEST(TourNorvik, ShortensFileTextsThatBeginWithADot)
{
    struct Case {
        const char* given;
        const char* written;
    };
    const Case cases[] = {
        {"./data_F/room 1.jpg", "room 1.jpg"}, {"../up/two/deep.jpg", "deep.jpg"}, {".hidden", ".hidden"},
        {"data_F/room.jpg", "data_F/room.jpg"}, {"/abs/room.jpg", "/abs/room.jpg"}, {"./", ""},
        {".\\win\\room.jpg", ".\\win\\room.jpg"}, {"", ""},
    };
    Tree t;
    ASSERT_TRUE(t->AddPano(0, 0, true));
    ASSERT_TRUE(t->AddHotspot(0, kHotspotDynamic, 0, 0, 0, 1, 1, nullptr, 9, 9));
    int i = 0;
    for (const Case& c : cases) {
        ASSERT_TRUE(t->AddPanoText(0, "file", c.given));
        ASSERT_TRUE(t->AddRoi(0, i, c.given, 0, 0));
        ASSERT_TRUE(t->AddHotspotText(0, kHotspotDynamic, 0, "image", c.given));
        ++i;
    }
    // Map, compass and list texts are written whole.
    ASSERT_TRUE(t->AddListText(kTourListFramework, "whole", "./data_F/x.jpg"));
    ASSERT_TRUE(t->AddMap(0, 0, 0, 0));
    ASSERT_TRUE(t->AddMapText(0, "mapImage", "./data_F/map.jpg"));

    Norvik parsed(t.Text().c_str());
    const std::vector<TiXmlNode*> files = parsed.SelectNodes("//pano/file");
    const std::vector<TiXmlNode*> rois = parsed.SelectNodes("//pano/roi_list/roi");
    const std::vector<TiXmlNode*> images = parsed.SelectNodes("//hotspot/image");
    ASSERT_EQ(files.size(), std::size(cases));
    ASSERT_EQ(rois.size(), std::size(cases));
    ASSERT_EQ(images.size(), std::size(cases));
    for (size_t k = 0; k < std::size(cases); ++k) {
        const char* text = files[k]->ToElement()->GetText();
        EXPECT_STREQ(text ? text : "", cases[k].written) << cases[k].given;
        text = images[k]->ToElement()->GetText();
        EXPECT_STREQ(text ? text : "", cases[k].written) << cases[k].given;
        EXPECT_STREQ(rois[k]->ToElement()->Attribute("file"), cases[k].written) << cases[k].given;
    }
    EXPECT_STREQ(parsed.SelectElement("//framework/whole")->GetText(), "./data_F/x.jpg");
    EXPECT_STREQ(parsed.SelectElement("//map/mapImage")->GetText(), "./data_F/map.jpg");
}

TEST(TourNorvik, HotspotPositionForms)
{
    struct Case {
        int kind;
        int left, top, right, bottom;
        HotspotRange range;
        int width, height;
        const char* expected;  // the hot spot element as printed
    };
    const Case cases[] = {
        // Dynamic: the box as given.
        {kHotspotDynamic, 990, 490, 1010, 510, {0, 0, 0, 0}, 2000, 1000,
         "<hotspot id=\"7\" left=\"990\" top=\"490\" right=\"1010\" bottom=\"510\" />"},
        // Centre (20, 30) at or before the low bounds: counted from the start.
        {kHotspotStatic, 10, 20, 30, 40, {320, 240, 321, 241}, 640, 480,
         "<shotspot id=\"7\" x=\"s20\" y=\"s30\" w=\"21\" h=\"21\" />"},
        // Centre exactly on the low bound still counts from the start.
        {kHotspotStatic, 310, 230, 330, 250, {320, 240, 321, 241}, 640, 480,
         "<shotspot id=\"7\" x=\"s320\" y=\"s240\" w=\"21\" h=\"21\" />"},
        // Centre (620, 460) at or after the high bounds: from the far edge.
        {kHotspotStatic, 610, 450, 630, 470, {320, 240, 321, 241}, 640, 480,
         "<shotspot id=\"7\" x=\"e19\" y=\"e19\" w=\"21\" h=\"21\" />"},
        {kHotspotStatic, 311, 231, 331, 251, {320, 240, 321, 241}, 640, 480,
         "<shotspot id=\"7\" x=\"e318\" y=\"e238\" w=\"21\" h=\"21\" />"},
        // Strictly between the bounds: a fraction of the image size.
        {kHotspotStatic, 100, 50, 120, 70, {10, 10, 600, 400}, 640, 480,
         "<shotspot id=\"7\" x=\"0.171875\" y=\"0.125000\" w=\"21\" h=\"21\" />"},
        {kHotspotStatic, 100, 50, 120, 70, {10, 10, 600, 400}, 0, 0,
         "<shotspot id=\"7\" x=\"0.000000\" y=\"0.000000\" w=\"21\" h=\"21\" />"},
        // Negative centres divide toward zero: (-3 + 0) / 2 is -1.
        {kHotspotStatic, -3, -5, 0, 0, {0, 0, 1, 1}, 640, 480,
         "<shotspot id=\"7\" x=\"s-1\" y=\"s-2\" w=\"4\" h=\"6\" />"},
        // Global: "%" forms, spans without the +1.
        {kHotspotGlobal, 10, 20, 31, 41, {0, 0, 0, 0}, 640, 480,
         "<ghotspot id=\"7\" x=\"%20\" y=\"%30\" w=\"%21\" h=\"%21\" />"},
        // Extreme boxes stay exact: no 32-bit overflow on the way.
        {kHotspotGlobal, -2147483647 - 1, 0, 2147483647, 2147483647, {0, 0, 0, 0}, 1, 1,
         "<ghotspot id=\"7\" x=\"%0\" y=\"%1073741823\" w=\"%4294967295\" h=\"%2147483647\" />"},
    };
    for (const Case& c : cases) {
        Tree t;
        ASSERT_TRUE(t->AddPano(0, 0, true));
        ASSERT_TRUE(t->AddHotspot(0, c.kind, 7, c.left, c.top, c.right, c.bottom, &c.range, c.width, c.height));
        const std::string text = t.Text();
        EXPECT_NE(text.find(std::string(c.expected) + "\n"), std::string::npos) << c.expected << "\nin\n" << text;
        EXPECT_TRUE(WellFormedText(text));
    }
}

TEST(TourNorvik, TextsGoToTheFirstPanoOfAnId)
{
    Tree t;
    ASSERT_TRUE(t->AddPano(3, 0, true));
    ASSERT_TRUE(t->AddPano(3, 1, false));
    ASSERT_TRUE(t->AddPanoInt(3, "n", 42));
    ASSERT_TRUE(t->AddHotspot(3, kHotspotDynamic, 0, 0, 0, 1, 1, nullptr, 9, 9));
    Norvik parsed(t.Text().c_str());
    const std::vector<TiXmlNode*> panos = parsed.SelectNodes("//pano_list/pano");
    ASSERT_EQ(panos.size(), 2u);
    EXPECT_STREQ(panos[0]->FirstChildElement("n")->GetText(), "42");
    EXPECT_NE(panos[0]->FirstChildElement("hotspot_list"), nullptr);
    EXPECT_EQ(panos[1]->FirstChild(), nullptr);
}

TEST(TourNorvik, FirstMovieFollowsThePanoList)
{
    Tree t;
    ASSERT_TRUE(t->AddPano(0, 0, true));
    ASSERT_TRUE(t->AddListInt(kTourListViewer, "numVista", 1));
    ASSERT_TRUE(t->AddFirstMovie(1, 0, 1, 0, 1, 0, "t", 0, "Arial", "false", "true", 28, 0xFFFFFF, 0, 60, 400));
    Norvik parsed(t.Text().c_str());
    TiXmlElement* viewer = parsed.SelectElement("/QuorvaneTour/viewer");
    ASSERT_NE(viewer, nullptr);
    std::vector<std::string> order;
    for (TiXmlElement* e = viewer->FirstChildElement(); e; e = e->NextSiblingElement()) order.push_back(e->Value());
    EXPECT_EQ(order, (std::vector<std::string>{"pano_list", "numVista", "firstMovie"}));
    TiXmlElement* text = viewer->LastChild()->FirstChildElement("text");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->Attribute("italic"), "true");
    EXPECT_EQ(text->NextSiblingElement(), nullptr);
}

TEST(TourNorvik, ReadOutDeletesTheScratchFileAndSaveMatchesIt)
{
    Tree t;
    ASSERT_TRUE(t->AddListText(kTourListFramework, "a", "b"));
    const std::string scratch = t.dir.file("QuorvaneTour_flash_prms.dat");
    char* text = t->GetXmlText(scratch.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(norvik_test::FileExists(scratch));
    std::string viaString;
    ASSERT_TRUE(t->GetXmlString(viaString, scratch.c_str()));
    EXPECT_FALSE(norvik_test::FileExists(scratch));
    EXPECT_EQ(viaString, text);

    const std::string saved = t.dir.file("saved.xml");
    ASSERT_TRUE(t->SaveToFile(saved.c_str()));
    EXPECT_EQ(ReadBytes(saved), text);
    EXPECT_TRUE(t->FreeXmlText(text));
    EXPECT_FALSE(t->FreeXmlText(nullptr));
}

TEST(TourNorvik, ReadOutFailuresGiveFalseOrNull)
{
    Tree t;
    const std::string nowhere = t.dir.file("no/such/folder/x.xml");
    std::string text = "unchanged";
    EXPECT_FALSE(t->SaveToFile(nowhere.c_str()));
    EXPECT_FALSE(t->GetXmlString(text, nowhere.c_str()));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(t->GetXmlText(nowhere.c_str()), nullptr);
    EXPECT_EQ(t->GetXmlText(nullptr), nullptr);
    if (norvik_test::FileExists("/dev/full")) {
        EXPECT_FALSE(t->SaveToFile("/dev/full"));
        EXPECT_EQ(t->GetXmlText("/dev/full"), nullptr);
        EXPECT_TRUE(norvik_test::FileExists("/dev/full"));
    }
}

// Labels, legends, file names and addresses come from users and old
// configuration files: whatever their bytes, the document stays well-formed
// and libxml2 reads back the text that was meant.
TEST(TourNorvik, SpecialCharactersReadBackThroughLibxml2)
{
    const std::string texts[] = {
        "a & b < c > d",
        "quote \" and apostrophe '",
        "tab\tnewline\nreturn\rend",
        "  two  spaces  ",
        "Z\xc3\xbcrich \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80",
        "&#x41; &amp; ]]> <![CDATA[x]]>",
        "caf\xe9 \x80",  // Windows-1252: "café €"
        "bell\x07 escape\x1b",
    };
    Tree t;
    int id = 0;
    for (const std::string& s : texts) {
        ASSERT_TRUE(t->AddListTextWithId(kTourListVistaLabels, "vistaLabel", s.c_str(), id));
        ASSERT_TRUE(t->SetChildAttribute(kTourListRoot, ("probe" + std::to_string(id)).c_str(), "value", s.c_str()));
        ++id;
    }
    const std::string path = t.dir.file("special.xml");
    ASSERT_TRUE(t->SaveToFile(path.c_str()));
    ASSERT_TRUE(WellFormedFile(path));
    Norvik parsed(ReadBytes(path).c_str());
    for (int k = 0; k < id; ++k) {
        const std::string meant = norvik::XmlCharacterData(texts[k].c_str());
        const std::string label = "//vistaLabel[@id=" + std::to_string(k) + "]";
        const std::string probe = "//probe" + std::to_string(k) + "/@value";
        EXPECT_EQ(XPathString(path, label), meant) << k;
        EXPECT_EQ(XPathString(path, probe), meant) << k;
        // TinyXML reads back the same text.
        const std::string name = "probe" + std::to_string(k);
        TiXmlElement* element = parsed.SelectElement(("/QuorvaneTour/" + name).c_str());
        ASSERT_NE(element, nullptr) << k;
        EXPECT_EQ(std::string(element->Attribute("value")), meant) << k;
    }
    const std::vector<TiXmlNode*> labels = parsed.SelectNodes("//vistaLabel_list/vistaLabel");
    ASSERT_EQ(labels.size(), std::size(texts));
    for (size_t k = 0; k < labels.size(); ++k)
        EXPECT_EQ(std::string(labels[k]->ToElement()->GetText()), norvik::XmlCharacterData(texts[k].c_str())) << k;
    EXPECT_EQ(norvik::XmlCharacterData(texts[6].c_str()), "caf\xc3\xa9 \xe2\x82\xac");
}

TEST(TourNorvik, RandomBytesNeverBreakTheDocument)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(0, 24);
    Tree t;
    std::vector<std::string> texts;
    for (int k = 0; k < 300; ++k) {
        std::string s;
        for (int n = length(random); n > 0; --n) s.push_back(static_cast<char>(byte(random)));
        texts.push_back(s);
        ASSERT_TRUE(t->AddListTextWithId(kTourListVistaSounds, "vistaSound", s.c_str(), k));
        ASSERT_TRUE(t->AddListColors(kTourListFramework, "c", k, k, k, k));
        ASSERT_TRUE(t->SetChildAttribute(kTourListFramework, "c", "note", s.c_str()));
    }
    const std::string path = t.dir.file("random.xml");
    ASSERT_TRUE(t->SaveToFile(path.c_str()));
    EXPECT_TRUE(WellFormedFile(path));
    Norvik parsed(ReadBytes(path).c_str());
    const std::vector<TiXmlNode*> sounds = parsed.SelectNodes("//vistaSound_list/vistaSound");
    ASSERT_EQ(sounds.size(), texts.size());
    for (size_t k = 0; k < texts.size(); ++k) {
        const std::string meant = norvik::XmlCharacterData(texts[k].c_str());
        const char* read = sounds[k]->ToElement()->GetText();
        // TinyXML drops a text of blanks only; every other text comes back.
        if (meant.find_first_not_of(" \t\n\r") == std::string::npos) continue;
        EXPECT_EQ(read ? std::string(read) : std::string(), meant) << k;
    }
}

}  // namespace
