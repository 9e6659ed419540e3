// The configuration file "TessivConfig.bin": the dialog's file of a default
// tour byte for byte (built here by hand from the documented layout), round
// trips of the dialog's and the full form, older versions, and files cut
// short or damaged anywhere, read up to the damage.
#include "tour/tessiv/tour_project.h"

#include "platform/utilkit/logger.h"
#include "testkit/testkit.h"
#include "tour/tessiv/tour_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
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

uint32_t WordAt(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string StyleText(const TextStyle& s)
{
    std::string text = s.GetText() ? s.GetText() : "-";
    text += std::string("|") + (s.GetFaceName() ? s.GetFaceName() : "-");
    for (long v : {long{s.GetSize()}, long{s.GetStyle()}, long{s.GetFlags()}, long{s.GetTextColor()},
                   long{s.GetBgColor()}, long{s.GetOpacity()}, long{s.GetTransparency()}})
        text += "|" + std::to_string(v);
    return text;
}

std::string Num(double v)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

// One value of a tour that the configuration file holds: the file offset at
// which the reader has all of it, the offset from which the reader has
// started it afresh (the lists and the tour map, when their section is
// reached) with the value it then has, and how to show it.
struct Probe {
    std::string name;
    size_t end;
    size_t resetAt;
    std::string resetValue;
    std::function<std::string(const TourProject&)> show;
};

constexpr size_t kNever = std::numeric_limits<size_t>::max();

std::string VistaText(const TourProject& t, int index)
{
    const Vista* v = t.GetVista(index);
    if (!v) return "-";
    return std::string(v->GetFileName() ? v->GetFileName() : "") + "|" +
           (v->GetLabelText() ? v->GetLabelText() : "") + "|" + std::to_string(v->GetHotSpotCount());
}

std::string SoundText(const TourProject& t, int index)
{
    const TourSound* s = t.GetSound(index);
    return s ? s->path + "|" + Num(s->value) + "|" + std::to_string(s->id) : "-";
}

std::string MapsText(const TourMapSettings& m)
{
    std::string text = std::to_string(m.GetMapCount());
    for (int i = 0; i < m.GetMapCount(); ++i)
        text += std::string("|") + (m.GetMap(i)->GetLabel() ? m.GetMap(i)->GetLabel() : "") + "/" +
                std::to_string(m.GetMap(i)->GetCompassCount());
    return text;
}

// Walks a full-form file as its layout documents it (sections, the main
// block's fields in their order, the tour map's words and styles at the end
// of its section) and lists every value with the offset where it ends.
std::vector<Probe> ProbesOfFullFile(const Bytes& f, const TourProject& source)
{
    std::vector<Probe> probes;
    auto add = [&probes](std::string name, size_t end, std::function<std::string(const TourProject&)> show,
                         size_t resetAt = kNever, std::string resetValue = std::string()) {
        probes.push_back({std::move(name), end, resetAt, std::move(resetValue), std::move(show)});
    };
    const TourMapSettings defaults;
    size_t pos = 8;
    for (;;) {
        const uint32_t tag = WordAt(f, pos);
        if (tag == 0) break;
        const uint32_t second = WordAt(f, pos + 4);
        const size_t data = pos + 8;
        size_t next = data + second;
        switch (tag) {
        case 2:
            add("title", next, [](const TourProject& t) {
                return StyleText(t.GetTitle()) + (t.GetTitle().IsShown() ? "|shown" : "|hidden");
            });
            break;
        case 3:
        case 5: {
            size_t at = data;
            for (uint32_t i = 0; i < second; ++i) {
                at += 4 + WordAt(f, at);
                const int index = static_cast<int>(i);
                if (tag == 3) {
                    add("sound " + std::to_string(i), at, [index](const TourProject& t) { return SoundText(t, index); },
                        data, "-");
                } else {
                    add("vista " + std::to_string(i), at, [index](const TourProject& t) { return VistaText(t, index); },
                        data, "-");
                }
            }
            if (tag == 5) {
                at += 4;
                add("active vista", at, [](const TourProject& t) {
                    return std::string(t.GetActiveVista() ? t.GetActiveVista()->GetFileName() : "-");
                }, data, "-");
            }
            next = at;
            break;
        }
        case 4: {
            size_t at = data;
            auto field = [&](const std::string& name, size_t width, std::function<std::string(const TourProject&)> show) {
                at += width;
                add("settings " + name, at, std::move(show));
            };
            auto sized = [&](const std::string& name, std::function<std::string(const TourProject&)> show) {
                field(name, 4 + WordAt(f, at), std::move(show));
            };
            auto n = [](int v) { return std::to_string(v); };
            field("1", 4, [n](const TourProject& t) { return n(t.GetPageWidth()); });
            field("2", 4, [n](const TourProject& t) { return n(t.GetPageHeight()); });
            field("3", 4, [n](const TourProject& t) { return n(t.GetSpinSpeed()); });
            field("4", 4, [n](const TourProject& t) { return n(t.GetFieldOfView()); });
            field("5", 4, [](const TourProject& t) { return std::to_string(t.GetControlBarColor()); });
            field("6", 4, [](const TourProject& t) { return std::to_string(t.GetVistaBenchColor()); });
            field("7", 4, [](const TourProject& t) { return std::to_string(t.GetPageBgColor()); });
            field("8", 4, [](const TourProject& t) { return std::to_string(t.GetFourthColor()); });
            field("9", 4, [n](const TourProject& t) { return n(t.GetVistaBenchLocation()); });
            field("10", 4, [](const TourProject& t) { return Num(t.GetThumbnailRowsSetting()); });
            field("11", 1, [n](const TourProject& t) { return n(t.GetAutomaticRows()); });
            field("12", 4, [n](const TourProject& t) { return n(t.GetStoredValueA()); });
            field("13", 1, [n](const TourProject& t) { return n(t.GetStoredFlagB()); });
            field("14", 4, [n](const TourProject& t) { return n(t.GetImageQuality()); });
            field("15", 4, [n](const TourProject& t) { return n(t.GetViewerKind()); });
            for (int i = 0; i < 4; ++i)
                field(n(16 + i), 4, [i](const TourProject& t) { return std::to_string(t.GetButtonBgColor(i)); });
            for (int i = 0; i < 4; ++i)
                field(n(20 + i), 4, [i](const TourProject& t) { return std::to_string(t.GetButtonTextColor(i)); });
            field("24", 4, [n](const TourProject& t) { return n(t.GetBgSoundId()); });
            for (int i = 0; i < 2; ++i)
                field(n(25 + i), 4, [n, i](const TourProject& t) { return n(t.GetPhotoSlideInitSize(i)); });
            for (int i = 0; i < 2; ++i)
                field(n(27 + i), 4, [n, i](const TourProject& t) { return n(t.GetPhotoSlideMovieTime(i)); });
            for (int i = 0; i < 2; ++i)
                field(n(29 + i), 4, [n, i](const TourProject& t) { return n(t.GetPhotoSlideZoomTime(i)); });
            field("31", 4, [n](const TourProject& t) { return n(t.GetVistaLabelInViewer()); });
            field("32", 4, [n](const TourProject& t) { return n(t.GetViewerLabelValue()); });
            sized("33", [](const TourProject& t) { return StyleText(t.GetViewerLabelStyle()); });
            field("34", 1, [n](const TourProject& t) { return n(t.GetControlBarColored()); });
            field("35", 1, [n](const TourProject& t) { return n(t.GetVistaBenchColored()); });
            field("36", 1, [n](const TourProject& t) { return n(t.GetUseSound()); });
            field("37", 1, [n](const TourProject& t) { return n(t.GetStripEnabled()); });
            field("38", 4, [n](const TourProject& t) { return n(t.GetVistaSoundPlayFlags()); });
            sized("39", [](const TourProject&) { return StyleText(TourLibrary().vistaLabelStyle); });
            field("40", 4, [n](const TourProject&) { return n(TourLibrary().vistaLegendInViewer); });
            sized("41", [](const TourProject&) { return StyleText(TourLibrary().hotSpotLabelStyle); });
            field("42", 4, [n](const TourProject& t) { return n(t.GetStoredValue(0)); });
            EXPECT_EQ(at, next) << "the main block's fields fill its section";
            break;
        }
        case 7: {
            const size_t folderEnd = data + (second & 0xFFFF);
            add("folder", folderEnd, [](const TourProject& t) { return std::string(t.GetFolder() ? t.GetFolder() : "-"); });
            next = folderEnd + (second >> 16);
            add("page name", next, [](const TourProject& t) { return std::string(t.GetPageName() ? t.GetPageName() : "-"); });
            break;
        }
        case 8: {
            // The words and styles close the section; the maps come before them.
            const TourMapSettings& m = source.GetTourMap();
            size_t at = next - 14 * 4;
            for (int i = 0; i < 3; ++i) at -= m.GetVistaLabelStyle(i).GetRecordSize();
            add("tour map maps", at, [](const TourProject& t) { return MapsText(t.GetTourMap()); }, data,
                MapsText(defaults));
            using Getter = std::function<long(const TourMapSettings&)>;
            const Getter words[14] = {
                [](const TourMapSettings& s) { return long{s.GetFlags()}; },
                [](const TourMapSettings& s) { return long{s.GetWidth()}; },
                [](const TourMapSettings& s) { return long{s.GetHeight()}; },
                [](const TourMapSettings& s) { return long{s.GetX()}; },
                [](const TourMapSettings& s) { return long{s.GetY()}; },
                [](const TourMapSettings& s) { return long{s.GetMapBgColor()}; },
                [](const TourMapSettings& s) { return long{s.GetCompassIconColor(0)}; },
                [](const TourMapSettings& s) { return long{s.GetCompassIconColor(1)}; },
                [](const TourMapSettings& s) { return long{s.GetCompassIconColor(2)}; },
                [](const TourMapSettings& s) { return long{s.GetScanBeamColor()}; },
                [](const TourMapSettings& s) { return long{s.GetScanBeamLineColor()}; },
                [](const TourMapSettings& s) { return long{s.GetScanBeamLength()}; },
                [](const TourMapSettings& s) { return long{s.GetScanBeamTransparency()}; },
                [](const TourMapSettings& s) { return long{s.GetCompassIconTransparency()}; },
            };
            for (int i = 0; i < 14; ++i) {
                at += 4;
                const Getter get = words[i];
                add("tour map word " + std::to_string(i + 1), at,
                    [get](const TourProject& t) { return std::to_string(get(t.GetTourMap())); }, data,
                    std::to_string(get(defaults)));
            }
            for (int i = 0; i < 3; ++i) {
                at += m.GetVistaLabelStyle(i).GetRecordSize();
                add("tour map style " + std::to_string(i), at,
                    [i](const TourProject& t) { return StyleText(t.GetTourMap().GetVistaLabelStyle(i)); }, data,
                    StyleText(defaults.GetVistaLabelStyle(i)));
            }
            break;
        }
        case 9:
            add("stored text", next,
                [](const TourProject& t) { return std::string(t.GetStoredText(0) ? t.GetStoredText(0) : "-"); });
            break;
        default:
            ADD_FAILURE() << "unexpected tag " << tag;
            return probes;
        }
        pos = next;
    }
    return probes;
}

// Tour-map values unlike the defaults and unlike those of another `seed`.
void SetEveryTourMapValue(TourMapSettings& m, int seed)
{
    const COLORREF c = 0x010101u * static_cast<COLORREF>(seed);
    for (int i = 0; i < 3; ++i) {
        m.SetCompassIconColor(i, c + static_cast<COLORREF>(i));
        m.GetVistaLabelStyle(i).SetText(("label " + std::to_string(seed * 10 + i)).c_str());
    }
    m.SetScanBeamColor(c + 3);
    m.SetScanBeamLineColor(c + 4);
    m.SetScanBeamTransparency(10 + seed);
    m.SetCompassIconTransparency(20 + seed);
}

// The tour a cut file is loaded into: a value of its own wherever it can.
std::unique_ptr<TourProject> TargetTour()
{
    TourLibrary().hotSpotLabelStyle = TextStyle();
    TourLibrary().vistaLegendInViewer = false;
    auto t = std::make_unique<TourProject>(5);
    for (const char* name : {"existing.jpg", "second.jpg", "third.jpg"})
        t->AddVista(nullptr, name, 2, 1, 1, 1, 0, 0);
    t->SetBgSound("C:\\sound\\mine.wav");
    t->SetVistaSound(t->GetVista(1), "C:\\sound\\mine too.wav");
    t->GetTourMap().GetMap(t->GetTourMap().AddMap())->SetLabel("my map");
    t->SetTitleText("mine");
    t->SetTitleFont("Impact", 240, 0);
    t->SetFolder("C:\\mine");
    t->SetPageName("mine.htm");
    t->SetStoredText(0, "my text");
    t->SetThumbnailRowsSetting(3.0f);
    t->SetPhotoSlideMovieTime(1, 2);
    t->SetUseSound(false);
    t->GetTourMap().SetPosition(5, 6);
    t->GetTourMap().SetSize(250, 150);
    t->GetTourMap().SetMapBgColor(0x336699);
    t->GetTourMap().SetScanBeamLength(7);
    t->GetTourMap().SetDockSide(1);
    SetEveryTourMapValue(t->GetTourMap(), 2);
    t->SetStripPosition(0.5f, 0.5f);
    return t;
}

// A full-form file cut at every offset: the values the cut file holds whole
// are the written ones, the others keep what the tour held (or, in a list or
// the tour map whose section was reached, what its fresh start gives), the
// result is success and one ERROR line says where the reading stopped.
TEST_F(TourConfigFile, FileCutAnywhereKeepsWhatCameBefore)
{
    std::vector<ImagePtr> keep;
    TourProject source(5);
    BuildFullTour(source, keep);
    SetEveryTourMapValue(source.GetTourMap(), 1);
    const Bytes file = source.SaveBytes(true);
    const std::vector<Probe> probes = ProbesOfFullFile(file, source);
    ASSERT_GT(probes.size(), 60u);
    std::vector<std::string> written, before;
    for (const Probe& p : probes) written.push_back(p.show(source));
    {
        const std::unique_ptr<TourProject> t = TargetTour();
        for (const Probe& p : probes) before.push_back(p.show(*t));
    }
    // Each value tells the three cases apart (the background sound's id is
    // given by a counter, so it may coincide).
    for (size_t i = 0; i < probes.size(); ++i) {
        if (probes[i].name == "settings 24") continue;
        EXPECT_NE(written[i], before[i]) << probes[i].name;
        if (probes[i].resetAt == kNever) continue;
        EXPECT_NE(written[i], probes[i].resetValue) << probes[i].name;
        EXPECT_NE(before[i], probes[i].resetValue) << probes[i].name;
    }

    for (size_t n = 0; n <= file.size(); ++n) {
        const std::unique_ptr<TourProject> target = TargetTour();
        LogCapture log;
        ASSERT_EQ(target->LoadBytes(file.data(), n, true), kConfigLoaded) << n;
        ASSERT_EQ(log.errorCount(), n < file.size() ? 1 : 0) << n << log.text();
        EXPECT_FALSE(target->HasUnsavedChanges()) << n;
        for (size_t i = 0; i < probes.size(); ++i) {
            const Probe& p = probes[i];
            const std::string& expected = n >= p.end ? written[i] : n >= p.resetAt ? p.resetValue : before[i];
            ASSERT_EQ(p.show(*target), expected) << p.name << " cut at " << n << " of " << file.size();
        }
    }
}

// The dialog's file cut at three places, the fields checked by name.
TEST_F(TourConfigFile, DialogFileCutInsideARecordTheSettingsOrTheTourMap)
{
    Bytes file;
    {
        TourProject tour(1);
        ChangeEverythingSaved(tour);
        file = tour.SaveBytes(false);
    }
    const size_t title = 16;
    const size_t main = title + WordAt(file, 12) + 8;
    const size_t tourMap = main + WordAt(file, main - 4) + 8;
    ASSERT_EQ(WordAt(file, main - 8), 4u);
    ASSERT_EQ(WordAt(file, tourMap - 8), 8u);
    struct Cut {
        const char* where;
        size_t at;
        const char* section;
        bool titleRead, firstNineRead, restRead;
        int mapWordsRead;  // -1: the tour map was not reached
    };
    const Cut cuts[] = {
        {"inside the title record", title + 10, "title", false, false, false, -1},
        {"inside the settings after field 9", main + 9 * 4 + 2, "settings", true, true, false, -1},
        {"inside the tour map after its fourth word", tourMap + 4 * 4 + 2, "tour map", true, true, true, 4},
    };
    for (const Cut& c : cuts) {
        const std::unique_ptr<TourProject> t = TargetTour();
        LogCapture log;
        ASSERT_EQ(t->LoadBytes(file.data(), c.at, false), kConfigLoaded) << c.where;
        EXPECT_EQ(log.errorCount(), 1) << c.where;
        EXPECT_TRUE(log.contains(std::string("the ") + c.section + " section")) << c.where << log.text();
        EXPECT_FALSE(t->HasUnsavedChanges());

        // The title's look, its text dropped as the dialog's load does.
        EXPECT_STREQ(t->GetTitle().GetFaceName(), c.titleRead ? "Arial" : "Impact") << c.where;
        EXPECT_EQ(t->GetTitle().GetTextColor(), c.titleRead ? 0x0000FFu : 0u) << c.where;
        EXPECT_EQ(t->GetTitle().GetText() == nullptr, c.titleRead) << c.where;
        // Fields 1 to 9.
        EXPECT_EQ(t->GetPageWidth(), c.firstNineRead ? 1024 : 600) << c.where;
        EXPECT_EQ(t->GetPageHeight(), c.firstNineRead ? 768 : 400) << c.where;
        EXPECT_EQ(t->GetSpinSpeed(), c.firstNineRead ? -12 : 6) << c.where;
        EXPECT_EQ(t->GetFieldOfView(), c.firstNineRead ? 95 : 60) << c.where;
        EXPECT_EQ(t->GetFourthColor(), c.firstNineRead ? 0x0A0B0Cu : 0xD8E9ECu) << c.where;
        EXPECT_EQ(t->GetVistaBenchLocation(), c.firstNineRead ? 2 : 0) << c.where;
        // Field 10 onwards.
        EXPECT_EQ(t->GetThumbnailRowsSetting(), c.restRead ? 2.5f : 3.0f) << c.where;
        EXPECT_EQ(t->GetPhotoSlideMovieTime(1), c.restRead ? 34 : 2) << c.where;
        EXPECT_EQ(t->GetStoredValue(0), c.restRead ? 99 : 0) << c.where;
        // The tour map: as it was, or reset and read up to the cut.
        const TourMapSettings& m = t->GetTourMap();
        const TourMapSettings defaults;
        if (c.mapWordsRead < 0) {
            EXPECT_EQ(m.GetX(), 5) << c.where;
            EXPECT_EQ(m.GetScanBeamLength(), 7) << c.where;
        } else {
            EXPECT_EQ(m.GetWidth(), 300) << c.where;
            EXPECT_EQ(m.GetHeight(), 200) << c.where;
            EXPECT_EQ(m.GetX(), 12) << c.where;
            EXPECT_EQ(m.GetY(), defaults.GetY()) << c.where;
            EXPECT_EQ(m.GetMapBgColor(), defaults.GetMapBgColor()) << c.where;
            EXPECT_EQ(m.GetScanBeamLength(), defaults.GetScanBeamLength()) << c.where;
        }
        // Never in the dialog's file.
        EXPECT_EQ(t->GetVistaCount(), 3) << c.where;
        EXPECT_STREQ(t->GetPageName(), "mine.htm") << c.where;
    }
}

// A length running past its section or the file ends the reading there, as
// the end of the file would: a record or text it frames is not taken.
TEST_F(TourConfigFile, LengthPastItsSectionEndsTheReading)
{
    Bytes good;
    {
        TourProject source(1);
        ChangeEverythingSaved(source);
        source.SetTitleText("Title");
        good = source.SaveBytes(true);
    }
    const size_t titleRecord = 16;
    const size_t soundTag = titleRecord + WordAt(good, 12);
    const size_t main = soundTag + 8 + 8;  // no sounds
    ASSERT_EQ(WordAt(good, soundTag), 3u);
    ASSERT_EQ(WordAt(good, soundTag + 4), 0u);
    ASSERT_EQ(WordAt(good, main - 8), 4u);
    struct Mutation {
        const char* what;
        size_t at;
        uint32_t value;
        const char* section;
        bool titleRead, mainRead;
    };
    const Mutation cases[] = {
        {"title size past the file", 12, 0x7F000000, "title", true, false},
        {"title size shorter than its record", 12, 20, "title", false, false},
        {"title text length past the record", titleRecord + 13, 0x60, "title", false, false},
        {"sound count past the file", soundTag + 4, 0x100000, "sound", true, false},
        {"main block size past the file", main - 4, 0x100000, "settings", true, true},
        {"viewer label style size past the block", main + 122, 0x10000, "settings", true, false},
    };
    for (const Mutation& m : cases) {
        Bytes bad = good;
        for (int i = 0; i < 4; ++i) bad[m.at + i] = static_cast<uint8_t>(m.value >> (8 * i));
        const std::unique_ptr<TourProject> t = TargetTour();
        LogCapture log;
        EXPECT_EQ(t->LoadBytes(bad.data(), bad.size(), true), kConfigLoaded) << m.what;
        EXPECT_EQ(log.errorCount(), 1) << m.what;
        EXPECT_TRUE(log.contains(std::string("the ") + m.section + " section")) << m.what << log.text();
        EXPECT_STREQ(t->GetTitle().GetText(), m.titleRead ? "Title" : "mine") << m.what;
        EXPECT_STREQ(t->GetTitle().GetFaceName(), m.titleRead ? "Arial" : "Impact") << m.what;
        // Fields before the viewer label style are read in the last case;
        // the style and what follows it are not.
        EXPECT_EQ(t->GetPageWidth(), m.mainRead || m.at == main + 122 ? 1024 : 600) << m.what;
        EXPECT_EQ(t->GetViewerLabelValue(), m.mainRead || m.at == main + 122 ? 77 : 10) << m.what;
        EXPECT_STREQ(t->GetViewerLabelStyle().GetFaceName(), m.mainRead ? "Verdana" : "MS Serif") << m.what;
        EXPECT_EQ(t->GetStoredValue(0), m.mainRead ? 99 : 0) << m.what;
        // Nothing after the stop is reached.
        EXPECT_STREQ(t->GetPageName(), "mine.htm") << m.what;
        EXPECT_EQ(t->GetTourMap().GetX(), 5) << m.what;
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
// read outside the data (the sanitizer build watches); a file that is not
// ours changes nothing.
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
            ASSERT_TRUE(result == kConfigLoaded || result == kConfigNotTessiv) << at;
            if (result == kConfigNotTessiv) {
                ASSERT_LT(at, 4u);
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

    // No file: nothing is read.
    {
        LogCapture log;
        loaded.SetPageSize(640, 480);
        EXPECT_EQ(loaded.Load(nullptr, false), kConfigNotTessiv);
        EXPECT_EQ(loaded.GetPageWidth(), 640);
        EXPECT_TRUE(loaded.HasUnsavedChanges());
        EXPECT_TRUE(log.contains("ERROR TourProject::Load"));
    }

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
