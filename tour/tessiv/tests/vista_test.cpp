#include "tour/tessiv/vista.h"

#include "testkit/testkit.h"
#include "tour/tessiv/tour_project.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using ImagePtr = RefPtr<Image>;

TEST(Vista, LabelFallsBackToTheFileNameWithoutExtension)
{
    struct Case {
        const char* file;
        const char* label;
        int buffer;
        const char* expected;
    };
    const Case cases[] = {
        {"c:\\p\\hall.jpg", nullptr, 64, "c:\\p\\hall"},
        {"c:\\p\\hall.jpg", nullptr, 5, "c:\\p"},
        {"c:\\p\\hall.jpg", "Great hall", 64, "Great hall"},
        {"c:\\p\\hall.jpg", "Great hall", 6, "Great"},
        {"c:\\p.d\\hall", nullptr, 64, "c:\\p.d\\hall"},  // the dot of a folder is not an extension
        {"/pics/a.b.tif", nullptr, 64, "/pics/a.b"},
        {nullptr, nullptr, 64, ""},
        {"x.jpg", nullptr, 1, ""},
    };
    for (const Case& c : cases) {
        Vista v;
        v.SetFileName(c.file);
        v.SetLabel(c.label);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        const int n = v.GetLabel(buffer, c.buffer);
        EXPECT_STREQ(buffer, c.expected) << (c.file ? c.file : "null") << " n=" << c.buffer;
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.expected)));
    }
    Vista v;
    EXPECT_EQ(v.GetLabel(nullptr, 10), 0);
    EXPECT_TRUE(v.SetLabel("a"));
    EXPECT_FALSE(v.SetLabel("a"));
    EXPECT_TRUE(v.SetLabel(""));
    EXPECT_EQ(v.GetLabelText(), nullptr);
}

TEST(Vista, FlatViewFollowsTheKindAtInsertion)
{
    TourProject tour(4);
    tour.AddVista(nullptr, "pano.jpg", 2, 10, 5, 10, 0, 0);
    tour.AddVista(nullptr, "second.jpg", 3, 10, 5, 10, 0, 0);
    tour.AddVista(nullptr, "photo.jpg", 1, 10, 5, 0, 0, 0);
    EXPECT_TRUE(tour.FindVista("pano.jpg")->IsFlatView());
    EXPECT_TRUE(tour.FindVista("second.jpg")->IsFlatView());
    EXPECT_FALSE(tour.FindVista("photo.jpg")->IsFlatView());
    EXPECT_EQ(tour.FindVista("pano.jpg")->GetFlags(), 2 | 0x200);
}

TEST(Vista, FullCircleTest)
{
    struct Case {
        int kind, equator, column;
        bool full;
    };
    const Case cases[] = {
        {2, 3600, 0, true},     // second value 0
        {2, 3600, 1800, false},
        {2, 3600, 3582, false}, // (3600 - 3582) x 200 = 3600 is not below 3600
        {2, 3600, 3583, true},  // 17 x 200 = 3400 is
        {3, 3600, 4000, true},  // a negative difference counts as 0
        {1, 3600, 0, false},    // photographs are never full circles
        {4, 3600, 0, false},
    };
    for (const Case& c : cases) {
        Vista v;
        v.SetKind(c.kind);
        v.SetDescriptor(c.equator, c.column, 0);
        EXPECT_EQ(v.IsFullCircle(), c.full) << c.kind << " " << c.column;
    }
}

TEST(Vista, SettingAThumbnailDropsTheColourAdjustment)
{
    ImagePtr first = ImagePtr::adopt(testkit::MakePatternImage(6, 4, 3));
    ImagePtr second = ImagePtr::adopt(testkit::MakePatternImage(6, 4, 3, 0, 9));
    Vista v;
    v.SetThumbnail(first.get());
    EXPECT_EQ(first->m_refCount, 2);  // the vista holds its own reference
    ASSERT_TRUE(v.GetColorCtrl(true)->SetBrightness(40, 3));
    v.RebuildShownThumbnail();
    ImagePtr shown = ImagePtr::adopt(v.GetShownThumbnail());
    ASSERT_NE(shown.get(), first.get());
    // The adjusted thumbnail is the thumbnail through the control.
    for (int i = 0; i < 6 * 3; ++i) {
        const int expected = std::min(255, first->GetData()[i] + 40);
        EXPECT_EQ(shown->GetData()[i], expected) << i;
    }

    v.SetThumbnail(second.get());
    EXPECT_EQ(first->m_refCount, 1);
    EXPECT_EQ(v.GetColorCtrl(false), nullptr);
    v.RebuildShownThumbnail();
    ImagePtr shownNow = ImagePtr::adopt(v.GetShownThumbnail());
    EXPECT_EQ(shownNow.get(), second.get());
}

TEST(Vista, MappingInPlaceOnlyWhenAdjusted)
{
    Vista v;
    ImagePtr image = ImagePtr::adopt(testkit::MakePatternImage(5, 3, 3));
    ImagePtr copy = ImagePtr::adopt(image->Duplicate());
    EXPECT_FALSE(v.MapImageInPlace(image.get()));
    v.GetColorCtrl(true);
    EXPECT_FALSE(v.MapImageInPlace(image.get()));  // neutral
    EXPECT_TRUE(testkit::SamePixels(*image, *copy));
    v.GetColorCtrl(false)->SetContrast(0.5f, 3);
    EXPECT_TRUE(v.MapImageInPlace(image.get()));
    EXPECT_EQ(image->GetData()[0], static_cast<uint8_t>(copy->GetData()[0] * 0.5f));
}

TEST(Vista, FourQuarterTurnsRestoreAPhotograph)
{
    ImagePtr thumb = ImagePtr::adopt(testkit::MakePatternImage(8, 5, 3));
    ImagePtr original = ImagePtr::adopt(thumb->Duplicate());
    Vista v;
    v.SetKind(1);
    v.SetSize(800, 500);
    v.SetThumbnail(thumb.get());
    ASSERT_TRUE(v.TurnQuarter());
    EXPECT_EQ(v.GetQuarterTurns(), 1);
    EXPECT_EQ(v.GetWidth(), 500);
    EXPECT_EQ(v.GetHeight(), 800);
    EXPECT_EQ(v.GetThumbnail()->GetWidth(), 5);
    EXPECT_TRUE(testkit::SamePixels(*thumb, *original));  // the caller's picture is untouched
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(v.TurnQuarter());
    EXPECT_EQ(v.GetQuarterTurns(), 0);
    EXPECT_EQ(v.GetWidth(), 800);
    EXPECT_TRUE(testkit::SamePixels(*v.GetThumbnail(), *original));

    Vista pano;
    pano.SetKind(2);
    EXPECT_FALSE(pano.TurnQuarter());
}

// Applying k stored turns equals k single quarter turns of the image
// (Image::Rotate(90) each): in particular three turns are not the mirror
// that Image::Rotate(270) makes.
TEST(Vista, StoredTurnsApplyAsQuarterTurns)
{
    for (int turns = 0; turns < 4; ++turns) {
        Vista v;
        v.SetKind(4);
        for (int k = 0; k < turns; ++k) ASSERT_TRUE(v.TurnQuarter());
        ImagePtr image = ImagePtr::adopt(testkit::MakePatternImage(6, 3, 3));
        ImagePtr reference = ImagePtr::adopt(image->Duplicate());
        for (int k = 0; k < turns; ++k) ASSERT_EQ(reference->Rotate(90), 0);
        ASSERT_TRUE(v.ApplyQuarterTurns(image.get()));
        EXPECT_TRUE(testkit::SamePixels(*image, *reference)) << turns;
    }
}

TEST(Vista, HotSpotSearchesByKind)
{
    Vista v;
    HotSpot* s0 = v.AddHotSpot();  // static
    HotSpot* d0 = v.AddHotSpot();
    HotSpot* s1 = v.AddHotSpot();
    HotSpot* d1 = v.AddHotSpot();
    d0->SetFlagBit(HotSpot::kDynamic, true);
    d1->SetFlagBit(HotSpot::kDynamic, true);
    EXPECT_EQ(v.FindNextHotSpot(nullptr, true), d0);
    EXPECT_EQ(v.FindNextHotSpot(d0, true), d1);
    EXPECT_EQ(v.FindNextHotSpot(d1, true), nullptr);
    EXPECT_EQ(v.FindNextHotSpot(s0, false), s1);
    EXPECT_EQ(v.FindPrevHotSpot(nullptr, false), s1);
    EXPECT_EQ(v.FindPrevHotSpot(s1, false), s0);
    EXPECT_EQ(v.FindPrevHotSpot(d1, true), d0);
    EXPECT_EQ(v.FindHotSpot(s1->GetId()), s1);
    EXPECT_TRUE(v.RemoveHotSpot(d0));
    EXPECT_FALSE(v.RemoveHotSpot(d0));
    EXPECT_EQ(v.GetHotSpotCount(), 3);
    EXPECT_EQ(v.FindNextHotSpot(nullptr, true), d1);
    EXPECT_TRUE(v.HasHotSpot(true));
    EXPECT_TRUE(v.RemoveHotSpot(d1));
    EXPECT_FALSE(v.HasHotSpot(true));
}

TEST(Vista, LabelStyleTextIsMadeOnDemand)
{
    Vista v;
    EXPECT_EQ(v.GetLabelStyleText(), nullptr);
    EXPECT_EQ(v.GetLabelStyle(), nullptr);
    EXPECT_TRUE(v.SetLabelStyleText("Legend"));
    EXPECT_STREQ(v.GetLabelStyleText(), "Legend");
    EXPECT_FALSE(v.SetLabelStyleText("Legend"));
}

}  // namespace
