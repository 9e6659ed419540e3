// The configuration file "TessivConfig.bin": the dialog's file of a default
// tour byte for byte (built here by hand from the documented layout), round
// trips of the dialog's and the full form, older versions, and files cut
// short or damaged anywhere, which must change nothing.
#include "tour/tessiv/tour_project.h"

#include "core/logger.h"
#include "testkit/testkit.h"
#include "tour/tessiv/tour_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ImagePtr = RefPtr<Image>;

struct Writer {
    Bytes b;
    Writer& W(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Writer& S(uint16_t v)
    {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Writer& B(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Writer& F(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return W(v);
    }
    Writer& T(const std::string& s)
    {
        W(static_cast<uint32_t>(s.size()));
        if (!s.empty()) {
            b.insert(b.end(), s.begin(), s.end());
            b.push_back(0);
        }
        return *this;
    }
    // A text-style record (with the transparency unless `old`).
    Writer& Style(uint32_t text, uint32_t bg, uint16_t size, uint8_t style, uint8_t flags, uint8_t opacity,
                  const std::string& words, const std::string& face, uint16_t transparency = 100, bool old = false)
    {
        W(text).W(bg).S(size).B(style).B(flags).B(opacity).T(words).T(face);
        if (!old) S(transparency);
        return *this;
    }
    Writer& Block(const Bytes& bytes)
    {
        W(static_cast<uint32_t>(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
};

Bytes DefaultStyle(uint8_t opacity = 80)
{
    return Writer().Style(0x000000, 0xFFFFFF, 200, 0, 0, opacity, "", "MS Serif").b;
}

// The main block of a default tour, version 116.
Bytes DefaultMainBlock()
{
    Writer m;
    m.W(600).W(400).W(6).W(60).W(0xD8E9EC).W(0x0080FF).W(0x808000).W(0xD8E9EC).W(0);  // 1-9
    m.F(1.0f).B(0).W(3).B(1);                                                          // 10-13
    m.W(1).W(0);                                                                       // 14-15
    for (int i = 0; i < 4; ++i) m.W(0xD8E9EC);                                         // 16-19
    for (int i = 0; i < 4; ++i) m.W(0);                                                // 20-23
    m.W(0);                                                                            // 24
    m.W(20).W(20).W(10).W(10).W(10).W(10);                                             // 25-30
    m.W(0).W(10);                                                                      // 31-32
    m.Block(DefaultStyle(100));                                                        // 33
    m.B(0).B(0).B(0).B(1);                                                             // 34-37
    m.W(15);                                                                           // 38
    m.Block(DefaultStyle());                                                           // 39
    m.W(0);                                                                            // 40
    m.Block(DefaultStyle());                                                           // 41
    m.W(0);                                                                            // 42
    return m.b;
}

Bytes DefaultTourMapRecord()
{
    Writer t;
    t.W(0x480).W(256).W(256).W(0).W(0).W(0xFF0080).W(0xFF0000).W(0x0000FF).W(0x00FF00).W(0xFF8080).W(0x0000FF);
    t.W(100).W(50).W(50);
    t.Style(0xFF0000, 0xFFFFE0, 200, 0, 0, 80, "", "MS Serif");
    t.Style(0x0000FF, 0xFFE0FF, 200, 0, 0, 80, "", "MS Serif");
    t.Style(0x00FF00, 0xE0FFFF, 200, 0, 0, 80, "", "MS Serif");
    return t.b;
}

class TourConfigFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The library-wide styles outlive a tour: start each test from their defaults.
        TourLibrary().hotSpotLabelStyle = TextStyle();
        TourLibrary().vistaLegendInViewer = false;
    }
};

TEST_F(TourConfigFile, DialogFileOfADefaultTourByteForByte)
{
    Writer expected;
    expected.W(1).W(116);
    expected.W(2).Block(DefaultStyle());
    expected.W(4).Block(DefaultMainBlock());
    expected.W(8).Block(DefaultTourMapRecord());
    expected.W(0);
    ASSERT_EQ(DefaultStyle().size(), 32u);
    ASSERT_EQ(DefaultMainBlock().size(), 150u + 3 * 32);

    TourProject tour(1);
    tour.SetTitleText("x");  // something unsaved
    tour.SetTitleText(nullptr);
    ASSERT_TRUE(tour.HasUnsavedChanges());
    const Bytes bytes = tour.SaveBytes(false);
    EXPECT_EQ(bytes, expected.b);
    EXPECT_EQ(bytes.size(), 8u + (8 + 32) + (8 + 246) + (8 + 152) + 4);
    EXPECT_FALSE(tour.HasUnsavedChanges());
}

// Sets every value the dialog's file keeps to something other than its default.
void ChangeEverythingSaved(TourProject& t)
{
    t.SetTitleFont("Arial", 360, 3);
    t.SetTitleColor(0x0000FF);
    t.SetPageSize(1024, 768);
    t.SetSpinSpeed(-12);
    t.SetFieldOfView(95);
    t.SetControlBarColor(0x010203);
    t.SetVistaBenchColor(0x040506);
    t.SetPageBgColor(0x070809);
    t.SetFourthColor(0x0A0B0C);
    t.SetVistaBenchLocation(2);
    t.SetThumbnailRowsSetting(2.5f);
    t.SetAutomaticRows(true);
    t.SetStoredValueA(-4);
    t.SetStoredFlagB(false);
    t.SetImageQuality(2);
    t.SetViewerKind(1);
    for (int i = 0; i < 4; ++i) {
        t.SetButtonBgColor(i, 0x111111u * static_cast<unsigned>(i + 1));
        t.SetButtonTextColor(i, 0x20u + static_cast<unsigned>(i));
    }
    t.SetPhotoSlideInitSize(31, 32);
    t.SetPhotoSlideMovieTime(33, 34);
    t.SetPhotoSlideZoomTime(35, 36);
    t.SetVistaLabelInViewer(2);
    t.SetViewerLabelValue(77);
    t.GetViewerLabelStyle().SetFace("Verdana", 180, 1);
    t.GetViewerLabelStyle().SetBgColor(0x123456);
    t.SetControlBarColored(true);
    t.SetVistaBenchColored(true);
    t.SetStripEnabled(false);
    t.SetVistaSoundPlayFlag(0, false);
    t.SetStoredValue(0, 99);
    TourLibrary().vistaLabelStyle.SetFace("Tahoma", 260, 2);
    TourLibrary().vistaLegendInViewer = true;
    TourLibrary().hotSpotLabelStyle.SetTextColor(0xABCDEF);
    TourMapSettings& m = t.GetTourMap();
    m.SetPosition(12, 34);
    m.SetSize(300, 200);
    m.SetMapBgColor(0x224466);
    m.SetScanBeamLength(0);
    m.SetDockSide(3);
    m.GetVistaLabelStyle(2).SetText("over");
}

TEST_F(TourConfigFile, DialogRoundTripKeepsEveryLookValue)
{
    Bytes saved;
    {
        TourProject tour(1);
        ChangeEverythingSaved(tour);
        saved = tour.SaveBytes(false);
    }
    TourProject loaded(1);  // resets the library's vista label style
    ASSERT_NE(TourLibrary().vistaLabelStyle.GetSize(), 260);
    TourLibrary().vistaLegendInViewer = false;
    TourLibrary().hotSpotLabelStyle = TextStyle();
    loaded.SetPageName("kept.htm");  // not in the dialog's file
    ASSERT_EQ(loaded.LoadBytes(saved.data(), saved.size(), false), kConfigLoaded);
    EXPECT_FALSE(loaded.HasUnsavedChanges());
    EXPECT_EQ(loaded.SaveBytes(false), saved);

    EXPECT_EQ(loaded.GetPageWidth(), 1024);
    EXPECT_EQ(loaded.GetSpinSpeed(), -12);
    EXPECT_EQ(loaded.GetThumbnailRowsSetting(), 2.5f);
    EXPECT_EQ(loaded.GetButtonBgColor(2), 0x333333u);
    EXPECT_EQ(loaded.GetPhotoSlideZoomTime(1), 36);
    EXPECT_STREQ(loaded.GetViewerLabelStyle().GetFaceName(), "Verdana");
    EXPECT_FALSE(loaded.GetStripEnabled());
    EXPECT_EQ(loaded.GetVistaSoundPlayFlags(), 14);
    EXPECT_EQ(loaded.GetStoredValue(0), 99);
    EXPECT_EQ(TourLibrary().vistaLabelStyle.GetSize(), 260);
    EXPECT_TRUE(TourLibrary().vistaLegendInViewer);
    EXPECT_EQ(TourLibrary().hotSpotLabelStyle.GetTextColor(), 0xABCDEFu);
    EXPECT_EQ(loaded.GetTourMap().GetX(), 12);
    EXPECT_EQ(loaded.GetTourMap().GetScanBeamLength(), 0);
    EXPECT_STREQ(loaded.GetTourMap().GetVistaLabelStyle(2).GetText(), "over");
    EXPECT_STREQ(loaded.GetPageName(), "kept.htm");
    EXPECT_STREQ(loaded.GetTitle().GetFaceName(), "Arial");
    EXPECT_EQ(loaded.GetTitle().GetTextColor(), 0x0000FFu);
}

TEST_F(TourConfigFile, DialogLoadDropsTheTitleTextButKeepsItsLook)
{
    TourProject tour(1);
    tour.SetTitleText("Tour");
    tour.SetTitleShown(true);
    tour.SetTitleFont("Georgia", 300, 1);
    tour.SetTitleColor(0x00FF00);
    const Bytes saved = tour.SaveBytes(false);

    TourProject loaded(1);
    ASSERT_EQ(loaded.LoadBytes(saved.data(), saved.size(), false), kConfigLoaded);
    EXPECT_EQ(loaded.GetTitle().GetText(), nullptr);
    EXPECT_FALSE(loaded.GetTitle().IsShown());
    EXPECT_STREQ(loaded.GetTitle().GetFaceName(), "Georgia");
    EXPECT_EQ(loaded.GetTitle().GetSize(), 300);
    EXPECT_EQ(loaded.GetTitle().GetTextColor(), 0x00FF00u);

    // The full form keeps the text.
    TourProject full(1);
    const Bytes all = tour.SaveBytes(true);
    ASSERT_EQ(full.LoadBytes(all.data(), all.size(), true), kConfigLoaded);
    EXPECT_STREQ(full.GetTitle().GetText(), "Tour");
    EXPECT_TRUE(full.GetTitle().IsShown());
}

// A version-105 (and 103) file: no fields 10-13, 15 and 39-42 (and 38), and
// text-style records without their transparency.
Bytes OldFile(int version)
{
    Writer main;
    main.W(800).W(500).W(-5).W(70).W(1).W(2).W(3).W(4).W(1);  // 1-9
    main.W(2);                                                // 14
    for (int i = 0; i < 4; ++i) main.W(0x100u + i);           // 16-19
    for (int i = 0; i < 4; ++i) main.W(0x200u + i);           // 20-23
    main.W(0);                                                // 24
    main.W(1).W(2).W(3).W(4).W(5).W(6);                       // 25-30
    main.W(1).W(12);                                          // 31-32
    const Bytes labelStyle = Writer().Style(9, 8, 160, 1, 0, 100, "", "Courier", 0, true).b;
    main.Block(labelStyle);                                   // 33
    main.B(1).B(0).B(1).B(1);                                 // 34-37
    if (version >= 104) main.W(5);                            // 38
    Writer f;
    f.W(1).W(static_cast<uint32_t>(version));
    f.W(2).Block(Writer().Style(0x0000FF, 0xFFFFFF, 280, 2, 0, 80, "", "Garamond", 0, true).b);
    f.W(4).Block(main.b);
    f.W(0);
    return f.b;
}

TEST_F(TourConfigFile, OlderVersionsReadTheFieldsTheyHave)
{
    for (int version : {105, 103}) {
        TourProject tour(1);
        tour.SetThumbnailRowsSetting(3.0f);  // field 10 is not in these files
        tour.SetViewerKind(1);               // nor 15
        tour.SetVistaSoundPlayFlag(3, false);  // 38 only from 104
        tour.SetStoredValue(0, 42);          // 42 only from 111
        TourLibrary().vistaLabelStyle.SetFace("Keep", 100, 0);  // 39 only from 106
        tour.GetViewerLabelStyle().SetTransparency(33);  // records without transparency keep it
        const Bytes file = OldFile(version);
        ASSERT_EQ(tour.LoadBytes(file.data(), file.size(), false), kConfigLoaded) << version;
        EXPECT_EQ(tour.GetPageWidth(), 800);
        EXPECT_EQ(tour.GetSpinSpeed(), -5);
        EXPECT_EQ(tour.GetImageQuality(), 2);
        EXPECT_EQ(tour.GetButtonTextColor(3), 0x203u);
        EXPECT_EQ(tour.GetPhotoSlideZoomTime(1), 6);
        EXPECT_EQ(tour.GetVistaLabelInViewer(), 1);
        EXPECT_EQ(tour.GetViewerLabelValue(), 12);
        EXPECT_STREQ(tour.GetViewerLabelStyle().GetFaceName(), "Courier");
        EXPECT_EQ(tour.GetViewerLabelStyle().GetTransparency(), 33);
        EXPECT_TRUE(tour.GetControlBarColored());
        EXPECT_TRUE(tour.GetUseSound());
        EXPECT_STREQ(tour.GetTitle().GetFaceName(), "Garamond");
        EXPECT_EQ(tour.GetTitle().GetSize(), 280);
        // What the version does not hold keeps its value.
        EXPECT_EQ(tour.GetThumbnailRowsSetting(), 3.0f);
        EXPECT_EQ(tour.GetViewerKind(), 1);
        EXPECT_EQ(tour.GetStoredValue(0), 42);
        EXPECT_STREQ(TourLibrary().vistaLabelStyle.GetFaceName(), "Keep");
        EXPECT_EQ(tour.GetVistaSoundPlayFlags(), version >= 104 ? 5 : 7) << version;
    }
}

TEST_F(TourConfigFile, AnotherFormatMarkerChangesNothing)
{
    TourProject tour(1);
    Bytes file = tour.SaveBytes(false);
    file[0] = 2;
    tour.SetPageSize(900, 700);
    const Bytes before = tour.SaveBytes(true);
    EXPECT_EQ(tour.LoadBytes(file.data(), file.size(), false), kConfigNotTessiv);
    EXPECT_EQ(tour.SaveBytes(true), before);
}

// A tour with everything the full form holds.
void BuildFullTour(TourProject& t, std::vector<ImagePtr>& keep)
{
    ChangeEverythingSaved(t);
    t.SetTitleText("Grand tour");
    t.SetTitleShown(true);
    ImagePtr thumb = ImagePtr::adopt(new Image(8, 4, 3));
    keep.push_back(thumb);
    t.AddVista(thumb.get(), "C:\\pano\\hall.jpg", 2, 6000, 1500, 6000, 0, 0);
    t.AddVista(thumb.get(), "C:\\pano\\garden room.jpg", 2, 4000, 1000, 5000, 500, 200);
    t.AddVista(thumb.get(), "C:\\photo\\door.jpg", 1, 800, 600, 0, 0, 0);
    Vista* hall = t.FindVista("C:\\pano\\hall.jpg");
    Vista* garden = t.FindVista("C:\\pano\\garden room.jpg");
    hall->SetLabel("Hall");
    hall->SetInitialView(0.25f, -0.5f);
    hall->SetLabelStyleText("Legend of the hall");
    hall->GetColorCtrl(true)->SetGamma(1.5f, 1);
    hall->SetVerticalPano(true);
    HotSpot* h = hall->AddHotSpot();
    h->SetPosition(0.5f, 0.25f);
    h->SetTargetVistaId(garden->GetId());
    h->SetFlagBit(HotSpot::kHasAction | HotSpot::kDynamic, true);
    h->SetValue(3);
    h->GetLabelStyle(true)->SetText("To the garden");
    HotSpot* link = hall->AddHotSpot();
    link->SetLinkText("www.example.com");
    link->SetImageFile("C:\\pics\\sign.png");
    link->SetCrop(1, 2, 30, 40);
    t.SetBgSound("C:\\sound\\wind.wav");
    t.SetVistaSound(garden, "C:\\sound\\birds.mp3");
    t.SetSoundValue(garden->GetSoundId(), 12.5f);
    t.SetFolder("C:\\tours\\out");
    t.SetPageName("tour.htm");
    t.SetStoredText(0, "kept text");
    t.SetActiveVista(garden);
    TourMapSettings& m = t.GetTourMap();
    const int first = m.AddMap();
    ImagePtr plan = ImagePtr::adopt(new Image(50, 40, 3));
    keep.push_back(plan);
    m.GetMap(first)->SetImage(plan.get());
    m.GetMap(first)->SetImageFile("C:\\maps\\plan.png");
    m.GetMap(first)->SetLabel("Plan");
    m.GetMap(first)->SetCentre(25, 20);
    m.GetMap(first)->AddCompass(hall, 10, 12, 0.5f, 0.0f);
    m.GetMap(first)->AddCompass(garden, 30, 22, -1.0f, 0.25f);
}

TEST_F(TourConfigFile, FullFormRoundTrip)
{
    std::vector<ImagePtr> keep;
    Bytes saved;
    {
        TourProject tour(5);
        BuildFullTour(tour, keep);
        saved = tour.SaveBytes(true);
    }
    TourProject loaded(5);
    ASSERT_EQ(loaded.LoadBytes(saved.data(), saved.size(), true), kConfigLoaded);
    EXPECT_EQ(loaded.SaveBytes(true), saved);

    ASSERT_EQ(loaded.GetVistaCount(), 3);
    Vista* hall = loaded.FindVista("C:\\pano\\hall.jpg");
    Vista* garden = loaded.FindVista("C:\\pano\\garden room.jpg");
    ASSERT_TRUE(hall && garden);
    EXPECT_EQ(loaded.GetActiveVista(), garden);
    EXPECT_STREQ(hall->GetLabelText(), "Hall");
    EXPECT_EQ(hall->GetInitialViewV(), -0.5f);
    EXPECT_STREQ(hall->GetLabelStyleText(), "Legend of the hall");
    EXPECT_EQ(hall->GetColorCtrl(false)->GetGamma(1), 1.5f);
    EXPECT_TRUE(hall->IsVerticalPano());
    EXPECT_TRUE(hall->IsFlatView());
    ASSERT_EQ(hall->GetHotSpotCount(), 2);
    EXPECT_EQ(hall->GetHotSpot(0)->GetTargetVista(), garden);  // relinked by id
    EXPECT_STREQ(hall->GetHotSpot(0)->GetLabelStyle()->GetText(), "To the garden");
    EXPECT_STREQ(hall->GetHotSpot(1)->GetLinkText(), "www.example.com");
    EXPECT_STREQ(loaded.GetBgSoundPath(), "C:\\sound\\wind.wav");
    EXPECT_STREQ(loaded.GetVistaSoundPath(garden), "C:\\sound\\birds.mp3");
    EXPECT_EQ(loaded.GetVistaSoundValue(garden), 12.5f);
    EXPECT_STREQ(loaded.GetFolder(), "C:\\tours\\out");
    EXPECT_STREQ(loaded.GetPageName(), "tour.htm");
    EXPECT_STREQ(loaded.GetStoredText(0), "kept text");
    const TourMap* map = loaded.GetTourMap().GetMap(0);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(map->GetLabel(), "Plan");
    EXPECT_FALSE(map->IsValid());  // the picture itself is not in the file
    ASSERT_EQ(map->GetCompassCount(), 2);
    EXPECT_EQ(const_cast<TourMap*>(map)->FindCompass(garden)->direction, -1.0f);
    EXPECT_EQ(const_cast<TourMap*>(map)->FindCompass(garden)->vistaIndex, loaded.GetVistaIndex(garden->GetId()));
    // New ids continue above the loaded ones.
    EXPECT_GT(loaded.AddVista(nullptr, "new.jpg", 2, 1, 1, 1, 0, 0), garden->GetId());
}

TEST_F(TourConfigFile, DialogLoadOfAFullFileTakesOnlyTheLook)
{
    std::vector<ImagePtr> keep;
    Bytes saved;
    {
        TourProject tour(5);
        BuildFullTour(tour, keep);
        saved = tour.SaveBytes(true);
    }
    TourProject loaded(5);
    ASSERT_EQ(loaded.LoadBytes(saved.data(), saved.size(), false), kConfigLoaded);
    EXPECT_EQ(loaded.GetVistaCount(), 0);
    EXPECT_EQ(loaded.GetSoundCount(), 0);
    EXPECT_EQ(loaded.GetFolder(), nullptr);
    EXPECT_EQ(loaded.GetStoredText(0), nullptr);
    EXPECT_EQ(loaded.GetTourMap().GetMapCount(), 0);  // maps stay as the reset made them
    EXPECT_EQ(loaded.GetTourMap().GetX(), 12);        // but the settings are read
    EXPECT_EQ(loaded.GetPageWidth(), 1024);
    EXPECT_EQ(loaded.GetTitle().GetText(), nullptr);
}

// Every strict prefix of a file is refused and changes nothing.
TEST_F(TourConfigFile, FilesCutShortAnywhereAreRefusedWhole)
{
    std::vector<ImagePtr> keep;
    Bytes dialogFile, fullFile;
    {
        TourProject tour(5);
        BuildFullTour(tour, keep);
        dialogFile = tour.SaveBytes(false);
        fullFile = tour.SaveBytes(true);
    }
    for (bool full : {false, true}) {
        const Bytes& file = full ? fullFile : dialogFile;
        TourProject target(5);
        target.AddVista(nullptr, "existing.jpg", 2, 1, 1, 1, 0, 0);
        target.SetTitleText("mine");
        target.SetStripPosition(0.5f, 0.5f);
        const Bytes before = target.SaveBytes(true);
        for (size_t n = 0; n < file.size(); ++n) {
            LogCapture log;
            ASSERT_EQ(target.LoadBytes(file.data(), n, full), kConfigDamaged) << "full " << full << " n " << n;
            ASSERT_EQ(target.SaveBytes(true), before) << "full " << full << " n " << n;
            ASSERT_GE(log.errorCount(), 1);
        }
        EXPECT_EQ(target.LoadBytes(file.data(), file.size(), full), kConfigLoaded);
    }
}

TEST_F(TourConfigFile, DamagedFieldsAreRefused)
{
    TourProject source(1);
    source.SetTitleText("Title");
    const Bytes good = source.SaveBytes(true);
    // Offsets in the full file of a default tour with a title: header 8, tag 2
    // and its size at 8 and 12, the title record from 16 (its text length at
    // 29, the text at 33), then tag 3 with its count.
    const size_t titleRecord = 16;
    const size_t soundTag = titleRecord + 23 + 6 + 9;
    ASSERT_EQ(good[soundTag], 3);
    struct Mutation {
        const char* what;
        size_t at;
        uint8_t value;
    };
    const Mutation cases[] = {
        {"title size past the file", 14, 0x7F},
        {"title size shorter than its record", 12, 20},
        {"title text length past the record", titleRecord + 13, 0x60},
        {"title text without its zero", titleRecord + 17 + 5, 'x'},
        {"sound count past the file", soundTag + 6, 0x10},
        {"main block size past the file", soundTag + 8 + 6, 0x10},
    };
    for (const Mutation& m : cases) {
        Bytes bad = good;
        bad[m.at] = m.value;
        TourProject target(1);
        const Bytes before = target.SaveBytes(true);
        EXPECT_EQ(target.LoadBytes(bad.data(), bad.size(), true), kConfigDamaged) << m.what;
        EXPECT_EQ(target.SaveBytes(true), before) << m.what;
    }
}

TEST_F(TourConfigFile, UnknownTagEndsTheReadingKeepingWhatCameBefore)
{
    Writer f;
    f.W(1).W(116);
    f.W(2).Block(Writer().Style(0x0000FF, 0xFFFFFF, 300, 1, 0, 80, "", "Georgia").b);
    f.W(12).W(0);  // not a section of this format
    f.W(4).W(0x7FFFFFFF);  // never read
    TourProject tour(1);
    ASSERT_EQ(tour.LoadBytes(f.b.data(), f.b.size(), false), kConfigLoaded);
    EXPECT_STREQ(tour.GetTitle().GetFaceName(), "Georgia");
    EXPECT_EQ(tour.GetPageWidth(), 600);
}

TEST_F(TourConfigFile, ValuesOutsideTheDialogRangesAreBroughtIn)
{
    Bytes main = DefaultMainBlock();
    auto put = [&main](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) main[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, 50000);      // page width
    put(4, 0);          // page height
    put(8, 0);          // spin speed 0 turns nothing
    put(12, 1000);      // field of view
    put(46, 7);         // image quality
    put(50, 0xFFFFFFFF);  // viewer kind -1
    Writer f;
    f.W(1).W(116).W(4).Block(main).W(0);
    TourProject tour(1);
    ASSERT_EQ(tour.LoadBytes(f.b.data(), f.b.size(), false), kConfigLoaded);
    EXPECT_EQ(tour.GetPageWidth(), 1200);
    EXPECT_EQ(tour.GetPageHeight(), 200);
    EXPECT_EQ(tour.GetSpinSpeed(), 1);
    EXPECT_EQ(tour.GetFieldOfView(), 120);
    EXPECT_EQ(tour.GetImageQuality(), 2);
    EXPECT_EQ(tour.GetViewerKind(), 0);
}

// Any byte of the file changed to any of a few values: never a crash or a
// read outside the data (the sanitizer build watches); a refused file
// changes nothing.
TEST_F(TourConfigFile, ChangedBytesNeverReadOutsideTheFile)
{
    std::vector<ImagePtr> keep;
    Bytes file;
    {
        TourProject tour(5);
        BuildFullTour(tour, keep);
        file = tour.SaveBytes(true);
    }
    // A fresh tour (and fresh library-wide styles) for each attempt.
    auto fresh = [] {
        TourLibrary().hotSpotLabelStyle = TextStyle();
        TourLibrary().vistaLegendInViewer = false;
        return std::make_unique<TourProject>(5);
    };
    const Bytes before = fresh()->SaveBytes(true);
    for (size_t at = 0; at < file.size(); ++at)
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(file[at] ^ 0x01)}) {
            Bytes bad = file;
            bad[at] = value;
            std::unique_ptr<TourProject> target = fresh();
            LogCapture log;
            const int result = target->LoadBytes(bad.data(), bad.size(), true);
            ASSERT_TRUE(result == kConfigLoaded || result == kConfigDamaged || result == kConfigNotTessiv) << at;
            if (result != kConfigLoaded) {
                ASSERT_EQ(target->SaveBytes(true), before) << at;
            }
        }
}

TEST_F(TourConfigFile, SaveAndLoadThroughAFile)
{
    testkit::TempDir dir;
    const std::string path = dir.file("TessivConfig.bin");
    TourProject tour(1);
    tour.SetPageSize(720, 480);
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(tour.Save(out, false));
    std::fclose(out);
    EXPECT_FALSE(tour.HasUnsavedChanges());

    TourProject loaded(1);
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(loaded.Load(in, false), kConfigLoaded);
    std::fclose(in);
    EXPECT_EQ(loaded.GetPageWidth(), 720);

    // A file opened for reading cannot be written: the save fails and the
    // changes stay unsaved.
    tour.SetPageSize(800, 480);
    FILE* readOnly = std::fopen(path.c_str(), "rb");
    LogCapture log;
    EXPECT_FALSE(tour.Save(readOnly, false));
    std::fclose(readOnly);
    EXPECT_TRUE(tour.HasUnsavedChanges());
    EXPECT_TRUE(log.contains("ERROR TourProject::Save"));
}

}  // namespace
