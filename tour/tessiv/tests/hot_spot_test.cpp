#include "tour/tessiv/hot_spot.h"

#include "testkit/testkit.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_project.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ImagePtr = RefPtr<Image>;

TEST(HotSpot, DefaultsAndIdsCountFromOnePerTour)
{
    TourProject tour(1);  // a new tour restarts the count
    HotSpot first, second;
    EXPECT_EQ(first.GetId(), 1);
    EXPECT_EQ(second.GetId(), 2);
    EXPECT_EQ(first.GetValue(), 14);  // no icon
    EXPECT_EQ(first.GetFlags(), 64);
    EXPECT_EQ(first.GetLabelStyle(), nullptr);
    EXPECT_FALSE(first.HasCrop());
    EXPECT_FALSE(first.IsDynamic());
    second.SetId(40);
    HotSpot third;
    EXPECT_EQ(third.GetId(), 41);
}

TEST(HotSpot, CropIsClampedIntoThePicture)
{
    ImagePtr image = ImagePtr::adopt(new Image(100, 60, 3));
    struct Case {
        int x, y, w, h;
        int ex, ey, ew, eh;
    };
    const Case cases[] = {
        {10, 5, 20, 30, 10, 5, 20, 30},     // inside
        {-5, -7, 20, 30, 0, 0, 20, 30},     // negative origin
        {90, 50, 20, 30, 90, 50, 10, 10},   // cut at the right and bottom
        {-10, 0, 500, 500, 0, 0, 100, 60},  // whole picture
        {120, 70, 5, 5, 100, 60, 0, 0},     // outside: nothing left
    };
    for (const Case& c : cases) {
        HotSpot h;
        h.SetImage(image.get());
        h.SetCrop(c.x, c.y, c.w, c.h);
        int x, y, w, hh;
        h.GetCrop(x, y, w, hh);
        EXPECT_EQ((std::vector<int>{x, y, w, hh}), (std::vector<int>{c.ex, c.ey, c.ew, c.eh})) << c.x << "," << c.y;
        EXPECT_FALSE(h.SetCrop(c.x, c.y, c.w, c.h));
    }
}

TEST(HotSpot, TextsCompareWithoutCase)
{
    HotSpot h;
    EXPECT_TRUE(h.SetImageFile("C:\\Pics\\Door.jpg"));
    EXPECT_FALSE(h.SetImageFile("c:\\pics\\door.JPG"));
    EXPECT_STREQ(h.GetImageFile(), "C:\\Pics\\Door.jpg");
    EXPECT_TRUE(h.SetLinkText("www.example.com"));
    EXPECT_FALSE(h.SetLinkText("WWW.Example.COM"));
    EXPECT_TRUE(h.SetLinkText(nullptr));
    EXPECT_EQ(h.GetLinkText(), nullptr);
}

TEST(HotSpot, ExportNameNeedsPictureAndFile)
{
    TourProject tour(1);
    HotSpot h;
    h.SetId(7);
    std::string name;
    EXPECT_FALSE(h.GetExportFileName(name));
    ImagePtr image = ImagePtr::adopt(new Image(4, 4, 3));
    h.SetImage(image.get());
    EXPECT_FALSE(h.GetExportFileName(name));
    h.SetImageFile("door.png");
    ASSERT_TRUE(h.GetExportFileName(name));
    EXPECT_EQ(name, "HspImg-00007.jpg");
}

TEST(HotSpot, QuarterTurnTurnsPictureAndCrop)
{
    ImagePtr image = ImagePtr::adopt(testkit::MakePatternImage(7, 4, 3));
    ImagePtr reference = ImagePtr::adopt(image->Duplicate());
    HotSpot h;
    h.SetImage(image.get());
    h.SetCrop(1, 0, 3, 2);  // columns 1..3, rows 0..1
    h.RotateQuarter();
    // The caller's image is not turned under it: the hot spot turned a copy.
    EXPECT_TRUE(testkit::SamePixels(*image, *reference));
    ASSERT_EQ(h.GetImage()->GetWidth(), 4);
    ASSERT_EQ(h.GetImage()->GetHeight(), 7);
    EXPECT_EQ(h.GetQuarterTurns(), 1);
    int x, y, w, hh;
    h.GetCrop(x, y, w, hh);
    // The crop's pixels are the same pixels after the turn.
    EXPECT_EQ((std::vector<int>{x, y, w, hh}), (std::vector<int>{2, 1, 2, 3}));
    const Image& turned = *h.GetImage();
    for (int py = 0; py < 2; ++py)
        for (int px = 1; px < 4; ++px) {
            // Clockwise: source (px, py) lands at (H - 1 - py, px).
            const int tx = 4 - 1 - py, ty = px;
            EXPECT_GE(tx, x);
            EXPECT_LT(tx, x + w);
            EXPECT_GE(ty, y);
            EXPECT_LT(ty, y + hh);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(turned.GetData()[ty * turned.GetRowByte() + tx * 3 + c],
                          reference->GetData()[py * reference->GetRowByte() + px * 3 + c]);
        }
    for (int k = 0; k < 3; ++k) h.RotateQuarter();
    EXPECT_EQ(h.GetQuarterTurns(), 0);
    EXPECT_TRUE(testkit::SamePixels(*h.GetImage(), *reference));
    h.GetCrop(x, y, w, hh);
    EXPECT_EQ((std::vector<int>{x, y, w, hh}), (std::vector<int>{1, 0, 3, 2}));
}

TEST(HotSpot, FlagBitsLeaveTheQuarterTurnsAlone)
{
    HotSpot h;
    EXPECT_TRUE(h.SetFlagBit(HotSpot::kDynamic, true));
    EXPECT_TRUE(h.IsDynamic());
    EXPECT_FALSE(h.SetFlagBit(HotSpot::kDynamic, true));
    EXPECT_TRUE(h.SetFlagBit(HotSpot::kHasAction | HotSpot::kLinksToText, true));
    EXPECT_TRUE(h.HasAction());
    EXPECT_TRUE(h.LinksToText());
    EXPECT_FALSE(h.SetFlagBit(3 << HotSpot::kQuarterTurnShift, true));
    EXPECT_EQ(h.GetQuarterTurns(), 0);
}

}  // namespace

namespace {

TEST(HotSpot, LibraryLabelStyleTakesTheLookOfTheHotSpotWritten)
{
    HotSpot styled;
    TextStyle* own = styled.GetLabelStyle(true);
    own->SetFace("Arial", 240, 1);
    own->SetTextColor(0x0000FF);
    own->SetBgColor(0x00FF00);
    own->SetOpacity(30);
    own->SetText("Door");
    const TextStyle& taken = TakeHotSpotLabelStyle(&styled);
    EXPECT_EQ(&taken, &TourLibrary().hotSpotLabelStyle);
    EXPECT_STREQ(taken.GetFaceName(), "Arial");
    EXPECT_EQ(taken.GetSize(), 240);
    EXPECT_EQ(taken.GetStyle(), 1);
    EXPECT_EQ(taken.GetTextColor(), 0x0000FFu);
    EXPECT_EQ(taken.GetOpacity(), 30);

    own->SetFace(nullptr, 300, 2);  // a style without a face: the small default font
    TakeHotSpotLabelStyle(&styled);
    EXPECT_STREQ(taken.GetFaceName(), "MS Serif");
    EXPECT_EQ(taken.GetSize(), 160);
    EXPECT_EQ(taken.GetStyle(), 0);

    HotSpot plain;  // no style: black on white
    TakeHotSpotLabelStyle(&plain);
    EXPECT_EQ(taken.GetTextColor(), 0u);
    EXPECT_EQ(taken.GetBgColor(), 0xFFFFFFu);
    EXPECT_EQ(taken.GetSize(), 160);
    TourLibrary().hotSpotLabelStyle = TextStyle();
}

}  // namespace
